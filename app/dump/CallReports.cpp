#include "app/dump/CallReports.h"

#include "app/KvIAXCapture.h"
#include "app/dump/HepFeed.h"
#include "app/dump/StoreFeed.h"
#include "common/MemoryCharge.h"

#include <cstdio>

namespace {

bool hasEnded(const calls::Call& call) {
    return call.state == calls::CallState::Completed || call.state == calls::CallState::Cancelled ||
           call.state == calls::CallState::Rejected;
}

} // namespace

void CallReports::reportEnded(bool runOver) {
    const calls::CallList& calls = capture_.callTracker().calls();
    told_.resize(calls.size(), false);
    std::vector<std::size_t> ending;
    for (std::size_t index = 0; index < calls.size(); ++index) {
        if (!told_[index] && (runOver || hasEnded(calls[index]))) {
            ending.push_back(index);
        }
    }
    if (ending.empty() && !(runOver && store_)) {
        return;
    }
    const std::vector<quality::StreamFigures> streams = capture_.streamFigures();
    std::vector<quality::Problem> problems;
    if (store_) {
        MemoryCharge charge(capture_.memoryBudget());
        if (auto found = capture_.problems(charge)) {
            problems = std::move(*found);
        } else {
            std::fputs("quorvex-dump: store: the problems do not fit the memory limit "
                       "(--memory-limit): the calls and streams are stored without them\n",
                       stderr);
        }
    }
    for (const std::size_t index : ending) {
        if (hep_) {
            for (const quality::StreamFigures& stream : streams) {
                if (stream.call == index) {
                    hep_->sendStreamReport(stream, "FINAL");
                }
            }
            hep_->sendCallLog(index);
        }
        if (store_) {
            store_->addCall(capture_, index, streams, problems);
        }
        told_[index] = true;
    }
    if (store_ && runOver) {
        store_->addCallless(capture_, problems);
    }
    if (hep_) {
        hep_->flush();
    }
    if (store_) {
        store_->flush();
    }
}

void CallReports::reportGoing() {
    if (!hep_) {
        return;
    }
    told_.resize(capture_.callTracker().calls().size(), false);
    for (const quality::StreamFigures& stream : capture_.streamFigures()) {
        if (stream.call < told_.size() && !told_[stream.call]) {
            hep_->sendStreamReport(stream, "PERIODIC");
        }
    }
    hep_->flush();
}
