#include "filter/FilterFields.h"

#include <algorithm>
#include <unordered_map>

namespace filter {
namespace {

// The display keys, compared as the text the frame table shows.
void displayText(const FieldFrame& f, const Field& field, ValueSink& sink) {
    const std::string text = f.frame().text(PropertyKey::named(field.name));
    if (!text.empty()) {
        fields::put::text(sink, field, text);
    }
}

struct OwnFields {
    std::vector<Field> list;
    std::unordered_map<std::string_view, const Field*> byName;
    std::vector<std::string> names;

    OwnFields() {
        Field call = *fields::findField("iax2.call");
        call.name = "quorvex.call";
        call.protocol = "quorvex";
        list.push_back(call);
        for (const PropertyKey key :
             {PropertyKey::source, PropertyKey::destination, PropertyKey::isretry,
              PropertyKey::type, PropertyKey::subclass, PropertyKey::timestamp, PropertyKey::scall,
              PropertyKey::dcall, PropertyKey::time, PropertyKey::captured,
              PropertyKey::sourcePort, PropertyKey::destinationPort}) {
            Field text;
            text.name = std::string(key.name());
            text.label = text.name;
            text.kind = FieldKind::String;
            text.base = FieldBase::None;
            text.protocol = "quorvex";
            text.read = displayText;
            text.show = fields::Hidden;
            list.push_back(std::move(text));
        }
        for (const Field& field : list) {
            byName.emplace(field.name, &field);
        }
        for (const Field& field : fields::allFields()) {
            names.push_back(field.name);
        }
        for (const Field& field : list) {
            names.push_back(field.name);
        }
        std::sort(names.begin(), names.end());
        names.erase(std::unique(names.begin(), names.end()), names.end());
    }
};

const OwnFields& own() {
    static const OwnFields instance;
    return instance;
}

} // namespace

const char* typeName(FieldType type) {
    switch (type) {
    case FieldType::Number:
        return "a number";
    case FieldType::Boolean:
        return "a flag (1 or 0)";
    case FieldType::Time:
        return "a time in seconds";
    case FieldType::IPv4:
        return "an IPv4 address";
    case FieldType::IPv6:
        return "an IPv6 address";
    case FieldType::Ether:
        return "an Ethernet address";
    case FieldType::String:
        return "text";
    case FieldType::Bytes:
        return "bytes";
    case FieldType::None:
        return "a field without a value";
    }
    return "";
}

FieldType typeOf(const Field& field) {
    switch (field.kind) {
    case FieldKind::Protocol:
    case FieldKind::None:
        return FieldType::None;
    case FieldKind::Boolean:
        return FieldType::Boolean;
    case FieldKind::Unsigned8:
    case FieldKind::Unsigned16:
    case FieldKind::Unsigned24:
    case FieldKind::Unsigned32:
    case FieldKind::Unsigned64:
    case FieldKind::Signed16:
    case FieldKind::FrameNumber:
        return FieldType::Number;
    case FieldKind::String:
        return FieldType::String;
    case FieldKind::Bytes:
        return FieldType::Bytes;
    case FieldKind::IPv4:
        return FieldType::IPv4;
    case FieldKind::IPv6:
        return FieldType::IPv6;
    case FieldKind::Ether:
        return FieldType::Ether;
    case FieldKind::AbsoluteTime:
    case FieldKind::RelativeTime:
        return FieldType::Time;
    }
    return FieldType::None;
}

const Field* findField(std::string_view name) {
    if (const Field* field = fields::findField(name)) {
        return field;
    }
    const auto& byName = own().byName;
    const auto found = byName.find(name);
    return found != byName.end() ? found->second : nullptr;
}

const std::vector<std::string>& fieldNames() {
    return own().names;
}

} // namespace filter
