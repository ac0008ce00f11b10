#include "app/dump/DumpWrites.h"

#include "app/CallAudioJob.h"
#include "app/KvIAXCapture.h"
#include "app/PacketExport.h"
#include "app/dump/DumpFilter.h"
#include "calls/CallTracker.h"
#include "media/WavFile.h"

#include <cstdio>
#include <string>
#include <vector>

int writeCall(const calls::CallTracker& tracker, const DumpArguments& args) {
    const auto& calls = tracker.calls();
    if (*args.call > calls.size()) {
        std::fprintf(stderr, "quorvex-dump: there is no call %lu (the capture holds %zu)\n",
                     *args.call, calls.size());
        return 1;
    }
    std::string error;
    const auto& numbers = calls[*args.call - 1].frameNumbers;
    if (!writePackets(args.file, {numbers.begin(), numbers.end()}, *args.writeTo,
                      ExportFormat::Pcap, error)) {
        std::fprintf(stderr, "quorvex-dump: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

int writeAudio(const KvIAXCapture& capture, const DumpArguments& args) {
    std::string error;
    const auto job = CallAudioJob::of(capture, *args.audio - 1, error);
    media::CallAudio audio;
    if (!job || !job->render(args.timing, audio, error)) {
        std::fprintf(stderr, "quorvex-dump: %s\n", error.c_str());
        return 1;
    }
    for (int side = 0; side < 2; ++side) {
        const media::ChannelReport& channel = audio.channels[side];
        if (!channel.present) {
            continue;
        }
        std::fprintf(stderr,
                     "%s: %s, %llu payloads decoded, %llu refused by the decoder, %llu cut by the "
                     "capture, %llu lost%s%s\n",
                     side == 0 ? "caller" : "callee", channel.codec.c_str(),
                     static_cast<unsigned long long>(channel.decoded),
                     static_cast<unsigned long long>(channel.rejected),
                     static_cast<unsigned long long>(channel.cutByCapture),
                     static_cast<unsigned long long>(channel.lost),
                     channel.problem.empty() ? "" : "; ", channel.problem.c_str());
    }
    if (!audio.hasSound()) {
        std::fprintf(stderr, "quorvex-dump: call %lu has no voice that could be decoded\n",
                     *args.audio);
        return 1;
    }
    if (!media::writeWav(*args.audioTo, audio, error)) {
        std::fprintf(stderr, "quorvex-dump: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

int writeSelectedFrames(const KvIAXCapture& capture, DumpFilter& selection,
                        const DumpArguments& args) {
    selection.refresh();
    std::vector<std::uint32_t> packets;
    std::string why;
    const FrameList& frames = capture.iaxFrames();
    for (std::size_t index = 0; index < frames.size(); ++index) {
        const auto verdict = selection.keeps(index, why);
        if (verdict == filter::Verdict::Failed) {
            std::fprintf(stderr, "quorvex-dump: display filter: %s\n", why.c_str());
            return 1;
        }
        if (verdict == filter::Verdict::Match) {
            packets.push_back(frames[index]->facts().packetIndex + 1);
        }
    }
    std::string error;
    if (!writePackets(args.file, packets, *args.writeFrames, exportFormatOf(*args.writeFrames),
                      error)) {
        std::fprintf(stderr, "quorvex-dump: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
