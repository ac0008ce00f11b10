// Starting the capture helper: what the user is told when it cannot be.
#include "capture/CaptureHelperProcess.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

CaptureHelperProcess::Request request(const std::string& helper) {
    CaptureHelperProcess::Request request;
    request.helperPath = helper;
    request.interfaceName = "lo";
    return request;
}

} // namespace

// A helper its group alone may run tells anyone else who may capture and
// how to be let in; any other failure keeps the system's words.
TEST(CaptureHelper, AHelperOnlyItsGroupMayRunNamesTheGroup) {
    QTemporaryDir folder;
    const std::string copy = folder.filePath("quorvex-capture").toStdString();
    ASSERT_TRUE(QFile::copy(QUORVEX_CAPTURE_HELPER, QString::fromStdString(copy)));
    const group* daemon = getgrnam("daemon");
    ASSERT_NE(daemon, nullptr);
    // No one may run it, so that even root is refused as an outsider is.
    ASSERT_EQ(chown(copy.c_str(), geteuid(), daemon->gr_gid), 0);
    ASSERT_EQ(chmod(copy.c_str(), 0640), 0);
    std::string error;
    EXPECT_EQ(CaptureHelperProcess::start(request(copy), error), nullptr);
    EXPECT_NE(error.find("Only members of the group daemon may capture"), std::string::npos)
        << error;
    EXPECT_NE(error.find("usermod -aG daemon "), std::string::npos) << error;

    const std::string missing = folder.filePath("none").toStdString();
    EXPECT_EQ(CaptureHelperProcess::start(request(missing), error), nullptr);
    EXPECT_EQ(error, missing + ": No such file or directory");
}
