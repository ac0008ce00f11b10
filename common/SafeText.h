#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Text from the wire or from a capture file, made safe to print: a calling
// name of "\x1b]0;title\x07" must not retitle, clear or recolour the
// terminal the output is read on. Every printer of such text goes through
// here, so that one rule decides what is shown as it is.
//
// What is shown as it is: valid UTF-8 of printable characters. What is not:
//   - \a \b \t \n \v \f \r as those two characters;
//   - the other C0 controls and DEL as a backslash and three octal digits
//     (\033, \177), as tshark shows them in its packet details;
//   - the C1 controls U+0080 to U+009F and the invisible formatting
//     characters (bidirectional overrides, zero-width spaces, the byte order
//     mark) as \uXXXX;
//   - bytes that are not UTF-8 (overlong forms and surrogates included) as
//     U+FFFD.
namespace safetext {

// Whether a backslash in the text is doubled: where the escapes must read
// back unambiguously (the TSV outputs), or left single as tshark leaves it.
enum class Backslash : std::uint8_t { Single, Doubled };

void append(std::string& out, std::string_view text, Backslash backslash = Backslash::Single);
[[nodiscard]] std::string escaped(std::string_view text, Backslash backslash = Backslash::Single);

// False where every byte of `text` is printable ASCII (space to '~'), but a
// backslash: the text is then shown as it is, whatever the rule for
// backslashes. Looks at eight bytes at a time, for the printers' fast paths.
[[nodiscard]] bool mayNeedEscapes(std::string_view text);

// One step of reading `text` from `at` as UTF-8: the code point and how
// many bytes it took, or `invalid` (a byte on its own) where the bytes there
// are not UTF-8.
struct CodePoint {
    char32_t value = 0;
    std::size_t length = 1;
    bool invalid = false;
};
[[nodiscard]] CodePoint decodeAt(std::string_view text, std::size_t at);

// Whether the code point may be printed as it is: not a control character,
// nor an invisible one that changes how the text around it is laid out.
[[nodiscard]] bool printable(char32_t codePoint);

} // namespace safetext
