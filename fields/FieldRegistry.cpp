#include "fields/FieldRegistry.h"

#include "dissect/InformationElementTable.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>

namespace fields {
namespace {

struct Registry {
    std::vector<Field> fields;
    std::unordered_map<std::string_view, const Field*> byName;
    std::array<const Field*, 256> byElement{};

    Registry() {
        addFrameFields(fields);
        addLinkFields(fields);
        addNetworkFields(fields);
        addHepFields(fields);
        addIaxFields(fields);
        addColumnFields(fields);
        for (const Field& field : fields) {
            byName.emplace(field.name, &field);
        }
        for (int id = 0; id < 256; ++id) {
            if (const char* suffix = iaxelements::elementTable[static_cast<std::size_t>(id)].field) {
                const auto found = byName.find("iax2.iax." + std::string(suffix));
                byElement[static_cast<std::size_t>(id)] =
                    found != byName.end() ? found->second : nullptr;
            }
        }
    }
};

const Registry& registry() {
    static const Registry instance;
    return instance;
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

std::span<const Field> allFields() {
    return registry().fields;
}

const Field* findField(std::string_view name) {
    const auto& byName = registry().byName;
    const auto found = byName.find(name);
    return found != byName.end() ? found->second : nullptr;
}

const Field* elementField(std::uint8_t identifier) {
    return registry().byElement[identifier];
}

const char* valueName(const Field& field, std::uint64_t value) {
    for (const ValueName& name : field.names) {
        if (name.value == value && name.name != nullptr) {
            return name.name;
        }
    }
    return nullptr;
}

std::int64_t numberNamed(const Field& field, std::string_view name) {
    for (const ValueName& entry : field.names) {
        if (entry.name != nullptr && sameName(name, entry.name)) {
            return static_cast<std::int64_t>(entry.value);
        }
    }
    return -1;
}

namespace put {

bool number(ValueSink& sink, const Field& field, std::uint64_t value, int offset, int length,
            int instance) {
    Value v;
    v.kind = field.kind;
    v.number = value;
    v.offset = offset;
    v.length = length;
    v.instance = static_cast<std::int16_t>(instance);
    return sink.take(v);
}

bool text(ValueSink& sink, const Field& field, std::string_view text,
          std::span<const std::uint8_t> raw, int offset, int length, int instance) {
    Value v;
    v.kind = field.kind;
    v.text = text;
    v.bytes = raw;
    v.offset = offset;
    v.length = length;
    v.instance = static_cast<std::int16_t>(instance);
    return sink.take(v);
}

} // namespace put

} // namespace fields
