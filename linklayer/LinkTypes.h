#pragma once

#include <cstdint>
#include <span>

// The link-layer header types Quorvex reads, each named once: the number a
// capture file or libpcap gives it (DLT_*, or the file's LINKTYPE_* where
// libpcap leaves it as it is), the header it means and how that is shown.
// Reading another type is one entry here and, for a header of a new shape,
// its reader in PacketLayers.cpp.
enum class LinkHeader : std::uint8_t { Unknown, Ethernet, Cooked, Cooked2, Loopback, RawIp };

// Which IP version a raw link carries: told by the version nibble, or fixed.
enum class RawVersion : std::uint8_t { ByNibble, IPv4, IPv6 };

struct LinkType {
    std::uint16_t number;
    LinkHeader header;
    const char* name;      // "Ethernet", "Linux cooked v1", as libpcap describes it
    const char* protocols; // how frame.protocols starts: "eth:ethertype", "null"...
    RawVersion raw = RawVersion::ByNibble;
    bool familyInNetworkOrder = false; // a loopback header's address family
};

namespace linktype {
constexpr std::uint16_t ethernet = 1;         // DLT_EN10MB, what a source gives by default
constexpr std::uint16_t linuxCooked = 113;    // DLT_LINUX_SLL, what a capture on "any" gives
constexpr std::uint16_t linuxCooked2 = 276;   // DLT_LINUX_SLL2
constexpr std::uint16_t bsdLoopback = 0;      // DLT_NULL
constexpr std::uint16_t openBsdLoopback = 108; // DLT_LOOP
constexpr std::uint16_t rawIp = 12;           // DLT_RAW
constexpr std::uint16_t rawIpv4 = 228;
constexpr std::uint16_t rawIpv6 = 229;
} // namespace linktype

// Every type read, by number.
[[nodiscard]] std::span<const LinkType> linkTypes();
// The entry of `number`; nullptr for a type Quorvex does not read.
[[nodiscard]] const LinkType* linkTypeOf(std::uint16_t number);
