#pragma once

#include <string>

// Where named notifications are posted, with the object that posted them.
class Notifications {
public:
    virtual ~Notifications() = default;
    virtual void post(const std::string& name, const void* object) = 0;
};
