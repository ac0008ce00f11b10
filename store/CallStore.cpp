#include "store/CallStore.h"

#include "store/ClickHouseSchema.h"

#include <algorithm>
#include <chrono>

namespace store {
namespace {

void appendJsonString(std::string& out, std::string_view text) {
    out.push_back('"');
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (byte < 0x20) {
            static const char digits[] = "0123456789abcdef";
            out += "\\u00";
            out.push_back(digits[byte >> 4]);
            out.push_back(digits[byte & 15]);
        } else {
            out.push_back(c);
        }
    }
    out.push_back('"');
}

std::uint64_t microsecondsNow() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                          .count());
}

} // namespace

std::uint64_t rowCount(const std::string& rows) {
    return static_cast<std::uint64_t>(std::count(rows.begin(), rows.end(), '\n'));
}

CallStore::CallStore(Options options)
    : options_(std::move(options)), client_(options_.target, options_.user, options_.password) {}

std::unique_ptr<CallStore> CallStore::open(Options options, std::string& error) {
    std::unique_ptr<CallStore> store(new CallStore(std::move(options)));
    if (store->options_.spoolFolder) {
        store->spool_ = std::make_unique<StoreSpool>(*store->options_.spoolFolder,
                                                     store->options_.spoolLimitBytes);
        if (!store->spool_->open(error)) {
            return nullptr;
        }
        // A server that is away now may be back by the first call's end.
        std::string ignored;
        store->prepare(ignored);
        return store;
    }
    return store->prepare(error) ? std::move(store) : nullptr;
}

bool CallStore::prepare(std::string& error) {
    if (prepared_) {
        return true;
    }
    const std::string& database = options_.target.database;
    if (!client_.run(createDatabase(database), {}, error)) {
        return false;
    }
    for (const Table& table : tables()) {
        if (!client_.run(createTable(database, table), {}, error)) {
            return false;
        }
    }
    prepared_ = true;
    return true;
}

void CallStore::add(std::string_view table, const std::string& callKey, std::string_view record) {
    while (!record.empty() && record.back() == '\n') {
        record.remove_suffix(1);
    }
    if (record.size() < 2 || record.front() != '{' || record.back() != '}') {
        return;
    }
    record = record.substr(1, record.size() - 2);
    Pending& pending = pending_[std::string(table)];
    std::string& out = pending.rows;
    out += "{\"capture\":";
    appendJsonString(out, options_.capture);
    out += ",\"node\":";
    appendJsonString(out, options_.node);
    out += ",\"callKey\":";
    appendJsonString(out, callKey);
    out += ",\"loaded\":" + std::to_string(microsecondsNow());
    if (!record.empty()) {
        out += ",";
        out += record;
    }
    out += "}\n";
    ++pending.count;
}

bool CallStore::insert(const std::string& table, const std::string& rows, std::string& error) {
    if (!prepare(error)) {
        return false;
    }
    const std::string statement =
        "INSERT INTO `" + options_.target.database + "`.`" + table + "` FORMAT JSONEachRow";
    return client_.run(statement, rows, error);
}

bool CallStore::flush(std::string& error) {
    bool allIn = true;
    // What waited goes first, in the order it was kept; the first refusal
    // leaves the rest (and the new rows) for the next time.
    bool serverTakes = true;
    if (spool_) {
        for (const StoreSpool::Batch& batch : spool_->batches()) {
            const std::string rows = spool_->rowsOf(batch);
            if (!insert(batch.table, rows, error)) {
                serverTakes = false;
                allIn = false;
                break;
            }
            inserted_ += rowCount(rows);
            spool_->remove(batch);
        }
    }
    for (auto& [table, pending] : pending_) {
        if (pending.count == 0) {
            continue;
        }
        std::string why;
        if (serverTakes && insert(table, pending.rows, why)) {
            inserted_ += pending.count;
        } else {
            if (serverTakes) {
                error = why;
                serverTakes = false;
            }
            allIn = false;
            if (!spool_ || !spool_->keep(table, pending.rows, pending.count)) {
                lost_ += spool_ ? 0 : pending.count;
            }
        }
        pending = Pending{};
    }
    return allIn;
}

bool CallStore::settle(std::string& error) {
    for (const Table& table : tables()) {
        if (!client_.run(mergeCapture(options_.target.database, table, options_.capture), {},
                         error)) {
            return false;
        }
    }
    return true;
}

std::uint64_t CallStore::rowsDropped() const {
    return lost_ + (spool_ ? spool_->droppedRows() : 0);
}

} // namespace store
