// quorvex: the desktop window.
//   quorvex [--interface NAME] [CAPTURE_FILE]
#include "capture/CapturePermission.h"
#include "capture/LiveRunGate.h"
#include "capture/SpinningHandoff.h"
#include "capture/WorkerThreads.h"
#include "privileges/MwAuthentication.h"
#include "privileges/NotificationCenter.h"
#include "privileges/PolkitBackend.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdlib>
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
    parser.addPositionalArgument("file", "A capture file to open at start.", "[file]");
    parser.process(app);

    SpinningHandoff handoff;
    WorkerThreads threads;
    LiveRunGate liveGate;
    const auto permission = makeCapturePermission();
    LiveCaptureSettings liveSettings;
    if (parser.isSet(interfaceOption)) {
        liveSettings.interfaceName = parser.value(interfaceOption).toStdString();
    } else if (const char* name = std::getenv("QUORVEX_INTERFACE"); name != nullptr && *name) {
        liveSettings.interfaceName = name;
    }
    // The privileged runner beeps through the window.
    PolkitBackend authorization;
    QtBeep beep;
    MwAuthentication::setSharedServices(
        PrivilegeServices{&authorization, &beep, &NotificationCenter::defaultCenter()});

    WindowServices services;
    services.captures.handoff = &handoff;
    services.captures.threads = &threads;
    services.captures.unknownElementDump = &std::cout;
    services.captures.liveGate = &liveGate;
    services.captures.permission = permission.get();
    services.liveSettings = &liveSettings;

    MainWindow window(services);
    window.show();
    if (!parser.positionalArguments().isEmpty()) {
        window.controller().openDocumentWithContentsOfFile(parser.positionalArguments().first());
    }
    // A live capture still running when the application ends is stopped and
    // cleaned up first: the permission narrowed, the temporary file complete.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [&] {
        for (const auto& capture : window.controller().iaxCaptures()) {
            if (capture->isInProgress()) {
                capture->stopCapture();
            }
        }
    });
    const int status = QApplication::exec();
    threads.waitForAll([] { QCoreApplication::processEvents(); });
    return status;
}
