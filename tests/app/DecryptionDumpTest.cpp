// An encrypted call read with the right secret is the clear call, in every
// output; without it nothing is made of its ciphertext, and it says why.
#include "tests/support/Process.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Without the line that says a frame was decrypted, which a clear frame has not.
QByteArray withoutDecryptedLines(const QByteArray& text) {
    QByteArray kept;
    for (const QByteArray& line : text.split('\n')) {
        if (!line.contains("Decrypted: True") && !line.contains("quorvex.decrypted")) {
            kept += line + '\n';
        }
    }
    return kept;
}

// The local time each frame was decoded at differs between two runs that
// straddle a second: it is set aside.
QByteArray dump(const QStringList& arguments) {
    const ProcessResult run = runProcess(QUORVEX_DUMP, arguments);
    EXPECT_EQ(run.exitCode, 0) << arguments.join(' ').toStdString() << ": "
                               << run.err.toStdString();
    static const QRegularExpression tsvTime(R"(\t\d\d:\d\d:\d\d\t)");
    static const QRegularExpression jsonTime(R"("time":"\d\d:\d\d:\d\d")");
    return QString::fromUtf8(run.out)
        .replace(tsvTime, "\tT\t")
        .replace(jsonTime, R"("time":"T")")
        .toUtf8();
}

class DecryptionDump : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(runProcess(QUORVEX_GEN, {"encrypted", encrypted}).exitCode, 0);
        ASSERT_EQ(runProcess(QUORVEX_GEN, {"encrypted-clear", clear}).exitCode, 0);
    }
    QTemporaryDir dir;
    const QString encrypted = dir.filePath("encrypted.pcap");
    const QString clear = dir.filePath("clear.pcap");
    const QStringList secrets = {"--secret", "wrong", "--secret", "quorvex-secret"};
};

} // namespace

TEST_F(DecryptionDump, TheRightSecretGivesTheClearCallInEveryOutput) {
    const QList<QStringList> outputs = {{"--format", "tsv"}, {"-V"},        {"-x"},
                                        {"-T", "json"},      {"--streams"}, {"--problems"},
                                        {"--flow", "1"}};
    for (const QStringList& output : outputs) {
        SCOPED_TRACE(output.join(' ').toStdString());
        EXPECT_EQ(withoutDecryptedLines(dump(output + secrets + QStringList{encrypted})),
                  dump(output + QStringList{clear}) + '\n');
    }
    QByteArray calls = dump(QStringList{"--calls"} + secrets + QStringList{encrypted});
    EXPECT_TRUE(calls.contains(R"("encrypted":"decrypted")")) << calls.toStdString();
    calls.replace(R"("encrypted":"decrypted")", R"("encrypted":"no")");
    EXPECT_EQ(calls, dump({"--calls", clear}));

    const QString fromEncrypted = dir.filePath("encrypted.wav");
    const QString fromClear = dir.filePath("clear.wav");
    dump(QStringList{"--audio", "1", fromEncrypted} + secrets + QStringList{encrypted});
    dump({"--audio", "1", fromClear, clear});
    EXPECT_GT(fileBytes(fromClear).size(), 44);
    EXPECT_EQ(fileBytes(fromEncrypted), fileBytes(fromClear));
}

TEST_F(DecryptionDump, WithoutTheSecretNothingIsMadeOfTheCiphertextAndItSaysWhy) {
    for (const char* listing : {"--format", "--calls", "--streams", "--problems"}) {
        QStringList arguments{listing};
        if (arguments.front() == "--format") {
            arguments << "tsv";
        }
        EXPECT_EQ(dump(arguments + QStringList{"--secret", "wrong", encrypted}),
                  dump(arguments + QStringList{encrypted}))
            << listing;
    }
    const QByteArray calls = dump({"--calls", encrypted});
    EXPECT_TRUE(calls.contains(R"("encrypted":"locked")")) << calls.toStdString();
    EXPECT_FALSE(calls.contains("Completed")) << "a state read from ciphertext";
    EXPECT_TRUE(dump({"--streams", encrypted}).isEmpty());
    const QByteArray problems = dump({"--problems", encrypted});
    EXPECT_TRUE(problems.contains(R"("kind":"decryptFailed")")) << problems.toStdString();
    EXPECT_FALSE(problems.contains("unanswered")) << problems.toStdString();
    EXPECT_EQ(dump({"-Y", "quorvex.encrypted", "--format", "tsv", encrypted}).count('\n'),
              dump({"--format", "tsv", encrypted}).count('\n') - 2); // all but NEW and AUTHREQ

    const ProcessResult audio =
        runProcess(QUORVEX_DUMP, {"--audio", "1", dir.filePath("x.wav"), encrypted});
    EXPECT_EQ(audio.exitCode, 1);
    EXPECT_TRUE(audio.err.contains("encrypted, and no known secret opens it"))
        << audio.err.toStdString();
}

TEST_F(DecryptionDump, ASecretsFileMustBeItsOwnersAlone) {
    const QString path = dir.filePath("secrets");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("first\r\nsecond;quorvex-secret\n\n");
    file.close();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    const ProcessResult refused =
        runProcess(QUORVEX_DUMP, {"--secrets-file", path, "--calls", encrypted});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.err.contains("chmod 600")) << refused.err.toStdString();
    EXPECT_TRUE(refused.out.isEmpty());

    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_TRUE(dump({"--secrets-file", path, "--calls", encrypted}).contains("decrypted"));
    // Or through standard input, which no other user can read; on the
    // command line, the secret works but the user is told who may read it.
    const ProcessResult piped = runProcess(
        QUORVEX_DUMP, {"--secrets-file", "-", "--calls", encrypted}, "wrong\nquorvex-secret\n");
    EXPECT_EQ(piped.exitCode, 0) << piped.err.toStdString();
    EXPECT_TRUE(piped.out.contains("decrypted")) << piped.out.toStdString();
    EXPECT_FALSE(piped.err.contains("other users")) << piped.err.toStdString();
    const ProcessResult typed =
        runProcess(QUORVEX_DUMP, {"--secret", "quorvex-secret", "--calls", encrypted});
    EXPECT_TRUE(typed.out.contains("decrypted"));
    EXPECT_TRUE(typed.err.startsWith("quorvex-dump: other users can read a --secret"))
        << typed.err.toStdString();
    const ProcessResult both = runProcess(QUORVEX_DUMP, {"--secrets-file", "-", "-"});
    EXPECT_EQ(both.exitCode, 2);
    EXPECT_TRUE(both.err.contains("cannot both come from standard input"))
        << both.err.toStdString();
    const ProcessResult missing =
        runProcess(QUORVEX_DUMP, {"--secrets-file", dir.filePath("none"), encrypted});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(missing.err.contains("No such file")) << missing.err.toStdString();
}
