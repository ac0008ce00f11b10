#pragma once

#include "analysis/CallFlow.h"
#include "analysis/StreamAnalysis.h"

#include <cstdint>
#include <string>
#include <vector>

class KvIAXCapture;

// What the window shows of a selection of calls (indexes into the capture's
// call list), worked out without the toolkit and in time that grows with
// what is shown, never with the voice packets of every call selected.
namespace callselection {

// Their frames, 1-based, rising, each once.
[[nodiscard]] std::vector<std::uint32_t> framesOf(const analysis::CallList& calls,
                                                  const std::vector<std::size_t>& selected);

// A ladder of more calls than this cannot be read: the first of them are drawn.
inline constexpr std::size_t mostLadderCalls = 100;

// Their ladder (of the first mostLadderCalls): a column per end, an arrow
// per full frame, a band per direction of voice, a mark per digit heard in
// band.
[[nodiscard]] analysis::Flow ladderOf(const KvIAXCapture& capture,
                                      const std::vector<std::size_t>& selected);

// Their streams' figures, as the capture follows them (with the activity
// listening found), caller first; without followed streams, worked out from
// their frames.
[[nodiscard]] std::vector<analysis::StreamFigures>
figuresOf(const KvIAXCapture& capture, const std::vector<std::size_t>& selected);

// "Call 3: 100 to 200", the numbers dialled where the NEW gave them, else the ends.
[[nodiscard]] std::string titleOf(const analysis::Call& call, std::size_t index);

} // namespace callselection
