// quorvex: the desktop window.
//   quorvex [--debug] [--memory-limit SIZE] [--interface NAME] [--capture | CAPTURE_FILE]
#include "app/CaptureEnvironment.h"
#include "app/TerminationSignals.h"
#include "common/MemoryBudget.h"
#include "privileges/MwAuthentication.h"
#include "privileges/NotificationCenter.h"
#include "privileges/PolkitBackend.h"
#include "ui/MainWindow.h"
#include "ui/SettingsFile.h"

#include <QApplication>
#include <QCommandLineParser>

#include <optional>
#include <string_view>
#include <iostream>

namespace {

struct Options {
    QCommandLineOption interface {
        "interface", "The interface live captures open (default QUORVEX_INTERFACE, or en0 where there is one, "
        "else the first interface up and not the loopback).", "name"
    };
    QCommandLineOption debug{"debug", "Write the per-packet log lines too (also QUORVEX_DEBUG=1)."};
    QCommandLineOption memoryLimit{
        "memory-limit",
        "What frame records may hold together, like 512M or 2G (default: QUORVEX_MEMORY_LIMIT, "
        "or half the memory).",
        "size"};
    QCommandLineOption capture{
        "capture", "Start a live capture at launch, as the capture's Start button does."};

    void addTo(QCommandLineParser& parser) const {
        parser.setApplicationDescription("IAX2 capture viewer");
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOptions({interface, debug, memoryLimit, capture});
        parser.addPositionalArgument("file", "A capture file to open at start.", "[file]");
    }
};

void nameTheApplication() {
    QCoreApplication::setApplicationName("Quorvex");
    QCoreApplication::setOrganizationName("Quorvex");
    QCoreApplication::setApplicationVersion(QUORVEX_VERSION);
}

} // namespace

int main(int argc, char** argv) {
    const Options options;
    // --help and --version answer without a display.
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h" || argument == "--version" ||
            argument == "-v") {
            QCoreApplication core(argc, argv);
            nameTheApplication();
            QCommandLineParser parser;
            options.addTo(parser);
            parser.process(core); // prints and exits
        }
    }
    QApplication app(argc, argv);
    nameTheApplication();
    QApplication::setDesktopFileName("org.quorvex.Quorvex");
    if (const QString warning = settingsfile::keepPrivate(); !warning.isEmpty()) {
        std::cerr << "quorvex: " << warning.toStdString() << "\n";
    }

    QCommandLineParser parser;
    options.addTo(parser);
    parser.process(app);
    std::optional<std::uint64_t> memoryLimit;
    bool limitValid = true;
    if (parser.isSet(options.memoryLimit)) {
        memoryLimit = MemoryBudget::parseSize(parser.value(options.memoryLimit).toStdString());
        limitValid = memoryLimit.has_value();
    } else {
        CaptureEnvironment::memoryLimitFromEnvironment(&limitValid);
    }
    if (!limitValid) {
        std::cerr << "quorvex: the memory limit is not a size (like 512M or 2G)\n";
        return 2;
    }

    CaptureEnvironment environment(
        {.interfaceName = parser.isSet(options.interface)
                              ? std::optional(parser.value(options.interface).toStdString())
                              : std::nullopt,
         .debug = parser.isSet(options.debug),
         .unknownElementDump = &std::cout,
         .alert = nullptr,
         .printLibraryErrors = true,
         .memoryLimit = memoryLimit});
    // The privileged runner beeps through the window.
    PolkitBackend authorization;
    QtBeep beep;
    MwAuthentication::setSharedServices(
        PrivilegeServices{&authorization, &beep, &NotificationCenter::defaultCenter()});

    WindowServices services;
    services.captures = environment.services();
    services.liveSettings = &environment.liveSettings();

    MainWindow window(services);
    window.show();
    if (!parser.positionalArguments().isEmpty()) {
        window.controller().openDocumentWithContentsOfFile(parser.positionalArguments().first());
    } else if (parser.isSet(options.capture)) {
        window.controller().stopCapture(window.controller().iaxCaptures().first().get());
    }
    // A live capture still running when the application ends is stopped and
    // cleaned up first: the permission narrowed, the temporary file complete.
    // A file load is called off.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [&] {
        for (const auto& capture : window.controller().iaxCaptures()) {
            capture->cancel();
        }
    });
    // A session that ends asks the window to quit as Quit does.
    const TerminationSignals terminationSignals([&window] { window.close(); });
    const int status = QApplication::exec();
    return environment.endWorkers(status);
}
