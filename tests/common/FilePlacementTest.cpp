// Files put in place whole and never over another, on file systems with and
// without hard links, and streams written straight.
#include "common/FilePlacement.h"
#include "common/NewFile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::string read(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A FAT file system through FUSE, which has neither hard links nor a rename
// that refuses to replace; where root may mount one.
class FatMount {
public:
    FatMount() {
        char name[] = "/tmp/fat-XXXXXX";
        folder_ = ::mkdtemp(name);
        const std::string image = folder_ + "/fat.img";
        mount_ = folder_ + "/mount";
        std::filesystem::create_directory(mount_);
        mounted_ = ::geteuid() == 0 && ::access("/dev/fuse", R_OK | W_OK) == 0 &&
                   std::system(("truncate -s 4M " + image + " && mkfs.vfat " + image +
                                " > /dev/null 2>&1 && fusefat -o rw+ " + image + " " + mount_ +
                                " > /dev/null 2>&1")
                                   .c_str()) == 0;
    }
    ~FatMount() {
        if (mounted_) {
            std::system(("fusermount -u " + mount_).c_str());
        }
        std::filesystem::remove_all(folder_);
    }
    [[nodiscard]] bool mounted() const { return mounted_; }
    [[nodiscard]] const std::string& folder() const { return mount_; }

private:
    std::string folder_;
    std::string mount_;
    bool mounted_ = false;
};

// Places a file where none is and where one is, in `folder`.
void checkPlacement(const std::string& folder) {
    const std::string from = folder + "/from";
    const std::string to = folder + "/to";
    std::ofstream(from) << "new";
    std::string error;
    ASSERT_TRUE(placeWithoutReplacing(from, to, error)) << error;
    EXPECT_EQ(read(to), "new");
    EXPECT_FALSE(std::filesystem::exists(from));

    std::ofstream(from) << "newer";
    EXPECT_FALSE(placeWithoutReplacing(from, to, error));
    EXPECT_EQ(error, to + ": File exists");
    EXPECT_EQ(read(to), "new");
    EXPECT_EQ(read(from), "newer");

    // A new file written whole, then refused where its destination exists.
    for (const bool exists : {false, true}) {
        const std::string destination = folder + (exists ? "/to" : "/written");
        NewFile file(destination);
        ASSERT_TRUE(file.ok()) << file.error();
        ASSERT_TRUE(file.write({reinterpret_cast<const std::uint8_t*>("whole"), 5}));
        EXPECT_EQ(file.commit(), !exists) << file.error();
        EXPECT_EQ(read(destination), exists ? "new" : "whole");
    }
    std::size_t left = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        left += entry.path().filename().string().starts_with(".quorvex-new") ? 1 : 0;
    }
    EXPECT_EQ(left, 0u);
}

} // namespace

TEST(FilePlacement, NeverReplacesAFileHere) {
    char name[] = "/tmp/placement-XXXXXX";
    const std::string folder = ::mkdtemp(name);
    checkPlacement(folder);
    std::filesystem::remove_all(folder);
}

TEST(FilePlacement, NeverReplacesAFileOnAFileSystemWithoutHardLinks) {
    const FatMount fat;
    if (!fat.mounted()) {
        GTEST_SKIP() << "no FAT file system to try: it needs root, /dev/fuse, mkfs.vfat and "
                        "fusefat";
    }
    const std::string probe = fat.folder() + "/probe";
    std::ofstream(probe) << "x";
    ASSERT_NE(::link(probe.c_str(), (fat.folder() + "/probe2").c_str()), 0) << "it has hard links";
    std::filesystem::remove(probe);
    checkPlacement(fat.folder());
}

// Standard output and its kin are written straight, as packet tools write
// them; a terminal is refused.
TEST(FilePlacement, StreamsAreWrittenStraightButNeverATerminal) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    {
        NewFile stream("/dev/fd/" + std::to_string(ends[1]));
        ASSERT_TRUE(stream.ok()) << stream.error();
        ASSERT_TRUE(stream.write({reinterpret_cast<const std::uint8_t*>("piped"), 5}));
        EXPECT_TRUE(stream.commit());
    }
    ::close(ends[1]);
    char got[16] = {};
    EXPECT_EQ(::read(ends[0], got, sizeof got), 5);
    EXPECT_STREQ(got, "piped");
    ::close(ends[0]);

    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(::grantpt(terminal), 0);
    ASSERT_EQ(::unlockpt(terminal), 0);
    const std::string device = ::ptsname(terminal);
    for (const std::string& path : {device, "/dev/fd/" + std::to_string(terminal)}) {
        const NewFile file(path);
        EXPECT_FALSE(file.ok()) << path;
        EXPECT_EQ(file.error(), path + " is a terminal, which a capture file's bytes would act "
                                       "on: redirect it to a file or a pipe");
    }
    ::close(terminal);
}
