#pragma once

#include "filter/FilterFields.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace filter {

class Node;

enum class Verdict : std::uint8_t { NoMatch, Match, Failed };

// A display filter: an expression in the syntax and with the field names
// Wireshark users type (`iax2.src_call == 4 && ip.addr == 10.0.0.0/8`),
// parsed once and then tested against each frame's facts, never its texts
// (but for the display keys, which are texts). Copies share the compiled
// tree, which is never changed: any thread may test with it.
class DisplayFilter final {
public:
    // The filter, or nothing with `error` saying why and at which column
    // (1-based): "unknown field 'ip.adr' at column 1".
    static std::optional<DisplayFilter> compile(std::string_view expression, std::string& error);

    // The deepest nesting of parentheses, negations and function calls an
    // expression may have, counted together: parsing and testing recurse
    // once a level.
    static constexpr int maxNesting = 256;

    // Match or NoMatch; Failed where a test could not be made (a regular
    // expression that hit its match limit on this frame), with `why` saying
    // so. A failure is never a quiet "no".
    [[nodiscard]] Verdict test(const KvIAXFrame& frame, std::uint32_t frameNumber,
                               const FieldContext& context, std::string& why) const;
    // What its fields read besides the frames (a Needs mask).
    [[nodiscard]] std::uint8_t needs() const { return needs_; }
    [[nodiscard]] const std::string& expression() const { return expression_; }

private:
    DisplayFilter() = default;
    std::shared_ptr<const Node> root_;
    std::string expression_;
    std::uint8_t needs_ = NeedsNothing;
};

// The PCRE2 library matches runs against: "PCRE2 10.42 2022-12-11".
[[nodiscard]] std::string regexLibrary();

} // namespace filter
