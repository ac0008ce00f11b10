#pragma once

#include "filter/FilterFields.h"

#include <memory>
#include <string>
#include <vector>

// The compiled form of a display filter: a tree of tests over one frame,
// whose operands are fields or functions of fields.
namespace filter {

// A value written in the expression, read as the type of what it is
// compared with.
struct Literal {
    FieldType type = FieldType::Number;
    std::int64_t number = 0;
    std::int64_t nanoseconds = 0; // Time: since 1970, or a duration
    std::array<std::uint8_t, 16> bytes{};
    std::string text; // String; for Bytes, the bytes
    int prefix = -1;  // an address's prefix length (10.0.0.0/8), -1 for a whole address
};

// What a test reads of a frame: a field's values, or a function of them.
class Operand {
public:
    virtual ~Operand() = default;
    [[nodiscard]] virtual FieldType type() const = 0;
    // Calls `sink` with each value; stops where it asks to.
    virtual void read(const FieldFrame& frame, ValueSink& sink) const = 0;
};
using OperandPtr = std::shared_ptr<const Operand>;

OperandPtr makeFieldOperand(const Field& field);
// len(x): the length of each text or bytes value, or of the bytes each value
// lies in; upper(x), lower(x): each text in capitals, in small letters;
// count(x): how many values x has.
enum class Function { Length, Upper, Lower, Count };
OperandPtr makeFunction(Function function, OperandPtr argument);
// x & mask: each value's bits that are also the mask's.
OperandPtr makeMasked(OperandPtr operand, std::uint64_t mask);

class Node {
public:
    virtual ~Node() = default;
    [[nodiscard]] virtual bool test(const FieldFrame& frame) const = 0;
};
using NodePtr = std::unique_ptr<Node>;

enum class Relation { Equal, NotEqual, Less, LessOrEqual, Greater, GreaterOrEqual };

NodePtr makeAnd(NodePtr left, NodePtr right);
NodePtr makeOr(NodePtr left, NodePtr right);
NodePtr makeNot(NodePtr operand);
// The operand has a value (for x & mask: a value with one of those bits set).
NodePtr makePresent(OperandPtr operand, bool nonZero = false);
// Some value stands in the relation to the literal; for NotEqual, the
// operand has values and none of them is equal (as Wireshark reads
// "a != b" on a field with several values, ip.addr say).
NodePtr makeCompare(OperandPtr operand, Relation relation, Literal literal);
// Some value of the left stands in the relation to some value of the right.
NodePtr makeCompareOperands(OperandPtr left, Relation relation, OperandPtr right);
// Some value lies in one of the ranges (a single value is a range of one).
NodePtr makeInSet(OperandPtr operand, std::vector<std::pair<Literal, Literal>> ranges);
// Some value (text, or bytes) holds the literal.
NodePtr makeContains(OperandPtr operand, std::string text);
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
// search that reaches the match limit fails the test (FieldFrame::failure).
NodePtr makeMatches(OperandPtr operand, std::shared_ptr<const Pattern> pattern,
                    std::size_t column);

} // namespace filter
