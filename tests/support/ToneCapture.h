#pragma once

#include "calls/CallTracker.h"
#include "quality/VoiceStreamBuilder.h"
#include "dissect/IaxDissector.h"
#include "media/CallAudio.h"
#include "capturefile/CaptureFileWriter.h"
#include "samples/ToneCalls.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <sstream>

// The tone calls written to a capture file and decoded as a load decodes
// them: each record knows where its packet lies in the file.
struct ToneCapture {
    std::string path;
    FrameList frames;
    calls::CallTracker tracker;

    explicit ToneCapture(double seconds = 1.0)
        : ToneCapture([seconds](const scenarios::PacketSink& sink) {
              scenarios::toneCalls(sink, seconds);
          }) {}
    // The calls a scenario writes, instead.
    explicit ToneCapture(const std::function<void(const scenarios::PacketSink&)>& scenario)
        : path(testing::TempDir() + "tones-" + std::to_string(::getpid()) + ".pcap") {
        CaptureFileWriter writer(path);
        std::uint64_t offset = 24; // the file header, then a 16-byte header a record
        std::ostringstream dump;
        const IaxDissector dissector(dump);
        scenario([&](const iaxgen::Bytes& packet, std::int64_t us) {
            writer.write(packet, us);
            auto frame = std::make_shared<KvIAXFrame>();
            dissector.decodeInto({.bytes = packet,
                                  .seconds = us / 1'000'000,
                                  .nanoseconds = static_cast<std::uint32_t>(us % 1'000'000) * 1000,
                                  .index = static_cast<std::uint32_t>(frames.size()),
                                  .fileOffset = offset},
                                 *frame);
            offset += 16 + packet.size();
            frames.push_back(frame);
            tracker.add(*frame, static_cast<std::uint32_t>(frames.size()));
        });
        writer.close();
    }
    ~ToneCapture() { std::filesystem::remove(path); }

    std::vector<quality::VoiceStream> streams(std::size_t call) const {
        return quality::callStreams(tracker, call, frames);
    }
    bool render(std::size_t call, media::Timing timing, media::CallAudio& audio,
                std::string& error) const {
        auto packets = CapturePackets::open(path, error);
        return packets && media::renderCallAudio(streams(call), *packets, timing, audio, error);
    }
};
