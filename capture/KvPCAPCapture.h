#pragma once

#include "capture/CaptureServices.h"
#include "capture/CaptureTarget.h"
#include "capture/FrameDelivery.h"
#include "capture/PacketRun.h"
#include "capture/PacketTap.h"
#include "capture/RingFiles.h"
#include "dissect/FrameAllocator.h"
#include "dissect/IaxDissector.h"

#include <memory>
#include <string>
#include <string_view>

// One run of a capture worker: a live capture or the load of a capture file.
// It is created on the main thread and then used by exactly one worker
// thread. It reads packets from its source (a PacketFileReader, or the live
// interface), decodes them into frame records and hands those to its capture
// through its FrameDelivery.
class KvPCAPCapture final {
public:
    using Clock = CaptureServices::Clock;
    static constexpr auto deliveryThreshold = FrameDelivery::deliveryThreshold;

    explicit KvPCAPCapture(const CaptureServices& services);
    KvPCAPCapture(const KvPCAPCapture&) = delete;
    KvPCAPCapture& operator=(const KvPCAPCapture&) = delete;

    void setSourceFilename(std::string path) { sourceFilename_ = std::move(path); }
    // Opens the frames of encrypted calls with `secrets`, noting in `opened`
    // which key opened which packet. Set on the main thread before the run.
    void setDecryption(std::vector<std::string> secrets, std::shared_ptr<OpenedPackets> opened) {
        decryption_ = std::make_unique<FrameDecryption>(std::move(secrets), std::move(opened));
    }
    [[nodiscard]] const std::string& sourceFilename() const { return sourceFilename_; }
    // Shows every packet of the run to `tap` as it is decoded. Set on the
    // main thread before the run.
    void setPacketTap(std::shared_ptr<PacketTap> tap) { tap_ = std::move(tap); }

    // Reads sourceFilename() to its end, handing the frames over in blocks.
    void loadCapture(std::shared_ptr<CaptureTarget> capture);

    // What a live run needs from the main thread, copied there as it starts.
    struct LiveRun {
        std::string interfaceName;
        std::string captureFilter;
        std::string temporaryFile;
        std::string helperPath; // empty: beside the running program
        std::uint64_t generation = 0;
        RingSettings ring; // active: the packets go to a ring of files instead
    };
    static constexpr const char* temporaryCaptureFile = LiveCaptureSettings::defaultTemporaryFile;
    static constexpr int snapshotLength = 1024;
    static constexpr int readTimeoutMs = 100;
    // Captures the interface while the run is the capture's newest and its
    // flag stays set, writing every packet to the temporary capture file.
    void startCapture(std::shared_ptr<CaptureTarget> capture, const LiveRun& run);

    // Delivery, on the worker thread.
    void beginRun(std::shared_ptr<CaptureTarget> capture) {
        delivery_.beginRun(std::move(capture));
    }
    void applyLivePolicy(std::shared_ptr<KvIAXFrame> frame) {
        delivery_.applyLivePolicy(std::move(frame));
    }
    void applyFilePolicy(std::shared_ptr<KvIAXFrame> frame) {
        delivery_.applyFilePolicy(std::move(frame));
    }
    void deliver() { delivery_.deliver(); }
    void deliverRest() { delivery_.deliverRest(); }
    void endRun(const RunSummary& summary = {}) { delivery_.endRun(summary); }
    void setErrorOnCapture(CaptureTarget& capture, std::string_view message) {
        delivery_.setErrorOnCapture(capture, message);
    }

    [[nodiscard]] const FrameList& iaxFrameBuffer() const { return delivery_.buffer(); }
    [[nodiscard]] const std::shared_ptr<CaptureTarget>& captureReference() const {
        return delivery_.capture();
    }

    // Decoding, as the worker performs it for every packet. Nothing when the
    // memory budget cannot hold another record: the run then stops with
    // memoryLimitText().
    [[nodiscard]] std::shared_ptr<KvIAXFrame> decodePacket(const CapturedPacket& packet);
    [[nodiscard]] static std::string memoryLimitText(std::uint64_t frames);

private:
    // How readPackets ended: quietly, or with the error that ended it.
    struct ReadEnd {
        std::string error;
        bool readFailed = false; // the source failed, rather than keeping or the budget
    };
    // The one read loop of every run: reads `run` until it ends or stops,
    // decoding each packet and giving its frame to the run to keep.
    ReadEnd readPackets(PacketRun& run, RunSummary& summary);

    CaptureServices services_;
    IaxDissector dissector_;
    // Follows the run's calls, encrypted or not, so that the frames of an
    // encrypted one are told apart from clear ones even without a secret.
    std::shared_ptr<PacketTap> tap_;
    std::unique_ptr<FrameDecryption> decryption_ =
        std::make_unique<FrameDecryption>(std::vector<std::string>{});
    FrameAllocator allocator_;
    FrameDelivery delivery_;
    std::string sourceFilename_;
};
