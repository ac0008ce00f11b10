#pragma once

#include <cstdint>

// The largest packet a capture keeps, and what libpcap takes a larger or zero
// snapshot length in a file header for: no packet is longer. Alone in its
// header, so that the capture helper, which links nothing of Quorvex, keeps
// the same bound.
constexpr std::uint32_t maxSnapshotLength = 262144;
