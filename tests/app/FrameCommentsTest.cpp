// Packet comments kept beside the user's data, a side file per capture.
#include "app/FrameComments.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

TEST(FrameComments, KeepEveryTextWholeAndEachCapturesOwn) {
    QTemporaryDir folder;
    const std::string comments = folder.filePath("comments").toStdString();
    const std::string capture = "/captures/a call\twith a tab.pcap";
    FrameComments written(comments, capture);
    EXPECT_FALSE(written.load().has_value()); // none yet is no error
    const std::pair<std::uint32_t, std::string> texts[] = {
        {1, "plain"},
        {7, "two\nlines"},
        {9, "a\ttab and a \\ backslash \\n not a line"},
        {4294967295u, "the last packet number"},
    };
    std::string error;
    for (const auto& [packet, text] : texts) {
        ASSERT_TRUE(written.set(packet, text, error)) << error;
    }
    ASSERT_TRUE(written.set(1, "", error)); // an empty text removes it

    FrameComments read(comments, capture);
    EXPECT_FALSE(read.load().has_value());
    EXPECT_EQ(read.all().size(), 3u);
    EXPECT_EQ(read.of(1), "");
    for (const auto& [packet, text] : texts) {
        if (packet != 1) {
            EXPECT_EQ(read.of(packet), text) << packet;
        }
    }
    // Another capture has none of them, even where its side file is this one.
    FrameComments other(comments, "/captures/another.pcap");
    EXPECT_FALSE(other.load().has_value());
    EXPECT_TRUE(other.all().empty());
}

TEST(FrameComments, AFolderThatCannotBeWrittenKeepsTheCommentForTheRun) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root writes any folder";
    }
    QTemporaryDir folder;
    ASSERT_EQ(chmod(folder.path().toLocal8Bit().constData(), 0500), 0);
    FrameComments comments(folder.filePath("comments").toStdString(), "/a.pcap");
    std::string error;
    EXPECT_FALSE(comments.set(3, "kept", error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(comments.of(3), "kept");
    chmod(folder.path().toLocal8Bit().constData(), 0700);
}

// Two windows commenting on one capture at once: each change is made to the
// side file as it then is, so that neither loses the other's comments.
TEST(FrameComments, WritersOfOneCaptureAtOnceLoseNoComment) {
    QTemporaryDir folder;
    const std::string comments = folder.filePath("comments").toStdString();
    constexpr std::uint32_t each = 150;
    std::vector<std::string> errors(2);
    std::vector<std::thread> writers;
    for (std::uint32_t writer = 0; writer < 2; ++writer) {
        writers.emplace_back([&, writer] {
            FrameComments window(comments, "/captures/shared.pcap");
            for (std::uint32_t i = 1; i <= each && errors[writer].empty(); ++i) {
                window.set(writer * each + i, "comment " + std::to_string(writer * each + i),
                           errors[writer]);
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    EXPECT_EQ(errors, (std::vector<std::string>{"", ""}));
    FrameComments read(comments, "/captures/shared.pcap");
    EXPECT_FALSE(read.load().has_value());
    EXPECT_EQ(read.all().size(), 2 * each);
    EXPECT_EQ(read.of(2 * each), "comment 300");
    // The folder is the user's alone, and holds no file left half-written.
    struct stat status {};
    ASSERT_EQ(stat(comments.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(comments)) {
        files += entry.path().filename().string().front() == '.' ? 100 : 1;
    }
    EXPECT_EQ(files, 2u); // the side file and its lock
}
