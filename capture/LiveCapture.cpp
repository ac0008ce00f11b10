// The live run of the capture worker. The interface is opened by the capture
// helper (quorvex-capture), the only program that may hold capture rights,
// which streams the packets that pass the capture's filter as pcap on a pipe.
// The worker reads that stream as it reads a file, writes every packet unchanged to
// the temporary capture file, decodes it, and hands the frames over in
// batches about a second apart.
#include "capture/KvPCAPCapture.h"

#include "capture/CaptureHelperProcess.h"
#include "capture/CapturePermission.h"
#include "capture/LiveCaptureFile.h"
#include "capture/LiveRunGate.h"
#include "capture/RingFiles.h"
#include "capturefile/CaptureFileWriter.h"
#include "capturefile/PacketFileReader.h"
#include "common/Log.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

// The frames whose packets were handed to the temporary file but may still
// sit in its buffer. They are delivered only once a flush has put their
// bytes in the file, so that the capture never holds a packet the file
// lacks: on a full disk, the frames whose packets reached the file whole are
// delivered, the file is cut back to its last whole packet, and the run ends.
class WrittenFrames {
public:
    // Flushing costs a system call: a block of packets at a time.
    static constexpr std::size_t mostPending = 256;

    void add(std::shared_ptr<KvIAXFrame> frame, std::uint64_t recordEnd) {
        pending_.push_back({std::move(frame), recordEnd});
    }
    [[nodiscard]] bool full() const { return pending_.size() >= mostPending; }
    [[nodiscard]] bool empty() const { return pending_.empty(); }

    // Flushes and delivers what reached the file; false, with `error` set,
    // where not everything did.
    bool commit(CaptureFileWriter& file, const std::string& path,
                const std::function<void(std::shared_ptr<KvIAXFrame>)>& deliver,
                std::string& error) {
        if (pending_.empty()) {
            return true;
        }
        const bool flushed = file.flush();
        std::uint64_t inFile = UINT64_MAX;
        if (!flushed) {
            struct stat info {};
            inFile = fstat(fileno(file.stream()), &info) == 0
                         ? static_cast<std::uint64_t>(info.st_size)
                         : 0;
        }
        std::uint64_t wholeEnd = 0;
        for (auto& [frame, end] : pending_) {
            if (end > inFile) {
                break;
            }
            wholeEnd = end;
            deliver(std::move(frame));
        }
        pending_.clear();
        if (flushed) {
            return true;
        }
        // A packet cut in the middle would make the file unreadable from there.
        if (wholeEnd > 0) {
            [[maybe_unused]] const int cut =
                ftruncate(fileno(file.stream()), static_cast<off_t>(wholeEnd));
        }
        error = path + ": " + file.error();
        return false;
    }

private:
    struct Pending {
        std::shared_ptr<KvIAXFrame> frame;
        std::uint64_t recordEnd; // where its packet's record ends in the file
    };
    std::vector<Pending> pending_;
};

using Deliver = std::function<void(std::shared_ptr<KvIAXFrame>)>;

// Where a live run writes: its one file, or the current file of its ring.
struct LiveOutput {
    std::unique_ptr<CaptureFileWriter> file;
    std::string path;
    RingFiles* ring = nullptr;
    CaptureFileWriter::Layout layout;

    // The ring's next file in place of the current one, which is closed.
    bool rotate(std::string& error) {
        if (!file->flush()) {
            error = path + ": " + file->error();
            return false;
        }
        std::FILE* next = ring->openNext(path, error);
        if (next == nullptr) {
            return false;
        }
        file = std::make_unique<CaptureFileWriter>(next, layout);
        if (!file->ok()) {
            error = path + ": " + file->error();
            return false;
        }
        kvlog::line("Capture file: ", path);
        return true;
    }
};

// The helper's stream: each packet is written to the temporary capture file,
// and its frame handed over once its bytes are in the file.
class HelperStreamRun final : public PacketRun {
public:
    HelperStreamRun(CaptureHelperProcess& helper, PacketFileReader& stream, LiveOutput& output,
                    WrittenFrames& written, Deliver deliver, FrameDelivery& delivery,
                    std::function<bool()> isCurrent)
        : helper_(helper), stream_(stream), output_(output), written_(written),
          deliver_(std::move(deliver)), delivery_(delivery), isCurrent_(std::move(isCurrent)) {}

    // A run that is stopped or replaced reads on: the helper writes out what
    // it has and ends the stream, and every packet it captured is kept.
    bool goesOn() override {
        if (!stopping_ && !isCurrent_()) {
            helper_.stop();
            stopping_ = true;
        }
        return true;
    }
    Next next(CapturedPacket& packet) override {
        if (written_.full() && !commitAndRotate()) {
            return Next::Failed;
        }
        if (!helper_.streamHasBufferedBytes()) {
            pollfd ready{helper_.streamDescriptor(), POLLIN, 0};
            if (poll(&ready, 1, 0) == 0) {
                // Nothing to read now: what was written goes to the file and
                // its frames to the capture before the wait.
                if (!commitAndRotate()) {
                    return Next::Failed;
                }
                if (poll(&ready, 1, KvPCAPCapture::readTimeoutMs) == 0) {
                    return Next::Idle;
                }
            }
        }
        switch (stream_.next(packet)) {
        case PacketFileReader::Read::Packet:
            break;
        case PacketFileReader::Read::End:
            return Next::End; // the helper ended its stream
        case PacketFileReader::Read::Failed:
            failure_ = "capture stream: " + stream_.errorText();
            return Next::Failed;
        }
        offset_ = output_.file->position();
        packet.index = static_cast<std::uint32_t>(read_++);
        packet.fileOffset =
            offset_ >= 0 ? static_cast<std::uint64_t>(offset_) : FrameFacts::unknownFileOffset;
        return Next::Packet;
    }
    // Written once decoded, so that a packet whose record the memory budget
    // refuses is in neither: capturing stops, keeping what it has, and the
    // file and the capture still hold the same packets.
    bool keep(const CapturedPacket& packet, std::shared_ptr<KvIAXFrame> frame) override {
        const bool written = output_.file->write(packet);
        written_.add(std::move(frame),
                     static_cast<std::uint64_t>(offset_) + 16 + packet.bytes.size());
        // A full disk: the file no longer takes every packet, so the run
        // ends; the commit that follows says why.
        return written;
    }
    void idle() override { delivery_.deliverIfDue(); }
    // Puts what was written in the file and delivers its frames; then, a
    // ring's file that is due is replaced, every frame of it delivered with
    // its place in it.
    bool commitAndRotate() {
        if (!written_.commit(*output_.file, output_.path, deliver_, failure_)) {
            return false;
        }
        return !output_.ring ||
               !output_.ring->due(output_.file->position(), RingFiles::Clock::now()) ||
               output_.rotate(failure_);
    }
    [[nodiscard]] std::string failure() const override { return failure_; }
    [[nodiscard]] bool stopping() const { return stopping_; }

private:
    CaptureHelperProcess& helper_;
    PacketFileReader& stream_;
    LiveOutput& output_;
    WrittenFrames& written_;
    Deliver deliver_;
    FrameDelivery& delivery_;
    std::function<bool()> isCurrent_;
    bool stopping_ = false;
    std::int64_t offset_ = -1;
    std::uint64_t read_ = 0;
    std::string failure_;
};

} // namespace

void KvPCAPCapture::startCapture(std::shared_ptr<CaptureTarget> capture, const LiveRun& run) {
    beginRun(std::move(capture));
    RunSummary summary;
    summary.live = true;
    auto runIsCurrent = [this, &run] {
        return captureReference()->isInProgress() &&
               captureReference()->liveRunGeneration() == run.generation;
    };

    LiveRunGate::Pass pass(*services_.liveGate);
    // A run stopped or replaced while it waited for an earlier one to end
    // never starts, so it cannot touch that run's file.
    if (!runIsCurrent()) {
        endRun(summary);
        return;
    }
    CapturePermission& permission = *services_.permission;
    permission.widen();
    // On every way out, once the handles below are closed and the helper has
    // ended: the permission is narrowed, then the capture is told that the run
    // has ended.
    struct RunEnd {
        KvPCAPCapture& worker;
        const RunSummary& summary;
        ~RunEnd() { worker.endRun(summary); }
    } runEnd{*this, summary};
    struct Narrowing {
        CapturePermission& permission;
        ~Narrowing() { permission.narrow(); }
    } narrowing{permission};

    std::string error;
    const auto helper = CaptureHelperProcess::start({.helperPath = run.helperPath,
                                                     .interfaceName = run.interfaceName,
                                                     .captureFilter = run.captureFilter,
                                                     .snapshotLength = snapshotLength,
                                                     .promiscuous = true,
                                                     .readTimeoutMs = readTimeoutMs},
                                                    error);
    if (!helper) {
        setErrorOnCapture(*captureReference(), error);
        return;
    }
    // The stream's header comes once the interface is open and the filter in
    // place; a helper that failed ends the stream first and says why.
    std::string streamError;
    const auto stream = PacketFileReader::openStream(helper->stream(), streamError);
    if (stream) {
        helper->streamTakenOver(); // closed with the reader, before the helper is reaped
    } else {
        const auto ending = helper->wait();
        const std::string reason = !ending.errorText.empty() ? ending.errorText : streamError;
        if (ending.exitStatus == 4) {
            permission.interfaceOpened(); // the filter failed, after the open
        }
        if (ending.exitStatus == 3 && services_.printLibraryErrors) {
            std::fprintf(stderr, "pcap_open_live failed: %s\n", reason.c_str());
        }
        setErrorOnCapture(*captureReference(), reason);
        return;
    }
    permission.interfaceOpened();

    // The file keeps the stream's microseconds, link type and snapshot length.
    LiveOutput output{.file = nullptr,
                      .path = {},
                      .ring = nullptr,
                      .layout = {.format = CaptureFormat::Pcap,
                                 .linkType = stream->linkType(),
                                 .snapshotLength = stream->snapshotLength()}};
    std::optional<RingFiles> ring;
    // Save may move the usual file once it is closed, after the writer below;
    // a ring's files stay where they are.
    struct WritingEnd {
        LiveFileRecord* record;
        ~WritingEnd() {
            if (record != nullptr) {
                record->finished();
            }
        }
    } writingEnd{run.ring.active() ? nullptr : services_.liveFiles};
    std::string openError;
    std::FILE* opened = nullptr;
    if (run.ring.active()) {
        ring.emplace(run.ring);
        output.ring = &*ring;
        opened = ring->openNext(output.path, openError);
    } else {
        OpenedLiveFile live = openLiveCaptureFile(run.temporaryFile, services_.liveFiles);
        opened = live.file;
        output.path = live.path;
        openError = live.error;
    }
    output.file =
        opened != nullptr ? std::make_unique<CaptureFileWriter>(opened, output.layout) : nullptr;
    if (!output.file || !output.file->ok()) {
        kvlog::line("Error while getting a pcap_dumper reference");
        setErrorOnCapture(*captureReference(), !output.file ? openError : output.file->error());
        return;
    }
    if (output.path != run.temporaryFile) {
        kvlog::line("Capture file: ", output.path);
        delivery_.showCaptureFile(output.path);
    }

    WrittenFrames written;
    std::uint64_t delivered = 0;
    const auto deliver = [this, &delivered](std::shared_ptr<KvIAXFrame> frame) {
        applyLivePolicy(std::move(frame));
        ++delivered;
    };
    HelperStreamRun live(*helper, *stream, output, written, deliver, delivery_, runIsCurrent);
    std::string runError = readPackets(live, summary).error;
    // What was written before the run ended goes to the capture too, whatever ended it.
    std::string writeError;
    if (!written.commit(*output.file, output.path, deliver, writeError) && runError.empty()) {
        runError = writeError;
    }
    // A packet read but not whole in the file (a failed write) was not captured.
    summary.packetsRead = delivered;

    kvlog::line("Capture has been stopped");
    // A helper that ended by itself, other than at our stop, failed: its
    // interface went away, or it was killed.
    const auto ending = helper->wait();
    if (runError.empty() && (!ending.cleanly || !live.stopping())) {
        runError =
            !ending.errorText.empty() ? ending.errorText : "the capture helper ended unexpectedly";
    }
    // Every packet in the temporary file is also in the capture's list.
    delivery_.deliverRest();
    if (!runError.empty()) {
        setErrorOnCapture(*captureReference(), runError);
    }
    if (ending.haveStatistics) {
        summary.haveStatistics = true;
        summary.packetsReceived = ending.received;
        summary.packetsDropped = ending.dropped;
        summary.packetsDroppedByInterface = ending.droppedByInterface;
    }
}
