#pragma once

#include "app/CaptureFieldSource.h"
#include "app/dump/DumpArguments.h"
#include "app/dump/HepPayloads.h"
#include "hep/HepMessage.h"
#include "hep/HepSender.h"

#include <memory>
#include <optional>
#include <string>

class KvIAXCapture;

// Sends each frame quorvex-dump prints to a HEP collector as it is printed:
// HEP type 10 (IAX) with the packet's addresses, ports and capture time, the
// UDP payload as it was on the wire (an encrypted call's stays encrypted),
// and the call's correlation id. Sending never holds the run up: what the
// collector could not take is counted and said at the end.
class HepFeed final {
public:
    // Nothing, with `error` empty, where no --hep was given; nothing, with
    // `error` saying why, where the target or the password cannot be used.
    static std::unique_ptr<HepFeed> start(const DumpArguments& args, std::string& error);
    ~HepFeed();

    // Binds to the capture, whose runs then show the feed every packet's
    // bytes as they are decoded.
    void attach(KvIAXCapture& capture);
    // How many frames, from the first, the calls have taken in.
    [[nodiscard]] std::size_t readyFrames();
    // Queues frame `index` (0-based) of the capture.
    void send(std::size_t index);
    // Hands what was queued to the sending thread; the payloads of the
    // frames before `printedUpTo` are no longer needed.
    void flush(std::size_t printedUpTo = 0);
    // A QoS report of a voice stream (HEP type 34, with the MOS chunk):
    // `type` FINAL once the call has ended, PERIODIC while it goes on.
    void sendStreamReport(const quality::StreamFigures& stream, const char* type);
    // The log of call `index` (HEP type 100), once it has ended.
    void sendCallLog(std::size_t index);
    // Waits a little for the queue to be sent; then "HEP: N messages sent to
    // TARGET, M dropped (why)" on standard error. The number dropped.
    std::uint64_t finish();

private:
    HepFeed() = default;
    // A message of `type` between two ends at a time, the rest shared.
    void sendBetween(std::uint8_t type, const calls::Endpoint& from, const calls::Endpoint& to,
                     const calls::CaptureTime& at, const std::string& correlationId,
                     const std::string& json, std::optional<std::uint16_t> mos);

    std::string targetText_;
    hep::Message common_; // what every message shares: id, key, node
    std::unique_ptr<hep::Sender> sender_;
    const KvIAXCapture* capture_ = nullptr;
    std::unique_ptr<CaptureFieldSource> calls_;
    std::shared_ptr<HepPayloads> payloads_ = std::make_shared<HepPayloads>();
    std::vector<std::uint8_t> bytes_;
    bool finished_ = false;
};
