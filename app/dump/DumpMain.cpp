// quorvex-dump: decodes a capture the way the window does and prints every
// frame record. A file goes through the same loader as Open (a capture, its
// worker thread, frames handed over in blocks); a live capture (--live) goes
// through the same live worker as the capture's button. Either way the frames
// are printed block by block as they arrive.
#include "calls/CallFlow.h"
#include "calls/CallTracker.h"
#include "app/CallAudioJob.h"
#include "app/PacketExport.h"
#include "app/CallWriter.h"
#include "app/CaptureEnvironment.h"
#include "app/KvIAXCapture.h"
#include "app/ListeningJob.h"
#include "app/Secrets.h"
#include "app/RecordWriter.h"
#include "app/dump/DumpArguments.h"
#include "app/dump/DumpFilter.h"
#include "app/dump/DumpListings.h"
#include "app/dump/DumpWrites.h"
#include "app/dump/FrameWriter.h"
#include "app/dump/CallReports.h"
#include "app/dump/HepFeed.h"
#include "app/dump/LiveRun.h"
#include "app/dump/StoreFeed.h"
#include "platform/CaptureAlert.h"
#include "common/MemoryCharge.h"
#include "media/WavFile.h"

#include <QCoreApplication>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <string>
#include <unistd.h>

namespace {

// The command line's stand-in for the modal alert.
class StderrAlert final : public CaptureAlert {
public:
    void showCaptureFailed(std::string_view text) override {
        std::fprintf(stderr, "Capture failed: %.*s\n", static_cast<int>(text.size()), text.data());
        failed_ = true;
    }
    [[nodiscard]] bool failed() const { return failed_; }

private:
    bool failed_ = false;
};

// Listens to every call's voice for its activity and in-band digits, a few
// thousand packets' worth of calls at a time. A capture that cannot be read
// again (standard input) keeps them unknown, and says so.
void listenToCalls(KvIAXCapture& capture) {
    // Without the records, each group's frames are decoded again from the
    // file, which its calls may span whole: groups of a twentieth of the
    // frames read it about twenty times, and hold at most 500,000 packets.
    const std::size_t packetsAtOnce =
        capture.releasesFollowedFrames()
            ? std::clamp<std::size_t>(capture.iaxFrames().size() / 20, 100'000, 500'000)
            : 100'000;
    const std::size_t calls = capture.callTracker().calls().size();
    for (std::size_t first = 0, next = 0; first < calls; first = next) {
        std::string error;
        const auto job = ListeningJob::of(capture, first, packetsAtOnce, next, error);
        std::vector<CallListening> found;
        if (!job || !job->run(found, error)) {
            std::fprintf(stderr, "quorvex-dump: activity and in-band DTMF are unknown: %s\n",
                         error.c_str());
            return;
        }
        capture.addListening(job->calls, std::move(found));
    }
}

void printStatistics(const RunSummary& summary) {
    std::fprintf(stderr, "%llu packets captured\n",
                 static_cast<unsigned long long>(summary.packetsRead));
    if (summary.haveStatistics) {
        std::fprintf(stderr, "%llu packets received by filter\n%llu packets dropped by kernel\n",
                     static_cast<unsigned long long>(summary.packetsReceived),
                     static_cast<unsigned long long>(summary.packetsDropped));
    }
}

} // namespace

int main(int argc, char** argv) {
    // A closed standard output is a write error to handle, not a reason to die.
    std::signal(SIGPIPE, SIG_IGN);
    if (argc == 2 && (std::strcmp(argv[1], "--version") == 0 || std::strcmp(argv[1], "-v") == 0)) {
        std::printf("quorvex-dump %s\n", QUORVEX_VERSION);
        return 0;
    }
    const auto parsed = DumpArguments::parse(argc, argv);
    if (!parsed) {
        std::fputs(dumpUsage, stderr);
        return 2;
    }
    const DumpArguments& args = *parsed;
    bool limitValid = true;
    CaptureEnvironment::memoryLimitFromEnvironment(&limitValid);
    if (!limitValid) {
        std::fputs("quorvex-dump: QUORVEX_MEMORY_LIMIT is not a size (like 512M or 2G)\n", stderr);
        return 2;
    }
    if (args.glossary) {
        const std::string list = fieldoutput::glossary();
        std::fwrite(list.data(), 1, list.size(), stdout);
        return 0;
    }
    DumpFilter selection;
    std::string filterError;
    if (!selection.setExpression(args.displayFilter, filterError)) {
        std::fprintf(stderr, "quorvex-dump: display filter: %s\n", filterError.c_str());
        return 2;
    }
    std::string outputError;
    const auto writer = FrameWriter::make(args, outputError);
    if (!writer) {
        std::fprintf(stderr, "quorvex-dump: %s\n", outputError.c_str());
        return 2;
    }
    std::string hepError;
    auto hepFeed = HepFeed::start(args, hepError);
    if (!hepFeed && !hepError.empty()) {
        std::fprintf(stderr, "quorvex-dump: %s\n", hepError.c_str());
        return 2;
    }
    QCoreApplication app(argc, argv);

    StderrAlert alert;
    // Twelve lines for each PONG's receiver report would bury the errors of a
    // long run: the elements not decoded are listed on asking.
    std::ostream discarded(nullptr);
    CaptureEnvironment environment({.interfaceName = args.interface,
                                    .debug = args.debug,
                                    // standard output carries records only
                                    .unknownElementDump = args.verbose ? &std::cerr : &discarded,
                                    .alert = &alert,
                                    // the alert prints them, once
                                    .printLibraryErrors = false,
                                    .memoryLimit = args.memoryLimit});

    // A file's store is reached before the file is read: a server that is
    // away fails the run at once, not after a long load.
    std::string storeError;
    const std::string captureName =
        args.live ? "live:" + environment.liveSettings().interfaceName
                  : args.file.substr(
                        args.file.rfind('/') == std::string::npos ? 0 : args.file.rfind('/') + 1);
    auto storeFeed = StoreFeed::start(args, captureName, storeError);
    if (!storeFeed && !storeError.empty()) {
        std::fprintf(stderr, "quorvex-dump: %s\n", storeError.c_str());
        return args.storeTarget && storeError.rfind("store: ", 0) == 0 ? 1 : 2;
    }
    if (args.secretOnCommandLine) {
        std::fputs("quorvex-dump: other users can read a --secret on the command line (in "
                   "/proc and ps) while the program starts; --secrets-file FILE or - keeps it "
                   "yours\n",
                   stderr);
    }
    environment.secrets() = args.secrets;
    // Held for the run, and charged to the memory limit like any frames.
    MemoryCharge secretsCharge(environment.services().memoryBudget);
    for (const std::string& path : args.secretsFiles) {
        if (path == "-" && args.file == "-" && !args.live) {
            std::fputs("quorvex-dump: the secrets and the capture cannot both come from standard "
                       "input\n",
                       stderr);
            return 2;
        }
        std::string secretsError;
        if (!secrets::readSecretsFile(path, environment.secrets(), secretsError, &secretsCharge)) {
            std::fprintf(stderr, "quorvex-dump: %s\n", secretsError.c_str());
            return 2;
        }
    }
    auto capture = KvIAXCapture::create(environment.services());
    const std::optional<std::string> file =
        args.live ? std::nullopt : std::optional<std::string>(args.file);
    if (!selection.attach(*capture, file, filterError)) {
        std::fprintf(stderr, "quorvex-dump: display filter: %s\n", filterError.c_str());
        return 2;
    }
    if (hepFeed) {
        hepFeed->attach(*capture);
    }
    if (!writer->attach(*capture, file, outputError)) {
        std::fprintf(stderr, "quorvex-dump: %s\n", outputError.c_str());
        return 2;
    }
    const bool printsFrames = args.listing == DumpArguments::Listing::Frames && !args.call &&
                              !args.flow && !args.audio && !args.writeFrames;
    capture->setPacketLimit(args.packetLimit);
    capture->setLiveRing(args.ring);
    std::optional<CallReports> reports;
    if (hepFeed || storeFeed) {
        reports.emplace(*capture, hepFeed.get(), storeFeed.get());
    }
    capture->setFollowsCalls(!printsFrames || selection.needsCalls() || reports ||
                             (writer->needs() & fields::NeedsCalls) != 0);
    // Followed as the frames arrive, so that they are ready when the load ends.
    using Listing = DumpArguments::Listing;
    const bool judges = args.listing == Listing::Streams || args.listing == Listing::Calls ||
                        args.listing == Listing::Problems || args.listing == Listing::Dtmf;
    if (judges || reports) {
        capture->setFollowsQuality(quality::QualityOptions{.jitterBufferMs = args.jitterBufferMs});
    }
    // The calls, registrations, streams, problems and digits of a loaded file
    // need the trackers alone: each record goes once they took it in, so
    // that memory grows with the calls rather than with the file.
    capture->setReleasesFollowedFrames((judges || args.listing == Listing::Registrations) &&
                                       !selection.active() && !args.live && !args.call &&
                                       !args.flow && !args.audio && !args.writeFrames);
    OutputBuffer printer;
    // Frames are printed as they arrive, up to --count frames, a block at a
    // time. Printing is queued behind the hand-off rather than done inside
    // it, so the worker decodes the next block meanwhile.
    std::size_t nextToPrint = 0;
    unsigned long printed = 0;
    std::string filterFailure; // a frame the filter could not be tested on
    bool printQueued = false;
    // The capture follows its calls as the frames arrive; they are printed at the end.
    const calls::CallTracker& tracker = capture->callTracker();
    auto printArrived = [&] {
        printQueued = false;
        const FrameList& frames = capture->iaxFrames();
        if (!printsFrames) {
            return;
        }
        // A filter on calls tests a frame once the calls have taken it in.
        selection.refresh();
        const std::size_t ready =
            std::min({frames.size(), selection.readyFrames(*capture), writer->readyFrames(),
                      hepFeed ? hepFeed->readyFrames() : frames.size()});
        for (; nextToPrint < ready && filterFailure.empty(); ++nextToPrint) {
            if (args.count && printed >= *args.count) {
                break;
            }
            const auto verdict = selection.keeps(nextToPrint, filterFailure);
            if (verdict == filter::Verdict::Match) {
                writer->write(printer.text(), nextToPrint);
                printer.flushIfLarge();
                if (hepFeed) {
                    hepFeed->send(nextToPrint);
                }
                ++printed;
            }
        }
        if (!filterFailure.empty()) {
            // What follows could not be told apart: the run ends here.
            capture->cancel();
        }
        printer.flush();
        if (hepFeed) {
            hepFeed->flush(nextToPrint);
        }
        // Printed frames are never looked at again but as the one before the
        // next: their records go, so that memory does not grow with the file.
        capture->releaseFramesBefore(nextToPrint > 0 ? nextToPrint - 1 : 0);
        const bool enough = args.count && printed >= *args.count;
        // A reader that went away ends a live run cleanly: the file is
        // complete and the counts are printed.
        if ((enough || printer.writeError() != 0) && capture->isInProgress()) {
            capture->stopCapture();
        }
    };
    const auto queuePrint = [&] {
        if (!printQueued) {
            printQueued = true;
            QMetaObject::invokeMethod(&app, printArrived, Qt::QueuedConnection);
        }
    };
    QObject::connect(capture.get(), &KvIAXCapture::framesAppended, &app, queuePrint);
    QObject::connect(capture.get(), &KvIAXCapture::callsChanged, &app, queuePrint);
    QObject::connect(capture.get(), &KvIAXCapture::runEnded, &app, [&] {
        printArrived();
        if (args.call) {
            app.exit(alert.failed() ? 1 : writeCall(tracker, args));
            return;
        }
        if (args.audio) {
            app.exit(alert.failed() ? 1 : writeAudio(*capture, args));
            return;
        }
        if (args.writeFrames) {
            app.exit(alert.failed() ? 1 : writeSelectedFrames(*capture, selection, args));
            return;
        }
        if (args.listing == DumpArguments::Listing::Stats ||
            args.listing == DumpArguments::Listing::Conversations) {
            (args.listing == DumpArguments::Listing::Stats ? printStats : printConversations)(
                printer, *capture, args.format);
            app.exit(alert.failed() || printer.writeError() != 0 ? 1 : 0);
            return;
        }
        if (args.flow) {
            if (*args.flow > tracker.calls().size()) {
                std::fprintf(stderr, "quorvex-dump: there is no call %lu (the capture holds %zu)\n",
                             *args.flow, tracker.calls().size());
                app.exit(1);
                return;
            }
            const std::string ladder = calls::callFlowText(tracker.calls()[*args.flow - 1],
                                                           capture->iaxFrames(), tracker.resends());
            std::fwrite(ladder.data(), 1, ladder.size(), stdout);
            app.exit(alert.failed() ? 1 : 0);
            return;
        }
        const bool listens = judges || (storeFeed && !args.live);
        if (listens && !alert.failed() && filterFailure.empty()) {
            listenToCalls(*capture);
        }
        if (args.listing != DumpArguments::Listing::Frames && filterFailure.empty()) {
            const auto keptFrame = [&](std::uint32_t frame) {
                return !selection.active() ||
                       (frame >= 1 &&
                        selection.keeps(frame - 1, filterFailure) == filter::Verdict::Match);
            };
            const auto kept = selection.keptCalls(*capture, filterFailure);
            if (kept &&
                !printListing(printer, *capture, args.listing, args.format, *kept, keptFrame)) {
                app.exit(1);
                return;
            }
        } else if (printsFrames) {
            writer->finish(printer.text());
            printer.flush();
        }
        if (!filterFailure.empty()) {
            std::fprintf(stderr, "quorvex-dump: display filter: %s\n", filterFailure.c_str());
            app.exit(1);
            return;
        }
        if (args.live) {
            printStatistics(capture->lastRunSummary());
        }
        const int writeError = printer.writeError();
        if (writeError != 0 && writeError != EPIPE) {
            std::fprintf(stderr, "quorvex-dump: standard output: %s\n", std::strerror(writeError));
        }
        // A collector or a store that took less than it was given fails the run.
        if (reports && filterFailure.empty() && !alert.failed()) {
            reports->reportEnded(true);
        }
        const bool hepLost = hepFeed && hepFeed->finish() > 0;
        const bool storeLost = storeFeed && !storeFeed->finish(args.live);
        app.exit(alert.failed() || hepLost || storeLost || (writeError != 0 && writeError != EPIPE)
                     ? 1
                     : 0);
    });

    if (!args.live) {
        capture->loadCapture(args.file); // bytes: a name need not be valid UTF-8
    } else {
        startLiveRun(app, *capture, args, reports ? &*reports : nullptr);
    }
    const int status = app.exec();
    return environment.endWorkers(status);
}
