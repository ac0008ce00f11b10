#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace store {

// A column of a stored table: named as the key of the JSON record it comes
// from, typed so that Debian's ClickHouse (18.16) and current ones take it.
struct Column {
    std::string_view name;
    std::string_view type;
};

// A table of records: calls, streams or problems. Each row also holds the
// capture it came from, the node that sent it, its call's key and when it
// was loaded; the table keeps, for each key, the row loaded last, so that
// a capture loaded twice is not counted twice.
struct Table {
    std::string_view name;
    std::vector<Column> columns;       // the record's own, in its order
    std::vector<std::string_view> key; // what tells two rows of a capture apart
};

// The columns every table begins with.
const std::vector<Column>& sharedColumns();
const std::vector<Table>& tables();
const Table* tableNamed(std::string_view name);

// CREATE DATABASE and CREATE TABLE statements, each IF NOT EXISTS.
std::string createDatabase(const std::string& database);
std::string createTable(const std::string& database, const Table& table);
// Merges the rows of one capture now, so that a load repeated is counted once
// even by a query without FINAL.
std::string mergeCapture(const std::string& database, const Table& table,
                         const std::string& capture);

} // namespace store
