// quorvex: the desktop window.
//   quorvex [--debug] [--memory-limit SIZE] [--interface NAME] [--capture | CAPTURE_FILE]
#include "app/CaptureEnvironment.h"
#include "app/TerminationSignals.h"
#include "common/MemoryBudget.h"
#include "privileges/MwAuthentication.h"
#include "privileges/NotificationCenter.h"
#include "privileges/PolkitBackend.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QCommandLineParser>

#include <optional>
#include <iostream>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quorvex");
    QApplication::setOrganizationName("Quorvex");
    QApplication::setDesktopFileName("quorvex");

    QCommandLineParser parser;
    parser.setApplicationDescription("IAX2 capture viewer");
    parser.addHelpOption();
    const QCommandLineOption interfaceOption(
        "interface", "The interface live captures open (default en0, or QUORVEX_INTERFACE).",
        "name");
    parser.addOption(interfaceOption);
    const QCommandLineOption debugOption(
        "debug", "Write the per-packet log lines too (also QUORVEX_DEBUG=1).");
    parser.addOption(debugOption);
    const QCommandLineOption memoryLimitOption(
        "memory-limit",
        "What frame records may hold together, like 512M or 2G (default: QUORVEX_MEMORY_LIMIT, "
        "or half the memory).",
        "size");
    parser.addOption(memoryLimitOption);
    const QCommandLineOption captureOption(
        "capture", "Start a live capture at launch, as the capture's Start button does.");
    parser.addOption(captureOption);
    parser.addPositionalArgument("file", "A capture file to open at start.", "[file]");
    parser.process(app);
    std::optional<std::uint64_t> memoryLimit;
    bool limitValid = true;
    if (parser.isSet(memoryLimitOption)) {
        memoryLimit = MemoryBudget::parseSize(parser.value(memoryLimitOption).toStdString());
        limitValid = memoryLimit.has_value();
    } else {
        CaptureEnvironment::memoryLimitFromEnvironment(&limitValid);
    }
    if (!limitValid) {
        std::cerr << "quorvex: the memory limit is not a size (like 512M or 2G)\n";
        return 2;
    }

    CaptureEnvironment environment(
        {.interfaceName = parser.isSet(interfaceOption)
                              ? std::optional(parser.value(interfaceOption).toStdString())
                              : std::nullopt,
         .debug = parser.isSet(debugOption),
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
    } else if (parser.isSet(captureOption)) {
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
