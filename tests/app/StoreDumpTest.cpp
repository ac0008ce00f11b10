// quorvex-dump --store against a ClickHouse server of the test's own: the
// rows are those --calls, --streams and --problems print, once however often
// a capture is loaded, and a store that cannot be reached fails the run.
#include "tests/support/Process.h"
#include "tests/support/ScratchClickHouse.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

class StoreDump : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!ScratchClickHouse::available()) {
            return;
        }
        folder_ = new QTemporaryDir;
        server_ = new ScratchClickHouse(folder_->filePath("server").toStdString());
        started_ = server_->start();
    }
    static void TearDownTestSuite() {
        delete server_;
        delete folder_;
        server_ = nullptr;
        folder_ = nullptr;
    }
    void SetUp() override {
        if (!ScratchClickHouse::available()) {
            GTEST_SKIP() << "no clickhouse-server: scripts/install-deps.sh test installs it";
        }
        ASSERT_TRUE(started_) << "the scratch clickhouse-server did not start";
    }
    static QString url(const char* database) {
        return QString::fromStdString(server_->url(database));
    }

    static inline QTemporaryDir* folder_ = nullptr;
    static inline ScratchClickHouse* server_ = nullptr;
    static inline bool started_ = false;
};

std::vector<QJsonObject> records(const QStringList& arguments) {
    std::vector<QJsonObject> all;
    for (const QByteArray& line : outputLines(runProcess(QUORVEX_DUMP, arguments).out)) {
        all.push_back(QJsonDocument::fromJson(line).object());
    }
    return all;
}

double sum(const std::vector<QJsonObject>& rows, const char* key) {
    double total = 0;
    for (const QJsonObject& row : rows) {
        total += row[key].toDouble();
    }
    return total;
}

TEST_F(StoreDump, ACaptureLoadedTwiceGivesTheRowsTheListingsPrintOnce) {
    QTemporaryDir dir;
    QStringList files{QUORVEX_TEST_DATA "/public-iax2-call-2005.pcap"};
    for (const char* kind : {"quality", "tones", "all-kinds"}) {
        files << dir.filePath(QString(kind) + ".pcap");
        ASSERT_EQ(runProcess(QUORVEX_GEN, {kind, files.back()}).exitCode, 0);
    }
    for (int load = 0; load < 2; ++load) {
        for (const QString& file : files) {
            const auto run = runProcess(QUORVEX_DUMP, {"--store", url("held"), "--calls", file});
            ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
            EXPECT_TRUE(run.err.contains("Store: ")) << run.err.toStdString();
        }
    }
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        const std::string capture = file.section('/', -1).toStdString();
        const auto ask = [&](const std::string& what, const char* table) {
            return server_->ask("SELECT " + what + " FROM held." + table + " WHERE capture = '" +
                                capture + "' FORMAT TSV");
        };
        const auto calls = records({"--calls", file});
        const auto streams = records({"--streams", file});
        const auto problems = records({"--problems", file});
        EXPECT_EQ(ask("count()", "calls"), std::to_string(calls.size()) + "\n");
        EXPECT_EQ(ask("count()", "streams"), std::to_string(streams.size()) + "\n");
        EXPECT_EQ(ask("count()", "problems"), std::to_string(problems.size()) + "\n");
        EXPECT_NEAR(std::stod(ask("sum(ifNull(mos, 0))", "calls")), sum(calls, "mos"), 1e-6);
        EXPECT_NEAR(std::stod(ask("sum(ifNull(mos, 0))", "streams")), sum(streams, "mos"), 1e-6);
        EXPECT_NEAR(std::stod(ask("sum(ifNull(lost, 0))", "streams")), sum(streams, "lost"), 1e-6);
    }
}

TEST_F(StoreDump, EveryColumnIsAKeyOfTheRecordsInTheirOrder) {
    QTemporaryDir dir;
    const QString file = dir.filePath("quality.pcap");
    ASSERT_EQ(runProcess(QUORVEX_GEN, {"quality", file}).exitCode, 0);
    ASSERT_EQ(runProcess(QUORVEX_DUMP, {"--store", url("columns"), file}).exitCode, 0);
    const std::pair<const char*, const char*> tables[] = {
        {"calls", "--calls"}, {"streams", "--streams"}, {"problems", "--problems"}};
    for (const auto& [table, listing] : tables) {
        SCOPED_TRACE(table);
        const std::string names = server_->ask(
            std::string(
                "SELECT name FROM system.columns WHERE database = 'columns' AND table = '") +
            table + "' FORMAT TSV");
        QStringList expected{"capture", "node", "callKey", "loaded"};
        const auto record = records({listing, file});
        ASSERT_FALSE(record.empty());
        expected << record.front().keys();
        // QJsonObject sorts its keys: compare as sets, and the order from the
        // printed line itself.
        const QByteArray line = outputLines(runProcess(QUORVEX_DUMP, {listing, file}).out).front();
        QStringList inOrder{"capture", "node", "callKey", "loaded"};
        for (const QString& part : QString::fromUtf8(line).split(',')) {
            const QString key = part.section('"', 1, 1);
            if (part.startsWith('"') || part.startsWith("{\"")) {
                inOrder << key;
            }
        }
        EXPECT_EQ(QString::fromStdString(names).trimmed().split('\n'), inOrder);
    }
}

TEST_F(StoreDump, AStoreThatCannotBeReachedOrRefusesFailsTheRunBeforeReading) {
    const QString call = QUORVEX_TEST_DATA "/public-iax2-call-2005.pcap";
    QTemporaryDir dir;
    const QString password = dir.filePath("password");
    QFile file(password);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("store-test\n");
    file.close();
    ::chmod(password.toLocal8Bit().constData(), 0600);

    QProcess process;
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QUORVEX_STORE_USER", "quorvex");
    process.setProcessEnvironment(environment);
    process.start(QUORVEX_DUMP,
                  {"--store", url("users"), "--store-password-file", password, "--calls", call});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();

    environment.insert("QUORVEX_STORE_PASSWORD", "wrong");
    process.setProcessEnvironment(environment);
    process.start(QUORVEX_DUMP, {"--store", url("users"), "--calls", call});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_TRUE(process.readAllStandardError().contains("refused (HTTP"));
    EXPECT_TRUE(process.readAllStandardOutput().isEmpty());

    // A port nothing listens on: the scratch server's own, one below.
    const QString away =
        QString("clickhouse://127.0.0.1:%1/x").arg(static_cast<int>(server_->port()) - 1);
    const auto run = runProcess(QUORVEX_DUMP, {"--store", away, "--calls", call});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.contains("quorvex-dump: store: ClickHouse at 127.0.0.1:"))
        << run.err.toStdString();

    for (const QStringList& wrong : {QStringList{"--store", "clickhouse://h/x-y", call},
                                     QStringList{"--store-password-file", password, call},
                                     QStringList{"--store", url("x"), "--flow", "1", call}}) {
        EXPECT_EQ(runProcess(QUORVEX_DUMP, wrong).exitCode, 2) << wrong.join(' ').toStdString();
    }
}

} // namespace
