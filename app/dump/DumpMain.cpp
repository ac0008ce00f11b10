// quorvex-dump: loads a capture file the way the window's Open does (a
// capture, its worker thread, one main-thread delivery per frame), waits for
// the run to end and prints every record of the capture's frame list.
#include "app/KvIAXCapture.h"
#include "app/RecordWriter.h"
#include "capture/CaptureAlert.h"
#include "capture/SpinningHandoff.h"
#include "capture/WorkerThreads.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

namespace {

constexpr const char* usage = "usage: quorvex-dump [--format jsonl|tsv] FILE\n";

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

struct Arguments {
    recordwriter::Format format = recordwriter::Format::Jsonl;
    std::string file;
};

bool parseFormat(const char* name, recordwriter::Format& format) {
    if (std::strcmp(name, "jsonl") == 0) {
        format = recordwriter::Format::Jsonl;
    } else if (std::strcmp(name, "tsv") == 0) {
        format = recordwriter::Format::Tsv;
    } else {
        return false;
    }
    return true;
}

bool parseArguments(int argc, char** argv, Arguments& args) {
    bool haveFile = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--format") == 0 && i + 1 < argc) {
            if (!parseFormat(argv[++i], args.format)) {
                return false;
            }
        } else if (std::strncmp(arg, "--format=", 9) == 0) {
            if (!parseFormat(arg + 9, args.format)) {
                return false;
            }
        } else if ((arg[0] == '-' && arg[1] != '\0') || haveFile) {
            return false; // "-" alone is standard input
        } else {
            args.file = arg;
            haveFile = true;
        }
    }
    return haveFile;
}

void printFrames(const FrameList& frames, recordwriter::Format format) {
    std::string out;
    out.reserve(1 << 20);
    if (format == recordwriter::Format::Tsv) {
        out = recordwriter::tsvHeader();
    }
    for (const auto& frame : frames) {
        if (format == recordwriter::Format::Tsv) {
            recordwriter::appendTsv(out, *frame);
        } else {
            recordwriter::appendJson(out, *frame);
        }
        if (out.size() > (1 << 20) - 4096) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    Arguments args;
    if (!parseArguments(argc, argv, args)) {
        std::fputs(usage, stderr);
        return 2;
    }
    QCoreApplication app(argc, argv);

    SpinningHandoff handoff;
    StderrAlert alert;
    WorkerThreads threads;
    CaptureServices services;
    services.handoff = &handoff;
    services.alert = &alert;
    services.threads = &threads;
    services.unknownElementDump = &std::cerr; // standard output carries records only

    auto capture = KvIAXCapture::create(services);
    QObject::connect(capture.get(), &KvIAXCapture::runEnded, &app, [&] {
        printFrames(capture->iaxFrames(), args.format);
        app.exit(alert.failed() ? 1 : 0);
    });
    capture->loadCapture(QString::fromLocal8Bit(args.file.c_str()));
    const int status = app.exec();
    threads.waitForAll();
    return status;
}
