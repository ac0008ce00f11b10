// Where a live run writes its packets: a fixed path in a folder everyone may
// write to, so a hostile neighbour may plant links or folders there, and
// another run may be writing it right now.
#include "capture/LiveCaptureFile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

namespace fs = std::filesystem;

namespace {

class LiveFile : public ::testing::Test {
protected:
    LiveFile() {
        // As under su or cron: no runtime folder, so the private file goes
        // to a folder of the test's base.
        if (const char* runtime = std::getenv("XDG_RUNTIME_DIR")) {
            savedRuntime = runtime;
        }
        unsetenv("XDG_RUNTIME_DIR");
        places.privateBase = base.path().toStdString();
    }
    ~LiveFile() override {
        for (std::FILE* file : files) {
            std::fclose(file);
        }
        if (savedRuntime) {
            setenv("XDG_RUNTIME_DIR", savedRuntime->c_str(), 1);
        }
    }
    OpenedLiveFile open(const std::string& path) {
        OpenedLiveFile opened = openLiveCaptureFile(path, &record, places);
        if (opened.file != nullptr) {
            files.push_back(opened.file);
        }
        return opened;
    }
    [[nodiscard]] std::string at(const char* name) const {
        return base.filePath(name).toStdString();
    }
    static std::string contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    QTemporaryDir base;
    LiveFilePlaces places;
    LiveFileRecord record;
    std::vector<std::FILE*> files;
    std::optional<std::string> savedRuntime;
    const std::string privateFolder = at("quorvex-") + std::to_string(geteuid());
};

} // namespace

// A link planted between the unlink and the open is refused, never followed:
// the victim keeps its bytes, and the run fails saying where.
TEST_F(LiveFile, ALinkPlantedAfterTheUnlinkIsNotFollowed) {
    const std::string victim = at("victim");
    std::ofstream(victim) << "precious";
    places.afterUnlink = [&](const std::string& path) { fs::create_symlink(victim, path); };
    const OpenedLiveFile opened = open(at("quorvex.capture"));
    EXPECT_EQ(opened.file, nullptr);
    EXPECT_EQ(opened.error, privateFolder + "/quorvex.capture: File exists");
    EXPECT_EQ(contents(victim), "precious");
}

// A second run while the first still writes leaves the first's file alone,
// and a third goes to a name of its own.
TEST_F(LiveFile, ARunningCapturesFileIsLeftToIt) {
    const std::string path = at("quorvex.capture");
    const OpenedLiveFile first = open(path);
    ASSERT_NE(first.file, nullptr) << first.error;
    std::fputs("first run", first.file);
    std::fflush(first.file);
    struct stat before {};
    ASSERT_EQ(stat(path.c_str(), &before), 0);

    const OpenedLiveFile second = open(path);
    ASSERT_NE(second.file, nullptr) << second.error;
    EXPECT_EQ(second.path, privateFolder + "/quorvex.capture");
    const OpenedLiveFile third = open(path);
    ASSERT_NE(third.file, nullptr) << third.error;
    EXPECT_TRUE(third.path.starts_with(privateFolder + "/quorvex-")) << third.path;
    EXPECT_TRUE(third.path.ends_with(".capture")) << third.path;

    struct stat after {};
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(contents(path), "first run");

    // Once a run has ended, the next one takes the fixed path again.
    std::fclose(files.front());
    files.erase(files.begin());
    EXPECT_EQ(open(path).path, path);
}

// What holds the fixed path or the usual private folder and is not this
// user's to replace sends the run to a folder of its own.
TEST_F(LiveFile, WhatOthersHoldSendsTheRunToAFreshPrivateFolder) {
    const std::string path = at("quorvex.capture");
    fs::create_directory(path); // cannot be unlinked
    fs::create_directory(privateFolder);
    fs::permissions(privateFolder, fs::perms::owner_all | fs::perms::others_read |
                                       fs::perms::others_exec); // not private
    const OpenedLiveFile opened = open(path);
    ASSERT_NE(opened.file, nullptr) << opened.error;
    EXPECT_TRUE(opened.path.starts_with(privateFolder + ".")) << opened.path;
    struct stat folder {};
    ASSERT_EQ(stat(fs::path(opened.path).parent_path().c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
    EXPECT_EQ(record.movablePath(), opened.path);
    EXPECT_TRUE(record.isWriting()); // Save waits for the run to end
    record.finished();
    EXPECT_FALSE(record.isWriting());
}
