#include "store/ClickHouseTarget.h"

#include <charconv>

namespace store {
namespace {

bool isIdentifier(const std::string& name) {
    if (name.empty() || name.size() > 64 || (name[0] >= '0' && name[0] <= '9')) {
        return false;
    }
    for (const char c : name) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && !(c >= '0' && c <= '9') && c != '_') {
            return false;
        }
    }
    return true;
}

} // namespace

std::string ClickHouseTarget::url() const {
    const bool ipv6 = host.find(':') != std::string::npos;
    return "http://" + (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port) + "/";
}

std::string ClickHouseTarget::text() const {
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port) + "/" + database;
}

std::optional<ClickHouseTarget> parseClickHouseTarget(const std::string& text, std::string& error) {
    const std::string scheme = "clickhouse://";
    const auto fail = [&](const std::string& why) {
        error = "store " + text + ": " + why + " (expected clickhouse://HOST[:PORT]/DATABASE)";
        return std::nullopt;
    };
    if (text.rfind(scheme, 0) != 0) {
        return fail("not a ClickHouse address");
    }
    const std::string rest = text.substr(scheme.size());
    const auto slash = rest.find('/');
    if (slash == std::string::npos) {
        return fail("no database");
    }
    std::string authority = rest.substr(0, slash);
    ClickHouseTarget target;
    target.database = rest.substr(slash + 1);
    if (!isIdentifier(target.database)) {
        return fail("the database is not a name of letters, digits and _");
    }
    std::string port;
    bool portGiven = false;
    if (!authority.empty() && authority.front() == '[') {
        const auto close = authority.find(']');
        if (close == std::string::npos) {
            return fail("an IPv6 address without its ]");
        }
        target.host = authority.substr(1, close - 1);
        if (close + 1 < authority.size()) {
            if (authority[close + 1] != ':') {
                return fail("text after the IPv6 address");
            }
            port = authority.substr(close + 2);
            portGiven = true;
        }
    } else {
        const auto colon = authority.find(':');
        target.host = authority.substr(0, colon);
        if (colon != std::string::npos) {
            port = authority.substr(colon + 1);
            portGiven = true;
        }
    }
    if (target.host.empty() || target.host.find_first_of("/?#@ ") != std::string::npos) {
        return fail("no host name");
    }
    if (portGiven) {
        unsigned value = 0;
        const auto [end, status] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (port.empty() || status != std::errc{} || end != port.data() + port.size() ||
            value == 0 || value > 65535) {
            return fail("the port is not a number from 1 to 65535");
        }
        target.port = static_cast<std::uint16_t>(value);
    }
    return target;
}

} // namespace store
