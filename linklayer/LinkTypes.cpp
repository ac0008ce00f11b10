#include "linklayer/LinkTypes.h"

#include <algorithm>
#include <array>

namespace {

using enum LinkHeader;
using namespace linktype;

constexpr std::array types{
    LinkType{bsdLoopback, Loopback, "BSD loopback", "null"},
    LinkType{ethernet, Ethernet, "Ethernet", "eth:ethertype"},
    LinkType{rawIp, RawIp, "Raw IP", "raw"},
    LinkType{14, RawIp, "Raw IP", "raw"},  // DLT_RAW on OpenBSD
    LinkType{101, RawIp, "Raw IP", "raw"}, // LINKTYPE_RAW, where libpcap keeps it
    LinkType{openBsdLoopback, Loopback, "OpenBSD loopback", "null", RawVersion::ByNibble, true},
    LinkType{linuxCooked, Cooked, "Linux cooked v1", "sll:ethertype"},
    LinkType{rawIpv4, RawIp, "Raw IPv4", "raw", RawVersion::IPv4},
    LinkType{rawIpv6, RawIp, "Raw IPv6", "raw", RawVersion::IPv6},
    LinkType{linuxCooked2, Cooked2, "Linux cooked v2", "sll:ethertype"},
};
static_assert(std::ranges::is_sorted(types, {}, &LinkType::number));

} // namespace

std::span<const LinkType> linkTypes() { return types; }

const LinkType* linkTypeOf(std::uint16_t number) {
    const auto at = std::ranges::lower_bound(types, number, {}, &LinkType::number);
    return at != types.end() && at->number == number ? &*at : nullptr;
}
