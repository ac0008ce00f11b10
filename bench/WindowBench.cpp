// Opens a capture file in the window (offscreen) and reports the time from
// Open to the last frame shown in the frame table, and the longest the main
// thread went without serving its event loop meanwhile; then the same of
// listening to the calls' voice and listing the problems, and of a
// five-term display filter.
//   build/bench/window_bench FILE
// Under the memory limit the window would have (QUORVEX_MEMORY_LIMIT, or
// half the memory): a load that stops at it is measured to where it stopped.
#include "app/CaptureEnvironment.h"
#include "capture/CapturePermission.h"
#include "common/MemoryBudget.h"
#include "platform/CaptureAlert.h"
#include "capture/LiveRunGate.h"
#include "capture/QueuedHandoff.h"
#include "capture/WorkerThreads.h"
#include "ui/FrameTableModel.h"
#include "samples/CaptureFileReader.h"
#include "ui/CallFlowView.h"
#include "ui/StreamsView.h"
#include "ui/UniformRowsView.h"
#include "ui/MainWindow.h"
#include "ui/StatisticsWindows.h"

#include <QChart>
#include <QLineSeries>
#include "ui/QualityWatch.h"
#include "ui/FramesPanel.h"
#include "ui/DisplayFilterBar.h"
#include "ui/FileExports.h"
#include "tests/support/WindowParts.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QTableView>
#include <QThread>
#include <QTabWidget>
#include <QDialog>
#include <QPointer>
#include <QTimer>

#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <numeric>
#include <sstream>
#include <string_view>

namespace {

// A line of the process's status in /proc, in KiB: "VmRSS:" now, "VmHWM:" at most.
long statusKiB(const char* field) {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    long kib = 0;
    char line[256];
    const std::string format = std::string(field) + " %ld";
    while (status != nullptr && std::fgets(line, sizeof line, status) != nullptr) {
        if (std::sscanf(line, format.c_str(), &kib) == 1) {
            break;
        }
    }
    if (status != nullptr) {
        std::fclose(status);
    }
    return kib;
}
long residentKiB() {
    return statusKiB("VmRSS:");
}

// The most resident since the last call, in MiB; the kernel's count then
// starts over from what is resident now.
long takePeakMiB() {
    const long peak = statusKiB("VmHWM:") / 1024;
    if (std::FILE* refs = std::fopen("/proc/self/clear_refs", "w"); refs != nullptr) {
        std::fputs("5", refs);
        std::fclose(refs);
    }
    return peak;
}

// CPU seconds (user and system) of the whole process, and of the calling thread.
double processSeconds() {
    timespec spent{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &spent);
    return static_cast<double>(spent.tv_sec) + static_cast<double>(spent.tv_nsec) / 1e9;
}
double mainThreadSeconds() {
    timespec spent{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &spent);
    return static_cast<double>(spent.tv_sec) + static_cast<double>(spent.tv_nsec) / 1e9;
}

// The application, timing each event the main thread serves from its loop:
// the longest tells which object's work blocked the window, and how long.
class TimedApplication final : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        if (depth_ > 0 || QThread::currentThread() != thread()) {
            return QApplication::notify(receiver, event);
        }
        ++depth_;
        QElapsedTimer served;
        served.start();
        const bool done = QApplication::notify(receiver, event);
        const qint64 took = served.nsecsElapsed();
        --depth_;
        if (took > listedFromNs_) {
            // A timer says little by its class: its name (where it has one) tells whose it is.
            std::fprintf(stderr, "event of %.1f ms at %.3f s: %s %s, type %d\n",
                         static_cast<double>(took) / 1e6,
                         static_cast<double>(sinceStart_.nsecsElapsed()) / 1e9,
                         receiver->metaObject()->className(),
                         receiver->objectName().toLocal8Bit().constData(),
                         static_cast<int>(event->type()));
        }
        if (took > longest_) {
            longest_ = took;
            what_ = std::string(receiver->metaObject()->className()) + ", event " +
                    std::to_string(static_cast<int>(event->type()));
        }
        return done;
    }
    // Where a phase starts among the events listed.
    void mark(const char* phase) {
        if (listedFromNs_ != INT64_MAX) {
            std::fprintf(stderr, "-- %s from %.3f s\n", phase,
                         static_cast<double>(sinceStart_.nsecsElapsed()) / 1e9);
        }
    }
    // WINDOW_BENCH_EVENTS=MS lists every event longer than MS (30 if empty).
    static qint64 listedFrom() {
        static const qint64 from = [] {
            const char* value = std::getenv("WINDOW_BENCH_EVENTS");
            if (value == nullptr) {
                return qint64{INT64_MAX};
            }
            const double ms = std::atof(value);
            return static_cast<qint64>((ms > 0 ? ms : 30.0) * 1e6);
        }();
        return from;
    }
    // The longest event since the last call, and what it was; starts over.
    std::string takeLongest() {
        const std::string text =
            std::to_string(static_cast<double>(longest_) / 1e6) + " ms (" + what_ + ")";
        longest_ = 0;
        what_.clear();
        return text;
    }

private:
    qint64 listedFromNs_ = listedFrom();
    QElapsedTimer sinceStart_ = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    int depth_ = 0;
    qint64 longest_ = 0;
    std::string what_;
};

// Runs the event loop until `done` holds, looked at each millisecond, and
// `afterMs` more for what the last event left queued. The poll stops with
// it, so that the next phase's loop does not end at once.
void runUntil(QApplication& app, const std::function<bool()>& done, int afterMs = 0) {
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done()) {
            poll.stop();
            QTimer::singleShot(afterMs, &app, &QCoreApplication::quit);
        }
    });
    poll.start(1);
    app.exec();
}

} // namespace

int main(int argc, char** argv) {
    // "load": only Open to the last frame shown (for files of tens of millions).
    if (argc < 2 || argc > 3 || (argc == 3 && std::string_view(argv[2]) != "load")) {
        std::fputs("usage: window_bench FILE [load]\n", stderr);
        return 2;
    }
    const bool loadOnly = argc == 3;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    TimedApplication app(argc, argv);
    std::string error;
    const long expected = countCapturedPackets(argv[1], &error);
    if (!error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }

    bool limitValid = true;
    const auto limit = CaptureEnvironment::memoryLimitFromEnvironment(&limitValid);
    if (!limitValid) {
        std::fputs("QUORVEX_MEMORY_LIMIT is not a size (like 512M or 2G)\n", stderr);
        return 2;
    }
    // What would be a modal alert in the window is said here, and measured on.
    struct PrintedAlert final : CaptureAlert {
        void showCaptureFailed(std::string_view text) override {
            std::fprintf(stderr, "Capture failed: %.*s\n", static_cast<int>(text.size()),
                         text.data());
        }
    } alert;
    QueuedHandoff handoff;
    WorkerThreads threads;
    LiveRunGate gate;
    const auto permission = makeCapturePermission();
    LiveCaptureSettings settings;
    std::ostringstream dump;
    WindowServices services;
    services.captures.handoff = &handoff;
    services.captures.threads = &threads;
    services.captures.unknownElementDump = &dump;
    services.captures.liveGate = &gate;
    services.captures.permission = permission.get();
    services.captures.memoryBudget =
        std::make_shared<MemoryBudget>(limit.value_or(MemoryBudget::defaultLimit()));
    services.liveSettings = &settings;
    services.alert = &alert;
    MainWindow window(services);
    window.resize(1100, 760);
    window.show();

    // A probe that should fire every millisecond: the gaps between its
    // firings are the times the main thread was busy elsewhere.
    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 longestGap = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    // A gap as long as the events listed is listed too, with the CPU time
    // the main thread had in it: a gap mostly not running is one where the
    // thread waited for a core, or for the kernel.
    double lastTickCpu = mainThreadSeconds();
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        const double cpu = mainThreadSeconds();
        if (now - lastTick > TimedApplication::listedFrom()) {
            std::fprintf(stderr, "gap of %.1f ms at %.3f s, %.1f ms of it running\n",
                         static_cast<double>(now - lastTick) / 1e6, static_cast<double>(now) / 1e9,
                         (cpu - lastTickCpu) * 1e3);
        }
        longestGap = std::max(longestGap, now - lastTick);
        lastTick = now;
        lastTickCpu = cpu;
    });

    const double processBefore = processSeconds();
    // The most resident in each phase, printed last.
    std::vector<std::pair<const char*, long>> peaks;
    takePeakMiB();
    const double mainBefore = mainThreadSeconds();
    clock.start();
    probe.start(1);
    window.controller().openDocumentWithContentsOfFile(QString::fromLocal8Bit(argv[1]));
    qint64 shownAt = -1;
    const auto lastFrameShown = [&] {
        if (shownAt < 0) {
            shownAt = clock.nsecsElapsed();
            parts(window).framesTable()->scrollToBottom();
            QTimer::singleShot(0, &app, &QCoreApplication::quit);
        }
    };
    // A load that stops early (at the memory limit) has shown its last
    // frame once the table shows the frames its run read.
    long rowsToShow = expected;
    QObject::connect(&parts(window).frameModel(), &QAbstractItemModel::rowsInserted, [&] {
        if (parts(window).frameModel().rowCount() >= rowsToShow) {
            lastFrameShown();
        }
    });
    KvIAXCapture* capture = window.controller().iaxCaptures().first().get();
    QObject::connect(capture, &KvIAXCapture::runEnded, &app, [&] {
        rowsToShow = std::min<long>(expected, static_cast<long>(capture->iaxFrames().size()));
        if (parts(window).frameModel().rowCount() >= rowsToShow) {
            lastFrameShown();
        }
    });
    app.exec();
    if (parts(window).frameModel().rowCount() < expected) {
        std::printf("the load stopped at %d frames of %ld\n", parts(window).frameModel().rowCount(),
                    expected);
    }
    const qint64 loadGap = longestGap;
    peaks.emplace_back("load", takePeakMiB());
    if (loadOnly) {
        probe.stop();
        std::printf("%ld frames: Open to last frame shown %.2f s; main thread blocked at most "
                    "%.1f ms; %ld MiB resident; longest event %s; CPU %.2f s on the main thread, "
                    "%.2f s on others\n",
                    expected, static_cast<double>(shownAt) / 1e9,
                    static_cast<double>(loadGap) / 1e6, residentKiB() / 1024,
                    app.takeLongest().c_str(), mainThreadSeconds() - mainBefore,
                    (processSeconds() - processBefore) - (mainThreadSeconds() - mainBefore));
        return 0;
    }

    // The voice listened to and the problems listed, once the load ended.
    app.mark("listening and problems");
    longestGap = 0;
    lastTick = clock.nsecsElapsed();
    const qint64 judgingFrom = clock.nsecsElapsed();
    runUntil(app, [&] { return !parts(window).qualityWatch()->isBusy(); });
    const qint64 judgingGap = longestGap;
    const qint64 judgedAt = clock.nsecsElapsed();
    peaks.emplace_back("listening", takePeakMiB());

    // Every call selected at once, as Ctrl+A in the calls table does: the
    // selection's own work, then what it leaves queued for the event loop.
    // The calls are chosen in their tab with the ladder in sight, as a user
    // does; the ladder is made in steps, and the wait lasts until it shows.
    const auto tabsOf = [](QWidget* page) {
        return qobject_cast<QTabWidget*>(page->parentWidget()->parentWidget());
    };
    tabsOf(parts(window).callsTable())->setCurrentWidget(parts(window).callsTable());
    tabsOf(parts(window).callFlowView())->setCurrentWidget(parts(window).callFlowView());
    QCoreApplication::processEvents();
    app.mark("every call selected");
    const long residentBefore = residentKiB();
    QElapsedTimer selecting;
    selecting.start();
    parts(window).callsTable()->selectAll();
    const qint64 selectedIn = selecting.nsecsElapsed();
    longestGap = 0;
    lastTick = clock.nsecsElapsed();
    qint64 ladderIn = -1;
    // A capture without calls has no ladder to wait for, nor one without
    // voice streams to show.
    const bool anyCall = !capture->callTracker().calls().empty();
    bool anyVoice = false;
    for (std::size_t call = 0; capture->streamTracker() != nullptr && !anyVoice &&
                               call < capture->callTracker().calls().size();
         ++call) {
        anyVoice = capture->streamTracker()->hasVoice(call);
    }
    runUntil(
        app,
        [&] {
            ladderIn = selecting.nsecsElapsed();
            return !anyCall || parts(window).callFlowView()->stepCount() > 0;
        },
        100);
    const qint64 selectingGap = std::max(longestGap, selectedIn);
    const long residentAfter = residentKiB();
    const int shownWhenSelected = parts(window).frameModel().rowCount();
    const int ladderSteps = parts(window).callFlowView()->stepCount();
    // Then their streams' tab, made as it comes into sight.
    longestGap = 0;
    lastTick = clock.nsecsElapsed();
    QElapsedTimer showingStreams;
    showingStreams.start();
    tabsOf(parts(window).streamsView())->setCurrentWidget(parts(window).streamsView());
    const qint64 streamsIn = showingStreams.nsecsElapsed();
    // A large selection's figures are worked out on a worker: the wait
    // lasts until they show.
    qint64 figuresIn = -1;
    runUntil(
        app,
        [&] {
            figuresIn = showingStreams.nsecsElapsed();
            return !anyVoice || parts(window).streamsView()->streamCount() > 0;
        },
        100);
    const qint64 streamsGap = std::max(longestGap, streamsIn);
    peaks.emplace_back("selection", takePeakMiB());
    tabsOf(parts(window).framesTable())->setCurrentWidget(parts(window).framesTable());
    parts(window).callsTable()->clearSelection();

    // Sorted by two columns in turn: a number (the IAX2 timestamp) and text (Info).
    struct Sorted {
        const char* column;
        qint64 took, gap;
    };
    std::vector<Sorted> sorts;
    for (const auto& [name, column] :
         {std::pair{"timestamp", 6}, std::pair{"Info", parts(window).frameModel().infoColumn()}}) {
        longestGap = 0;
        lastTick = clock.nsecsElapsed();
        QElapsedTimer sorting;
        sorting.start();
        parts(window).framesPanel()->sortBy(column, Qt::AscendingOrder);
        runUntil(app, [&] { return !parts(window).framesPanel()->isSorting(); });
        sorts.push_back({name, sorting.nsecsElapsed(), longestGap});
        peaks.emplace_back(name, takePeakMiB());
    }
    parts(window).framesPanel()->sortBy(-1, Qt::AscendingOrder);

    // Statistics > IO Graph with one display filter beside all frames (the
    // sums are of the points drawn, each the highest of its few intervals).
    longestGap = 0;
    lastTick = clock.nsecsElapsed();
    QElapsedTimer graphing;
    graphing.start();
    qint64 graphedIn = 0;
    std::vector<double> graphed; // frames per line, summed over the graph's points
    {
        IoGraphDialog graph(*parts(window).frameModel().capture());
        graph.setFilter(0, "iax2.type == 6");
        graph.apply();
        runUntil(app, [&] { return !graph.isCounting(); });
        graphedIn = graphing.nsecsElapsed();
        for (QAbstractSeries* line : graph.chart()->series()) {
            double frames = 0;
            for (const QPointF& point : static_cast<QLineSeries*>(line)->points()) {
                frames += point.y();
            }
            graphed.push_back(frames);
        }
    }
    const qint64 graphGap = longestGap;
    peaks.emplace_back("IO graph", takePeakMiB());

    // The display filter, typed and applied with Enter.
    longestGap = 0;
    lastTick = clock.nsecsElapsed();
    const qint64 appliedAt = clock.nsecsElapsed();
    parts(window).filterBar()->prepare(
        "iax2.packet_type == 0 && udp.port == 4569 && ip.src == 192.0.2.0/24 "
        "&& iax2.src_call in {1..50} && iax2.timestamp > 1000");
    parts(window).filterBar()->apply();
    runUntil(app, [&] { return !parts(window).isFiltering(); });
    const qint64 filteredAt = clock.nsecsElapsed();
    const qint64 filterGap = longestGap;
    const int filteredRows = parts(window).frameModel().rowCount();
    peaks.emplace_back("filter", takePeakMiB());

    // Statistics > Conversations: summed a slice at a time, then shown.
    longestGap = 0;
    lastTick = clock.nsecsElapsed();
    const qint64 summingAt = clock.nsecsElapsed();
    showConversations(&window, *parts(window).frameModel().capture());
    QPointer<QDialog> conversations; // quitting the loop closes it, and it goes
    runUntil(app, [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<QDialog*>(top);
                dialog != nullptr && dialog->isVisible() &&
                dialog->windowTitle() == QObject::tr("Conversations")) {
                conversations = dialog;
            }
        }
        return conversations != nullptr;
    });
    const qint64 summedAt = clock.nsecsElapsed();
    const qint64 summingGap = longestGap;
    peaks.emplace_back("conversations", takePeakMiB());

    // File > Export Specified Packets, the frames shown, to a pcap file:
    // every frame, once the display filter is cleared. The export lists
    // the shown rows as it goes.
    parts(window).filterBar()->prepare("");
    parts(window).filterBar()->apply();
    runUntil(app, [&] { return !parts(window).isFiltering(); });
    const auto exportedFrames = static_cast<std::size_t>(parts(window).frameModel().rowCount());
    longestGap = 0;
    lastTick = clock.nsecsElapsed();
    const qint64 exportingAt = clock.nsecsElapsed();
    const QString exported = QDir::temp().filePath(
        QStringLiteral("window-bench-%1.pcap").arg(QCoreApplication::applicationPid()));
    QString exportError;
    FileExports* exports = parts(window).fileExports();
    const bool exportStarted = exports->exportPackets(ExportRun::Frames(parts(window).frameModel()),
                                                      exported, exportError);
    if (exportStarted) {
        runUntil(app, [&] { return !exports->isExporting(); });
    }
    const qint64 exportedAt = clock.nsecsElapsed();
    const qint64 exportedBytes = QFileInfo(exported).size();
    peaks.emplace_back("export", takePeakMiB());
    QFile::remove(exported);
    probe.stop();
    threads.waitForAll([] { QCoreApplication::processEvents(); });
    std::printf(
        "%ld frames: Open to last frame shown %.2f s; main thread blocked at most %.1f ms\n",
        expected, static_cast<double>(shownAt) / 1e9, static_cast<double>(loadGap) / 1e6);
    std::printf("listening and problems: %zu problems after %.2f s; main thread blocked at most "
                "%.1f ms\n",
                parts(window).qualityWatch()->problems().size(),
                static_cast<double>(judgedAt - judgingFrom) / 1e9,
                static_cast<double>(judgingGap) / 1e6);
    std::printf("all %d calls selected: %d frames shown, a ladder of %d steps after %.2f s; "
                "main thread blocked at most %.1f ms; %+ld MiB resident\n",
                parts(window).callsTable()->model()->rowCount(), shownWhenSelected, ladderSteps,
                static_cast<double>(ladderIn) / 1e9, static_cast<double>(selectingGap) / 1e6,
                (residentAfter - residentBefore) / 1024);
    std::printf("their streams' tab shown: figures after %.2f s; main thread blocked at most %.1f "
                "ms\n",
                static_cast<double>(figuresIn) / 1e9, static_cast<double>(streamsGap) / 1e6);
    for (const Sorted& sort : sorts) {
        std::printf("sorted by %s in %.2f s; main thread blocked at most %.1f ms\n", sort.column,
                    static_cast<double>(sort.took) / 1e9, static_cast<double>(sort.gap) / 1e6);
    }
    std::printf("IO graph (%.0f frames, %.0f of iax2.type == 6) in %.2f s; main thread blocked "
                "at most %.1f ms\n",
                graphed.size() > 0 ? graphed[0] : 0.0, graphed.size() > 1 ? graphed[1] : 0.0,
                static_cast<double>(graphedIn) / 1e9, static_cast<double>(graphGap) / 1e6);
    std::printf(
        "display filter: %d frames shown after %.2f s; main thread blocked at most %.1f ms\n",
        filteredRows, static_cast<double>(filteredAt - appliedAt) / 1e9,
        static_cast<double>(filterGap) / 1e6);
    std::printf("conversations shown after %.2f s; main thread blocked at most %.1f ms\n",
                static_cast<double>(summedAt - summingAt) / 1e9,
                static_cast<double>(summingGap) / 1e6);
    std::printf("%d frames exported as packets (%lld bytes%s) in %.2f s; main thread blocked at "
                "most %.1f ms\n",
                static_cast<int>(exportedFrames), static_cast<long long>(exportedBytes),
                exportStarted ? "" : qPrintable(QStringLiteral(", not started: ") + exportError),
                static_cast<double>(exportedAt - exportingAt) / 1e9,
                static_cast<double>(longestGap) / 1e6);
    if (conversations != nullptr) {
        conversations->close();
    }
    std::printf("most resident (MiB):");
    for (const auto& [phase, mib] : peaks) {
        std::printf(" %s %ld;", phase, mib);
    }
    std::printf("\n");
    return 0;
}
