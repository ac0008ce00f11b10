// Packet comments kept beside the user's data, a side file per capture.
#include "app/FrameComments.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

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
