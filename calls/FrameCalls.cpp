#include "calls/FrameCalls.h"

#include <algorithm>

namespace calls {

void FrameCalls::update(const CallTracker& tracker) {
    const auto& calls = tracker.calls();
    taken.resize(calls.size(), 0);
    bool addedOthers = false;
    for (std::size_t index = 0; index < calls.size(); ++index) {
        const auto& numbers = calls[index].frameNumbers;
        const auto call = static_cast<std::uint32_t>(index + 1);
        for (; taken[index] < numbers.size(); ++taken[index]) {
            const std::uint32_t number = numbers[taken[index]];
            // A trunk frame with several entries of one call is listed once per entry.
            if (number == 0 || (taken[index] > 0 && numbers[taken[index] - 1] == number)) {
                continue;
            }
            if (first.size() < number) {
                first.resize(number, 0);
            }
            std::uint32_t& owner = first[number - 1];
            if (owner == 0) {
                owner = call;
            } else if (owner != call) {
                others.emplace_back(number, call);
                addedOthers = true;
            }
        }
    }
    if (addedOthers) {
        std::sort(others.begin(), others.end());
    }
    const Resends found = tracker.resends();
    resends.insert(resends.end(), found.begin() + static_cast<std::ptrdiff_t>(resends.size()),
                   found.end());
}

} // namespace calls
