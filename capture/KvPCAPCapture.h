#pragma once

#include "capture/CaptureServices.h"
#include "capture/CaptureTarget.h"
#include "dissect/IaxDissector.h"

#include <memory>
#include <string>
#include <string_view>

// One run of a capture worker: a live capture or the load of a capture file.
// It is created on the main thread and then used by exactly one worker
// thread. It builds frame records, keeps them in its delivery buffer and hands
// them to its capture on the main thread, waiting until they are appended.
class KvPCAPCapture final {
public:
    using Clock = CaptureServices::Clock;
    // A delivery is due when the clock was reset more than this long ago.
    static constexpr auto deliveryThreshold = std::chrono::seconds(1);

    explicit KvPCAPCapture(const CaptureServices& services);
    KvPCAPCapture(const KvPCAPCapture&) = delete;
    KvPCAPCapture& operator=(const KvPCAPCapture&) = delete;

    void setSourceFilename(std::string path) { sourceFilename_ = std::move(path); }
    [[nodiscard]] const std::string& sourceFilename() const { return sourceFilename_; }

    // Reads sourceFilename() to its end, delivering every frame at once.
    void loadCapture(std::shared_ptr<CaptureTarget> capture);

    // What a live run needs from the main thread, copied there as it starts.
    struct LiveRun {
        std::string interfaceName;
        std::string filter;
        std::uint64_t generation = 0;
    };
    static constexpr const char* temporaryCaptureFile = "/tmp/quorvex.capture";
    static constexpr int snapshotLength = 1024;
    static constexpr int readTimeoutMs = 100;
    // Captures the interface while the run is the capture's newest and its
    // flag stays set, writing every packet to the temporary capture file.
    void startCapture(std::shared_ptr<CaptureTarget> capture, const LiveRun& run);

    // Delivery, on the worker thread.
    void beginRun(std::shared_ptr<CaptureTarget> capture);
    void applyLivePolicy(std::shared_ptr<KvIAXFrame> frame);
    void applyFilePolicy(std::shared_ptr<KvIAXFrame> frame);
    void deliver();
    // Tells the capture on the main thread that the run is over and lets go
    // of it there, so that a capture never dies on a worker thread.
    void endRun(const RunSummary& summary = {});
    // Marks the capture as failed and shows the alert; waits until it is dismissed.
    void setErrorOnCapture(CaptureTarget& capture, std::string_view message);

    // On the main thread: appends the delivery buffer to the capture's list.
    void updateIaxCapture(CaptureTarget& capture);

    [[nodiscard]] const FrameList& iaxFrameBuffer() const { return iaxFrameBuffer_; }
    [[nodiscard]] const std::shared_ptr<CaptureTarget>& captureReference() const {
        return captureReference_;
    }

    // Decoding, as the worker performs it for every packet.
    [[nodiscard]] std::shared_ptr<KvIAXFrame>
    decodePacket(std::span<const std::uint8_t> captured) const {
        return dissector_.decodePacket(captured);
    }
    void decodeIAXFullFrame(ByteCursor payload, long payloadLength, PropertyMap& map) const {
        dissector_.decodeIAXFullFrame(payload, payloadLength, map);
    }
    [[nodiscard]] const char* decodeAudioFormat(std::uint8_t subclass) const {
        return dissector_.decodeAudioFormat(subclass);
    }
    void decodeInformationElements(ByteCursor area, long length, ElementList& list) const {
        dissector_.decodeInformationElements(area, length, list);
    }

private:
    [[nodiscard]] Clock::time_point now() const;
    [[nodiscard]] bool deliveryDue() const {
        return now() - lastMainThreadUpdate_ > deliveryThreshold;
    }

    CaptureServices services_;
    IaxDissector dissector_;
    std::shared_ptr<CaptureTarget> captureReference_;
    Clock::time_point lastMainThreadUpdate_{};
    FrameList iaxFrameBuffer_;
    std::string sourceFilename_;
};
