#include "privileges/MwAuthentication.h"
#include "privileges/NotificationCenter.h"

#include "tests/privileges/FakeAuthorization.h"

#include <gtest/gtest.h>

#include <thread>

#include <unistd.h>

namespace {

using Strings = std::vector<std::string>;

class RunnerContract : public ::testing::Test {
protected:
    RunnerContract() {
        center.addObserver("", [this](const std::string& name, const void* object) {
            notifications.push_back(name);
            EXPECT_EQ(object, runnerAddress);
        });
    }
    ~RunnerContract() override { runner.reset(); }

    RecordingLogSink log;
    LoggedBeep beep{log};
    FakeBackend backend;
    NotificationCenter center;
    Strings notifications;
    std::unique_ptr<MwAuthentication> runner =
        std::make_unique<MwAuthentication>(PrivilegeServices{&backend, &beep, &center});
    const void* runnerAddress = runner.get(); // still the object while it is being destroyed
};

} // namespace

TEST_F(RunnerContract, EmptyPathListsAskNothing) {
    EXPECT_FALSE(runner->isAuthenticated({}));
    EXPECT_EQ(backend.created, 1); // the authorization is made all the same
    EXPECT_TRUE(backend.requests.empty());
    EXPECT_FALSE(runner->fetchPassword({}));
    EXPECT_FALSE(runner->authenticate({}));
    EXPECT_TRUE(backend.requests.empty());
    EXPECT_TRUE(notifications.empty());
    EXPECT_EQ(backend.created, 1);
}

TEST_F(RunnerContract, RightsAlreadyHeldAreCheckedTwiceSilently) {
    backend.rightsHeld = true;
    EXPECT_TRUE(runner->authenticate({"/bin/chmod"}));
    EXPECT_EQ(backend.requestFlags(), (std::vector<std::uint32_t>{2, 2}));
    EXPECT_EQ(backend.freedSets, 2);
    EXPECT_TRUE(notifications.empty());
}

TEST_F(RunnerContract, RefusedSilentlyThenGrantedByTheUser) {
    backend.interactiveAnswer = authorizationSuccess;
    EXPECT_TRUE(runner->authenticate({"/bin/chmod"}));
    EXPECT_EQ(backend.requestFlags(), (std::vector<std::uint32_t>{2, 3, 2}));
    EXPECT_EQ(notifications, Strings{"MwAuthenticatedNotification"});
    EXPECT_EQ(backend.requests[1].values, Strings{"/bin/chmod"});
    EXPECT_EQ(backend.requests[1].names, Strings{"system.privilege.admin"});
}

TEST_F(RunnerContract, ACancelledRequestStartsNothingAndSaysNothing) {
    backend.interactiveAnswer = 2;
    EXPECT_FALSE(runner->executeCommandSynced("/bin/chmod", Strings{"o+r", "/dev/bpf0"}));
    EXPECT_FALSE(runner->executeCommand("/bin/chmod"));
    EXPECT_TRUE(backend.starts.empty());
    EXPECT_EQ(beep.count, 0);
    EXPECT_TRUE(log.lines().empty());
    EXPECT_TRUE(notifications.empty());
    EXPECT_TRUE(runner->hasAuthorization()); // the authorization stays
}

TEST_F(RunnerContract, FetchPasswordNeverMakesAnAuthorization) {
    backend.interactiveAnswer = authorizationSuccess;
    EXPECT_FALSE(runner->fetchPassword({"/bin/chmod"}));
    EXPECT_EQ(backend.created, 0);
    EXPECT_TRUE(notifications.empty());
}

TEST_F(RunnerContract, DeauthenticatingTwiceDropsOneAuthorization) {
    runner->isAuthenticated({"/bin/chmod"});
    runner->deauthenticate();
    runner->deauthenticate();
    EXPECT_EQ(backend.frees, std::vector<std::uint32_t>{8});
    EXPECT_EQ(notifications, Strings{"MwDeauthenticatedNotification"});
    // The next check makes a new one; destruction drops that too.
    runner->isAuthenticated({"/bin/chmod"});
    runner.reset();
    EXPECT_EQ(backend.created, 2);
    EXPECT_EQ(notifications.size(), 2u);
}

TEST_F(RunnerContract, RightsRequestsHoldAtMostTwentyPathsOfAtMost127Bytes) {
    backend.rightsHeld = true;
    Strings paths;
    for (int i = 0; i < 21; ++i) {
        paths.push_back("/bin/tool" + std::to_string(i));
    }
    EXPECT_TRUE(runner->isAuthenticated(paths));
    ASSERT_EQ(backend.requests.size(), 1u);
    EXPECT_EQ(backend.requests[0].values, Strings(paths.begin(), paths.begin() + 20));

    EXPECT_TRUE(runner->isAuthenticated({std::string(127, 'p')}));
    // A longer path would not fit its buffer: refused without asking.
    EXPECT_FALSE(runner->isAuthenticated({"/bin/chmod", std::string(128, 'p')}));
    EXPECT_FALSE(runner->authenticate({std::string(4096, 'p')}));
    EXPECT_FALSE(runner->executeCommand(std::string(200, 'p')));
    EXPECT_EQ(backend.requests.size(), 2u);
    EXPECT_TRUE(backend.starts.empty());
}

TEST_F(RunnerContract, ArgumentVectorsHoldAtMostNineteenArguments) {
    backend.rightsHeld = true;
    Strings many;
    for (int i = 0; i < 25; ++i) {
        many.push_back("arg" + std::to_string(i));
    }
    EXPECT_TRUE(runner->executeCommand("/bin/echo", many));
    EXPECT_TRUE(runner->executeCommand("/bin/echo", Strings{}));
    EXPECT_TRUE(runner->executeCommand("/bin/echo"));
    ASSERT_EQ(backend.starts.size(), 3u);
    EXPECT_EQ(backend.starts[0].arguments, Strings(many.begin(), many.begin() + 19));
    EXPECT_FALSE(backend.starts[1].hadVector);
    EXPECT_FALSE(backend.starts[2].hadVector);
    EXPECT_FALSE(backend.starts[0].askedForStream);
}

TEST_F(RunnerContract, ARefusedStartBeepsThenLogs) {
    backend.rightsHeld = true;
    backend.startAnswer = -60031;
    EXPECT_FALSE(runner->executeCommandSynced("/bin/chmod", Strings{"o+r", "/dev/bpf0"}));
    EXPECT_FALSE(runner->executeCommand("/bin/chmod"));
    EXPECT_EQ(log.lines(),
              (Strings{"<beep>", "Error -60031 in AuthorizationExecuteWithPrivileges", "<beep>",
                       "Error -60031 in AuthorizationExecuteWithPrivileges"}));
}

TEST_F(RunnerContract, AKillThatWasRefusedIsNotReportedAsDone) {
    backend.rightsHeld = true;
    const std::string self = "privileges_tests"; // this test's own process is listed
    backend.startAnswer = -60031;
    EXPECT_FALSE(runner->killProcess(self));
    backend.startAnswer = 0;
    EXPECT_TRUE(runner->killProcess(self)); // the fake "kill" exits with 0
    ASSERT_FALSE(backend.starts.empty());
    EXPECT_EQ(backend.starts.back().arguments, Strings{std::to_string(getpid())});
}

TEST_F(RunnerContract, SyncedStartReadsTheWholeOutput) {
    backend.rightsHeld = true;
    backend.commandOutput = std::string(2500, 'x');
    FakeBackend::MemoryStream::closed = false;
    EXPECT_TRUE(runner->executeCommandSynced("/bin/chmod", Strings{"o-r", "/dev/bpf0"}));
    EXPECT_TRUE(FakeBackend::MemoryStream::closed);
    EXPECT_EQ(FakeBackend::MemoryStream::bytesLeft, 0);
    EXPECT_TRUE(backend.starts[0].askedForStream);

    // No stream given back: true at once.
    backend.giveBackStream = false;
    FakeBackend::MemoryStream::closed = false;
    EXPECT_TRUE(runner->executeCommandSynced("/bin/chmod"));
    EXPECT_FALSE(FakeBackend::MemoryStream::closed);
}

TEST(SharedRunner, TwoThreadsAskingFirstGetOneRunnerAndOneAuthorization) {
    for (int round = 0; round < 20; ++round) {
        RecordingLogSink log;
        LoggedBeep beep{log};
        FakeBackend backend;
        backend.rightsHeld = true;
        NotificationCenter center;
        SharedRunnerSlot slot([&] { return PrivilegeServices{&backend, &beep, &center}; });
        MwAuthentication* seen[2] = {nullptr, nullptr};
        std::atomic<bool> go{false};
        std::thread threads[2];
        for (int t = 0; t < 2; ++t) {
            threads[t] = std::thread([&, t] {
                while (!go.load()) {
                }
                seen[t] = &slot.get();
                seen[t]->isAuthenticated({"/bin/chmod"});
            });
        }
        go = true;
        threads[0].join();
        threads[1].join();
        ASSERT_EQ(seen[0], seen[1]);
        ASSERT_EQ(backend.created, 1);
    }
}

TEST(ProcessLookup, EscapesWhatTheShellReadsInsideDoubleQuotes) {
    EXPECT_EQ(processlookup::escapeForDoubleQuotes(R"(a"b$c`d\e'f)"), R"(a\"b\$c\`d\\e'f)");
    EXPECT_EQ(processlookup::escapeForDoubleQuotes("plain name"), "plain name");
}

TEST(ProcessLookup, TakesThePidOfTheFirstLineWhoseCommandHoldsTheName) {
    using processlookup::pidFromListing;
    const struct {
        const char* listing;
        const char* name;
        std::int32_t pid;
    } cases[] = {
        {"  4242 /usr/bin/sleeper 30\n 4250 sh -c grep sleeper\n", "sleeper", 4242},
        // The look-up's own lines (the shell and the filter) never match, first or not.
        {" 100 sh -c /bin/ps -axwwopid,command | grep -F -e \"sleeper\"\n"
         " 101 grep -F -e sleeper\n 200 /usr/bin/sleeper\n",
         "sleeper", 200},
        {"", "sleeper", 0},
        {"    1 /sbin/init\n 4242 /usr/bin/sleeper\n", "", 0}, // never PID 1 for no name
        {"\n\n   77 tool", "absent", 0},           // a name that is not there finds nothing
        {" 12 caf\xC3\xA9 sleeper", "sleeper", 0}, // not ASCII
        {"PID COMMAND sleeper", "sleeper", 0},
        {" -5 sleeper", "sleeper", 0}, // never a process group
        {" 99999999999 sleeper", "sleeper", 0},
        // The name is a fixed string: regex characters are themselves.
        {" 300 /usr/bin/a.c\n 301 /usr/bin/a*c\n", "a*c", 301},
        {" 400 /usr/bin/tool -e^ *1 \n", "-e^ *1 ", 400},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pidFromListing(c.listing, c.name), c.pid) << c.listing;
    }
    // Exactly 512 bytes of listing are all used (the reader stops on the next, empty read).
    std::string exact = " 31337 " + std::string(512 - 7 - 8, 'x') + " sleeper";
    ASSERT_EQ(exact.size(), 512u);
    EXPECT_EQ(pidFromListing(exact, "sleeper"), 31337);
}
