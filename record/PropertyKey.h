#pragma once

#include <cstdint>
#include <string_view>

// A property map key. The keys the decoders and views use are fixed numbers
// with fixed names, so looking one up costs nothing; any other name is
// registered once, the first time it is used, and keeps its number.
class PropertyKey final {
public:
    static PropertyKey named(std::string_view name);

    [[nodiscard]] std::string_view name() const;
    [[nodiscard]] std::uint16_t id() const { return id_; }

    friend bool operator==(PropertyKey a, PropertyKey b) { return a.id_ == b.id_; }

    // The keys of frame and element records.
    static const PropertyKey source, destination, isretry, type, subclass, timestamp, scall, dcall,
        time, informationElements, parameter, value, captured, sourcePort, destinationPort;

private:
    constexpr explicit PropertyKey(std::uint16_t id) : id_(id) {}
    std::uint16_t id_;
};
