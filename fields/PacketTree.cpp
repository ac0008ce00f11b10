#include "fields/PacketTree.h"

#include "common/SafeText.h"

#include "fields/FieldText.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace fields {
namespace {

// Collects a field's values.
class Values final : public ValueSink {
public:
    bool take(const Value& value) override {
        values.push_back(value);
        // Text and bytes are valid during the visit only: keep a copy.
        texts.emplace_back(value.text);
        values.back().text = {};
        return false;
    }
    std::vector<Value> values;
    std::vector<std::string> texts;
};

TreeItem itemOf(const Field& field, const Value& value, std::string_view text) {
    Value shown = value;
    shown.text = text;
    TreeItem item;
    item.field = &field;
    item.text = detailLine(field, shown);
    if (field.show == Generated) {
        item.text = "[" + item.text + "]";
    }
    item.printed = printedValue(field, shown);
    item.expression = filterExpression(field, shown);
    item.offset = value.offset;
    item.length = value.length;
    return item;
}

std::string groupHeader(Group group, const TreeItem& node) {
    if (group == Group::TrunkEntry) {
        std::string call, timestamp;
        for (const TreeItem& child : node.children) {
            if (child.field->name == "iax2.trunk.call.scallno") {
                call = child.printed;
            } else if (child.field->name == "iax2.trunk.call.ts") {
                timestamp = child.printed;
            }
        }
        return "Trunk call from " + call + (timestamp.empty() ? "" : ", ts: " + timestamp);
    }
    // An element: its value's line, or its name where it has no value.
    for (const TreeItem& child : node.children) {
        if (child.field->name != "iax2.ie_id" && child.field->name != "iax2.length") {
            const std::string line = child.text.substr(child.text.find(" = ") == std::string::npos
                                                           ? 0
                                                           : child.text.find(" = ") + 3);
            return "Information Element: " + line;
        }
    }
    for (const TreeItem& child : node.children) {
        if (child.field->name == "iax2.ie_id") {
            const std::string line = child.text.substr(child.text.find(": ") + 2);
            return "Information Element: " + line;
        }
    }
    return "Information Element";
}

// Where a line goes: under the last line of its parent field in the same
// node, or at the end of the node.
void place(TreeItem& node, TreeItem item) {
    const std::string& parent = item.field->parent;
    if (!parent.empty()) {
        for (auto it = node.children.rbegin(); it != node.children.rend(); ++it) {
            if (it->field != nullptr && it->field->name.starts_with(parent)) {
                it->children.push_back(std::move(item));
                return;
            }
        }
        // A capability's flags under the element's value, whichever it is.
        if (!node.children.empty() && node.children.back().field != nullptr &&
            node.children.back().field->name.starts_with("iax2.iax.")) {
            node.children.back().children.push_back(std::move(item));
            return;
        }
    }
    node.children.push_back(std::move(item));
}

} // namespace

// A line's bytes as far as the capture kept them: a header cut short is
// shown where it would be, but only what was captured is its bytes.
void clampToCaptured(TreeItem& item, std::size_t captured) {
    if (item.offset >= 0 && static_cast<std::size_t>(item.offset) >= captured) {
        item.offset = -1;
        item.length = 0;
    } else if (item.offset >= 0) {
        item.length = static_cast<std::int32_t>(
            std::min<std::size_t>(static_cast<std::size_t>(std::max(item.length, 0)),
                                  captured - static_cast<std::size_t>(item.offset)));
    }
    for (TreeItem& child : item.children) {
        clampToCaptured(child, captured);
    }
}

TreeItem packetTree(const KvIAXFrame& frame, std::uint32_t number, const FieldContext& context,
                    std::span<const std::uint8_t> packet) {
    const FieldFrame source(frame, number, context, packet);
    TreeItem root;
    const auto fields = allFields();
    for (std::size_t start = 0; start < fields.size();) {
        std::size_t end = start + 1;
        while (end < fields.size() && fields[end].protocol == fields[start].protocol) {
            ++end;
        }
        const Field& protocol = fields[start];
        Values heads;
        protocol.read(source, protocol, heads);
        // A protocol of several occurrences (VLAN tags) is a node each.
        std::vector<TreeItem> nodes;
        for (std::size_t i = 0; i < heads.values.size(); ++i) {
            TreeItem node;
            node.field = &protocol;
            node.text = heads.texts[i].empty() ? protocol.label : heads.texts[i];
            node.printed = printedValue(protocol, heads.values[i]);
            node.expression = protocol.name;
            node.offset = heads.values[i].offset;
            node.length = heads.values[i].length;
            nodes.push_back(std::move(node));
        }
        // Groups, by occurrence, in the order they first appear.
        std::map<int, std::size_t> groupAt;
        for (std::size_t f = start + 1; f < end && !nodes.empty(); ++f) {
            const Field& field = fields[f];
            if (field.show == Hidden) {
                continue;
            }
            Values values;
            field.read(source, field, values);
            for (std::size_t v = 0; v < values.values.size(); ++v) {
                const Value& value = values.values[v];
                TreeItem item = itemOf(field, value, values.texts[v]);
                if (field.group == Group::Tag) {
                    const auto tag = static_cast<std::size_t>(std::max<int>(0, value.instance));
                    // Tags of both kinds share the protocol's occurrences in order.
                    std::size_t index = 0;
                    for (std::size_t n = 0; n < heads.values.size(); ++n) {
                        index = heads.values[n].instance == static_cast<int>(tag) ? n : index;
                    }
                    place(nodes[index], std::move(item));
                    continue;
                }
                TreeItem& node = nodes.front();
                if (field.group == Group::None || value.instance < 0) {
                    place(node, std::move(item));
                    continue;
                }
                const int key = static_cast<int>(field.group) << 16 | value.instance;
                auto found = groupAt.find(key);
                if (found == groupAt.end()) {
                    TreeItem group;
                    group.offset = value.offset;
                    node.children.push_back(std::move(group));
                    found = groupAt.emplace(key, node.children.size() - 1).first;
                }
                place(node.children[found->second], std::move(item));
            }
        }
        for (TreeItem& node : nodes) {
            for (const auto& [key, at] : groupAt) {
                TreeItem& group = node.children[at];
                group.text = groupHeader(static_cast<Group>(key >> 16), group);
                // The group spans its lines' bytes.
                int first = -1, last = -1;
                for (const TreeItem& child : group.children) {
                    if (child.offset >= 0) {
                        first = first < 0 ? child.offset : std::min(first, child.offset);
                        last = std::max(last, child.offset + child.length);
                    }
                }
                group.offset = first;
                group.length = first < 0 ? 0 : last - first;
            }
            root.children.push_back(std::move(node));
        }
        start = end;
    }
    clampToCaptured(root, packet.size());
    return root;
}

void appendTreeText(std::string& out, const TreeItem& root) {
    struct Walk {
        std::string& out;
        void operator()(const TreeItem& item, int depth) const {
            out.append(static_cast<std::size_t>(depth) * 4, ' ');
            // A line may quote the wire (a calling name, a username).
            safetext::append(out, item.text);
            out.push_back('\n');
            for (const TreeItem& child : item.children) {
                (*this)(child, depth + 1);
            }
        }
    } walk{out};
    for (const TreeItem& protocol : root.children) {
        walk(protocol, 0);
    }
}

void appendHexDump(std::string& out, std::span<const std::uint8_t> bytes) {
    for (std::size_t line = 0; line < bytes.size(); line += 16) {
        char text[96];
        int at = std::snprintf(text, sizeof text, "%04zx  ", line);
        std::string ascii;
        for (std::size_t i = 0; i < 16; ++i) {
            if (line + i < bytes.size()) {
                const std::uint8_t byte = bytes[line + i];
                at += std::snprintf(text + at, sizeof text - static_cast<std::size_t>(at), "%02x ",
                                    byte);
                ascii.push_back(byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.');
            } else {
                at += std::snprintf(text + at, sizeof text - static_cast<std::size_t>(at), "   ");
            }
        }
        out += text;
        out += "  ";
        out += ascii;
        out.push_back('\n');
    }
}

} // namespace fields
