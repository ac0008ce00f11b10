#include "filter/FilterNodes.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>


#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>

namespace filter {
namespace {

int sign(auto a, auto b) {
    return a < b ? -1 : a > b ? 1 : 0;
}

std::int64_t totalNanoseconds(const Value& value) {
    return value.seconds * 1'000'000'000 + value.nanoseconds;
}

bool isSigned(const Value& value) {
    return value.kind == FieldKind::Signed16;
}

// A number of either signedness against a signed number.
int compareNumbers(const Value& value, std::int64_t number) {
    if (isSigned(value)) {
        return sign(value.signedNumber(), number);
    }
    return number < 0 ? 1 : sign(value.number, static_cast<std::uint64_t>(number));
}

std::string_view bytesOf(const Value& value) {
    return {reinterpret_cast<const char*>(value.bytes.data()), value.bytes.size()};
}

// -1, 0 or 1: the value against the literal, as `type`. An address with a
// prefix compares only its first prefix bits.
int compare(const Value& value, FieldType type, const Literal& literal) {
    switch (type) {
    case FieldType::Number:
        return compareNumbers(value, literal.number);
    case FieldType::Boolean:
        return sign(value.number != 0 ? 1 : 0, literal.number != 0 ? 1 : 0);
    case FieldType::Time:
        return sign(totalNanoseconds(value), literal.nanoseconds);
    case FieldType::IPv4: {
        const std::uint32_t mask = literal.prefix < 0 || literal.prefix >= 32 ? 0xFFFFFFFFu
                                   : literal.prefix == 0                      ? 0u
                                                         : ~((1u << (32 - literal.prefix)) - 1u);
        return sign(static_cast<std::uint32_t>(value.number) & mask,
                    static_cast<std::uint32_t>(literal.number) & mask);
    }
    case FieldType::IPv6: {
        const int bits = literal.prefix < 0 ? 128 : literal.prefix;
        for (int i = 0; i < 16 && i * 8 < bits; ++i) {
            const int keep = std::min(8, bits - i * 8);
            const auto mask = static_cast<std::uint8_t>(0xFF << (8 - keep));
            const int s = sign(value.address[static_cast<std::size_t>(i)] & mask,
                               literal.bytes[static_cast<std::size_t>(i)] & mask);
            if (s != 0) {
                return s;
            }
        }
        return 0;
    }
    case FieldType::Ether:
        return sign(std::memcmp(value.address.data(), literal.bytes.data(), 6), 0);
    case FieldType::String:
        return sign(value.text.compare(literal.text), 0);
    case FieldType::Bytes:
        return sign(bytesOf(value).compare(literal.text), 0);
    case FieldType::None:
        return 0;
    }
    return 1;
}

// Two values of like operands.
int compareValues(const Value& a, const Value& b, FieldType type) {
    switch (type) {
    case FieldType::Number:
        if (isSigned(b)) {
            return compareNumbers(a, b.signedNumber());
        }
        if (isSigned(a)) {
            return -compareNumbers(b, a.signedNumber());
        }
        return sign(a.number, b.number);
    case FieldType::Boolean:
        return sign(a.number != 0, b.number != 0);
    case FieldType::Time:
        return sign(totalNanoseconds(a), totalNanoseconds(b));
    case FieldType::IPv4:
        return sign(static_cast<std::uint32_t>(a.number), static_cast<std::uint32_t>(b.number));
    case FieldType::IPv6:
        return sign(std::memcmp(a.address.data(), b.address.data(), 16), 0);
    case FieldType::Ether:
        return sign(std::memcmp(a.address.data(), b.address.data(), 6), 0);
    case FieldType::String:
        return sign(a.text.compare(b.text), 0);
    case FieldType::Bytes:
        return sign(bytesOf(a).compare(bytesOf(b)), 0);
    case FieldType::None:
        return 0;
    }
    return 1;
}

bool holds(Relation relation, int order) {
    switch (relation) {
    case Relation::Equal:
    case Relation::NotEqual:
        return order == 0;
    case Relation::Less:
        return order < 0;
    case Relation::LessOrEqual:
        return order <= 0;
    case Relation::Greater:
        return order > 0;
    case Relation::GreaterOrEqual:
        return order >= 0;
    }
    return false;
}

// Visits an operand's values until one satisfies `test`; says whether any
// did, and whether there was any value at all.
template <class Test> struct AnySink final : ValueSink {
    explicit AnySink(const Test& t) : test(t) {}
    bool take(const Value& value) override {
        seen = true;
        found = test(value);
        return found;
    }
    const Test& test;
    bool seen = false;
    bool found = false;
};

template <class Test>
AnySink<Test> visit(const FieldFrame& frame, const Operand& operand, const Test& test) {
    AnySink<Test> sink(test);
    operand.read(frame, sink);
    return sink;
}

// The bytes a value of a kind takes, where where it lies is not known.
std::uint64_t naturalLength(FieldKind kind) {
    switch (kind) {
    case FieldKind::Boolean:
    case FieldKind::Unsigned8:
        return 1;
    case FieldKind::Unsigned16:
    case FieldKind::Signed16:
        return 2;
    case FieldKind::Unsigned24:
        return 3;
    case FieldKind::Unsigned32:
    case FieldKind::IPv4:
    case FieldKind::FrameNumber:
        return 4;
    case FieldKind::Ether:
        return 6;
    case FieldKind::Unsigned64:
        return 8;
    case FieldKind::IPv6:
        return 16;
    default:
        return 0;
    }
}

// Operands.

class FieldOperand final : public Operand {
public:
    explicit FieldOperand(const Field& field) : field_(field) {}
    FieldType type() const override { return typeOf(field_); }
    void read(const FieldFrame& frame, ValueSink& sink) const override {
        field_.read(frame, field_, sink);
    }

private:
    const Field& field_;
};

// Passes each value of its argument on, changed.
template <class Change> class Mapped final : public ValueSink {
public:
    Mapped(ValueSink& to, const Change& change) : to_(to), change_(change) {}
    bool take(const Value& value) override { return change_(value, to_); }

private:
    ValueSink& to_;
    const Change& change_;
};

class FunctionOperand final : public Operand {
public:
    FunctionOperand(Function function, OperandPtr argument)
        : function_(function), argument_(std::move(argument)) {}
    FieldType type() const override {
        return function_ == Function::Upper || function_ == Function::Lower ? FieldType::String
                                                                            : FieldType::Number;
    }
    void read(const FieldFrame& frame, ValueSink& sink) const override {
        if (function_ == Function::Count) {
            struct Counter final : ValueSink {
                bool take(const Value&) override {
                    ++count;
                    return false;
                }
                std::uint64_t count = 0;
            } counter;
            argument_->read(frame, counter);
            Value v;
            v.kind = FieldKind::Unsigned32;
            v.number = counter.count;
            sink.take(v);
            return;
        }
        const auto change = [this](const Value& value, ValueSink& to) {
            Value v;
            if (function_ == Function::Length) {
                v.kind = FieldKind::Unsigned32;
                v.number = !value.text.empty() || value.kind == FieldKind::String
                               ? value.text.size()
                           : !value.bytes.empty() ? value.bytes.size()
                           : value.length > 0     ? static_cast<std::uint64_t>(value.length)
                                                  : naturalLength(value.kind);
                return to.take(v);
            }
            std::string text(value.text);
            for (char& c : text) {
                c = static_cast<char>(function_ == Function::Upper
                                          ? std::toupper(static_cast<unsigned char>(c))
                                          : std::tolower(static_cast<unsigned char>(c)));
            }
            v.kind = FieldKind::String;
            v.text = text;
            return to.take(v);
        };
        Mapped<decltype(change)> mapped(sink, change);
        argument_->read(frame, mapped);
    }

private:
    Function function_;
    OperandPtr argument_;
};

class MaskedOperand final : public Operand {
public:
    MaskedOperand(OperandPtr operand, std::uint64_t mask)
        : operand_(std::move(operand)), mask_(mask) {}
    FieldType type() const override { return operand_->type(); }
    void read(const FieldFrame& frame, ValueSink& sink) const override {
        const auto change = [this](const Value& value, ValueSink& to) {
            Value v = value;
            v.number &= mask_;
            return to.take(v);
        };
        Mapped<decltype(change)> mapped(sink, change);
        operand_->read(frame, mapped);
    }

private:
    OperandPtr operand_;
    std::uint64_t mask_;
};

// `a and b and c` is one node of three operands, not a chain of nested
// nodes: an expression of 100,000 terms is tested without deep recursion.
class Conjunction final : public Node {
public:
    Conjunction(bool all, NodePtr left, NodePtr right) : all_(all) {
        operands_.push_back(std::move(left));
        operands_.push_back(std::move(right));
    }
    bool test(const FieldFrame& f) const override {
        for (const NodePtr& operand : operands_) {
            if (operand->test(f) != all_) {
                return !all_;
            }
        }
        return all_;
    }
    [[nodiscard]] bool all() const { return all_; }
    void add(NodePtr operand) { operands_.push_back(std::move(operand)); }

private:
    bool all_; // and: every operand; or: any operand
    std::vector<NodePtr> operands_;
};

NodePtr join(bool all, NodePtr left, NodePtr right) {
    if (auto* chain = dynamic_cast<Conjunction*>(left.get()); chain && chain->all() == all) {
        chain->add(std::move(right));
        return left;
    }
    return std::make_unique<Conjunction>(all, std::move(left), std::move(right));
}

class Not final : public Node {
public:
    explicit Not(NodePtr operand) : operand_(std::move(operand)) {}
    bool test(const FieldFrame& f) const override { return !operand_->test(f); }

private:
    NodePtr operand_;
};

class Present final : public Node {
public:
    Present(OperandPtr operand, bool nonZero) : operand_(std::move(operand)), nonZero_(nonZero) {}
    bool test(const FieldFrame& f) const override {
        return visit(f, *operand_, [this](const Value& v) { return !nonZero_ || v.number != 0; })
            .found;
    }

private:
    OperandPtr operand_;
    bool nonZero_;
};

class Compare final : public Node {
public:
    Compare(OperandPtr operand, Relation relation, Literal literal)
        : operand_(std::move(operand)), relation_(relation), literal_(std::move(literal)),
          type_(operand_->type()) {}
    bool test(const FieldFrame& f) const override {
        const auto sink = visit(f, *operand_, [this](const Value& value) {
            return holds(relation_, compare(value, type_, literal_));
        });
        return relation_ == Relation::NotEqual ? sink.seen && !sink.found : sink.found;
    }

private:
    OperandPtr operand_;
    Relation relation_;
    Literal literal_;
    FieldType type_;
};

class CompareOperands final : public Node {
public:
    CompareOperands(OperandPtr left, Relation relation, OperandPtr right)
        : left_(std::move(left)), right_(std::move(right)), relation_(relation),
          type_(left_->type()) {}
    bool test(const FieldFrame& f) const override {
        // The right's values, kept: texts and bytes last only their visit.
        struct Keep final : ValueSink {
            bool take(const Value& value) override {
                values.push_back(value);
                storage.emplace_back(value.bytes.empty() ? std::string(value.text)
                                                         : std::string(bytesOf(value)));
                return false;
            }
            std::vector<Value> values;
            std::vector<std::string> storage;
        } right;
        right_->read(f, right);
        for (std::size_t i = 0; i < right.values.size(); ++i) {
            const std::string& kept = right.storage[i];
            if (right.values[i].bytes.empty()) {
                right.values[i].text = kept;
            } else {
                right.values[i].bytes = {reinterpret_cast<const std::uint8_t*>(kept.data()),
                                         kept.size()};
            }
        }
        const auto sink = visit(f, *left_, [&](const Value& value) {
            return std::any_of(right.values.begin(), right.values.end(), [&](const Value& other) {
                return holds(relation_, compareValues(value, other, type_));
            });
        });
        if (relation_ == Relation::NotEqual) {
            // Both there, and no pair equal.
            return sink.seen && !right.values.empty() && !sink.found;
        }
        return sink.found;
    }

private:
    OperandPtr left_, right_;
    Relation relation_;
    FieldType type_;
};

// A literal as a value, to order literals among themselves.
Value valueOf(const Literal& literal) {
    Value value;
    value.kind = literal.type == FieldType::Number ? FieldKind::Unsigned64 : FieldKind::Unsigned32;
    if (literal.type == FieldType::Number && literal.number < 0) {
        value.kind = FieldKind::Signed16; // compared as signed
    }
    value.number = static_cast<std::uint64_t>(literal.number);
    value.seconds = literal.nanoseconds / 1'000'000'000;
    value.nanoseconds = static_cast<std::int32_t>(literal.nanoseconds % 1'000'000'000);
    value.address = literal.bytes;
    value.text = literal.text;
    value.bytes = {reinterpret_cast<const std::uint8_t*>(literal.text.data()), literal.text.size()};
    return value;
}

// The lowest or highest address an address with a prefix stands for, as a
// whole address; other literals as they are.
Literal bound(Literal literal, bool highest) {
    if (literal.prefix < 0) {
        return literal;
    }
    if (literal.type == FieldType::IPv4) {
        const std::uint32_t host = literal.prefix >= 32  ? 0u
                                   : literal.prefix == 0 ? 0xFFFFFFFFu
                                                         : (1u << (32 - literal.prefix)) - 1u;
        const auto address = static_cast<std::uint32_t>(literal.number);
        literal.number = highest ? (address | host) : (address & ~host);
    } else if (literal.type == FieldType::IPv6) {
        for (int i = 0; i < 16; ++i) {
            const int keep = std::clamp(literal.prefix - i * 8, 0, 8);
            const auto host = static_cast<std::uint8_t>(0xFF >> keep);
            auto& byte = literal.bytes[static_cast<std::size_t>(i)];
            byte = static_cast<std::uint8_t>(highest ? (byte | host) : (byte & ~host));
        }
    }
    literal.prefix = -1;
    return literal;
}

// The ranges sorted and merged where they overlap, so that a value is looked
// up in logarithmic time: sets of thousands of members are typed by scripts.
class InSet final : public Node {
public:
    InSet(OperandPtr operand, std::vector<std::pair<Literal, Literal>> ranges)
        : operand_(std::move(operand)), type_(operand_->type()) {
        for (auto& [low, high] : ranges) {
            Literal from = bound(std::move(low), false);
            Literal to = bound(std::move(high), true);
            if (compare(valueOf(from), type_, to) <= 0) {
                ranges_.emplace_back(std::move(from), std::move(to));
            }
        }
        std::sort(ranges_.begin(), ranges_.end(), [this](const auto& a, const auto& b) {
            return compare(valueOf(a.first), type_, b.first) < 0;
        });
        std::vector<std::pair<Literal, Literal>> merged;
        for (auto& range : ranges_) {
            if (!merged.empty() &&
                compare(valueOf(range.first), type_, merged.back().second) <= 0) {
                if (compare(valueOf(range.second), type_, merged.back().second) > 0) {
                    merged.back().second = std::move(range.second);
                }
                continue;
            }
            merged.push_back(std::move(range));
        }
        ranges_ = std::move(merged);
    }
    bool test(const FieldFrame& f) const override {
        return visit(f, *operand_, [this](const Value& value) { return contains(value); }).found;
    }

private:
    [[nodiscard]] bool contains(const Value& value) const {
        // The last range that starts at or below the value is the only one
        // that can hold it.
        const auto after = std::upper_bound(ranges_.begin(), ranges_.end(), value,
                                            [this](const Value& v, const auto& range) {
                                                return compare(v, type_, range.first) < 0;
                                            });
        return after != ranges_.begin() && compare(value, type_, std::prev(after)->second) <= 0;
    }

    OperandPtr operand_;
    FieldType type_;
    std::vector<std::pair<Literal, Literal>> ranges_; // sorted, apart
};

class Contains final : public Node {
public:
    Contains(OperandPtr operand, std::string text)
        : operand_(std::move(operand)), text_(std::move(text)) {}
    bool test(const FieldFrame& f) const override {
        return visit(f, *operand_,
                     [this](const Value& value) {
                         const std::string_view in =
                             value.kind == FieldKind::Bytes ? bytesOf(value) : value.text;
                         return in.find(text_) != std::string_view::npos;
                     })
            .found;
    }

private:
    OperandPtr operand_;
    std::string text_;
};

class Matches final : public Node {
public:
    Matches(OperandPtr operand, std::shared_ptr<const Pattern> pattern, std::size_t column)
        : operand_(std::move(operand)), pattern_(std::move(pattern)), column_(column) {}
    bool test(const FieldFrame& f) const override {
        bool failed = false;
        const bool found = visit(f, *operand_, [&](const Value& value) {
                               const auto result = pattern_->search(value.text);
                               failed = result == Pattern::Result::LimitReached;
                               return result != Pattern::Result::NoMatch;
                           }).found;
        if (failed) {
            if (f.failure != nullptr && f.failure->empty()) {
                *f.failure = "the regular expression at column " + std::to_string(column_) +
                             " backtracks too much on frame " + std::to_string(f.number()) +
                             " (PCRE2's match limit); make it more specific";
            }
            return false;
        }
        return found;
    }

private:
    OperandPtr operand_;
    std::shared_ptr<const Pattern> pattern_;
    std::size_t column_;
};

} // namespace

OperandPtr makeFieldOperand(const Field& field) {
    return std::make_shared<FieldOperand>(field);
}
OperandPtr makeFunction(Function function, OperandPtr argument) {
    return std::make_shared<FunctionOperand>(function, std::move(argument));
}
OperandPtr makeMasked(OperandPtr operand, std::uint64_t mask) {
    return std::make_shared<MaskedOperand>(std::move(operand), mask);
}

NodePtr makeAnd(NodePtr left, NodePtr right) {
    return join(true, std::move(left), std::move(right));
}
NodePtr makeOr(NodePtr left, NodePtr right) {
    return join(false, std::move(left), std::move(right));
}
NodePtr makeNot(NodePtr operand) {
    return std::make_unique<Not>(std::move(operand));
}
NodePtr makePresent(OperandPtr operand, bool nonZero) {
    return std::make_unique<Present>(std::move(operand), nonZero);
}
NodePtr makeCompare(OperandPtr operand, Relation relation, Literal literal) {
    return std::make_unique<Compare>(std::move(operand), relation, std::move(literal));
}
NodePtr makeCompareOperands(OperandPtr left, Relation relation, OperandPtr right) {
    return std::make_unique<CompareOperands>(std::move(left), relation, std::move(right));
}
NodePtr makeInSet(OperandPtr operand, std::vector<std::pair<Literal, Literal>> ranges) {
    return std::make_unique<InSet>(std::move(operand), std::move(ranges));
}
NodePtr makeContains(OperandPtr operand, std::string text) {
    return std::make_unique<Contains>(std::move(operand), std::move(text));
}
NodePtr makeMatches(OperandPtr operand, std::shared_ptr<const Pattern> pattern,
                    std::size_t column) {
    return std::make_unique<Matches>(std::move(operand), std::move(pattern), column);
}

struct Pattern::Code {
    pcre2_code* code = nullptr;
    pcre2_match_context* context = nullptr;
};

std::shared_ptr<const Pattern> Pattern::compile(const std::string& pattern, std::string& error) {
    int status = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                     PCRE2_CASELESS | PCRE2_UTF | PCRE2_MATCH_INVALID_UTF, &status,
                                     &offset, nullptr);
    if (code == nullptr) {
        PCRE2_UCHAR message[256];
        pcre2_get_error_message(status, message, sizeof message);
        error = reinterpret_cast<const char*>(message);
        return nullptr;
    }
    // Compiled to machine code where PCRE2 can (it falls back to its
    // interpreter otherwise), and bounded either way: a pattern that
    // backtracks without end must not hold a filter for minutes.
    pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
    auto* context = pcre2_match_context_create(nullptr);
    pcre2_set_match_limit(context, matchLimit);
    pcre2_set_depth_limit(context, matchLimit);
    return std::shared_ptr<const Pattern>(new Pattern(new Code{code, context}));
}

Pattern::~Pattern() {
    pcre2_match_context_free(code_->context);
    pcre2_code_free(code_->code);
    delete code_;
}

Pattern::Result Pattern::search(std::string_view text) const {
    // Match data of this thread's own: a filter may be tested on several
    // threads, and making it anew for every value would cost more than most
    // matches do.
    struct Data {
        pcre2_match_data* data = pcre2_match_data_create(1, nullptr);
        ~Data() { pcre2_match_data_free(data); }
    };
    thread_local const Data data;
    const int result = pcre2_match(code_->code, reinterpret_cast<PCRE2_SPTR>(text.data()),
                                   text.size(), 0, 0, data.data, code_->context);
    if (result >= 0) {
        return Result::Match;
    }
    return result == PCRE2_ERROR_MATCHLIMIT || result == PCRE2_ERROR_DEPTHLIMIT ||
                   result == PCRE2_ERROR_HEAPLIMIT || result == PCRE2_ERROR_JIT_STACKLIMIT
               ? Result::LimitReached
               : Result::NoMatch;
}

std::string regexLibrary() {
    char version[64] = {};
    pcre2_config(PCRE2_CONFIG_VERSION, version);
    return std::string("PCRE2 ") + version;
}

} // namespace filter
