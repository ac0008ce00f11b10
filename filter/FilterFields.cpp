#include "filter/FilterFields.h"

#include <algorithm>

namespace filter {

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

const std::vector<std::string>& fieldNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> sorted;
        for (const Field& field : fields::allFields()) {
            sorted.push_back(field.name);
        }
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    }();
    return names;
}

} // namespace filter
