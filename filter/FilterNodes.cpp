#include "filter/FilterNodes.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <cstring>

namespace filter {
namespace {

// -1, 0 or 1: the value against the literal. An address with a prefix
// compares only its first prefix bits.
int compare(const Value& value, const Literal& literal) {
    auto sign = [](auto a, auto b) { return a < b ? -1 : a > b ? 1 : 0; };
    switch (literal.type) {
    case FieldType::Number:
    case FieldType::Boolean:
        return sign(value.number, literal.number);
    case FieldType::Time:
        return sign(value.seconds, literal.seconds);
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
            const int s = sign(value.bytes[static_cast<std::size_t>(i)] & mask,
                               literal.bytes[static_cast<std::size_t>(i)] & mask);
            if (s != 0) {
                return s;
            }
        }
        return 0;
    }
    case FieldType::Ether:
        return sign(std::memcmp(value.bytes.data(), literal.bytes.data(), 6), 0);
    case FieldType::String:
        return sign(value.text.compare(literal.text), 0);
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

// Visits a field's values until one satisfies `test`; says whether any
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
AnySink<Test> visit(const FilterFrame& frame, const Field& field, const Test& test) {
    AnySink<Test> sink(test);
    field.read(frame, field, sink);
    return sink;
}

// `a and b and c` is one node of three operands, not a chain of nested
// nodes: an expression of 100,000 terms is tested without deep recursion.
class Conjunction final : public Node {
public:
    Conjunction(bool all, NodePtr left, NodePtr right) : all_(all) {
        operands_.push_back(std::move(left));
        operands_.push_back(std::move(right));
    }
    bool test(const FilterFrame& f) const override {
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
    bool test(const FilterFrame& f) const override { return !operand_->test(f); }

private:
    NodePtr operand_;
};

class Present final : public Node {
public:
    explicit Present(const Field& field) : field_(field) {}
    bool test(const FilterFrame& f) const override {
        return visit(f, field_, [](const Value&) { return true; }).found;
    }

private:
    const Field& field_;
};

class Compare final : public Node {
public:
    Compare(const Field& field, Relation relation, Literal literal)
        : field_(field), relation_(relation), literal_(std::move(literal)) {}
    bool test(const FilterFrame& f) const override {
        const auto sink = visit(f, field_, [this](const Value& value) {
            return holds(relation_, compare(value, literal_));
        });
        return relation_ == Relation::NotEqual ? sink.seen && !sink.found : sink.found;
    }

private:
    const Field& field_;
    Relation relation_;
    Literal literal_;
};

// A literal as a value, to order literals among themselves.
Value valueOf(const Literal& literal) {
    Value value;
    value.type = literal.type;
    value.number = literal.number;
    value.seconds = literal.seconds;
    value.bytes = literal.bytes;
    value.text = literal.text;
    return value;
}

// The lowest or highest address an address with a prefix stands for, as a
// whole address; other literals as they are.
Literal bound(Literal literal, bool highest) {
    if (literal.prefix < 0) {
        return literal;
    }
    if (literal.type == FieldType::IPv4) {
        const std::uint32_t host =
            literal.prefix >= 32 ? 0u
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
    InSet(const Field& field, std::vector<std::pair<Literal, Literal>> ranges) : field_(field) {
        for (auto& [low, high] : ranges) {
            Literal from = bound(std::move(low), false);
            Literal to = bound(std::move(high), true);
            if (compare(valueOf(from), to) <= 0) {
                ranges_.emplace_back(std::move(from), std::move(to));
            }
        }
        std::sort(ranges_.begin(), ranges_.end(), [](const auto& a, const auto& b) {
            return compare(valueOf(a.first), b.first) < 0;
        });
        std::vector<std::pair<Literal, Literal>> merged;
        for (auto& range : ranges_) {
            if (!merged.empty() && compare(valueOf(range.first), merged.back().second) <= 0) {
                if (compare(valueOf(range.second), merged.back().second) > 0) {
                    merged.back().second = std::move(range.second);
                }
                continue;
            }
            merged.push_back(std::move(range));
        }
        ranges_ = std::move(merged);
    }
    bool test(const FilterFrame& f) const override {
        return visit(f, field_, [this](const Value& value) { return contains(value); }).found;
    }

private:
    [[nodiscard]] bool contains(const Value& value) const {
        // The last range that starts at or below the value is the only one
        // that can hold it.
        const auto after = std::upper_bound(
            ranges_.begin(), ranges_.end(), value,
            [](const Value& v, const auto& range) { return compare(v, range.first) < 0; });
        return after != ranges_.begin() && compare(value, std::prev(after)->second) <= 0;
    }

    const Field& field_;
    std::vector<std::pair<Literal, Literal>> ranges_; // sorted, apart
};

class Contains final : public Node {
public:
    Contains(const Field& field, std::string text) : field_(field), text_(std::move(text)) {}
    bool test(const FilterFrame& f) const override {
        return visit(f, field_,
                     [this](const Value& value) {
                         return value.text.find(text_) != std::string_view::npos;
                     })
            .found;
    }

private:
    const Field& field_;
    std::string text_;
};

class Matches final : public Node {
public:
    Matches(const Field& field, std::shared_ptr<const Pattern> pattern, std::size_t column)
        : field_(field), pattern_(std::move(pattern)), column_(column) {}
    bool test(const FilterFrame& f) const override {
        bool failed = false;
        const bool found = visit(f, field_, [&](const Value& value) {
                               const auto result = pattern_->search(value.text);
                               failed = result == Pattern::Result::LimitReached;
                               return result != Pattern::Result::NoMatch;
                           }).found;
        if (failed) {
            if (f.failure != nullptr && f.failure->empty()) {
                *f.failure = "the regular expression at column " + std::to_string(column_) +
                             " backtracks too much on frame " + std::to_string(f.number) +
                             " (PCRE2's match limit); make it more specific";
            }
            return false;
        }
        return found;
    }

private:
    const Field& field_;
    std::shared_ptr<const Pattern> pattern_;
    std::size_t column_;
};

} // namespace

NodePtr makeAnd(NodePtr left, NodePtr right) {
    return join(true, std::move(left), std::move(right));
}
NodePtr makeOr(NodePtr left, NodePtr right) {
    return join(false, std::move(left), std::move(right));
}
NodePtr makeNot(NodePtr operand) {
    return std::make_unique<Not>(std::move(operand));
}
NodePtr makePresent(const Field& field) {
    return std::make_unique<Present>(field);
}
NodePtr makeCompare(const Field& field, Relation relation, Literal literal) {
    return std::make_unique<Compare>(field, relation, std::move(literal));
}
NodePtr makeInSet(const Field& field, std::vector<std::pair<Literal, Literal>> ranges) {
    return std::make_unique<InSet>(field, std::move(ranges));
}
NodePtr makeContains(const Field& field, std::string text) {
    return std::make_unique<Contains>(field, std::move(text));
}
NodePtr makeMatches(const Field& field, std::shared_ptr<const Pattern> pattern,
                    std::size_t column) {
    return std::make_unique<Matches>(field, std::move(pattern), column);
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
    const int result =
        pcre2_match(code_->code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0, 0,
                    data.data, code_->context);
    if (result >= 0) {
        return Result::Match;
    }
    return result == PCRE2_ERROR_MATCHLIMIT || result == PCRE2_ERROR_DEPTHLIMIT ||
                   result == PCRE2_ERROR_HEAPLIMIT || result == PCRE2_ERROR_JIT_STACKLIMIT
               ? Result::LimitReached
               : Result::NoMatch;
}

} // namespace filter
