#pragma once

#include "platform/Notifications.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// Named notifications with the object that posted them. Observers run on the
// posting thread.
class NotificationCenter final : public Notifications {
public:
    using Observer = std::function<void(const std::string& name, const void* object)>;
    using Token = std::uint64_t;

    static NotificationCenter& defaultCenter();

    // `name` empty observes every notification.
    Token addObserver(std::string name, Observer observer);
    void removeObserver(Token token);
    void post(const std::string& name, const void* object) override;

private:
    struct Registration {
        Token token;
        std::string name;
        Observer observer;
    };
    std::mutex mutex_;
    std::vector<Registration> registrations_;
    Token nextToken_ = 1;
};
