// quorvex: the desktop window.
//   quorvex [--debug] [--interface NAME] [CAPTURE_FILE]
#include "app/CaptureEnvironment.h"
#include "app/TerminationSignals.h"
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
    parser.addPositionalArgument("file", "A capture file to open at start.", "[file]");
    parser.process(app);

    CaptureEnvironment environment(
        {.interfaceName = parser.isSet(interfaceOption)
                              ? std::optional(parser.value(interfaceOption).toStdString())
                              : std::nullopt,
         .debug = parser.isSet(debugOption),
         .unknownElementDump = &std::cout});
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
