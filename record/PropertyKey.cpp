#include "record/PropertyKey.h"

#include <array>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <string>

namespace {

constexpr std::array<std::string_view, 15> knownNames = {
    "source",    "destination", "isretry",  "type",       "subclass",
    "timestamp", "scall",       "dcall",    "time",       "informationElements",
    "parameter", "value",       "captured", "sourcePort", "destinationPort"};

// Names registered at run time. A deque keeps earlier names where they are
// while later ones are added, so name() can hand out views into it.
struct Registry {
    std::mutex mutex;
    std::deque<std::string> names;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

} // namespace

const PropertyKey PropertyKey::source{0};
const PropertyKey PropertyKey::destination{1};
const PropertyKey PropertyKey::isretry{2};
const PropertyKey PropertyKey::type{3};
const PropertyKey PropertyKey::subclass{4};
const PropertyKey PropertyKey::timestamp{5};
const PropertyKey PropertyKey::scall{6};
const PropertyKey PropertyKey::dcall{7};
const PropertyKey PropertyKey::time{8};
const PropertyKey PropertyKey::informationElements{9};
const PropertyKey PropertyKey::parameter{10};
const PropertyKey PropertyKey::value{11};
const PropertyKey PropertyKey::captured{12};
const PropertyKey PropertyKey::sourcePort{13};
const PropertyKey PropertyKey::destinationPort{14};

PropertyKey PropertyKey::named(std::string_view name) {
    for (std::size_t i = 0; i < knownNames.size(); ++i) {
        if (knownNames[i] == name) {
            return PropertyKey{static_cast<std::uint16_t>(i)};
        }
    }
    Registry& reg = registry();
    std::lock_guard lock(reg.mutex);
    for (std::size_t i = 0; i < reg.names.size(); ++i) {
        if (reg.names[i] == name) {
            return PropertyKey{static_cast<std::uint16_t>(knownNames.size() + i)};
        }
    }
    if (knownNames.size() + reg.names.size() > UINT16_MAX) {
        throw std::length_error("too many property key names");
    }
    reg.names.emplace_back(name);
    return PropertyKey{static_cast<std::uint16_t>(knownNames.size() + reg.names.size() - 1)};
}

std::string_view PropertyKey::name() const {
    if (id_ < knownNames.size()) {
        return knownNames[id_];
    }
    Registry& reg = registry();
    std::lock_guard lock(reg.mutex);
    return reg.names[id_ - knownNames.size()];
}
