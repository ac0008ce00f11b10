#include "app/dump/HepFeed.h"

#include "app/KvIAXCapture.h"
#include "app/Secrets.h"
#include "app/dump/HepReports.h"
#include "calls/CorrelationId.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

std::unique_ptr<HepFeed> HepFeed::start(const DumpArguments& args, std::string& error) {
    error.clear();
    if (!args.hepTarget) {
        return nullptr;
    }
    const auto target = hep::parseTarget(*args.hepTarget, error);
    if (!target) {
        return nullptr;
    }
    std::unique_ptr<HepFeed> feed(new HepFeed);
    feed->targetText_ = *args.hepTarget;
    feed->common_.captureId = args.hepId;
    feed->common_.node = args.hepNode;
    feed->common_.authKey = args.hepPassword;
    if (args.hepPasswordFile) {
        std::vector<std::string> lines;
        if (!secrets::readSecretsFile(*args.hepPasswordFile, lines, error)) {
            error = "HEP password: " + error;
            return nullptr;
        }
        if (lines.empty()) {
            error = "HEP password: " + *args.hepPasswordFile + " holds no password";
            return nullptr;
        }
        feed->common_.authKey = lines.front();
    }
    // A file is sent as fast as the collector takes it, not faster; a live
    // run never waits for it, and counts what it could not send.
    feed->sender_ = hep::Sender::start(*target, error, 65536, !args.live);
    return feed->sender_ ? std::move(feed) : nullptr;
}

HepFeed::~HepFeed() {
    // A feed whose collector could not be found never started sending.
    if (!finished_ && sender_) {
        finish();
    }
}

void HepFeed::attach(KvIAXCapture& capture) {
    capture_ = &capture;
    calls_ = std::make_unique<CaptureFieldSource>(capture, fields::NeedsCalls);
    capture.setPacketTap(payloads_);
}

std::size_t HepFeed::readyFrames() {
    calls_->refresh();
    return calls_->readyFrames();
}

void HepFeed::send(std::size_t index) {
    const KvIAXFrame& frame = *capture_->iaxFrames()[index];
    const FrameFacts& facts = frame.facts();
    if (facts.kind() == FrameKind::NotIax || facts.kind() == FrameKind::Fresh ||
        facts.portsCaptured == 0) {
        return;
    }
    if (!payloads_->take(index, bytes_)) {
        return;
    }
    hep::Message message = common_;
    if (const Ipv6Addresses* ipv6 = frame.ipv6Addresses()) {
        message.ipv6 = true;
        message.source = ipv6->source;
        message.destination = ipv6->destination;
    } else {
        for (int i = 0; i < 4; ++i) {
            message.source[static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(facts.sourceAddress >> (24 - 8 * i));
            message.destination[static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(facts.destinationAddress >> (24 - 8 * i));
        }
    }
    message.sourcePort = facts.sourcePort;
    message.destinationPort = facts.destinationPort;
    message.seconds = static_cast<std::uint32_t>(facts.captureSeconds);
    message.microseconds = facts.captureNanoseconds / 1000;
    message.payload = std::move(bytes_);
    // A trunk frame of several calls goes with the first of them.
    const auto number = static_cast<std::uint32_t>(index + 1);
    bool tied = false;
    calls_->contextOf(number, nullptr).calls->forEachCall(number, [&](std::uint32_t call) {
        if (!tied && call >= 1 && call <= capture_->callTracker().calls().size()) {
            message.correlationId = calls::correlationId(capture_->callTracker().calls()[call - 1]);
            tied = true;
        }
    });
    std::vector<std::uint8_t> bytes;
    if (hep::encode(message, bytes)) {
        sender_->add(std::move(bytes));
    }
}

void HepFeed::sendBetween(std::uint8_t type, const calls::Endpoint& from, const calls::Endpoint& to,
                          const calls::CaptureTime& at, const std::string& correlationId,
                          const std::string& json, std::optional<std::uint16_t> mos) {
    hep::Message message = common_;
    message.protocolType = type;
    message.ipv6 = from.ipv6;
    // An endpoint keeps an IPv4 address in its last four bytes.
    const std::size_t skip = from.ipv6 ? 0 : 12;
    std::copy(from.address.begin() + skip, from.address.end(), message.source.begin());
    std::copy(to.address.begin() + skip, to.address.end(), message.destination.begin());
    message.sourcePort = from.port;
    message.destinationPort = to.port;
    message.seconds = static_cast<std::uint32_t>(at.seconds);
    message.microseconds = at.nanoseconds / 1000;
    message.correlationId = correlationId;
    message.mos = mos;
    message.payload.assign(json.begin(), json.end());
    std::vector<std::uint8_t> bytes;
    if (hep::encode(message, bytes)) {
        sender_->add(std::move(bytes));
    }
}

void HepFeed::sendStreamReport(const quality::StreamFigures& stream, const char* type) {
    const calls::CallList& calls = capture_->callTracker().calls();
    if (stream.call >= calls.size()) {
        return;
    }
    // Sent as of the stream's last packet.
    const auto endNanoseconds =
        stream.start.nanoseconds + static_cast<std::int64_t>(stream.durationSeconds * 1e9);
    const calls::CaptureTime end{stream.start.seconds + endNanoseconds / 1'000'000'000,
                                 static_cast<std::uint32_t>(endNanoseconds % 1'000'000'000)};
    const double reportSeconds = static_cast<double>(end.seconds) + end.nanoseconds / 1e9;
    const std::string id = calls::correlationId(calls[stream.call]);
    const std::optional<std::uint16_t> mos =
        stream.mos ? std::optional(static_cast<std::uint16_t>(std::lround(*stream.mos * 100)))
                   : std::nullopt;
    sendBetween(static_cast<std::uint8_t>(hep::Payload::QosReport), stream.source,
                stream.destination, end, id, hepreports::qosReport(stream, id, type, reportSeconds),
                mos);
}

void HepFeed::sendCallLog(std::size_t index) {
    const calls::Call& call = capture_->callTracker().calls()[index];
    const std::string id = calls::correlationId(call);
    sendBetween(static_cast<std::uint8_t>(hep::Payload::Log), call.caller, call.callee, call.end,
                id, hepreports::callLog(call, capture_->callVerdict(index), id), std::nullopt);
}

void HepFeed::flush(std::size_t printedUpTo) {
    payloads_->forgetBefore(printedUpTo);
    sender_->flush();
}

std::uint64_t HepFeed::finish() {
    finished_ = true;
    sender_->finish(std::chrono::seconds(5));
    const std::uint64_t dropped = sender_->dropped();
    const std::string why = sender_->lastError();
    const bool say = dropped > 0 && !why.empty();
    std::fprintf(stderr, "HEP: %llu messages sent to %s, %llu dropped%s%s%s\n",
                 static_cast<unsigned long long>(sender_->sent()), targetText_.c_str(),
                 static_cast<unsigned long long>(dropped), say ? " (" : "", say ? why.c_str() : "",
                 say ? ")" : "");
    return dropped;
}
