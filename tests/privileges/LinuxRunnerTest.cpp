// The runner with the real Linux backend. As root commands run directly;
// elsewhere they would go through polkit and ask the user, so these tests
// skip themselves when not run as root.
#include "privileges/MwAuthentication.h"
#include "privileges/NotificationCenter.h"
#include "privileges/PolkitBackend.h"

#include "tests/privileges/FakeAuthorization.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

class LinuxRunner : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) {
            GTEST_SKIP() << "needs root: as another user every command asks polkit for a password";
        }
        dir = fs::temp_directory_path() / ("quorvex-runner-" + std::to_string(getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        if (sleeper > 0) {
            kill(sleeper, SIGKILL);
            waitpid(sleeper, nullptr, 0);
        }
        if (!dir.empty()) {
            fs::remove_all(dir);
        }
    }
    // Starts sleep under a name nothing else on the machine has.
    pid_t startSleeper(const std::string& name) {
        const fs::path program = dir / name;
        fs::copy_file("/bin/sleep", program);
        std::string path = program.string();
        char* argv[] = {path.data(), const_cast<char*>("30"), nullptr};
        posix_spawn(&sleeper, argv[0], nullptr, nullptr, argv, environ);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return sleeper;
    }

    RecordingLogSink log;
    LoggedBeep beep{log};
    PolkitBackend backend;
    NotificationCenter center;
    MwAuthentication runner{PrivilegeServices{&backend, &beep, &center}};
    fs::path dir;
    pid_t sleeper = -1;
};

} // namespace

TEST_F(LinuxRunner, SyncedCommandReturnsOnlyAfterItHasEnded) {
    const fs::path marker = dir / "marker";
    const std::string script =
        "head -c 150000 /dev/zero; sleep 0.3; echo done > '" + marker.string() + "'";
    EXPECT_TRUE(runner.executeCommandSynced("/bin/sh", Strings{"-c", script}));
    EXPECT_TRUE(fs::exists(marker));
    EXPECT_EQ(beep.count, 0);
}

TEST_F(LinuxRunner, UnsyncedCommandReturnsBeforeItEnds) {
    const fs::path marker = dir / "late";
    const auto start = Clock::now();
    EXPECT_TRUE(runner.executeCommand("/bin/sh",
                                      Strings{"-c", "sleep 0.5; touch '" + marker.string() + "'"}));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(400));
    EXPECT_FALSE(fs::exists(marker));
    for (int i = 0; i < 100 && !fs::exists(marker); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(fs::exists(marker));
}

TEST_F(LinuxRunner, AMissingProgramIsAStartThePlatformRefuses) {
    EXPECT_FALSE(runner.executeCommandSynced("/nonexistent/program"));
    EXPECT_EQ(log.lines(), (Strings{"<beep>", "Error 4 in AuthorizationExecuteWithPrivileges"}));
}

TEST_F(LinuxRunner, FindsAndKillsAProcessByName) {
    const std::string name = "quorvex-sleeper-" + std::to_string(getpid());
    const pid_t pid = startSleeper(name);
    EXPECT_EQ(runner.getPID(name), pid);
    EXPECT_TRUE(runner.killProcess(name));
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    sleeper = -1;
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
}

TEST_F(LinuxRunner, UnknownProcessNamesFindOnlyTheFilterItself) {
    for (const std::string& name : {"quorvex-nothing-" + std::to_string(getpid()), std::string()}) {
        log.clear();
        EXPECT_EQ(runner.getPID(name), 0) << name;
        EXPECT_FALSE(runner.killProcess(name)) << name;
        EXPECT_EQ(log.lines(), (Strings{"<beep>", "Error killing process 0, invalid PID."}));
    }
}

TEST_F(LinuxRunner, NamesCannotInjectCommands) {
    const fs::path marker = dir / "injected";
    const std::string m = marker.string();
    for (const std::string& name :
         {"x\"; touch " + m + "; echo \"", "$(touch " + m + ")", "`touch " + m + "`",
          "x\\\"; touch " + m + "; echo \\\"", "${IFS}$(touch${IFS}" + m + ")"}) {
        EXPECT_EQ(runner.getPID(name), 0) << name;
        EXPECT_FALSE(runner.killProcess(name)) << name;
        EXPECT_FALSE(fs::exists(marker)) << name;
    }
}

TEST_F(LinuxRunner, NamesAreFixedStringsNeverOptionsOrPatterns) {
    const std::string name = "quorvex-sleeper-" + std::to_string(getpid());
    const pid_t pid = startSleeper(name);
    // "-e^ *1 " once reached grep as an option and matched pid 1; ".*" any line.
    for (const std::string& other : {std::string("-e^ *1 "), std::string("-e^ *1 -v"),
                                     std::string("quorvex-sleeper-.*"), std::string("^ *1 ")}) {
        EXPECT_EQ(runner.getPID(other), 0) << other;
        EXPECT_FALSE(runner.killProcess(other)) << other;
    }
    EXPECT_EQ(kill(pid, 0), 0); // still running
    EXPECT_EQ(runner.getPID(name), pid);
}
