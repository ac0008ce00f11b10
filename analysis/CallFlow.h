#pragma once

#include "analysis/CallTracker.h"

#include <string>

namespace analysis {

// The call's ladder as text: a column per end (caller left, callee right),
// an arrow per full frame with its name and seconds since the call's first
// frame ("(R)" marks a retransmission), and its voice collapsed to one band
// per direction with its packet count and codec. `frames` is the list the
// call's frame numbers point into.
std::string callFlowText(const Call& call, const FrameList& frames);

} // namespace analysis
