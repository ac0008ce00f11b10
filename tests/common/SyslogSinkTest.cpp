#include "common/SyslogSink.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

namespace {

// A stand-in syslog daemon: a datagram socket at a path of the test's own.
class LogSocket {
public:
    LogSocket() {
        path_ =
            (std::filesystem::temp_directory_path() / ("quorvex-log-" + std::to_string(getpid())))
                .string();
        unlink(path_.c_str());
        fd_ = socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
        EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        timeval timeout{2, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
    ~LogSocket() {
        close(fd_);
        unlink(path_.c_str());
    }
    [[nodiscard]] const std::string& path() const { return path_; }
    std::string receive() {
        char buffer[70000];
        const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
        return got < 0 ? std::string("<nothing>") : std::string(buffer, static_cast<size_t>(got));
    }

private:
    std::string path_;
    int fd_ = -1;
};

} // namespace

TEST(SyslogSink, SendsEveryLineInOrderInSyslogsOwnFormat) {
    LogSocket daemon;
    kvlog::SyslogSink sink("quorvex", daemon.path());
    // More lines than the socket queues at once: the writer must wait, not drop.
    constexpr int count = 3000;
    std::thread reader;
    std::vector<std::string> received;
    reader = std::thread([&] {
        for (int i = 0; i < count; ++i) {
            received.push_back(daemon.receive());
        }
    });
    for (int i = 0; i < count; ++i) {
        sink.write("line " + std::to_string(i));
    }
    sink.flush();
    reader.join();

    ASSERT_EQ(received.size(), static_cast<std::size_t>(count));
    const std::regex header(
        R"(<13>[A-Z][a-z]{2} [ 1-3][0-9] \d\d:\d\d:\d\d quorvex\[(\d+)\]: (.*))");
    for (int i = 0; i < count; ++i) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(received[static_cast<std::size_t>(i)], match, header))
            << received[static_cast<std::size_t>(i)];
        EXPECT_EQ(match[1], std::to_string(getpid()));
        ASSERT_EQ(match[2], "line " + std::to_string(i));
    }
}

TEST(SyslogSink, DropsLinesWhenNothingListens) {
    kvlog::SyslogSink sink("quorvex", "/nonexistent/quorvex-log-socket");
    for (int i = 0; i < 1000; ++i) {
        sink.write("dropped");
    }
    sink.flush(); // returns at once: no writer was ever started
    SUCCEED();
}
