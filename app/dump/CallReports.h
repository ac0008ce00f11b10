#pragma once

#include <cstddef>
#include <vector>

class KvIAXCapture;
class HepFeed;
class StoreFeed;

// Tells the collector and the store about each call once it has ended: its
// streams' FINAL QoS reports and its log to HEP, its call, stream and
// problem rows to the store. During a live run it is asked every few
// seconds; a file's calls are all told at the end. Either may be absent.
class CallReports final {
public:
    CallReports(const KvIAXCapture& capture, HepFeed* hep, StoreFeed* store)
        : capture_(capture), hep_(hep), store_(store) {}

    // The calls that ended since the last time; every call not told yet
    // once the run is over (`runOver`), with the problems of no call.
    void reportEnded(bool runOver);
    // A PERIODIC QoS report of each stream of the calls still going.
    void reportGoing();

private:
    const KvIAXCapture& capture_;
    HepFeed* hep_;
    StoreFeed* store_;
    std::vector<bool> told_; // by call: reported as ended
};
