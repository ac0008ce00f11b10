#include "record/RecordObservers.h"

#include <cstdio>
#include <map>
#include <mutex>
#include <tuple>

ObservationException::ObservationException(std::string name, std::string reason)
    : name_(std::move(name)), reason_(std::move(reason)) {}

namespace recordObservers {
namespace {

using Registration = std::tuple<const void*, const void*, std::string>;

struct Registry {
    std::mutex mutex;
    std::map<Registration, int> counts; // an observer may register twice
};

Registry& registry() {
    static Registry instance;
    return instance;
}

std::string pointerText(const void* pointer) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", pointer);
    return text;
}

} // namespace

void add(const void* record, std::string_view, const void* observer, std::string_view keyPath) {
    Registry& reg = registry();
    std::lock_guard lock(reg.mutex);
    ++reg.counts[Registration{record, observer, std::string(keyPath)}];
}

void remove(const void* record, std::string_view recordClass, const void* observer,
            std::string_view keyPath) {
    Registry& reg = registry();
    std::unique_lock lock(reg.mutex);
    auto found = reg.counts.find(Registration{record, observer, std::string(keyPath)});
    if (found == reg.counts.end()) {
        lock.unlock();
        throw ObservationException(
            "ObserverNotRegistered",
            "Cannot remove an observer <" + pointerText(observer) + "> for the key path \"" +
                std::string(keyPath) + "\" from <" + std::string(recordClass) + " " +
                pointerText(record) + "> because it is not registered as an observer.");
    }
    if (--found->second == 0) {
        reg.counts.erase(found);
    }
}

void forget(const void* record) {
    Registry& reg = registry();
    std::lock_guard lock(reg.mutex);
    for (auto it = reg.counts.begin(); it != reg.counts.end();) {
        it = std::get<0>(it->first) == record ? reg.counts.erase(it) : std::next(it);
    }
}

bool isObserving(const void* record, const void* observer, std::string_view keyPath) {
    Registry& reg = registry();
    std::lock_guard lock(reg.mutex);
    return reg.counts.contains(Registration{record, observer, std::string(keyPath)});
}

} // namespace recordObservers
