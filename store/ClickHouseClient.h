#pragma once

#include "store/ClickHouseTarget.h"

#include <memory>
#include <string>

namespace store {

// Statements posted to a ClickHouse server's HTTP interface, one connection
// kept open between them. Not thread-safe: one owner at a time.
class ClickHouseClient {
public:
    ClickHouseClient(ClickHouseTarget target, std::string user, std::string password);
    ~ClickHouseClient();
    ClickHouseClient(const ClickHouseClient&) = delete;
    ClickHouseClient& operator=(const ClickHouseClient&) = delete;

    // Runs `statement`, with `body` as its data (the rows of an INSERT ...
    // FORMAT JSONEachRow). True when the server said 200; otherwise `error`
    // holds why: the connection's failure or the server's own message.
    bool run(const std::string& statement, const std::string& body, std::string& error);
    // As run(), with what the server answered in `answer`.
    bool ask(const std::string& statement, std::string& answer, std::string& error);

    [[nodiscard]] const ClickHouseTarget& target() const { return target_; }

private:
    ClickHouseTarget target_;
    std::string user_;
    std::string password_;
    void* handle_ = nullptr; // the libcurl handle, kept for its connection
    std::string answer_;
};

} // namespace store
