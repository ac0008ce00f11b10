// The file-load run of the capture worker: a saved capture read from its first
// packet to its end, every packet decoded and handed over in blocks.
#include "capturefile/PacketFileReader.h"
#include "capture/KvPCAPCapture.h"

#include "common/Log.h"

#include <cstdio>

void KvPCAPCapture::loadCapture(std::shared_ptr<CaptureTarget> capture) {
    kvlog::line("In loadCapturecap");
    beginRun(std::move(capture));

    std::string error;
    const auto source = PacketFileReader::open(sourceFilename_, error);
    if (!source) {
        if (services_.printLibraryErrors) {
            std::fprintf(stderr, "pcap_open_offline failed: %s\n", error.c_str());
        }
        setErrorOnCapture(*captureReference(), error);
        endRun();
        return;
    }

    RunSummary summary;
    CapturedPacket packet;
    const auto limit = captureReference()->packetLimit();
    for (;;) {
        if (captureReference()->isCancelled() || (limit && summary.packetsRead >= *limit)) {
            delivery_.deliverRest();
            break;
        }
        kvlog::debug("Reading packet");
        const auto read = source->next(packet);
        if (read == PacketFileReader::Read::Packet) {
            auto frame = decodePacket(packet);
            if (!frame) {
                // Keeps what it has, rather than being killed for more.
                delivery_.deliverRest();
                setErrorOnCapture(*captureReference(), memoryLimitText(summary.packetsRead));
                break;
            }
            ++summary.packetsRead;
            applyFilePolicy(std::move(frame));
            continue;
        }
        // Whatever was read is in the capture before the run ends or fails.
        delivery_.deliverRest();
        // The end of the file ends the run quietly. A damaged file ends it
        // too, with the frames read so far kept, but says so: a load that
        // stopped early must not look complete.
        if (read == PacketFileReader::Read::Failed) {
            const std::string reason = source->errorText();
            if (services_.printLibraryErrors) {
                std::fprintf(stderr, "pcap_next_ex failed: %s\n", reason.c_str());
            }
            setErrorOnCapture(*captureReference(), reason);
        }
        break;
    }

    kvlog::line("Capture has been stopped");
    endRun(summary);
}
