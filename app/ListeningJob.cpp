#include "app/ListeningJob.h"

#include "readback/CapturePackets.h"
#include "app/KvIAXCapture.h"
#include "capturefile/PacketFileReader.h"

#include <algorithm>
#include <functional>

std::optional<ListeningJob> ListeningJob::choose(const KvIAXCapture& capture, std::size_t firstCall,
                                                 std::size_t mostPackets, std::size_t& next,
                                                 std::string& error) {
    ListeningJob job;
    job.capturePath = capture.lastRunFile();
    job.opened = capture.openedPackets();
    if (const std::string why = whyNotReadAgain(job.capturePath); !why.empty()) {
        error = "the voice cannot be read again: " + why;
        return std::nullopt;
    }
    const auto& calls = capture.callTracker().calls();
    std::size_t packets = 0;
    for (next = firstCall; next < calls.size() && (job.calls.empty() || packets < mostPackets);
         ++next) {
        const auto& numbers = calls[next].frameNumbers;
        // An earlier live run's file was replaced by the next one.
        if (numbers.empty() || numbers.front() <= capture.lastRunFirstFrame() ||
            (capture.streamTracker() != nullptr && !capture.streamTracker()->hasVoice(next))) {
            continue;
        }
        job.calls.push_back(next);
        packets += numbers.size();
    }
    return job;
}

std::optional<ListeningJob> ListeningJob::of(const KvIAXCapture& capture, std::size_t firstCall,
                                             std::size_t mostPackets, std::size_t& next,
                                             std::string& error) {
    auto job = choose(capture, firstCall, mostPackets, next, error);
    if (!job || job->calls.empty()) {
        return job;
    }
    auto voice = ChargedStreams::of(capture, job->calls, error);
    if (!voice) {
        return std::nullopt;
    }
    job->voice = std::move(*voice);
    return job;
}

namespace {

// Listens to each of `voice`'s streams of `calls`, its payloads given by
// `readerOf(stream index)`.
bool listenToCalls(const std::vector<std::size_t>& calls, const ChargedStreams& voice,
                   const std::function<media::PayloadReader(std::size_t)>& readerOf,
                   std::vector<CallListening>& into, std::string& error,
                   const std::atomic<bool>* cancelled) {
    for (std::size_t s = 0; s < voice.streams.size(); ++s) {
        const quality::VoiceStream& stream = voice.streams[s];
        if (cancelled != nullptr && cancelled->load(std::memory_order_relaxed)) {
            return false;
        }
        const auto at = std::find(calls.begin(), calls.end(), stream.figures.call);
        if (at == calls.end()) {
            continue;
        }
        media::StreamListening heard;
        if (!media::listenToStream(stream, readerOf(s), heard, error)) {
            return false;
        }
        into[static_cast<std::size_t>(at - calls.begin())]
            .sides[stream.figures.fromCaller ? 0 : 1] = std::move(heard);
    }
    return true;
}

} // namespace

bool ListeningJob::run(std::vector<CallListening>& into, std::string& error,
                       const std::atomic<bool>* cancelled) const {
    into.assign(calls.size(), CallListening{});
    if (voice.streams.empty()) {
        return true;
    }
    const auto fromHeld = [this](const media::HeldPackets& held) {
        return [this, &held](std::size_t s) { return held.readerOf(voice.streams[s]); };
    };
    if (!voice.heldPackets.empty()) {
        return listenToCalls(calls, voice, fromHeld(voice.heldPackets), into, error, cancelled);
    }
    auto packets = CapturePackets::open(capturePath, error, opened);
    if (!packets) {
        return false;
    }
    if (calls.size() == 1) {
        // A single call's two streams are read straight.
        return listenToCalls(
            calls, voice,
            [&](std::size_t s) { return media::fileReaderOf(*packets, voice.streams[s]); }, into,
            error, cancelled);
    }
    // Calls interleave in the file: their payloads are read in one pass in
    // file order, and held until listened to.
    media::HeldPackets held;
    if (!held.readAll(voice.streams, *packets, error)) {
        return false;
    }
    return listenToCalls(calls, voice, fromHeld(held), into, error, cancelled);
}
