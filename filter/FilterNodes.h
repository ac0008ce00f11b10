#pragma once

#include "filter/FilterFields.h"

#include <memory>
#include <string>
#include <vector>

// The compiled form of a display filter: a tree of tests over one frame.
namespace filter {

// A value written in the expression, read as the type of the field it is
// compared with.
struct Literal {
    FieldType type = FieldType::Number;
    std::int64_t number = 0;
    double seconds = 0;
    std::array<std::uint8_t, 16> bytes{};
    std::string text;
    int prefix = -1; // an address's prefix length (10.0.0.0/8), -1 for a whole address
};

class Node {
public:
    virtual ~Node() = default;
    [[nodiscard]] virtual bool test(const FilterFrame& frame) const = 0;
};
using NodePtr = std::unique_ptr<Node>;

enum class Relation { Equal, NotEqual, Less, LessOrEqual, Greater, GreaterOrEqual };

NodePtr makeAnd(NodePtr left, NodePtr right);
NodePtr makeOr(NodePtr left, NodePtr right);
NodePtr makeNot(NodePtr operand);
// The field is in the frame.
NodePtr makePresent(const Field& field);
// Some value of the field stands in the relation to the literal; for
// NotEqual, the field is there and none of its values is equal (as
// Wireshark reads "a != b" on a field with several values, ip.addr say).
NodePtr makeCompare(const Field& field, Relation relation, Literal literal);
// Some value lies in one of the ranges (a single value is a range of one).
NodePtr makeInSet(const Field& field, std::vector<std::pair<Literal, Literal>> ranges);
// Some value (text) holds the literal text.
NodePtr makeContains(const Field& field, std::string text);
// A compiled Perl-compatible regular expression (PCRE2, as Wireshark uses):
// case-insensitive and UTF-8, as Wireshark's "matches" is.
class Pattern {
public:
    // Nothing, with `error` saying why, where the pattern cannot be compiled.
    static std::shared_ptr<const Pattern> compile(const std::string& pattern, std::string& error);
    ~Pattern();
    // How far one search may go (PCRE2's match limit): about a millisecond of
    // backtracking, far more than any sensible pattern needs on a field.
    static constexpr std::uint32_t matchLimit = 100'000;
    enum class Result { NoMatch, Match, LimitReached };
    [[nodiscard]] Result search(std::string_view text) const;

private:
    struct Code;
    explicit Pattern(Code* code) : code_(code) {}
    Code* code_;
};

// Some value (text) matches the regular expression written at `column`. A
// search that reaches the match limit fails the test (FilterFrame::failure).
NodePtr makeMatches(const Field& field, std::shared_ptr<const Pattern> pattern,
                    std::size_t column);

} // namespace filter
