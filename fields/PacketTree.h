#pragma once

#include "fields/FieldRegistry.h"

#include <span>
#include <string>
#include <vector>

namespace fields {

// One line of the packet details: a field's value, or the header of a
// protocol or of a group of fields (an information element, a trunk entry).
struct TreeItem {
    const Field* field = nullptr; // nullptr for a group's header
    std::string text;             // the line as shown ("Source call: 1")
    std::string printed;          // the value as -T fields prints it; empty for a header
    std::string expression;       // the display filter that selects it; empty for a header
    std::int32_t offset = -1;     // the bytes it stands for, where it has some
    std::int32_t length = 0;
    std::vector<TreeItem> children;
};

// The details of one frame, built on demand from the registry: a protocol a
// child of the root, each with its fields in the registry's order, groups as
// subtrees. `packet` is the frame's captured bytes (read back from its file);
// fields that need more than the record keeps are absent without them.
[[nodiscard]] TreeItem packetTree(const KvIAXFrame& frame, std::uint32_t number,
                                  const FieldContext& context,
                                  std::span<const std::uint8_t> packet);

// The tree as text, indented four spaces a level, as `tshark -V` prints it.
void appendTreeText(std::string& out, const TreeItem& root);

// The bytes as a hex dump, as `tshark -x` prints it: an offset, 16 bytes in
// hexadecimal and as text.
void appendHexDump(std::string& out, std::span<const std::uint8_t> bytes);

} // namespace fields
