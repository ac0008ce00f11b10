#include "quality/Problems.h"

#include "calls/FrameElements.h"
#include "dissect/FrameSummary.h"
#include "dissect/IaxValueNames.h"
#include "dissect/Malformation.h"
#include "record/IaxNumbers.h"

#include <algorithm>
#include <bit>
#include <cstdio>

namespace quality {
namespace {

constexpr std::uint8_t causeCodeElement = 42, causeElement = 22;
constexpr std::uint8_t normalClearing = 16;

std::string codecText(std::uint64_t mask) {
    const char* name = iaxvalues::nameOf(iaxvalues::codecs(), mask);
    if (name != nullptr) {
        return name;
    }
    char text[32];
    std::snprintf(text, sizeof text, "format 0x%llx", static_cast<unsigned long long>(mask));
    return text;
}

std::string frames(std::uint64_t count, const char* what) {
    return std::to_string(count) + " voice " + (count == 1 ? "frame " : "frames ") + what;
}

std::string anyFrames(std::uint64_t count) {
    return std::to_string(count) + (count == 1 ? " frame" : " frames");
}

std::string streamOf(bool fromCaller) {
    return fromCaller ? "the caller's stream" : "the callee's stream";
}

std::string decimal(double value, const char* format) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace

const char* severityName(Severity severity) {
    switch (severity) {
    case Severity::Error:
        return "error";
    case Severity::Warning:
        return "warning";
    case Severity::Note:
        return "note";
    }
    return "";
}

const char* kindName(ProblemKind kind) {
    static constexpr const char* names[problemKindCount] = {
        "retransmission", "vnak",        "reject",         "regrej",          "inval",
        "unanswered",     "lostVoice",   "duplicateVoice", "outOfOrderVoice", "late",
        "highJitter",     "oneWayAudio", "hangupCause",    "codecMismatch",   "reportedLoss",
        "decryptFailed",  "noChallenge", "malformed"};
    return names[static_cast<int>(kind)];
}

Severity severityOf(ProblemKind kind) {
    switch (kind) {
    case ProblemKind::Reject:
    case ProblemKind::Regrej:
    case ProblemKind::OneWayAudio:
    case ProblemKind::Malformed:
        return Severity::Error;
    case ProblemKind::Retransmission:
    case ProblemKind::DuplicateVoice:
    case ProblemKind::OutOfOrderVoice:
        return Severity::Note;
    default:
        return Severity::Warning;
    }
}

std::string problemText(const Problem& problem, const FrameList& frameList) {
    return problemText(problem,
                       problem.frame > frameList.released() && problem.frame <= frameList.size()
                           ? frameList[problem.frame - 1].get()
                           : nullptr);
}

std::string problemText(const Problem& problem, const KvIAXFrame* frame) {
    const std::string label = frame != nullptr ? framesummary::label(*frame) : "a frame";
    const std::string cause = frame != nullptr ? calls::elementText(*frame, causeElement) : "";
    const std::string because = cause.empty() ? "" : ": " + cause;
    switch (problem.kind) {
    case ProblemKind::Retransmission:
        return "retransmission of " + label;
    case ProblemKind::Vnak:
        return (frame != nullptr ? framesummary::info(*frame) : label) +
               ": the peer asks for frames to be sent again";
    case ProblemKind::Reject:
        return "call rejected" + because;
    case ProblemKind::Regrej:
        return "registration rejected" + because;
    case ProblemKind::Inval:
        return "INVAL: the peer knows no such call";
    case ProblemKind::Malformed: {
        const auto malformation = frame != nullptr ? malformationOf(*frame) : std::nullopt;
        return "malformed " + label +
               (malformation ? ": " + malformationText(*malformation) : std::string());
    }
    case ProblemKind::Unanswered:
        return "call never answered";
    case ProblemKind::LostVoice:
        return frames(problem.count, "lost before this one in ") + streamOf(problem.fromCaller);
    case ProblemKind::DuplicateVoice:
        return "voice frame received twice in " + streamOf(problem.fromCaller);
    case ProblemKind::OutOfOrderVoice:
        return "voice frame out of order in " + streamOf(problem.fromCaller);
    case ProblemKind::Late:
        return frames(problem.count, "too late for a ") + decimal(problem.value, "%g") +
               " ms jitter buffer in " + streamOf(problem.fromCaller);
    case ProblemKind::HighJitter:
        return "jitter reached " + decimal(problem.value, "%.1f") + " ms in " +
               streamOf(problem.fromCaller);
    case ProblemKind::OneWayAudio:
        return std::string("one-way audio: the ") + (problem.fromCaller ? "caller" : "callee") +
               "'s voice is " + decimal(problem.value * 100, "%.1f") + " % active, the " +
               (problem.fromCaller ? "callee" : "caller") + "'s " +
               decimal(problem.otherValue * 100, "%.1f") + " %";
    case ProblemKind::HangupCause: {
        const char* name = iaxvalues::nameOf(iaxvalues::causeCodes(), problem.count);
        return label + " with cause " + std::to_string(problem.count) +
               (name != nullptr ? std::string(" (") + name + ")" : std::string());
    }
    case ProblemKind::CodecMismatch:
        return "voice in " + codecText(problem.count) + " while the call accepted " +
               codecText(problem.reference);
    case ProblemKind::ReportedLoss:
        return std::string("the ") + (problem.fromCaller ? "callee" : "caller") + " reports " +
               std::to_string(problem.count) + " lost in " + streamOf(problem.fromCaller) +
               ", the capture saw " + std::to_string(problem.reference) +
               ": lost past the capture point";
    case ProblemKind::DecryptFailed:
        return anyFrames(problem.count) + " of the " + (problem.fromCaller ? "caller" : "callee") +
               " that no known secret opens, from this one on";
    case ProblemKind::NoChallenge:
        return anyFrames(problem.count) + " of the " + (problem.fromCaller ? "caller" : "callee") +
               " left encrypted: the AUTHREQ whose challenge gives the key was not captured";
    }
    return "";
}

void ProblemTracker::report(ProblemKind kind, const KvIAXFrame& frame, std::uint32_t number) {
    Problem problem;
    problem.kind = kind;
    problem.frame = number;
    if (!calls_.lastJoined().empty()) {
        problem.call = calls_.lastJoined().front();
        problem.fromCaller = calls::endpointOf(frame, true) == calls_.calls()[problem.call].caller;
    }
    found_.push_back(problem);
}

void ProblemTracker::reportLocked(const KvIAXFrame& frame, std::uint32_t number) {
    if (calls_.lastJoined().empty()) {
        return;
    }
    const std::size_t call = calls_.lastJoined().front();
    const bool fromCaller = calls::endpointOf(frame, true) == calls_.calls()[call].caller;
    const ProblemKind kind = frame.facts().encryption() == Encryption::NoKey
                                 ? ProblemKind::DecryptFailed
                                 : ProblemKind::NoChallenge;
    const auto [at, first] = lockedProblems_.try_emplace({call, fromCaller, kind}, found_.size());
    if (first) {
        report(kind, frame, number);
    }
    ++found_[at->second].count;
}

void ProblemTracker::add(const KvIAXFrame& frame, std::uint32_t frameNumber) {
    const FrameFacts& facts = frame.facts();
    if (facts.isLocked()) {
        reportLocked(frame, frameNumber); // what its bytes seem to say is noise
        return;
    }
    if (malformationOf(frame)) {
        report(ProblemKind::Malformed, frame, frameNumber);
    }
    if (facts.kind() != FrameKind::Full) {
        return;
    }
    const bool resent = calls_.lastResent() != 0;
    if (facts.retransmission != 0 || resent) {
        report(ProblemKind::Retransmission, frame, frameNumber);
    }
    if (resent) {
        return; // what it says was said, and judged, the first time
    }
    if (facts.frameType == iax::Voice && !calls_.lastJoined().empty()) {
        const calls::Call& call = calls_.calls()[calls_.lastJoined().front()];
        const std::uint32_t mask = facts.codecMask();
        if (call.acceptedFormat && std::popcount(*call.acceptedFormat) == 1 && mask != 0 &&
            mask != *call.acceptedFormat) {
            report(ProblemKind::CodecMismatch, frame, frameNumber);
            found_.back().count = mask;
            found_.back().reference = *call.acceptedFormat;
        }
        return;
    }
    if (facts.frameType != iax::IaxControl) {
        return;
    }
    switch (facts.subclass) {
    case iax::Vnak:
        report(ProblemKind::Vnak, frame, frameNumber);
        break;
    case iax::Reject:
        report(ProblemKind::Reject, frame, frameNumber);
        break;
    case iax::RegReject:
        report(ProblemKind::Regrej, frame, frameNumber);
        break;
    case iax::Inval:
        report(ProblemKind::Inval, frame, frameNumber);
        break;
    default:
        break;
    }
    if (facts.subclass == iax::Hangup || facts.subclass == iax::Reject) {
        const auto code = calls::elementNumber(frame, causeCodeElement, 1);
        if (code && *code != normalClearing) {
            report(ProblemKind::HangupCause, frame, frameNumber);
            found_.back().count = *code;
        }
    }
}

namespace {

// The problems of one call once its streams are known.
class CallJudge {
public:
    CallJudge(const calls::Call& call, std::size_t index, std::vector<Problem>& into)
        : call_(call), index_(index), into_(into) {}

    Problem& add(ProblemKind kind, std::uint32_t frame, bool fromCaller) {
        Problem problem;
        problem.kind = kind;
        problem.frame = frame;
        problem.call = index_;
        problem.fromCaller = fromCaller;
        into_.push_back(problem);
        return into_.back();
    }

    void judgeCall() {
        if (!call_.answered && !call_.startedBeforeCapture && !call_.locked &&
            !call_.frameNumbers.empty()) {
            add(ProblemKind::Unanswered, call_.frameNumbers.front(), true);
        }
    }

    void judgeStream(const StreamFigures& stream, const StreamTrouble& trouble,
                     const calls::CallSignals* signals) {
        const bool side = stream.fromCaller;
        for (const auto& [frame, missing] : trouble.lossRuns) {
            add(ProblemKind::LostVoice, frame, side).count = missing;
        }
        for (const std::uint32_t frame : trouble.duplicates) {
            add(ProblemKind::DuplicateVoice, frame, side);
        }
        for (const std::uint32_t frame : trouble.outOfOrder) {
            add(ProblemKind::OutOfOrderVoice, frame, side);
        }
        for (const auto& [frame, count] : trouble.lateRuns) {
            Problem& late = add(ProblemKind::Late, frame, side);
            late.count = count;
            late.value = stream.jitterBufferMs;
        }
        if (stream.maxJitterMs > highJitterMs) {
            add(ProblemKind::HighJitter, trouble.maxJitterFrame, side).value = stream.maxJitterMs;
        }
        if (signals == nullptr || !stream.frameMs) {
            return; // without the frame duration the capture's loss is not known
        }
        const auto seen = static_cast<std::uint64_t>(std::max<std::int64_t>(0, stream.lost));
        for (const auto& report : signals->reportsBy(side ? 1 : 0)) {
            if (report.lost && *report.lost > seen) {
                Problem& problem = add(ProblemKind::ReportedLoss, report.frame, side);
                problem.count = *report.lost;
                problem.reference = seen;
            }
        }
    }

    // One side under 1 % active while the other is over 20 %, in a call of
    // at least 5 s; an answered side that sent no voice at all is silent.
    void judgeActivity(const StreamFigures* streams[2]) {
        const double seconds =
            static_cast<double>(call_.end.seconds - call_.start.seconds) +
            (static_cast<double>(call_.end.nanoseconds) - call_.start.nanoseconds) / 1e9;
        if (seconds < oneWayMinimumSeconds || call_.frameNumbers.empty()) {
            return;
        }
        std::optional<double> activity[2];
        for (int side = 0; side < 2; ++side) {
            if (streams[side] != nullptr) {
                activity[side] = streams[side]->activity;
            } else if (call_.answered) {
                activity[side] = 0.0;
            }
        }
        for (int silent = 0; silent < 2; ++silent) {
            const int other = 1 - silent;
            if (activity[silent] && activity[other] &&
                *activity[silent]<silentActivity&& * activity[other]> activeActivity) {
                Problem& problem =
                    add(ProblemKind::OneWayAudio, call_.frameNumbers.front(), silent == 0);
                problem.value = *activity[silent];
                problem.otherValue = *activity[other];
            }
        }
    }

private:
    const calls::Call& call_;
    std::size_t index_;
    std::vector<Problem>& into_;
};

} // namespace

namespace {

std::optional<std::vector<Problem>>
listProblems(const ProblemTracker& frames, const calls::CallTracker& calls, const StreamTracker& streams,
             const std::vector<StreamFigures>& figures, MemoryCharge* charge) {
    // The streams' troubles are read first, so that the list is made at its
    // size at once: with millions of lost runs, growing it moved them all
    // several times.
    std::vector<StreamTrouble> troubles;
    troubles.reserve(figures.size());
    std::size_t size = frames.found().size();
    for (const StreamFigures& stream : figures) {
        troubles.push_back(streams.trouble(stream.call, stream.fromCaller ? 0 : 1));
        const StreamTrouble& trouble = troubles.back();
        size += trouble.lossRuns.size() + trouble.duplicates.size() + trouble.outOfOrder.size() +
                trouble.lateRuns.size();
    }
    // The list, and what sorting it takes besides (a place and a bit each).
    const std::size_t most = size + 16 * calls.calls().size();
    if (charge != nullptr &&
        !charge->setTo(most * (sizeof(Problem) + sizeof(std::uint64_t)) + most / 8)) {
        return std::nullopt;
    }
    std::vector<Problem> problems;
    problems.reserve(most);
    problems.assign(frames.found().begin(), frames.found().end());
    std::size_t next = 0; // figures are in call order, caller first
    for (std::size_t index = 0; index < calls.calls().size(); ++index) {
        CallJudge judge(calls.calls()[index], index, problems);
        judge.judgeCall();
        const StreamFigures* sides[2] = {nullptr, nullptr};
        for (; next < figures.size() && figures[next].call == index; ++next) {
            const StreamFigures& stream = figures[next];
            sides[stream.fromCaller ? 0 : 1] = &stream;
            judge.judgeStream(stream, troubles[next], streams.signalling(index));
        }
        judge.judgeActivity(sides);
    }
    const auto byFrame = [](const Problem& a, const Problem& b) { return a.frame < b.frame; };
    const auto keep = [&] {
        if (charge != nullptr) {
            charge->forceTo(problems.capacity() * sizeof(Problem));
        }
        return std::optional(std::move(problems));
    };
    if (std::is_sorted(problems.begin(), problems.end(), byFrame)) {
        return keep();
    }
    // Sorted as (frame, place) pairs, then each problem moved to its place
    // within the same list: a problem is six times a pair's size, and a long
    // capture has millions, which a second list would hold twice over.
    std::vector<std::uint64_t> order(problems.size());
    for (std::size_t i = 0; i < problems.size(); ++i) {
        order[i] = std::uint64_t{problems[i].frame} << 32 | i;
    }
    std::sort(order.begin(), order.end()); // the place keeps equal frames in order
    // Place k takes the problem order[k] names. Following a cycle of places
    // from its start moves each of them once, the start's own held aside.
    std::vector<bool> placed(problems.size());
    for (std::size_t start = 0; start < problems.size(); ++start) {
        if (placed[start]) {
            continue;
        }
        const Problem held = problems[start];
        for (std::size_t to = start;;) {
            placed[to] = true;
            const std::size_t from = order[to] & 0xFFFFFFFFu;
            if (from == start) {
                problems[to] = held;
                break;
            }
            problems[to] = problems[from];
            to = from;
        }
    }
    return keep();
}

} // namespace

std::vector<Problem> allProblems(const ProblemTracker& frames, const calls::CallTracker& calls,
                                 const StreamTracker& streams,
                                 const std::vector<StreamFigures>& figures) {
    return *listProblems(frames, calls, streams, figures, nullptr);
}

std::optional<std::vector<Problem>> chargedProblems(const ProblemTracker& frames,
                                                    const calls::CallTracker& calls,
                                                    const StreamTracker& streams,
                                                    const std::vector<StreamFigures>& figures,
                                                    MemoryCharge& charge) {
    return listProblems(frames, calls, streams, figures, &charge);
}

} // namespace quality