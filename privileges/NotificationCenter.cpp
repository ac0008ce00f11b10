#include "privileges/NotificationCenter.h"

#include <algorithm>

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

NotificationCenter::Token NotificationCenter::addObserver(std::string name, Observer observer) {
    std::lock_guard lock(mutex_);
    registrations_.push_back({nextToken_, std::move(name), std::move(observer)});
    return nextToken_++;
}

void NotificationCenter::removeObserver(Token token) {
    std::lock_guard lock(mutex_);
    std::erase_if(registrations_, [token](const Registration& r) { return r.token == token; });
}

void NotificationCenter::post(const std::string& name, const void* object) {
    std::vector<Observer> observers;
    {
        // Observers run outside the lock: they may add or remove observers.
        std::lock_guard lock(mutex_);
        for (const Registration& r : registrations_) {
            if (r.name.empty() || r.name == name) {
                observers.push_back(r.observer);
            }
        }
    }
    for (const Observer& observer : observers) {
        observer(name, object);
    }
}
