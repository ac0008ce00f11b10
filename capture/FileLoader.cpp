// The file-load run of the capture worker: a saved capture read from its first
// packet to its end, every packet decoded and handed over on its own.
#include "capture/KvPCAPCapture.h"

#include "common/Log.h"

#include <pcap/pcap.h>

#include <cstdio>

void KvPCAPCapture::loadCapture(std::shared_ptr<CaptureTarget> capture) {
    kvlog::line("In loadCapturecap");
    beginRun(std::move(capture));

    char errorText[PCAP_ERRBUF_SIZE] = {};
    pcap_t* file = pcap_open_offline(sourceFilename_.c_str(), errorText);
    if (file == nullptr) {
        std::fprintf(stderr, "pcap_open_offline failed: %s\n", errorText);
        setErrorOnCapture(*captureReference_, errorText);
        endRun();
        return;
    }

    RunSummary summary;
    for (;;) {
        kvlog::line("Reading packet");
        pcap_pkthdr* header = nullptr;
        const u_char* data = nullptr;
        const int status = pcap_next_ex(file, &header, &data);
        if (status != 1) {
            // The end of the file ends the run quietly. A damaged file ends it
            // too, with the frames read so far kept, but says so: a load that
            // stopped early must not look complete.
            if (status == PCAP_ERROR) {
                const char* reason = pcap_geterr(file);
                std::fprintf(stderr, "pcap_next_ex failed: %s\n", reason);
                setErrorOnCapture(*captureReference_, reason);
            }
            break;
        }
        ++summary.packetsRead;
        applyFilePolicy(decodePacket({data, header->caplen}));
    }

    kvlog::line("Capture has been stopped");
    pcap_close(file);
    endRun(summary);
}
