#pragma once

#include "quality/StreamTracker.h"
#include "common/MemoryCharge.h"

#include <cstdint>
#include <limits>
#include <map>
#include <tuple>
#include <string>
#include <optional>
#include <vector>

// What went wrong across a capture, a problem a row: frames the peers
// resent or refused, calls that were never answered or ended badly, voice
// that was lost, late, reordered or silent one way.
namespace quality {

enum class Severity : std::uint8_t { Error, Warning, Note };
[[nodiscard]] const char* severityName(Severity severity); // "error", "warning", "note"

enum class ProblemKind : std::uint8_t {
    Retransmission,  // a full frame with the R bit
    Vnak,            // a VNAK: the peer asks for frames again
    Reject,          // a REJECT
    Regrej,          // a REGREJ
    Inval,           // an INVAL
    Unanswered,      // a call whose NEW got no ANSWER
    LostVoice,       // a run of missing timestamps in a stream
    DuplicateVoice,  // a voice frame whose timestamp came before
    OutOfOrderVoice, // a voice frame below the stream's largest timestamp
    Late,            // a run of frames too late for the jitter buffer
    HighJitter,      // a stream whose jitter passed 30 ms
    OneWayAudio,     // a call of 5 s or more where one side is silent
    HangupCause,     // a HANGUP or REJECT whose cause is not normal clearing
    CodecMismatch,   // voice in a format the call did not accept
    ReportedLoss,    // a receiver report of more loss than the capture saw
    DecryptFailed,   // frames of an encrypted call that no known secret opens
    NoChallenge,     // frames of an encrypted call whose AUTHREQ was not captured
    Malformed,       // a frame wrong on the wire (see Malformation)
};
inline constexpr int problemKindCount = 18;
[[nodiscard]] const char* kindName(ProblemKind kind); // "retransmission", "lostVoice"...
[[nodiscard]] Severity severityOf(ProblemKind kind);

inline constexpr double highJitterMs = 30;
inline constexpr double oneWayMinimumSeconds = 5;
inline constexpr double silentActivity = 0.01, activeActivity = 0.20;

// One problem, as typed facts; its text is made when it is shown.
// The small members come first, so that they share a word: a long capture
// lists millions of problems.
struct Problem {
    static constexpr std::size_t noCall = std::numeric_limits<std::size_t>::max();
    ProblemKind kind = ProblemKind::Retransmission;
    bool fromCaller = true;    // the stream, or the end, it is about
    std::uint32_t frame = 0;   // 1-based: where it shows
    std::size_t call = noCall; // index in the tracker's call list
    // lostVoice, late: frames; hangupCause: the cause code; codecMismatch:
    // the voice's format; reportedLoss: the loss reported; decryptFailed,
    // noChallenge: the frames of that end left encrypted, from this one on.
    std::uint64_t count = 0;
    // codecMismatch: the format accepted; reportedLoss: the loss captured.
    std::uint64_t reference = 0;
    // highJitter: the largest jitter (ms); late: the jitter buffer (ms);
    // oneWayAudio: the silent side's activity, then the other's.
    double value = 0, otherValue = 0;

    [[nodiscard]] Severity severity() const { return severityOf(kind); }
};

// "retransmission of NEW", "2 voice frames lost before this one in the
// caller's stream"...
[[nodiscard]] std::string problemText(const Problem& problem, const FrameList& frames);
// The same, given the problem's frame (nothing where it is not known).
[[nodiscard]] std::string problemText(const Problem& problem, const KvIAXFrame* frame);

// The problems each frame shows on its own, found as frames arrive beside a
// call tracker (each frame added just after the tracker took it).
class ProblemTracker final {
public:
    explicit ProblemTracker(const calls::CallTracker& calls) : calls_(calls) {}
    void add(const KvIAXFrame& frame, std::uint32_t frameNumber);
    [[nodiscard]] const std::vector<Problem>& found() const { return found_; }
    [[nodiscard]] std::uint64_t heldBytes() const { return found_.capacity() * sizeof(Problem); }

private:
    void report(ProblemKind kind, const KvIAXFrame& frame, std::uint32_t number);
    // One problem for each end of a call whose frames stay encrypted, counting them.
    void reportLocked(const KvIAXFrame& frame, std::uint32_t number);

    const calls::CallTracker& calls_;
    std::vector<Problem> found_;
    std::map<std::tuple<std::size_t, bool, ProblemKind>, std::size_t> lockedProblems_;
};

// Every problem of a capture in frame order: those of its frames, and those
// of its calls and streams once the load ended. Streams whose `activity` is
// known are judged for one-way audio.
[[nodiscard]] std::vector<Problem> allProblems(const ProblemTracker& frames,
                                               const calls::CallTracker& calls,
                                               const StreamTracker& streams,
                                               const std::vector<StreamFigures>& figures);
// The same list charged to `charge`, which its holder keeps while it keeps
// the list: a long capture has millions of problems, a copy of what the
// trackers hold. Nothing, charging nothing, where the memory limit cannot
// take it.
[[nodiscard]] std::optional<std::vector<Problem>>
chargedProblems(const ProblemTracker& frames, const calls::CallTracker& calls,
                const StreamTracker& streams, const std::vector<StreamFigures>& figures,
                MemoryCharge& charge);

} // namespace quality
