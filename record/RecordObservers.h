#pragma once

#include <exception>
#include <string>
#include <string_view>

// Who observes which key of a record. Views observe records through their
// own models, so this registry is normally empty; it exists so that records
// can answer removeObserver the way the views expect. It is kept beside the
// records rather than in them, so that an unobserved record carries nothing.

// The exception an observation registry raises, with a name and a reason.
class ObservationException : public std::exception {
public:
    ObservationException(std::string name, std::string reason);
    [[nodiscard]] const std::string& name() const { return name_; }
    [[nodiscard]] const std::string& reason() const { return reason_; }
    [[nodiscard]] const char* what() const noexcept override { return reason_.c_str(); }

private:
    std::string name_;
    std::string reason_;
};

namespace recordObservers {

void add(const void* record, std::string_view recordClass, const void* observer,
         std::string_view keyPath);
// Throws ObservationException when the observer is not registered for the key.
void remove(const void* record, std::string_view recordClass, const void* observer,
            std::string_view keyPath);
// Drops every registration of a record that is going away.
void forget(const void* record);
[[nodiscard]] bool isObserving(const void* record, const void* observer, std::string_view keyPath);

} // namespace recordObservers
