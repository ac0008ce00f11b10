#pragma once

#include "dissect/KvIAXFrame.h"

#include <string>

// What a frame is, in RFC 5456's words: a short name for the ladder's arrows
// ("NEW", "PONG", "DTMF 5", "ANSWER") and a line for the Info column ("NEW
// 1000 → 2000 (call 2)", "DTMF End 5", "PONG (rr: jitter 0, loss 0 %)",
// "Mini voice ts 2240", "Trunk: 3 calls", "VNAK iseq 7").
namespace framesummary {

[[nodiscard]] std::string label(const KvIAXFrame& frame);
[[nodiscard]] std::string info(const KvIAXFrame& frame);

} // namespace framesummary
