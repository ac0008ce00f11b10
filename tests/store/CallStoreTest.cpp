#include "store/CallStore.h"
#include "store/ClickHouseSchema.h"
#include "store/ClickHouseTarget.h"
#include "support/ScratchClickHouse.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace {

TEST(ClickHouseTarget, ReadsHostPortAndDatabaseAndRefusesTheRest) {
    struct Case {
        const char* text;
        const char* host; // nullptr: refused
        std::uint16_t port;
        const char* database;
    };
    const Case cases[] = {
        {"clickhouse://db.example:9123/iax", "db.example", 9123, "iax"},
        {"clickhouse://10.0.0.1/calls_2026", "10.0.0.1", 8123, "calls_2026"},
        {"clickhouse://[2001:db8::5]:8124/x", "2001:db8::5", 8124, "x"},
        {"clickhouse://[2001:db8::5]/x", "2001:db8::5", 8123, "x"},
        {"http://db:8123/iax", nullptr, 0, nullptr},
        {"clickhouse://db:8123", nullptr, 0, nullptr},
        {"clickhouse://db:8123/", nullptr, 0, nullptr},
        {"clickhouse://db:0/iax", nullptr, 0, nullptr},
        {"clickhouse://db:70000/iax", nullptr, 0, nullptr},
        {"clickhouse://db:/iax", nullptr, 0, nullptr},
        {"clickhouse://:8123/iax", nullptr, 0, nullptr},
        {"clickhouse://db/iax;DROP", nullptr, 0, nullptr},
        {"clickhouse://db/my-db", nullptr, 0, nullptr},
        {"clickhouse://user@db/iax", nullptr, 0, nullptr},
        {"clickhouse://[::1/iax", nullptr, 0, nullptr},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto target = store::parseClickHouseTarget(c.text, error);
        ASSERT_EQ(target.has_value(), c.host != nullptr) << c.text << ": " << error;
        if (target) {
            EXPECT_EQ(target->host, c.host) << c.text;
            EXPECT_EQ(target->port, c.port) << c.text;
            EXPECT_EQ(target->database, c.database) << c.text;
        } else {
            EXPECT_NE(error.find("clickhouse://HOST[:PORT]/DATABASE"), std::string::npos) << error;
        }
    }
}

TEST(ClickHouseSchema, QuotesACaptureNameSoItCannotEndTheStatement) {
    const std::string sql =
        store::mergeCapture("db", *store::tableNamed("calls"), "it's\\' FINAL; DROP x");
    EXPECT_EQ(sql, "OPTIMIZE TABLE `db`.`calls` PARTITION 'it\\'s\\\\\\' FINAL; DROP x' FINAL");
}

class CallStoreOnServer : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ScratchClickHouse::available()) {
            GTEST_SKIP() << "no clickhouse-server: scripts/install-deps.sh test installs it";
        }
        folder_ = std::filesystem::temp_directory_path() /
                  ("quorvex-store-" + std::to_string(getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder_);
        server_ = std::make_unique<ScratchClickHouse>((folder_ / "server").string());
        ASSERT_TRUE(server_->start());
    }
    void TearDown() override {
        server_.reset();
        std::filesystem::remove_all(folder_);
    }
    store::CallStore::Options options(bool spool) {
        std::string error;
        store::CallStore::Options options{
            .target = *store::parseClickHouseTarget(server_->url("spooled"), error),
            .user = "quorvex",
            .password = "store-test",
            .capture = "live:eth0",
            .node = "pbx1",
            .spoolFolder = spool ? std::optional((folder_ / "spool").string()) : std::nullopt};
        return options;
    }
    static std::string call(int number) {
        return "{\"caller\":\"10.0.0.1:4569\",\"callerCall\":" + std::to_string(number) +
               ",\"mos\":4.2,\"startedBeforeCapture\":false}\n";
    }

    std::filesystem::path folder_;
    std::unique_ptr<ScratchClickHouse> server_;
};

TEST_F(CallStoreOnServer, KeepsRowsInTheSpoolWhileTheServerIsAwayAndSendsThemWhenItIsBack) {
    std::string error;
    auto callStore = store::CallStore::open(options(true), error);
    ASSERT_TRUE(callStore) << error;
    callStore->add("calls", "k1", call(1));
    ASSERT_TRUE(callStore->flush(error)) << error;

    server_->stop();
    callStore->add("calls", "k2", call(2));
    EXPECT_FALSE(callStore->flush(error));
    callStore->add("calls", "k3", call(3));
    EXPECT_FALSE(callStore->flush(error));
    EXPECT_GT(callStore->spooledBytes(), 0u);
    EXPECT_EQ(callStore->rowsDropped(), 0u);

    // A run that ends meanwhile leaves its spool to the next one.
    callStore.reset();
    ASSERT_TRUE(server_->restart());
    auto next = store::CallStore::open(options(true), error);
    ASSERT_TRUE(next) << error;
    next->add("calls", "k4", call(4));
    ASSERT_TRUE(next->flush(error)) << error;
    EXPECT_EQ(next->spooledBytes(), 0u);
    EXPECT_EQ(server_->ask("SELECT groupArray(callKey) FROM (SELECT callKey FROM spooled.calls "
                           "ORDER BY callerCall)"),
              "['k1','k2','k3','k4']\n");
}

TEST_F(CallStoreOnServer, CountsWhatAFullSpoolCannotKeep) {
    auto small = options(true);
    small.spoolLimitBytes = 300;
    std::string error;
    auto callStore = store::CallStore::open(small, error);
    ASSERT_TRUE(callStore) << error;
    server_->stop();
    for (int number = 1; number <= 4; ++number) {
        callStore->add("calls", "k" + std::to_string(number), call(number));
        callStore->flush(error);
    }
    EXPECT_GT(callStore->rowsDropped(), 0u);
    EXPECT_LE(callStore->spooledBytes(), 300u);
}

TEST_F(CallStoreOnServer, WithoutASpoolAWrongPasswordOrAServerAwayIsAnError) {
    auto wrong = options(false);
    wrong.password = "not-it";
    std::string error;
    EXPECT_FALSE(store::CallStore::open(wrong, error));
    EXPECT_NE(error.find("HTTP"), std::string::npos) << error;

    auto callStore = store::CallStore::open(options(false), error);
    ASSERT_TRUE(callStore) << error;
    server_->stop();
    callStore->add("calls", "k1", call(1));
    EXPECT_FALSE(callStore->flush(error));
    EXPECT_EQ(callStore->rowsDropped(), 1u);
}

} // namespace
