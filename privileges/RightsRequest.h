#pragma once

#include "privileges/AuthorizationBackend.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

// A rights request built from command paths: one item per path, at most 20,
// each naming the right to execute with the path as its value. A value lives
// in a buffer of 128 bytes, so a path of more than 127 bytes cannot be asked
// for: such a request is refused whole rather than cut short.
class RightsRequest final {
public:
    static constexpr std::size_t maximumItems = 20;
    static constexpr std::size_t valueCapacity = 128;

    // Nothing when a path among the first 20 does not fit its buffer.
    static std::optional<RightsRequest> fromPaths(const std::vector<std::string>& paths);

    RightsRequest(const RightsRequest& other);
    RightsRequest& operator=(const RightsRequest&) = delete;

    [[nodiscard]] const AuthorizationRights* rights() const { return &rights_; }

private:
    RightsRequest() = default;
    void link();

    std::array<std::array<char, valueCapacity>, maximumItems> values_{};
    std::array<AuthorizationItem, maximumItems> items_{};
    AuthorizationRights rights_{};
};

// The argument vector of a command: at most its first 19 arguments and a
// terminating null. No vector at all (an empty holder) when the list is
// absent or empty.
class ArgumentVector final {
public:
    static constexpr std::size_t maximumArguments = 19;

    explicit ArgumentVector(const std::optional<std::vector<std::string>>& arguments);
    ArgumentVector(const ArgumentVector&) = delete;
    ArgumentVector& operator=(const ArgumentVector&) = delete;

    // nullptr when there is no vector.
    [[nodiscard]] char* const* get() const {
        return pointers_.empty() ? nullptr : pointers_.data();
    }

private:
    std::vector<std::string> texts_;
    std::vector<char*> pointers_;
};
