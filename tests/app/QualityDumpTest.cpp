#include "tests/support/Process.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

namespace {

const QString dumpTool = QUORVEX_DUMP;
const QString generator = QUORVEX_GEN;

// The generated calls made to be judged (samples/QualityCalls.cpp).
class QualityDump : public testing::Test {
protected:
    static void SetUpTestSuite() {
        directory_ = new QTemporaryDir;
        ASSERT_EQ(runProcess(generator, {"quality", file()}).exitCode, 0);
    }
    static void TearDownTestSuite() { delete directory_; }
    static QString file() { return directory_->filePath("quality.pcap"); }

    static std::vector<QJsonObject> listing(const QStringList& arguments) {
        const ProcessResult run = runProcess(dumpTool, arguments + QStringList{file()});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        std::vector<QJsonObject> rows;
        for (const QByteArray& line : outputLines(run.out)) {
            rows.push_back(QJsonDocument::fromJson(line).object());
        }
        return rows;
    }

private:
    static inline QTemporaryDir* directory_ = nullptr;
};

TEST_F(QualityDump, CountsEachKindOfProblemAsItIsDefined) {
    const std::map<QString, std::pair<int, QString>> expected = {
        {"retransmission", {2, "note"}}, // a DTMF resent, an ANSWER resent
        {"vnak", {1, "warning"}},          {"reject", {1, "error"}},
        {"regrej", {1, "error"}},          {"inval", {1, "warning"}},
        {"unanswered", {2, "warning"}}, // rung and hung up, rejected
        {"lostVoice", {2, "warning"}},  // 3 frames, then 1
        {"duplicateVoice", {1, "note"}},   {"outOfOrderVoice", {2, "note"}},
        {"late", {2, "warning"}},          // 80 and 120 ms late for 50 ms
        {"highJitter", {1, "warning"}},    // ten frames every 200 ms
        {"oneWayAudio", {1, "error"}},     // the callee sends silence for 6 s
        {"hangupCause", {2, "warning"}},   // 19 (no answer), 21 (rejected)
        {"codecMismatch", {1, "warning"}}, // a-law in a u-law call
        {"reportedLoss", {1, "warning"}},  // 7 reported, 4 captured
        {"malformed", {1, "error"}},       // a REGREQ's password holding NULs
    };
    std::map<QString, int> counts;
    std::uint32_t previousFrame = 0;
    for (const QJsonObject& problem : listing({"--problems"})) {
        const QString kind = problem["kind"].toString();
        ++counts[kind];
        ASSERT_TRUE(expected.count(kind)) << kind.toStdString();
        EXPECT_EQ(problem["severity"].toString(), expected.at(kind).second) << kind.toStdString();
        const auto frame = static_cast<std::uint32_t>(problem["frame"].toInt());
        EXPECT_GE(frame, previousFrame); // in frame order
        previousFrame = frame;
        EXPECT_EQ(problem["call"].isNull(), kind == "regrej" || kind == "malformed")
            << kind.toStdString();
        if (kind == "oneWayAudio") {
            EXPECT_EQ(problem["text"].toString(),
                      "one-way audio: the callee's voice is 0.0 % active, the caller's 100.0 %");
        }
    }
    for (const auto& [kind, count] : expected) {
        EXPECT_EQ(counts[kind], count.first) << kind.toStdString();
    }
    // At 100 ms only the frame 120 ms late is.
    int late = 0;
    for (const QJsonObject& problem : listing({"--problems", "--jitter-buffer", "100"})) {
        late += problem["kind"] == "late" ? 1 : 0;
    }
    EXPECT_EQ(late, 1);
}

TEST_F(QualityDump, JudgesTheMeasuredCallAtTwoBufferSizes) {
    // Worked out in QualityTest from the same loss pattern, with the round
    // trip of 40 ms adding 20 ms to the delay.
    const struct {
        const char* buffer;
        int late;
        double burstRatio, rFactor, mos;
    } cases[] = {{"50", 2, 1.470, 83.860, 4.161}, {"100", 1, 1.639, 83.778, 4.158}};
    for (const auto& c : cases) {
        const auto streams = listing({"--streams", "--jitter-buffer", c.buffer});
        ASSERT_EQ(streams.size(), 4u);
        const QJsonObject& caller = streams[0];
        EXPECT_EQ(caller["late"].toInt(), c.late);
        EXPECT_EQ(caller["effectiveLost"].toInt(), 4 + c.late);
        EXPECT_NEAR(caller["burstRatio"].toDouble(), c.burstRatio, 0.001);
        EXPECT_NEAR(caller["rFactor"].toDouble(), c.rFactor, 0.01);
        EXPECT_NEAR(caller["mos"].toDouble(), c.mos, 0.01);
        EXPECT_EQ(caller["activity"].toDouble(), 1.0);
        EXPECT_EQ(streams[1]["activity"].toDouble(), 0.0); // the silent callee
        // The callee's last report on the caller's stream; none on the callee's.
        for (const auto& [key, value] : {std::pair{"reportedJitter", 12},
                                         {"reportedLossPercent", 3},
                                         {"reportedLost", 7},
                                         {"reportedPackets", 150},
                                         {"reportedDelay", 40},
                                         {"reportedDropped", 1},
                                         {"reportedOutOfOrder", 2}}) {
            EXPECT_EQ(caller[key].toInt(), value) << key;
            EXPECT_TRUE(streams[1][key].isNull()) << key;
        }
    }
    const auto calls = listing({"--calls"});
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0]["rttSamples"].toInt(), 2);
    EXPECT_EQ(calls[0]["rttMin"].toDouble(), 30.0);
    EXPECT_EQ(calls[0]["rttMean"].toDouble(), 40.0);
    EXPECT_EQ(calls[0]["rttMax"].toDouble(), 50.0);
    EXPECT_EQ(calls[0]["lagSamples"].toInt(), 1);
    EXPECT_EQ(calls[0]["lagMean"].toDouble(), 80.0);
    EXPECT_EQ(calls[0]["dtmf"].toString(), "42");
    EXPECT_NEAR(calls[0]["mos"].toDouble(), 4.161, 0.01); // the worse direction
    EXPECT_TRUE(calls[1]["mos"].isNull());                // no voice
    EXPECT_TRUE(calls[1]["rttMean"].isNull());

    QStringList digits;
    for (const QJsonObject& event : listing({"--dtmf"})) {
        EXPECT_EQ(event["source"].toString(), "signalled");
        EXPECT_TRUE(event["duration"].isNull());
        digits << event["digit"].toString() + " " + event["kind"].toString();
    }
    EXPECT_EQ(digits, (QStringList{"4 begin", "4 end", "2 end"}));
}

TEST_F(QualityDump, SaysWhatStandardInputCannotGiveAndRefusesABufferWithNothingToJudge) {
    QFile input(file());
    ASSERT_TRUE(input.open(QIODevice::ReadOnly));
    const ProcessResult piped = runProcess(dumpTool, {"--streams", "-"}, input.readAll());
    EXPECT_EQ(piped.exitCode, 0);
    EXPECT_TRUE(piped.err.contains("quorvex-dump: activity and in-band DTMF are unknown: the "
                                   "voice cannot be read again: the capture came from standard "
                                   "input\n"))
        << piped.err.toStdString();
    const auto first = QJsonDocument::fromJson(outputLines(piped.out).at(0)).object();
    EXPECT_TRUE(first["activity"].isNull());
    EXPECT_NEAR(first["mos"].toDouble(), 4.161, 0.01);

    for (const QStringList& arguments :
         {QStringList{"--jitter-buffer", "50", file()},
          QStringList{"--registrations", "--jitter-buffer", "50", file()},
          QStringList{"--streams", "--jitter-buffer", "0", file()},
          QStringList{"--streams", "--jitter-buffer", "20000", file()}}) {
        EXPECT_EQ(runProcess(dumpTool, arguments).exitCode, 2) << arguments.join(' ').toStdString();
    }
}

} // namespace

// Without -Y, the listings let go of each record once the trackers took it
// in, and decode the calls' frames again from the file to listen to them;
// with a filter that keeps every frame, the records stay. Both must print
// the same, problem texts, in-band digits and decrypted calls included.
TEST(ReleasedRecords, ListingsAreTheSameAsWithEveryRecordHeld) {
    QTemporaryDir directory;
    const QString quality = directory.filePath("quality.pcap");
    const QString digits = directory.filePath("digits.pcap");
    const QString encrypted = directory.filePath("encrypted.pcap");
    ASSERT_EQ(runProcess(generator, {"quality", quality}).exitCode, 0);
    ASSERT_EQ(runProcess(generator, {"in-band-dtmf", "159#", digits}).exitCode, 0);
    ASSERT_EQ(runProcess(generator, {"encrypted", encrypted}).exitCode, 0);
    const QStringList secret = {"--secret", "quorvex-secret"};
    const struct {
        QStringList arguments;
        const char* mustHold;
    } cases[] = {
        {{"--problems", quality}, "ANSWER"}, // a retransmission's frame, kept for its text
        {{"--calls", quality}, "\"mos\""},
        {{"--streams", quality}, "\"activity\""},
        {{"--dtmf", digits}, "in-band"}, // heard in the voice decoded again
        {secret + QStringList{"--calls", encrypted}, "decrypted"},
        {secret + QStringList{"--streams", encrypted}, "\"activity\""},
    };
    for (const auto& test : cases) {
        const QStringList& arguments = test.arguments;
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const ProcessResult released = runProcess(dumpTool, arguments);
        const ProcessResult held = runProcess(dumpTool, QStringList{"-Y", "frame"} + arguments);
        ASSERT_EQ(released.exitCode, 0) << released.err.toStdString();
        ASSERT_EQ(held.exitCode, 0) << held.err.toStdString();
        EXPECT_TRUE(released.out.contains(test.mustHold)) << released.out.left(400).toStdString();
        EXPECT_EQ(released.out, held.out);
    }
}
