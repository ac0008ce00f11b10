// The capture helper may hold capture capabilities and may be started by any
// local user, with any environment and arguments: it opens network
// interfaces within bounds and nothing else.
#include "tests/support/Process.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

const QString helper = QUORVEX_CAPTURE_HELPER;

} // namespace

TEST(CaptureHelper, RefusesEveryLibpcapSourceButANetworkInterface) {
    QTemporaryDir dir;
    const QString marker = dir.filePath("ran");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // libpcap's D-Bus source would run this program.
    environment.insert("DBUS_SESSION_BUS_ADDRESS", "unixexec:path=/bin/touch,argv1=" + marker);
    environment.insert("DBUS_SYSTEM_BUS_ADDRESS", "unixexec:path=/bin/touch,argv1=" + marker);
    for (const char* name :
         {"dbus-session", "dbus-system", "dbus://unixexec:path=/bin/touch", "nflog", "nfqueue:3",
          "usbmon0", "bluetooth0", "qvxnosuch0", "lo:1", "../lo"}) {
        const QString device = name;
        QProcess run;
        run.setProcessEnvironment(environment);
        run.start(helper, {device, "1024", "1", "100", "port 4569"});
        ASSERT_TRUE(run.waitForFinished(5000)) << device.toStdString();
        EXPECT_EQ(run.exitCode(), 3) << device.toStdString();
        EXPECT_EQ(run.readAllStandardError(),
                  device.toUtf8() + ": no such network interface (the capture helper opens "
                                    "network interfaces and \"any\", nothing else)\n");
    }
    EXPECT_FALSE(QFile::exists(marker));
}

TEST(CaptureHelper, RefusesSnapshotLengthsAndTimeOutsOutOfBounds) {
    for (const QStringList& arguments :
         {QStringList{"lo", "0", "1", "100", ""}, QStringList{"lo", "262145", "1", "100", ""},
          QStringList{"lo", "64k", "1", "100", ""}, QStringList{"lo", "1024", "1", "0", ""},
          QStringList{"lo", "1024", "1", "1001", ""}, QStringList{"lo", "1024", "yes", "100", ""},
          QStringList{"lo", "1024", "1", "100"}}) {
        const ProcessResult run = runProcess(helper, arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(run.err.startsWith("usage: quorvex-capture")) << run.err.toStdString();
    }
}

// Running, it holds no environment for anything it loads to read.
TEST(CaptureHelper, ClearsItsEnvironmentFirst) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "opening an interface needs root here";
    }
    QProcess run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QUORVEX_HOSTILE", "1");
    run.setProcessEnvironment(environment);
    run.start(helper, {"lo", "1024", "0", "100", "port 4569"});
    ASSERT_TRUE(run.waitForStarted());
    // The stream's header comes once the interface is open.
    ASSERT_TRUE(run.waitForReadyRead(5000)) << run.readAllStandardError().toStdString();
    QFile environ(QString("/proc/%1/environ").arg(run.processId()));
    ASSERT_TRUE(environ.open(QIODevice::ReadOnly));
    const QByteArray inherited = environ.readAll();
    EXPECT_FALSE(inherited.isEmpty());
    EXPECT_EQ(inherited.count('\0'), inherited.size()) << inherited.toStdString();
    run.closeWriteChannel(); // ends the run, as a parent that goes away does
    ASSERT_TRUE(run.waitForFinished(5000));
    EXPECT_EQ(run.exitCode(), 0);
}
