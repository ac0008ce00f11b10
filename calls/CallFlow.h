#pragma once

#include "calls/CallSignals.h"
#include "calls/CallTracker.h"

#include <string>
#include <vector>

namespace calls {

// One line of a call's ladder: an arrow for a full frame, or the voice band
// of one direction (all its voice frames, collapsed).
struct FlowStep {
    double seconds = 0;   // since the first frame of the ladder
    bool toCallee = true; // sent by the call's caller
    int from = 0, to = 1; // the columns it is drawn between
    bool voiceBand = false;
    bool mark = false;             // a digit heard in band: a point on the sender's line
    std::string label;             // what the frame is ("NEW", "DTMF 5"), "(R)" on a retransmission
    bool resent = false;           // a retransmission, or a frame sent again without the flag
    std::uint32_t frameNumber = 0; // the frame (a band: its first voice frame)
    std::uint64_t voiceFrames = 0; // a band: how many
    std::uint32_t call = 0;        // of several calls' ladder: which (0-based, as given)
};

// The steps of a call's ladder, in arrival order. `frames` is the list the
// call's frame numbers point into; `resends`, its tracker's, tell the frames
// sent again without their retransmission flag ("NEW (resent)").
std::vector<FlowStep> callFlow(const Call& call, const FrameList& frames, Resends resends = {});
// The same a part at a time: the steps of signalling frames `from` to at
// most `most` further (positions in the call's list), with the voice bands
// that come before them, and the last bands once the list ends. Returns
// where the next part starts; the call's signalling count once all are in.
std::size_t appendCallFlow(const Call& call, const FrameList& frames, std::size_t from,
                           std::size_t most, std::vector<FlowStep>& steps, Resends resends = {});

// The ladder of several calls at once: a column per end (address:port), in
// the order the calls name them, and every call's steps in arrival order.
struct Flow {
    std::vector<Endpoint> columns;
    std::vector<FlowStep> steps;
};
Flow callsFlow(const std::vector<const Call*>& calls, const FrameList& frames,
               Resends resends = {});

// The same ladder made a call at a time, for a caller that spreads the work
// over time: its calls need only last while each is added.
class CallsFlowBuilder final {
public:
    // The columns and the times' origin, from the calls the ladder is of.
    explicit CallsFlowBuilder(const std::vector<const Call*>& calls);
    // Adds the steps of call `index` (of those given), as it is now.
    void add(std::uint32_t index, const Call& call, const FrameList& frames, Resends resends = {});
    // The same a part at a time, as appendCallFlow: a call of a million
    // signalling frames is not made in one go.
    std::size_t add(std::uint32_t index, const Call& call, const FrameList& frames,
                    std::size_t from, std::size_t most, Resends resends = {});
    // Once every call is in.
    [[nodiscard]] Flow take();
    // The same, its steps call by call: for putStepsInOrder().
    [[nodiscard]] Flow takeUnordered() { return std::move(flow_); }

private:
    struct Placed {
        int caller = 0, callee = 1;
        double shift = 0; // seconds from the earliest call's first frame
    };
    Flow flow_;
    std::vector<Placed> placed_;
};

// Adds a mark for each digit heard in band (`tones`, of any of `calls`) at
// the voice frame that carried its start, to a ladder callsFlow made of them.
void addInBandDigits(Flow& flow, const std::vector<const Call*>& calls,
                     const std::vector<DtmfEvent>& tones);
// The same marks put after the steps; putStepsInOrder() then places them.
void appendInBandDigits(Flow& flow, const std::vector<const Call*>& calls,
                        const std::vector<DtmfEvent>& tones);
// Steps in frame order, steps of one frame as they came. It reads nothing
// but the steps, so that a ladder of hundreds of thousands of steps may be
// ordered on another thread.
void putStepsInOrder(Flow& flow);

// The ladder as text: a column per end (caller left, callee right), an arrow
// per full frame with its seconds since the call's first frame, and a voice
// band per direction with its packet count and codec.
std::string callFlowText(const Call& call, const FrameList& frames, Resends resends = {});

} // namespace calls
