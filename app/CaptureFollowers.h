#pragma once

#include "app/CallListening.h"
#include "calls/CallTracker.h"
#include "common/MemoryCharge.h"
#include "quality/Problems.h"
#include "quality/VoiceStreamBuilder.h"

#include <array>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// What follows a capture's frames as they come: the calls and registrations,
// and, where asked for, the voice streams' quality and the problems; with
// what listening heard of each call. It holds no frame: it is fed them in
// order, one at a time, and says what it holds to the memory budget.
//
// Readers on other threads hold it (hold()) while they read the trackers;
// whatever changes them first waits for every hold to go (waitForReaders).
class CaptureFollowers {
public:
    explicit CaptureFollowers(const std::shared_ptr<MemoryBudget>& budget) : charge_(budget) {}
    ~CaptureFollowers() { waitForReaders(); }
    CaptureFollowers(const CaptureFollowers&) = delete;
    CaptureFollowers& operator=(const CaptureFollowers&) = delete;

    // Forgets every call: the frames will come again from the first.
    void restart();
    // Forgets what listening heard: the calls it heard are gone.
    void forgetListening();
    // Judges quality with `options` from the next frame on (nothing: not at
    // all); false where that is what it did already.
    bool setQuality(std::optional<quality::QualityOptions> options);
    [[nodiscard]] const std::optional<quality::QualityOptions>& quality() const { return quality_; }
    void follow(const KvIAXFrame& frame, std::uint32_t number) {
        calls_.add(frame, number);
        if (streams_) {
            streams_->add(frame, number);
            problems_->add(frame, number);
        }
    }
    // Charges what the trackers hold now: past the limit, loads stop.
    void chargeHeld();

    [[nodiscard]] const calls::CallTracker& calls() const { return calls_; }
    [[nodiscard]] const quality::StreamTracker* streams() const { return streams_.get(); }
    [[nodiscard]] const quality::ProblemTracker* problems() const { return problems_.get(); }

    using HeardActivity = std::vector<std::array<std::optional<double>, 2>>;
    [[nodiscard]] HeardActivity heardActivity() const;
    [[nodiscard]] std::vector<quality::StreamFigures>
    streamFigures(const HeardActivity& heard) const;
    [[nodiscard]] std::optional<std::vector<quality::Problem>>
    problemsOf(const HeardActivity& heard, MemoryCharge& charge) const;
    [[nodiscard]] quality::CallVerdict callVerdict(std::size_t index) const;
    [[nodiscard]] std::vector<calls::DtmfEvent> dtmfEvents() const;
    void addActivity(quality::StreamFigures& stream) const;

    void addListening(const std::vector<std::size_t>& calls, std::vector<CallListening> found);
    [[nodiscard]] const CallListening* listening(std::size_t index) const;
    [[nodiscard]] std::size_t listenedCalls() const { return listenedCalls_; }
    void setListenedCalls(std::size_t calls) { listenedCalls_ = calls; }

    [[nodiscard]] std::shared_ptr<void> hold() const;
    void waitForReaders();

private:
    void restartQuality();

    struct Holds {
        std::mutex mutex;
        std::condition_variable released;
        int count = 0;
    };
    // Shared with the holds, which may be let go after the followers are gone.
    std::shared_ptr<Holds> holds_ = std::make_shared<Holds>();
    calls::CallTracker calls_;
    std::optional<quality::QualityOptions> quality_;
    std::unique_ptr<quality::StreamTracker> streams_;
    std::unique_ptr<quality::ProblemTracker> problems_;
    std::vector<std::optional<CallListening>> listening_; // by call
    std::size_t listenedCalls_ = 0;
    MemoryCharge charge_;
};
