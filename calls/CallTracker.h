#pragma once

#include "calls/RecentFullFrames.h"
#include "common/ChunkedList.h"
#include "dissect/KvIAXFrame.h"

#include <array>
#include <deque>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

// The calls and registrations in a stream of frames, found as the frames
// arrive (a file load or a live capture), with no second pass.
//
// A call begins at a NEW. Its two ends are address:port plus call number on
// each side; the callee's call number comes from the first reply whose
// destination call is the caller's. Full frames join a call by their source
// end (and, once known, the other end); mini frames and trunk entries by
// their source address:port and call number. A NEW on a call number whose
// call has ended starts a new call. Frames of a call whose NEW was not
// captured start a call marked as started before the capture. Its state is
// taken from the frames that mean it, never from ACK, PING, PONG, LAGRQ,
// LAGRP or VNAK, nor from a frame resent. Registrations (REGREQ, REGAUTH, REGACK, REGREJ, REGREL)
// are tracked the same way as a second list; pings, pokes and lag requests
// belong to their call or to neither list.
namespace calls {

struct Endpoint {
    std::array<std::uint8_t, 16> address{}; // IPv4 in the last four bytes
    bool ipv6 = false;
    std::uint16_t port = 0;

    friend bool operator==(const Endpoint&, const Endpoint&) = default;
    [[nodiscard]] std::string text() const; // "192.0.2.10:4569", "[2001:db8::1]:4569"
};

// A frame's source (or destination) address and port.
[[nodiscard]] Endpoint endpointOf(const KvIAXFrame& frame, bool source);

struct CaptureTime {
    std::int64_t seconds = 0;
    std::uint32_t nanoseconds = 0;
};

enum class CallState { Calling, Ringing, Answered, Completed, Cancelled, Rejected };
[[nodiscard]] const char* stateText(CallState state);

struct Call {
    Endpoint caller, callee;
    std::uint16_t callerCall = 0;
    std::optional<std::uint16_t> calleeCall;
    std::string from, fromName, to; // the NEW's Calling Number, Calling Name, Called Number
    std::optional<std::uint32_t> offeredFormat, acceptedFormat;
    std::optional<std::uint8_t> firstVoiceSubclass; // where neither format was sent
    CallState state = CallState::Calling;
    std::string cause;
    std::optional<std::uint8_t> causeCode;
    enum class Side { None, Caller, Callee } hungUpBy = Side::None;
    CaptureTime start, end;
    std::uint64_t frames = 0;
    std::uint64_t retransmissions = 0;
    bool startedBeforeCapture = false;
    bool answered = false;
    bool encrypted = false;                  // some of its frames were encrypted
    bool locked = false;                     // and some could not be opened
    bool challengeMissing = false;           // for want of the AUTHREQ's challenge
    ChunkedList<std::uint32_t> frameNumbers; // 1-based, in arrival order
    // What the ladder shows, so that it need not read every voice frame
    // again: the frames other than voice, and each direction's voice (from
    // the caller, then from the callee) as its first frame and its count.
    std::vector<std::uint32_t> signallingFrames;    // 1-based, in arrival order
    std::array<std::uint32_t, 2> firstVoiceFrame{}; // none: 0
    std::array<std::uint64_t, 2> voiceFrames{};

    [[nodiscard]] bool ended() const {
        return state == CallState::Completed || state == CallState::Cancelled ||
               state == CallState::Rejected;
    }
    // The codec's name as the frame table names it: the format the callee
    // accepted, else the one the NEW offered, else that of the first voice
    // frame; empty where none is known.
    [[nodiscard]] std::string codecName() const;
};

// Calls are kept in a deque: a list of a million calls grows without being
// copied, and without holding room it does not use.
using CallList = std::deque<Call>;

struct Registration {
    Endpoint peer, registrar;
    std::uint16_t peerCall = 0;
    std::string username;
    std::string request; // what the peer asked: "REGREQ" (register) or "REGREL" (release)
    std::string result;  // the registrar's answer: "REGACK", "REGREJ", or empty for none
    std::string cause;
    std::optional<std::uint16_t> refresh;
    std::uint32_t attempts = 0; // the request sent, again or after a REGAUTH challenge
    CaptureTime start;
};

// The resends a tracker found, each frame with the frame it repeats, in
// frame order.
using Resends = std::span<const std::pair<std::uint32_t, std::uint32_t>>;
// The frame `frameNumber` repeats, or 0 where it is no resend.
[[nodiscard]] std::uint32_t originalIn(Resends resends, std::uint32_t frameNumber);

class CallTracker final {
public:
    // `frameNumber` is 1-based, in the order the frames arrived.
    void add(const KvIAXFrame& frame, std::uint32_t frameNumber);

    [[nodiscard]] const CallList& calls() const { return calls_; }
    // The calls (indexes in calls()) the frame last added joined: none, one,
    // or several for a trunk frame.
    [[nodiscard]] const std::vector<std::size_t>& lastJoined() const { return lastJoined_; }
    [[nodiscard]] const std::vector<Registration>& registrations() const { return registrations_; }
    // Where the frame last added is a resend (see RecentFullFrames): the
    // number of the frame it repeats; 0 otherwise. The other followers,
    // which take each frame after this tracker, count a resend once.
    [[nodiscard]] std::uint32_t lastResent() const { return lastResent_; }
    // The resends so far (valid until the next frame is added).
    [[nodiscard]] Resends resends() const { return resends_; }
    // About how much memory the tracker holds, for the memory budget.
    [[nodiscard]] std::uint64_t heldBytes() const;

private:
    struct EndKey {
        Endpoint endpoint;
        std::uint16_t call;
        friend bool operator==(const EndKey&, const EndKey&) = default;
    };
    struct EndKeyHash {
        std::size_t operator()(const EndKey& key) const;
    };

    void addFull(const KvIAXFrame& frame, const Endpoint& source, const Endpoint& destination,
                 std::uint32_t frameNumber);
    void addRegistration(const KvIAXFrame& frame, const Endpoint& source,
                         const Endpoint& destination);
    void join(std::size_t index, const KvIAXFrame& frame, std::uint32_t frameNumber);
    void applyState(Call& call, const KvIAXFrame& frame, bool fromCaller);
    // The call a mini frame or trunk entry from this end belongs to, started
    // where there is none.
    std::size_t mediaCall(const Endpoint& source, std::uint16_t sourceCall,
                          const Endpoint& destination, const KvIAXFrame& frame);
    std::size_t startCall(const Endpoint& caller, std::uint16_t callerCall, const Endpoint& callee,
                          const KvIAXFrame& frame);

    CallList calls_;
    std::vector<std::size_t> lastJoined_;
    RecentFullFrames recentFull_;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> resends_; // frame, the one it repeats
    std::uint32_t lastResent_ = 0;
    std::vector<Registration> registrations_;
    std::unordered_map<EndKey, std::size_t, EndKeyHash> callByEnd_;
    std::unordered_map<EndKey, std::size_t, EndKeyHash> registrationByEnd_;
    // What the calls hold outside their own size: frame numbers and texts.
    std::uint64_t frameNumberBytes_ = 0;
    std::uint64_t textBytes_ = 0;
};

} // namespace calls
