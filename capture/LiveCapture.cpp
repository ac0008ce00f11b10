// The live run of the capture worker: the interface is opened with the
// capture's filter, every packet is written unchanged to the temporary
// capture file, decoded, and handed over in batches about a second apart.
#include "capture/KvPCAPCapture.h"

#include "capture/CapturePermission.h"
#include "capture/LiveCaptureFile.h"
#include "capture/LiveRunGate.h"
#include "capture/PcapHandles.h"
#include "common/Log.h"

#include <pcap/pcap.h>

#include <fcntl.h>
#include <net/if.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

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
    // On every way out, once the handles below are closed: the permission is
    // narrowed, then the capture is told that the run has ended.
    struct RunEnd {
        KvPCAPCapture& worker;
        const RunSummary& summary;
        ~RunEnd() { worker.endRun(summary); }
    } runEnd{*this, summary};
    struct Narrowing {
        CapturePermission& permission;
        ~Narrowing() { permission.narrow(); }
    } narrowing{permission};

    char errorText[PCAP_ERRBUF_SIZE] = {};
    const PcapHandle handle(
        pcap_open_live(run.interfaceName.c_str(), snapshotLength, 1, readTimeoutMs, errorText));
    if (!handle) {
        if (services_.printLibraryErrors) {
            std::fprintf(stderr, "pcap_open_live failed: %s\n", errorText);
        }
        setErrorOnCapture(*captureReference(), errorText);
        return;
    }
    permission.interfaceOpened();

    bpf_program program{};
    const bool compiled =
        pcap_compile(handle.get(), &program, run.captureFilter.c_str(), 1, 0) == 0;
    const bool installed = compiled && pcap_setfilter(handle.get(), &program) == 0;
    if (compiled) {
        pcap_freecode(&program); // the capture keeps its own copy
    }
    if (!installed) {
        setErrorOnCapture(*captureReference(), pcap_geterr(handle.get()));
        return;
    }

    const OpenedLiveFile opened = openLiveCaptureFile(run.temporaryFile, services_.liveFiles);
    const PcapDumper dumper(opened.file != nullptr ? pcap_dump_fopen(handle.get(), opened.file)
                                                   : nullptr);
    if (!dumper) {
        kvlog::line("Error while getting a pcap_dumper reference");
        const std::string reason =
            opened.file != nullptr ? std::string(pcap_geterr(handle.get())) : opened.error;
        if (opened.file != nullptr) {
            std::fclose(opened.file);
        }
        setErrorOnCapture(*captureReference(), reason);
        return;
    }
    if (opened.path != run.temporaryFile) {
        kvlog::line("Capture file: ", opened.path);
        delivery_.showCaptureFile(opened.path);
    }

    // On Linux a blocking read's time-out only starts once a packet has
    // arrived, so with no traffic it would never return to the flag test.
    // Reads are therefore non-blocking, with a wait of at most one read
    // time-out for the capture's descriptor when there is nothing to read.
    const int selectable = pcap_get_selectable_fd(handle.get());
    const bool waitOnDescriptor =
        selectable >= 0 && pcap_setnonblock(handle.get(), 1, errorText) == 0;
    const auto linkType = static_cast<std::uint16_t>(pcap_datalink(handle.get()));
    CapturedPacket packet;
    packet.linkType = linkType;
    // Where the interface has an index, its disappearance can be told apart
    // from a passing read error ("any" has none).
    const unsigned interfaceIndex = if_nametoindex(run.interfaceName.c_str());
    std::string runError;
    while (runIsCurrent()) {
        pcap_pkthdr* header = nullptr;
        const u_char* data = nullptr;
        const int status = pcap_next_ex(handle.get(), &header, &data);
        if (status == 0) {
            if (waitOnDescriptor) {
                pollfd ready{selectable, POLLIN, 0};
                poll(&ready, 1, readTimeoutMs);
            }
            delivery_.deliverIfDue(); // no packet within the read time-out
            continue;
        }
        if (status != 1) {
            // An interface that went away ends the run, and says so: it would
            // go on "capturing" nothing. Any other failed read does not end
            // it, but must not keep a core busy either.
            if (status == PCAP_ERROR_IFACE_NOT_UP ||
                (interfaceIndex != 0 && if_nametoindex(run.interfaceName.c_str()) == 0)) {
                runError = run.interfaceName + ": the interface went away (" +
                           pcap_geterr(handle.get()) + ")";
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(readTimeoutMs));
            continue;
        }
        const std::int64_t offset = pcap_dump_ftell64(dumper.get());
        packet.bytes = {data, header->caplen};
        packet.wireLength = header->len;
        packet.seconds = header->ts.tv_sec;
        packet.nanoseconds = static_cast<std::uint32_t>(header->ts.tv_usec) * 1000;
        packet.index = static_cast<std::uint32_t>(summary.packetsRead);
        packet.fileOffset =
            offset >= 0 ? static_cast<std::uint64_t>(offset) : FrameFacts::unknownFileOffset;
        // Decoded before it is written, so that a packet whose record the
        // memory budget refuses is in neither: capturing stops, keeping what
        // it has, and the file and the capture still hold the same packets.
        auto frame = decodePacket(packet);
        if (!frame) {
            runError = memoryLimitText(summary.packetsRead);
            break;
        }
        pcap_dump(reinterpret_cast<u_char*>(dumper.get()), header, data);
        if (std::ferror(pcap_dump_file(dumper.get())) != 0) {
            // A full disk: the file no longer holds every packet, so the run ends.
            runError = opened.path + ": " + std::strerror(errno);
            break;
        }
        ++summary.packetsRead;
        applyLivePolicy(std::move(frame));
    }

    kvlog::line("Capture has been stopped");
    if (runError.empty() && pcap_dump_flush(dumper.get()) != 0) {
        runError = opened.path + ": " + std::strerror(errno);
    }
    // Every packet in the temporary file is also in the capture's list.
    delivery_.deliverRest();
    if (!runError.empty()) {
        setErrorOnCapture(*captureReference(), runError);
    }
    pcap_stat statistics{};
    if (pcap_stats(handle.get(), &statistics) == 0) {
        summary.haveStatistics = true;
        summary.packetsReceived = statistics.ps_recv;
        summary.packetsDropped = statistics.ps_drop;
        summary.packetsDroppedByInterface = statistics.ps_ifdrop;
    }
}
