#include "common/PrivateFiles.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

class Scratch {
public:
    Scratch() {
        char name[] = "/tmp/private-files-XXXXXX";
        path_ = ::mkdtemp(name);
    }
    ~Scratch() { std::filesystem::remove_all(path_); }
    [[nodiscard]] std::string operator/(const std::string& name) const {
        return path_ + "/" + name;
    }

private:
    std::string path_;
};

mode_t modeOf(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

void write(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
}

std::string read(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace

// Which folders may hold the user's private files: none that another user
// may change, along the path as given or where its links lead.
TEST(PrivateFiles, TrustsOnlyFoldersNoOneElseMayChange) {
    Scratch scratch;
    std::filesystem::create_directories(scratch / "open/inside");
    ::chmod((scratch / "open").c_str(), 0775);
    std::filesystem::create_directories(scratch / "sticky/inside");
    ::chmod((scratch / "sticky").c_str(), 01777);
    std::filesystem::create_directories(scratch / "mine");
    std::filesystem::create_symlink(scratch / "open/inside", scratch / "mine/linked");
    std::filesystem::create_symlink(scratch / "sticky/inside", scratch / "mine/fine");
    const struct {
        std::string folder;
        std::string why; // empty where trusted
    } cases[] = {
        {scratch / "mine", ""},
        {scratch / "mine/not/made/yet", ""},
        {scratch / "sticky/inside/deeper", ""},
        {scratch / "mine/fine", ""},
        {scratch / "open/inside", scratch / "open may be changed by others (mode 775)"},
        {scratch / "open/inside/not/made", scratch / "open may be changed by others (mode 775)"},
        {scratch / "mine/linked", scratch / "open may be changed by others (mode 775)"},
    };
    for (const auto& [folder, why] : cases) {
        EXPECT_EQ(privatefiles::whyUntrusted(folder), why) << folder;
    }
    std::string error;
    EXPECT_FALSE(privatefiles::makePrivateFolder(scratch / "open/inside/new", error));
    EXPECT_FALSE(std::filesystem::exists(scratch / "open/inside/new"));
    // Made, and narrowed where it was open to reading.
    ASSERT_TRUE(privatefiles::makePrivateFolder(scratch / "mine/a/b", error)) << error;
    EXPECT_EQ(modeOf(scratch / "mine/a"), 0700u);
    EXPECT_EQ(modeOf(scratch / "mine/a/b"), 0700u);
    ::chmod((scratch / "mine/a/b").c_str(), 0755);
    ASSERT_TRUE(privatefiles::makePrivateFolder(scratch / "mine/a/b", error)) << error;
    EXPECT_EQ(modeOf(scratch / "mine/a/b"), 0700u);
}

// A private file is the user's alone before a byte is written, and never a
// way to write somewhere else.
TEST(PrivateFiles, APrivateFileIsMadeTheUsersAloneOrRefused) {
    Scratch scratch;
    std::filesystem::create_directories(scratch / "mine");
    std::filesystem::create_directories(scratch / "open");
    ::chmod((scratch / "open").c_str(), 0777);
    write(scratch / "open/target", "untouched");
    write(scratch / "mine/readable", "kept");
    ::chmod((scratch / "mine/readable").c_str(), 0644);
    write(scratch / "mine/twice", "kept");
    ::link((scratch / "mine/twice").c_str(), (scratch / "mine/twice-too").c_str());
    std::filesystem::create_symlink(scratch / "open/target", scratch / "mine/planted");
    std::filesystem::create_symlink(scratch / "mine/readable", scratch / "mine/dotfile");
    const struct {
        std::string path;
        bool made;
    } cases[] = {
        {scratch / "mine/new", true},      {scratch / "mine/readable", true},
        {scratch / "mine/dotfile", true},  {scratch / "mine/twice", false},
        {scratch / "mine/planted", false}, {scratch / "open/fresh", false},
    };
    for (const auto& [path, made] : cases) {
        std::string error;
        EXPECT_EQ(privatefiles::makePrivateFile(path, error), made) << path << ": " << error;
        EXPECT_EQ(error.empty(), made) << path;
        if (made) {
            EXPECT_EQ(modeOf(path), 0600u) << path;
        }
    }
    EXPECT_EQ(read(scratch / "mine/readable"), "kept");
    EXPECT_EQ(read(scratch / "open/target"), "untouched");
    EXPECT_FALSE(std::filesystem::exists(scratch / "open/fresh"));
}

// Root run with another user's HOME: that user's folders, and the links
// planted in them, are not followed.
TEST(PrivateFiles, RootRefusesAnotherUsersFolders) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can give a folder to another user";
    }
    Scratch scratch;
    std::filesystem::create_directories(scratch / "home/.config/Quorvex");
    write(scratch / "target", "root's own");
    std::filesystem::create_symlink(scratch / "target",
                                    scratch / "home/.config/Quorvex/Quorvex.conf");
    for (const char* folder : {"home", "home/.config", "home/.config/Quorvex"}) {
        ASSERT_EQ(::lchown((scratch / folder).c_str(), 65534, 65534), 0);
    }
    std::string error;
    EXPECT_FALSE(
        privatefiles::makePrivateFile(scratch / "home/.config/Quorvex/Quorvex.conf", error));
    EXPECT_EQ(error, scratch / "home/.config/Quorvex belongs to another user (uid 65534)");
    EXPECT_FALSE(privatefiles::makePrivateFolder(scratch / "home/.local/share", error));
    EXPECT_EQ(read(scratch / "target"), "root's own");
    EXPECT_EQ(modeOf(scratch / "target"), 0644u);
}
