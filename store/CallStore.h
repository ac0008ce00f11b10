#pragma once

#include "store/ClickHouseClient.h"
#include "store/StoreSpool.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace store {

// The records of one capture on their way into ClickHouse: rows are added as
// JSON objects and inserted a table at a time (JSONEachRow), each with the
// capture's name, the node, its call's key and the time of loading in front.
//
// Without a spool (a file), a server that is away or refuses is an error the
// caller reports. With one (a live run), what could not be inserted waits on
// disk and goes first at the next flush; the run goes on.
class CallStore {
public:
    struct Options {
        ClickHouseTarget target;
        std::string user;
        std::string password;
        std::string capture; // the file's name, or live:INTERFACE
        std::string node;
        std::optional<std::string> spoolFolder;
        std::uint64_t spoolLimitBytes = 256ull << 20;
    };

    // Creates the database and the tables where missing. Nothing, with
    // `error`, where that fails and there is no spool to wait in.
    static std::unique_ptr<CallStore> open(Options options, std::string& error);

    // `record` is one JSON object, as --calls, --streams or --problems print
    // it; `table` one of the schema's.
    void add(std::string_view table, const std::string& callKey, std::string_view record);
    // Inserts what was added (after what the spool holds). False, with
    // `error`, where rows were not inserted: spooled, or, with no spool, lost.
    bool flush(std::string& error);
    // Merges the capture's rows in every table, so that a capture loaded
    // again counts once even without FINAL.
    bool settle(std::string& error);

    [[nodiscard]] std::uint64_t rowsInserted() const { return inserted_; }
    // Rows neither inserted nor waiting in the spool.
    [[nodiscard]] std::uint64_t rowsDropped() const;
    [[nodiscard]] const ClickHouseTarget& target() const { return client_.target(); }
    // What waits in the spool for the server, and where.
    [[nodiscard]] std::uint64_t spooledBytes() const { return spool_ ? spool_->bytes() : 0; }
    [[nodiscard]] std::string spoolFolder() const { return spool_ ? spool_->folder() : ""; }

private:
    explicit CallStore(Options options);
    bool prepare(std::string& error); // the database and tables, once
    bool insert(const std::string& table, const std::string& rows, std::string& error);

    Options options_;
    ClickHouseClient client_;
    std::unique_ptr<StoreSpool> spool_;
    bool prepared_ = false;
    struct Pending {
        std::string rows;
        std::uint64_t count = 0;
    };
    std::map<std::string, Pending, std::less<>> pending_;
    std::uint64_t inserted_ = 0;
    std::uint64_t lost_ = 0; // rows no spool could keep
};

// The number of rows (lines) of a batch.
std::uint64_t rowCount(const std::string& rows);

} // namespace store
