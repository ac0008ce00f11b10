#pragma once

#include "store/ClickHouseClient.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

// A clickhouse-server of the test's own, in a scratch folder on free ports,
// started by tests/support/clickhouse-scratch.sh. port() is 0 where it could
// not start; available() says whether Debian's server is installed at all.
class ScratchClickHouse {
public:
    explicit ScratchClickHouse(std::string folder) : folder_(std::move(folder)) {}
    ~ScratchClickHouse() { stop(); }

    static bool available() { return access("/usr/sbin/clickhouse-server", X_OK) == 0; }

    bool start() {
        const std::string command = script() + " start " + folder_;
        std::FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) {
            return false;
        }
        char line[32] = {};
        const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
        const int status = pclose(pipe);
        port_ = read && status == 0 ? static_cast<std::uint16_t>(std::atoi(line)) : 0;
        return port_ != 0;
    }
    void stop() {
        if (port_ != 0) {
            const std::string command = script() + " stop " + folder_;
            [[maybe_unused]] const int status = std::system(command.c_str());
        }
    }
    // Stopped and started again: the same port, the same data.
    bool restart() {
        stop();
        return start();
    }

    [[nodiscard]] std::uint16_t port() const { return port_; }
    [[nodiscard]] std::string url(const std::string& database) const {
        return "clickhouse://127.0.0.1:" + std::to_string(port_) + "/" + database;
    }
    // The answer of `statement`, or "ERROR: why".
    [[nodiscard]] std::string ask(const std::string& statement) const {
        store::ClickHouseClient client({"127.0.0.1", port_, "default"}, "", "");
        std::string answer, error;
        return client.ask(statement, answer, error) ? answer : "ERROR: " + error;
    }

private:
    static std::string script() {
        return std::string(QUORVEX_TEST_SOURCE) + "/support/clickhouse-scratch.sh";
    }
    std::string folder_;
    std::uint16_t port_ = 0;
};
