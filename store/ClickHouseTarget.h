#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace store {

// Where the records go: clickhouse://HOST[:PORT]/DATABASE, the server's HTTP
// interface (port 8123 unless said). An IPv6 address goes in brackets.
struct ClickHouseTarget {
    std::string host;
    std::uint16_t port = 8123;
    std::string database;

    // http://HOST:PORT/, the address every query is posted to.
    [[nodiscard]] std::string url() const;
    // HOST:PORT/DATABASE, to name the store in messages.
    [[nodiscard]] std::string text() const;
};

// Nothing, with `error` saying what is wrong, where `text` is not such a
// target. The database name is a plain identifier: it goes into statements.
std::optional<ClickHouseTarget> parseClickHouseTarget(const std::string& text, std::string& error);

} // namespace store
