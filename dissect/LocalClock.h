#pragma once

#include <cstdint>

// Seconds since local midnight, now. Frames show the local time at which they
// were decoded; converting to local time is cached for the current second, so
// the cost per packet stays a clock read.
std::uint32_t localSecondsOfDay();
