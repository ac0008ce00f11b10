#include "app/CallAudioJob.h"

#include "app/KvIAXCapture.h"
#include "readback/CapturePackets.h"
#include "capturefile/PacketFileReader.h"

std::optional<CallAudioJob> CallAudioJob::of(const KvIAXCapture& capture, std::size_t callIndex,
                                             std::string& error) {
    const auto& calls = capture.callTracker().calls();
    if (callIndex >= calls.size()) {
        error = "there is no call " + std::to_string(callIndex + 1) + " (the capture holds " +
                std::to_string(calls.size()) + ")";
        return std::nullopt;
    }
    auto voice = ChargedStreams::of(capture, {callIndex}, error);
    if (!voice) {
        return std::nullopt;
    }
    CallAudioJob job{{}, std::move(*voice), capture.memoryBudget(), capture.openedPackets()};
    if (job.voice.streams.empty()) {
        error = "call " + std::to_string(callIndex + 1) +
                (calls[callIndex].locked
                     ? "'s voice is encrypted, and no known secret opens it (--secret)"
                     : " carries no voice");
        return std::nullopt;
    }
    job.capturePath = capture.lastRunFile();
    if (const std::string why = whyNotReadAgain(job.capturePath); !why.empty()) {
        error = "the call's voice cannot be read again: " + why;
        return std::nullopt;
    }
    // An earlier live run's file was replaced by the next one.
    for (const auto& stream : job.voice.streams) {
        if (stream.packets.front().frameNumber <= capture.lastRunFirstFrame()) {
            error = "the call's voice was captured by an earlier run, whose file was replaced";
            return std::nullopt;
        }
    }
    return job;
}

bool CallAudioJob::render(media::Timing timing, media::CallAudio& audio, std::string& error) const {
    if (!voice.heldPackets.empty()) {
        // Read when the streams were made: the file is not opened again.
        return media::renderCallAudio(
            voice.streams,
            [&](std::size_t s) { return voice.heldPackets.readerOf(voice.streams[s]); }, timing,
            audio, error, budget);
    }
    auto packets = CapturePackets::open(capturePath, error, opened);
    return packets && media::renderCallAudio(voice.streams, *packets, timing, audio, error, budget);
}
