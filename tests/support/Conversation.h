#pragma once

#include "calls/CallTracker.h"
#include "dissect/IaxDissector.h"
#include "samples/IaxPacketBuilder.h"

#include <optional>
#include <sstream>

// Feeds a tracker the frames of a conversation, 10 ms apart, each full
// frame's timestamp its capture time in ms unless one is given.
class Conversation {
public:
    void full(const iaxgen::Endpoint& from, const iaxgen::Endpoint& to, std::uint16_t source,
              std::uint16_t destination, std::uint8_t type, std::uint8_t subclass,
              const iaxgen::Elements& elements = {}, bool retry = false,
              std::optional<std::uint32_t> timestamp = std::nullopt) {
        send(from, to,
             iaxgen::fullFrame(iaxgen::FullHeader{source, destination, retry,
                                                  timestamp.value_or(time_), 0, 0, type, subclass},
                               elements.bytes()));
    }
    void mini(const iaxgen::Endpoint& from, const iaxgen::Endpoint& to, std::uint16_t source) {
        send(from, to, iaxgen::miniFrame(source, static_cast<std::uint16_t>(time_), {}));
    }
    // The next frames are captured from `ms` milliseconds on.
    void at(std::uint32_t ms) { time_ = ms; }
    void send(const iaxgen::Endpoint& from, const iaxgen::Endpoint& to,
              const iaxgen::Bytes& payload) {
        const auto packet = iaxgen::udpPacket(from, to, payload);
        auto frame = std::make_shared<KvIAXFrame>();
        dissector_.decodeInto({.bytes = packet,
                               .seconds = 1000 + time_ / 1000,
                               .nanoseconds = (time_ % 1000) * 1'000'000},
                              *frame);
        tracker.add(*frame, ++number_);
        frames.push_back(std::move(frame));
        time_ += 10;
    }

    calls::CallTracker tracker;
    FrameList frames;

private:
    std::ostringstream dump_;
    IaxDissector dissector_{dump_};
    std::uint32_t time_ = 0;
    std::uint32_t number_ = 0;
};
