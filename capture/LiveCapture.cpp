// The live run of the capture worker. The interface is opened by the capture
// helper (quorvex-capture), the only program that may hold capture rights,
// which streams the packets that pass the capture's filter as pcap on a pipe.
// The worker reads that stream with libpcap, writes every packet unchanged to
// the temporary capture file, decodes it, and hands the frames over in
// batches about a second apart.
#include "capture/KvPCAPCapture.h"

#include "capture/CaptureHelperProcess.h"
#include "capture/CapturePermission.h"
#include "capture/LiveCaptureFile.h"
#include "capture/LiveRunGate.h"
#include "capture/PcapHandles.h"
#include "common/Log.h"

#include <pcap/pcap.h>

#include <poll.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

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
    char errorText[PCAP_ERRBUF_SIZE] = {};
    const PcapHandle stream(pcap_fopen_offline(helper->stream(), errorText));
    if (stream) {
        helper->streamTakenOver(); // closed with the handle, before the helper is reaped
    } else {
        const auto ending = helper->wait();
        const std::string reason = !ending.errorText.empty() ? ending.errorText : errorText;
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

    const OpenedLiveFile opened = openLiveCaptureFile(run.temporaryFile, services_.liveFiles);
    // Save may move the file once it is closed, after the dumper below.
    struct WritingEnd {
        LiveFileRecord* record;
        ~WritingEnd() {
            if (record != nullptr) {
                record->finished();
            }
        }
    } writingEnd{services_.liveFiles};
    const PcapDumper dumper(opened.file != nullptr ? pcap_dump_fopen(stream.get(), opened.file)
                                                   : nullptr);
    if (!dumper) {
        kvlog::line("Error while getting a pcap_dumper reference");
        const std::string reason =
            opened.file != nullptr ? std::string(pcap_geterr(stream.get())) : opened.error;
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

    CapturedPacket packet;
    packet.linkType = static_cast<std::uint16_t>(pcap_datalink(stream.get()));
    std::string runError;
    bool stopping = false;
    for (;;) {
        if (!stopping && !runIsCurrent()) {
            // The helper writes out what it has and ends the stream; every
            // packet it captured is still read below.
            helper->stop();
            stopping = true;
        }
        if (!helper->streamHasBufferedBytes()) {
            pollfd ready{helper->streamDescriptor(), POLLIN, 0};
            if (poll(&ready, 1, readTimeoutMs) == 0) {
                delivery_.deliverIfDue(); // no packet within the read time-out
                continue;
            }
        }
        pcap_pkthdr* header = nullptr;
        const u_char* data = nullptr;
        const int status = pcap_next_ex(stream.get(), &header, &data);
        if (status != 1) {
            if (status != PCAP_ERROR_BREAK) {
                runError = std::string("capture stream: ") + pcap_geterr(stream.get());
            }
            break; // the helper ended its stream
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
    // A helper that ended by itself, other than at our stop, failed: its
    // interface went away, or it was killed.
    const auto ending = helper->wait();
    if (runError.empty() && (!ending.cleanly || !stopping)) {
        runError =
            !ending.errorText.empty() ? ending.errorText : "the capture helper ended unexpectedly";
    }
    if (runError.empty() && pcap_dump_flush(dumper.get()) != 0) {
        runError = opened.path + ": " + std::strerror(errno);
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
