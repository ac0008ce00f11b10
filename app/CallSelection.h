#pragma once

#include "calls/CallFlow.h"
#include "quality/StreamTypes.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class KvIAXCapture;

// What the window shows of a selection of calls (indexes into the capture's
// call list), worked out without the toolkit and in time that grows with
// what is shown, never with the voice packets of every call selected.
namespace callselection {

// Their frames, 1-based, rising, each once.
[[nodiscard]] std::vector<std::uint32_t> framesOf(const calls::CallList& calls,
                                                  const std::vector<std::size_t>& selected);

// A ladder of more calls than this cannot be read: the first of them are drawn.
inline constexpr std::size_t mostLadderCalls = 100;

// Their ladder (of the first mostLadderCalls): a column per end, an arrow
// per full frame, a band per direction of voice, a mark per digit heard in
// band.
[[nodiscard]] calls::Flow ladderOf(const KvIAXCapture& capture,
                                      const std::vector<std::size_t>& selected);

// The same ladder made a call at a time, so that a window can make the
// ladder of a hundred calls of millions of frames without going quiet.
// The capture may take in frames between steps; a call gone from it since
// (the list was replaced) is left out.
class LadderInSteps final {
public:
    LadderInSteps(const KvIAXCapture& capture, const std::vector<std::size_t>& selected);
    // Adds calls until `deadline` has passed (one at least); true once all are in.
    bool step(const KvIAXCapture& capture, std::chrono::steady_clock::time_point deadline);
    // Once step() said all are in.
    [[nodiscard]] calls::Flow finish(const KvIAXCapture& capture);
    // The same, its steps still to be put in order (calls::putStepsInOrder),
    // which reads nothing of the capture and may be done on any thread.
    [[nodiscard]] calls::Flow finishUnordered(const KvIAXCapture& capture);

private:
    std::vector<std::size_t> chosen_;
    std::vector<calls::DtmfEvent> tones_; // heard in band in them
    calls::CallsFlowBuilder builder_;
    std::size_t next_ = 0;     // the call being added
    std::size_t nextStep_ = 0; // its signalling frame to add next
};

// How many frames the selected calls have. From `framesForAWorker` on, what
// is gathered from them is gathered away from the window.
[[nodiscard]] std::size_t frameCountOf(const KvIAXCapture& capture,
                                       const std::vector<std::size_t>& selected);
inline constexpr std::size_t framesForAWorker = 200'000;

// Their streams' figures, as the capture follows them (with the activity
// listening found), caller first; without followed streams, worked out from
// their frames.
[[nodiscard]] std::vector<quality::StreamFigures>
figuresOf(const KvIAXCapture& capture, const std::vector<std::size_t>& selected);
// The same in two halves. The first reads the trackers alone, so that it may
// run on another thread while they are held (KvIAXCapture::holdTrackers),
// where the capture follows streams; the second, what listening found, on
// the capture's thread.
[[nodiscard]] std::vector<quality::StreamFigures>
trackedFiguresOf(const KvIAXCapture& capture, const std::vector<std::size_t>& selected);
void addActivity(const KvIAXCapture& capture, std::vector<quality::StreamFigures>& figures);

// "Call 3: 100 to 200", the numbers dialled where the NEW gave them, else the ends.
[[nodiscard]] std::string titleOf(const calls::Call& call, std::size_t index);

} // namespace callselection
