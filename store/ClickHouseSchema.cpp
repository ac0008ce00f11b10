#include "store/ClickHouseSchema.h"

namespace store {
namespace {

// A string in single quotes, as ClickHouse reads one.
std::string quoted(std::string_view text) {
    std::string out = "'";
    for (const char c : text) {
        if (c == '\'' || c == '\\') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    return out + "'";
}

std::string backticked(std::string_view name) {
    return "`" + std::string(name) + "`";
}

} // namespace

const std::vector<Column>& sharedColumns() {
    static const std::vector<Column> columns = {
        {"capture", "String"}, // the file's name, or live:INTERFACE
        {"node", "String"},    // the agent that saw it (--hep-node, or the host name)
        {"callKey", "String"}, // the call's correlation id, as HEP carries it
        {"loaded", "UInt64"},  // when the row was written, in microseconds
    };
    return columns;
}

const std::vector<Table>& tables() {
    static const std::vector<Table> all = {
        {"calls",
         {{"caller", "String"},
          {"callee", "String"},
          {"callerCall", "UInt16"},
          {"calleeCall", "Nullable(UInt16)"},
          {"from", "String"},
          {"fromName", "String"},
          {"to", "String"},
          {"codec", "String"},
          {"state", "String"},
          {"cause", "String"},
          {"hungUpBy", "String"},
          {"start", "String"},
          {"end", "String"},
          {"duration", "Float64"},
          {"frames", "UInt64"},
          {"retransmissions", "UInt64"},
          {"startedBeforeCapture", "UInt8"},
          {"mos", "Nullable(Float64)"},
          {"rttSamples", "UInt64"},
          {"rttMin", "Nullable(Float64)"},
          {"rttMean", "Nullable(Float64)"},
          {"rttMax", "Nullable(Float64)"},
          {"lagSamples", "UInt64"},
          {"lagMean", "Nullable(Float64)"},
          {"dtmf", "String"},
          {"encrypted", "String"}},
         {"capture", "callKey"}},
        {"streams",
         {{"call", "UInt64"},
          {"direction", "String"},
          {"source", "String"},
          {"destination", "String"},
          {"codec", "String"},
          {"packets", "UInt64"},
          {"expected", "Nullable(Int64)"},
          {"lost", "Nullable(Int64)"},
          {"duplicates", "UInt64"},
          {"outOfOrder", "UInt64"},
          {"maxDelta", "Float64"},
          {"maxDeltaFrame", "UInt64"},
          {"maxJitter", "Float64"},
          {"meanJitter", "Float64"},
          {"start", "String"},
          {"duration", "Float64"},
          {"jitterBuffer", "Float64"},
          {"late", "UInt64"},
          {"effectiveLost", "Nullable(Int64)"},
          {"burstRatio", "Nullable(Float64)"},
          {"rFactor", "Nullable(Float64)"},
          {"mos", "Nullable(Float64)"},
          {"activity", "Nullable(Float64)"},
          {"reportedJitter", "Nullable(Int64)"},
          {"reportedLossPercent", "Nullable(Int64)"},
          {"reportedLost", "Nullable(Int64)"},
          {"reportedPackets", "Nullable(Int64)"},
          {"reportedDelay", "Nullable(Int64)"},
          {"reportedDropped", "Nullable(Int64)"},
          {"reportedOutOfOrder", "Nullable(Int64)"}},
         {"capture", "callKey", "direction", "source", "destination", "start"}},
        {"problems",
         {{"severity", "String"},
          {"kind", "String"},
          {"frame", "UInt64"},
          {"call", "Nullable(UInt64)"},
          {"text", "String"}},
         {"capture", "callKey", "frame", "kind", "text"}},
    };
    return all;
}

const Table* tableNamed(std::string_view name) {
    for (const Table& table : tables()) {
        if (table.name == name) {
            return &table;
        }
    }
    return nullptr;
}

std::string createDatabase(const std::string& database) {
    return "CREATE DATABASE IF NOT EXISTS " + backticked(database);
}

std::string createTable(const std::string& database, const Table& table) {
    std::string sql =
        "CREATE TABLE IF NOT EXISTS " + backticked(database) + "." + backticked(table.name) + " (";
    bool first = true;
    const auto add = [&](const Column& column) {
        sql += (first ? "" : ", ") + backticked(column.name) + " " + std::string(column.type);
        first = false;
    };
    for (const Column& column : sharedColumns()) {
        add(column);
    }
    for (const Column& column : table.columns) {
        add(column);
    }
    // One part of the table a capture: a capture loaded again is merged
    // alone, and a week of an agent's calls is one part, not one a day.
    sql += ") ENGINE = ReplacingMergeTree(`loaded`) PARTITION BY `capture` ORDER BY (";
    first = true;
    for (const std::string_view name : table.key) {
        sql += (first ? "" : ", ") + backticked(name);
        first = false;
    }
    return sql + ")";
}

std::string mergeCapture(const std::string& database, const Table& table,
                         const std::string& capture) {
    return "OPTIMIZE TABLE " + backticked(database) + "." + backticked(table.name) + " PARTITION " +
           quoted(capture) + " FINAL";
}

} // namespace store
