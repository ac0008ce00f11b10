#include "calls/CallTracker.h"

#include "calls/FrameElements.h"
#include "dissect/FrameDisplay.h"
#include "dissect/IaxValueNames.h"
#include "record/IaxNumbers.h"

#include <arpa/inet.h>

#include <algorithm>
#include <bit>
#include <cstring>

namespace calls {
namespace {

using namespace iax; // the protocol's numbers

// The heap bytes of a text (none while it fits in the string itself).
std::uint64_t heapBytes(const std::string& text) {
    return text.capacity() > 15 ? text.capacity() + 1 + 16 : 0; // and malloc's own words
}

// Sets `text`, keeping `held` up with its heap bytes.
void setText(std::string& text, std::string value, std::uint64_t& held) {
    held -= heapBytes(text);
    text = std::move(value);
    held += heapBytes(text);
}

bool isRegistration(std::uint8_t subclass) {
    return subclass >= RegRequest && subclass <= RegRelease;
}

// Frames that say nothing of a call's state and do not start one.
bool isHousekeeping(const FrameFacts& facts) {
    if (facts.frameType != IaxControl) {
        return false;
    }
    switch (facts.subclass & 0x7Fu) {
    case Ping:
    case Pong:
    case Ack:
    case Inval:
    case LagRequest:
    case LagReply:
    case Vnak:
    case Poke:
        return true;
    default:
        return false;
    }
}

// Full frames that take no sequence number of their own (RFC 5456): two of
// them alike are two frames, not one resent.
bool isUnsequenced(const FrameFacts& facts) {
    if (facts.frameType != IaxControl) {
        return false;
    }
    constexpr std::uint8_t txcnt = 23;
    constexpr std::uint8_t txacc = 24;
    const std::uint8_t subclass = facts.subclass & 0x7Fu;
    return subclass == Ack || subclass == Inval || subclass == Vnak || subclass == txcnt ||
           subclass == txacc;
}

} // namespace

Endpoint endpointOf(const KvIAXFrame& frame, bool source) {
    const FrameFacts& facts = frame.facts();
    Endpoint endpoint;
    endpoint.port = source ? facts.sourcePort : facts.destinationPort;
    if (const Ipv6Addresses* ipv6 = frame.ipv6Addresses()) {
        endpoint.ipv6 = true;
        endpoint.address = source ? ipv6->source : ipv6->destination;
    } else {
        const std::uint32_t address = source ? facts.sourceAddress : facts.destinationAddress;
        for (int i = 0; i < 4; ++i) {
            endpoint.address[12 + static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(address >> (24 - 8 * i));
        }
    }
    return endpoint;
}

std::string Endpoint::text() const {
    char address[INET6_ADDRSTRLEN] = {};
    if (ipv6) {
        inet_ntop(AF_INET6, this->address.data(), address, sizeof address);
        return "[" + std::string(address) + "]:" + std::to_string(port);
    }
    inet_ntop(AF_INET, this->address.data() + 12, address, sizeof address);
    return std::string(address) + ":" + std::to_string(port);
}

const char* stateText(CallState state) {
    switch (state) {
    case CallState::Calling:
        return "Calling";
    case CallState::Ringing:
        return "Ringing";
    case CallState::Answered:
        return "Answered";
    case CallState::Completed:
        return "Completed";
    case CallState::Cancelled:
        return "Cancelled";
    case CallState::Rejected:
        return "Rejected";
    }
    return "";
}

std::string Call::codecName() const {
    const auto format = acceptedFormat ? acceptedFormat : offeredFormat;
    if (!format) {
        if (firstVoiceSubclass) {
            const char* name = framedisplay::audioFormatName(*firstVoiceSubclass);
            return name != nullptr ? name : "Unkn codec";
        }
        return {};
    }
    if (std::popcount(*format) != 1) {
        return "Unkn codec";
    }
    const char* name = iaxvalues::shownCodecName(static_cast<unsigned>(std::countr_zero(*format)));
    return name != nullptr ? name : "Unkn codec";
}

std::size_t CallTracker::EndKeyHash::operator()(const EndKey& key) const {
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    std::memcpy(&high, key.endpoint.address.data(), 8);
    std::memcpy(&low, key.endpoint.address.data() + 8, 8);
    std::uint64_t hash = (low ^ (high * 0x9E3779B97F4A7C15ull)) * 0xBF58476D1CE4E5B9ull;
    hash ^= (std::uint64_t{key.endpoint.port} << 16 | key.call) * 0x94D049BB133111EBull;
    return static_cast<std::size_t>(hash ^ (hash >> 31));
}

std::uint64_t CallTracker::heldBytes() const {
    // A hash map entry: its node (key, value, link, allocation) and bucket.
    constexpr std::uint64_t mapEntry = sizeof(EndKey) + sizeof(std::size_t) + 40;
    // A deque holds each call in a block of its own here (they are large),
    // with a pointer to it.
    constexpr std::uint64_t perCall = sizeof(Call) + 16 + sizeof(void*);
    return calls_.size() * perCall + registrations_.capacity() * sizeof(Registration) +
           (callByEnd_.size() + registrationByEnd_.size()) * mapEntry +
           (callByEnd_.bucket_count() + registrationByEnd_.bucket_count()) * sizeof(void*) +
           frameNumberBytes_ + textBytes_ + recentFull_.heldBytes() +
           resends_.capacity() * sizeof(resends_[0]);
}

std::uint32_t originalIn(Resends resends, std::uint32_t frameNumber) {
    const auto found = std::lower_bound(resends.begin(), resends.end(),
                                        std::pair{frameNumber, std::uint32_t{0}});
    return found != resends.end() && found->first == frameNumber ? found->second : 0;
}

void CallTracker::add(const KvIAXFrame& frame, std::uint32_t frameNumber) {
    lastJoined_.clear();
    lastResent_ = 0;
    const FrameFacts& facts = frame.facts();
    if (facts.portsCaptured == 0) {
        return;
    }
    const Endpoint source = endpointOf(frame, true);
    const Endpoint destination = endpointOf(frame, false);
    switch (facts.kind()) {
    case FrameKind::Full:
        addFull(frame, source, destination, frameNumber);
        return;
    case FrameKind::Mini:
    case FrameKind::VideoMini:
        join(mediaCall(source, facts.sourceCall, destination, frame), frame, frameNumber);
        return;
    case FrameKind::Trunk:
        for (const TrunkEntry& entry : frame.trunkEntries()) {
            if (entry.headerCaptured) {
                join(mediaCall(source, entry.sourceCall, destination, frame), frame, frameNumber);
            }
        }
        return;
    default:
        return;
    }
}

std::size_t CallTracker::mediaCall(const Endpoint& source, std::uint16_t sourceCall,
                                   const Endpoint& destination, const KvIAXFrame& frame) {
    if (const auto found = callByEnd_.find({source, sourceCall}); found != callByEnd_.end()) {
        return found->second;
    }
    // Voice of a call whose set-up was not captured.
    const std::size_t index = startCall(source, sourceCall, destination, frame);
    calls_[index].startedBeforeCapture = true;
    return index;
}

std::size_t CallTracker::startCall(const Endpoint& caller, std::uint16_t callerCall,
                                   const Endpoint& callee, const KvIAXFrame& frame) {
    Call call;
    call.caller = caller;
    call.callerCall = callerCall;
    call.callee = callee;
    call.start = {frame.facts().captureSeconds, frame.facts().captureNanoseconds};
    calls_.push_back(std::move(call));
    const std::size_t id = calls_.size() - 1;
    callByEnd_[{caller, callerCall}] = id;
    return id;
}

void CallTracker::addFull(const KvIAXFrame& frame, const Endpoint& source,
                          const Endpoint& destination, std::uint32_t frameNumber) {
    const FrameFacts& facts = frame.facts();
    const std::uint8_t subclass = facts.subclass & 0x7Fu;
    // A frame left encrypted: only its call numbers are known.
    const bool locked = facts.isLocked();
    if (!locked && facts.frameType == IaxControl && isRegistration(subclass)) {
        addRegistration(frame, source, destination);
        return;
    }
    const EndKey key{source, facts.sourceCall};
    auto found = callByEnd_.find(key);
    if (!locked && facts.frameType == IaxControl && subclass == New) {
        // A NEW sent again for a call still being set up is a retransmission;
        // on a call that has ended, the call number starts a new call.
        if (found == callByEnd_.end() || calls_[found->second].ended() ||
            calls_[found->second].caller != source) {
            startCall(source, facts.sourceCall, destination, frame);
            found = callByEnd_.find(key);
        }
        join(found->second, frame, frameNumber);
        return;
    }
    if (facts.destinationCall != 0) {
        // The callee's first reply: its destination call is the caller's. A
        // call number of an ended call may be in use again by a newer call.
        const auto other = callByEnd_.find({destination, facts.destinationCall});
        const bool staleOrNone = found == callByEnd_.end() ||
                                 (other != callByEnd_.end() && other->second != found->second &&
                                  calls_[found->second].ended() && !calls_[other->second].ended());
        if (other != callByEnd_.end() && staleOrNone) {
            Call& call = calls_[other->second];
            if (call.callee == source &&
                (!call.calleeCall || *call.calleeCall == facts.sourceCall)) {
                call.calleeCall = facts.sourceCall;
                callByEnd_[key] = other->second;
                found = callByEnd_.find(key);
            }
        }
    }
    if (found == callByEnd_.end()) {
        if (locked || isHousekeeping(facts) ||
            (facts.frameType == IaxControl && subclass == Hangup && facts.destinationCall == 0)) {
            return; // pings and pokes of no known call belong to no list
        }
        // A call whose NEW was not captured.
        const std::size_t id = startCall(source, facts.sourceCall, destination, frame);
        calls_[id].startedBeforeCapture = true;
        if (facts.destinationCall != 0) {
            calls_[id].calleeCall = facts.destinationCall;
            callByEnd_[{destination, facts.destinationCall}] = id;
        }
        found = callByEnd_.find(key);
    }
    join(found->second, frame, frameNumber);
}

void CallTracker::join(std::size_t index, const KvIAXFrame& frame, std::uint32_t frameNumber) {
    Call& call = calls_[index];
    const FrameFacts& facts = frame.facts();
    ++call.frames;
    const bool fromCaller = endpointOf(frame, true) == call.caller;
    if (facts.kind() == FrameKind::Full && !facts.isLocked() && !isUnsequenced(facts)) {
        const RecentFullFrames::Key key{static_cast<std::uint32_t>(index), facts.iaxTimestamp,
                                        static_cast<std::uint8_t>(fromCaller ? 1 : 0),
                                        facts.outboundSequence, facts.frameType, facts.subclass};
        lastResent_ = recentFull_.originalOf(
            key, facts.captureSeconds * 1'000'000'000LL + facts.captureNanoseconds, frameNumber);
        if (lastResent_ != 0) {
            resends_.emplace_back(frameNumber, lastResent_);
        }
    }
    if (facts.kind() == FrameKind::Full && (facts.retransmission != 0 || lastResent_ != 0)) {
        ++call.retransmissions;
    }
    if (facts.encryption() != Encryption::Clear) {
        call.encrypted = true;
        call.locked = call.locked || facts.isLocked();
        call.challengeMissing =
            call.challengeMissing || facts.encryption() == Encryption::NoChallenge;
    }
    call.end = {facts.captureSeconds, facts.captureNanoseconds};
    const std::size_t before = call.frameNumbers.capacity();
    call.frameNumbers.push_back(frameNumber);
    // Each allocation also costs malloc's own words.
    frameNumberBytes_ +=
        (call.frameNumbers.capacity() - before) * sizeof(std::uint32_t) + (before == 0 ? 16 : 0);
    if (std::find(lastJoined_.begin(), lastJoined_.end(), index) == lastJoined_.end()) {
        lastJoined_.push_back(index);
    }
    if (facts.kind() != FrameKind::Full || facts.frameType == Voice) {
        const std::size_t side = fromCaller ? 0 : 1;
        if (call.firstVoiceFrame[side] == 0) {
            call.firstVoiceFrame[side] = frameNumber;
        }
        ++call.voiceFrames[side];
    } else {
        const std::size_t signallingBefore = call.signallingFrames.capacity();
        call.signallingFrames.push_back(frameNumber);
        frameNumberBytes_ +=
            (call.signallingFrames.capacity() - signallingBefore) * sizeof(std::uint32_t);
    }
    if (lastResent_ == 0) {
        applyState(call, frame, fromCaller); // a resend says again what was said
    }
}

void CallTracker::applyState(Call& call, const KvIAXFrame& frame, bool fromCaller) {
    const FrameFacts& facts = frame.facts();
    if (call.ended() || facts.isLocked()) {
        return;
    }
    const bool media = facts.kind() != FrameKind::Full || facts.frameType == Voice;
    if (facts.kind() == FrameKind::Full && facts.frameType == Voice && !call.firstVoiceSubclass) {
        call.firstVoiceSubclass = facts.subclass;
    }
    if (media) {
        // Voice of a call whose set-up was not captured: it is up.
        if (call.startedBeforeCapture && !call.answered) {
            call.answered = true;
            call.state = CallState::Answered;
        }
        return;
    }
    const std::uint8_t subclass = facts.subclass;
    if (facts.frameType == Control) {
        if (subclass == Ringing && !call.answered) {
            call.state = CallState::Ringing;
        } else if (subclass == Answer) {
            call.answered = true;
            call.state = CallState::Answered;
        } else if (subclass == ControlHangup) {
            call.state = call.answered ? CallState::Completed : CallState::Cancelled;
            call.hungUpBy = fromCaller ? Call::Side::Caller : Call::Side::Callee;
        }
        return;
    }
    if (facts.frameType != IaxControl) {
        return;
    }
    switch (subclass & 0x7Fu) {
    case New:
        setText(call.from, elementText(frame, CallingNumber), textBytes_);
        setText(call.fromName, elementText(frame, CallingName), textBytes_);
        setText(call.to, elementText(frame, CalledNumber), textBytes_);
        call.offeredFormat = elementNumber(frame, Format, 4);
        break;
    case Accept:
        if (const auto format = elementNumber(frame, Format, 4)) {
            call.acceptedFormat = format;
        }
        break;
    case Hangup:
        call.state = call.answered ? CallState::Completed : CallState::Cancelled;
        call.hungUpBy = fromCaller ? Call::Side::Caller : Call::Side::Callee;
        setText(call.cause, elementText(frame, CauseText), textBytes_);
        if (const auto code = elementNumber(frame, CauseCode, 1)) {
            call.causeCode = static_cast<std::uint8_t>(*code);
        }
        break;
    case Reject:
        call.state = CallState::Rejected;
        setText(call.cause, elementText(frame, CauseText), textBytes_);
        if (const auto code = elementNumber(frame, CauseCode, 1)) {
            call.causeCode = static_cast<std::uint8_t>(*code);
        }
        break;
    default:
        break;
    }
}

void CallTracker::addRegistration(const KvIAXFrame& frame, const Endpoint& source,
                                  const Endpoint& destination) {
    const FrameFacts& facts = frame.facts();
    const std::uint8_t subclass = facts.subclass & 0x7Fu;
    if (subclass == RegRequest || subclass == RegRelease) {
        const char* request = subclass == RegRequest ? "REGREQ" : "REGREL";
        auto found = registrationByEnd_.find({source, facts.sourceCall});
        // A request sent again, or after a challenge, is another attempt of
        // the same exchange until that exchange has an answer; a request of
        // the other kind starts another.
        if (found == registrationByEnd_.end() || !registrations_[found->second].result.empty() ||
            registrations_[found->second].request != request) {
            Registration registration;
            registration.request = request;
            registration.peer = source;
            registration.registrar = destination;
            registration.peerCall = facts.sourceCall;
            registration.start = {facts.captureSeconds, facts.captureNanoseconds};
            registrations_.push_back(registration);
            registrationByEnd_[{source, facts.sourceCall}] = registrations_.size() - 1;
            found = registrationByEnd_.find({source, facts.sourceCall});
        }
        Registration& registration = registrations_[found->second];
        ++registration.attempts;
        if (std::string username = elementText(frame, Username); !username.empty()) {
            setText(registration.username, std::move(username), textBytes_);
        }
        return;
    }
    // Replies go to the peer's end.
    const auto found = registrationByEnd_.find({destination, facts.destinationCall});
    if (found == registrationByEnd_.end()) {
        return;
    }
    Registration& registration = registrations_[found->second];
    if (subclass == RegAck && registration.result.empty()) {
        registration.result = "REGACK";
        if (const auto refresh = elementNumber(frame, RefreshInterval, 2)) {
            registration.refresh = static_cast<std::uint16_t>(*refresh);
        }
    } else if (subclass == RegReject) {
        registration.result = "REGREJ";
        setText(registration.cause, elementText(frame, CauseText), textBytes_);
    }
}

} // namespace calls
