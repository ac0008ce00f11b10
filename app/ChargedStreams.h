#pragma once

#include "analysis/StreamAnalysis.h"
#include "common/MemoryCharge.h"

#include <optional>
#include <string>
#include <vector>

class KvIAXCapture;

// The voice streams of some of a capture's calls, with every packet, and
// what they hold charged to the capture's memory budget for as long as they
// are kept: a call of millions of packets is refused, not made.
struct ChargedStreams {
    std::vector<analysis::VoiceStream> streams; // call by call, caller first
    MemoryCharge charge;

    // Nothing, with `error` saying why, where the budget cannot hold them.
    // `calls` are indexes into the capture's call list.
    static std::optional<ChargedStreams>
    of(const KvIAXCapture& capture, const std::vector<std::size_t>& calls, std::string& error);
};
