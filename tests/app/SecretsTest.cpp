// Secrets read as ssh reads a key: only from the user's own file or pipe,
// never one others may read or change, bounded in time and memory.
#include "app/Secrets.h"
#include "common/MemoryCharge.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <thread>

namespace {

std::string pathIn(const QTemporaryDir& dir, const char* name) {
    return dir.filePath(name).toStdString();
}

} // namespace

TEST(Secrets, AFileIsTakenOnlyWhereItsOwnerAloneMayReadAndChangeIt) {
    QTemporaryDir dir;
    const std::string path = pathIn(dir, "secrets");
    std::ofstream(path) << "first\r\nsecond;third\n\nfirst\n";
    const struct {
        mode_t mode;
        std::string why; // empty where taken
    } cases[] = {
        {0600, ""},
        {0400, ""},
        {0644, ": others may read these secrets (mode 644); make it yours alone (chmod 600 "},
        {0640, ": others may read these secrets (mode 640)"},
        {0602, ": others may change these secrets (mode 602)"},
        {0620, ": others may change these secrets (mode 620)"},
        {0610, ": others have rights to it (mode 610)"},
    };
    for (const auto& [mode, why] : cases) {
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        std::vector<std::string> secrets{"earlier", "second"};
        std::string error;
        EXPECT_EQ(secrets::readSecretsFile(path, secrets, error), why.empty()) << mode;
        if (why.empty()) {
            EXPECT_EQ(secrets, (std::vector<std::string>{"earlier", "second", "first", "third"}));
        } else {
            EXPECT_EQ(error.substr(0, path.size() + why.size()), path + why) << error;
            EXPECT_EQ(secrets.size(), 2u); // nothing taken from a refused file
        }
    }
    if (::geteuid() == 0) {
        ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
        ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
        std::vector<std::string> secrets;
        std::string error;
        EXPECT_FALSE(secrets::readSecretsFile(path, secrets, error));
        EXPECT_EQ(error, path + " belongs to another user (uid 65534): secrets are read from your "
                                "own files only");
    }
}

// A FIFO is read as its writer writes; one no one writes to is given up on,
// and so is a secret too long to be one or secrets past the memory limit.
TEST(Secrets, PipesAreReadAndEveryWaitAndSizeIsBounded) {
    QTemporaryDir dir;
    const std::string fifo = pathIn(dir, "fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::vector<std::string> secrets;
    std::string error;
    EXPECT_FALSE(
        secrets::readSecretsFile(fifo, secrets, error, nullptr, std::chrono::milliseconds(100)));
    EXPECT_EQ(error, fifo + ": nothing was written to it in 0.1 s (is a program writing the "
                            "secrets to it?)");
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::ofstream(fifo) << "piped;other\n";
    });
    EXPECT_TRUE(secrets::readSecretsFile(fifo, secrets, error)) << error;
    writer.join();
    EXPECT_EQ(secrets, (std::vector<std::string>{"piped", "other"}));

    // An unnamed pipe, as a shell's <(command) gives it.
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ASSERT_EQ(::write(ends[1], "from-a-pipe\n", 12), 12);
    ::close(ends[1]);
    EXPECT_TRUE(secrets::readSecretsFile("/dev/fd/" + std::to_string(ends[0]), secrets, error))
        << error;
    ::close(ends[0]);
    EXPECT_EQ(secrets.back(), "from-a-pipe");

    const std::string huge = pathIn(dir, "huge");
    std::ofstream(huge) << "short\n" << std::string(secrets::longestSecret + 1, 'x') << "\n";
    ::chmod(huge.c_str(), 0600);
    EXPECT_FALSE(secrets::readSecretsFile(huge, secrets, error));
    EXPECT_EQ(error, huge + ": line 2 holds a secret of more than 4096 bytes; peers' secrets are "
                            "far shorter");

    const std::string many = pathIn(dir, "many");
    {
        std::ofstream out(many);
        for (int i = 0; i < 1000; ++i) {
            out << "secret-" << i << "\n";
        }
    }
    ::chmod(many.c_str(), 0600);
    auto budget = std::make_shared<MemoryBudget>(16 * 1024);
    MemoryCharge charge(budget);
    const std::size_t before = secrets.size();
    EXPECT_FALSE(secrets::readSecretsFile(many, secrets, error, &charge));
    EXPECT_EQ(error, many + ": its secrets would pass the memory limit");
    EXPECT_EQ(secrets.size(), before);
    auto enough = std::make_shared<MemoryBudget>(1024 * 1024);
    MemoryCharge held(enough);
    EXPECT_TRUE(secrets::readSecretsFile(many, secrets, error, &held)) << error;
    EXPECT_EQ(secrets.size(), before + 1000);
    EXPECT_GT(enough->held(), 1000u * 8);
}
