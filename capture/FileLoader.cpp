// The file-load run of the capture worker: a saved capture read from its first
// packet to its end, every packet decoded and handed over in blocks.
#include "capture/KvPCAPCapture.h"
#include "capture/PacketRun.h"
#include "capturefile/PacketFileReader.h"

#include "common/Log.h"

#include <cstdio>

namespace {

class FileRun final : public PacketRun {
public:
    FileRun(PacketFileReader& file, KvPCAPCapture& worker) : file_(file), worker_(worker) {}

    bool goesOn() override {
        const CaptureTarget& capture = *worker_.captureReference();
        const auto limit = capture.packetLimit();
        return !capture.isCancelled() && !(limit && read_ >= *limit);
    }
    Next next(CapturedPacket& packet) override {
        kvlog::debug("Reading packet");
        switch (file_.next(packet)) {
        case PacketFileReader::Read::Packet:
            ++read_;
            return Next::Packet;
        case PacketFileReader::Read::End:
            return Next::End;
        case PacketFileReader::Read::Failed:
            break;
        }
        return Next::Failed;
    }
    bool keep(const CapturedPacket&, std::shared_ptr<KvIAXFrame> frame) override {
        worker_.applyFilePolicy(std::move(frame));
        return true;
    }
    void idle() override {}
    [[nodiscard]] std::string failure() const override { return file_.errorText(); }

private:
    PacketFileReader& file_;
    KvPCAPCapture& worker_;
    std::uint64_t read_ = 0;
};

} // namespace

void KvPCAPCapture::loadCapture(std::shared_ptr<CaptureTarget> capture) {
    kvlog::line("In loadCapturecap");
    beginRun(std::move(capture));

    std::string error;
    const auto file = PacketFileReader::open(sourceFilename_, error);
    if (!file) {
        if (services_.printLibraryErrors) {
            std::fprintf(stderr, "pcap_open_offline failed: %s\n", error.c_str());
        }
        setErrorOnCapture(*captureReference(), error);
        endRun();
        return;
    }

    RunSummary summary;
    FileRun run(*file, *this);
    const ReadEnd end = readPackets(run, summary);
    // Whatever was read is in the capture before the run ends or fails. A
    // damaged file, or the memory budget, ends the run with the frames read
    // so far kept, but says so: a load that stopped early must not look
    // complete.
    delivery_.deliverRest();
    if (!end.error.empty()) {
        if (end.readFailed && services_.printLibraryErrors) {
            std::fprintf(stderr, "pcap_next_ex failed: %s\n", end.error.c_str());
        }
        setErrorOnCapture(*captureReference(), end.error);
    }
    kvlog::line("Capture has been stopped");
    endRun(summary);
}
