#pragma once

#include "fields/FieldFrame.h"
#include "fields/PacketTree.h"

#include <optional>
#include <string>
#include <vector>

// Frames written as tshark writes them, so that scripts move over unchanged:
// -T fields (a line a frame of the chosen fields), -V (the packet details as
// text), -x (the bytes as a hex dump), -T json (the details as JSON), and
// -G fields (the field list).
namespace fieldoutput {

// How -T fields writes its lines (tshark's -E options).
struct FieldOptions {
    bool header = false;          // header=y
    std::string separator = "\t"; // separator=/t|/s|C
    char occurrence = 'a';        // occurrence=f|l|a
    std::string aggregator = ","; // aggregator=C|/s
    char quote = 'n';             // quote=d|s|n
};

// The values of `field` in the frame as one text, as -T fields prints a
// cell (with the -E options given): every occurrence joined by the
// aggregator, or the first or the last, each escaped for a terminal.
// The window's field columns show the same text.
[[nodiscard]] std::string fieldText(const fields::Field& field, const fields::FieldFrame& frame,
                                    const FieldOptions& options = {});
// Whether a field's values sort as numbers (times and IPv4 addresses too).
[[nodiscard]] bool sortsAsNumber(FieldKind kind);
// The first value of `field` as a number, for a sort; nothing where the
// field is no number or the frame has none.
[[nodiscard]] std::optional<std::int64_t> fieldNumber(const fields::Field& field,
                                                      const fields::FieldFrame& frame);

class FieldColumns final {
public:
    // Nothing, with `error` naming the first field that is not one.
    static std::optional<FieldColumns> make(const std::vector<std::string>& names,
                                            const FieldOptions& options, std::string& error);
    // What the fields need besides the frames (fields::Needs).
    [[nodiscard]] std::uint8_t needs() const { return needs_; }
    void appendHeader(std::string& out) const;
    void appendRow(std::string& out, const fields::FieldFrame& frame) const;

private:
    std::vector<const fields::Field*> fields_;
    FieldOptions options_;
    std::uint8_t needs_ = 0;
};

// The details of one frame as -V and -x print them, a blank line after.
void appendDetails(std::string& out, const fields::TreeItem& tree,
                   std::span<const std::uint8_t> bytes, bool details, bool hexDump);

// One packet of `-T json`: `first` opens the array; closeJson() ends it.
void appendJsonPacket(std::string& out, const fields::TreeItem& tree, bool first);
void closeJson(std::string& out, bool any);

// Every protocol and field, a line each: "P\tlabel\tname" and
// "F\tlabel\tname\tFT_TYPE\tprotocol\tbase\tmask\tdescription".
std::string glossary();

} // namespace fieldoutput
