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

class And final : public Node {
public:
    And(NodePtr l, NodePtr r) : left_(std::move(l)), right_(std::move(r)) {}
    bool test(const FilterFrame& f) const override { return left_->test(f) && right_->test(f); }

private:
    NodePtr left_, right_;
};

class Or final : public Node {
public:
    Or(NodePtr l, NodePtr r) : left_(std::move(l)), right_(std::move(r)) {}
    bool test(const FilterFrame& f) const override { return left_->test(f) || right_->test(f); }

private:
    NodePtr left_, right_;
};

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

class InSet final : public Node {
public:
    InSet(const Field& field, std::vector<std::pair<Literal, Literal>> ranges)
        : field_(field), ranges_(std::move(ranges)) {}
    bool test(const FilterFrame& f) const override {
        return visit(f, field_,
                     [this](const Value& value) {
                         return std::any_of(ranges_.begin(), ranges_.end(), [&](const auto& range) {
                             return compare(value, range.first) >= 0 &&
                                    compare(value, range.second) <= 0;
                         });
                     })
            .found;
    }

private:
    const Field& field_;
    std::vector<std::pair<Literal, Literal>> ranges_;
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
    Matches(const Field& field, std::shared_ptr<const Pattern> pattern)
        : field_(field), pattern_(std::move(pattern)) {}
    bool test(const FilterFrame& f) const override {
        return visit(f, field_, [this](const Value& value) { return pattern_->search(value.text); })
            .found;
    }

private:
    const Field& field_;
    std::shared_ptr<const Pattern> pattern_;
};

} // namespace

NodePtr makeAnd(NodePtr left, NodePtr right) {
    return std::make_unique<And>(std::move(left), std::move(right));
}
NodePtr makeOr(NodePtr left, NodePtr right) {
    return std::make_unique<Or>(std::move(left), std::move(right));
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
NodePtr makeMatches(const Field& field, std::shared_ptr<const Pattern> pattern) {
    return std::make_unique<Matches>(field, std::move(pattern));
}

struct Pattern::Code {
    pcre2_code* code;
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
    return std::shared_ptr<const Pattern>(new Pattern(new Code{code}));
}

Pattern::~Pattern() {
    pcre2_code_free(code_->code);
    delete code_;
}

bool Pattern::search(std::string_view text) const {
    // Match data per search: a filter may be tested on several threads.
    pcre2_match_data* data = pcre2_match_data_create_from_pattern(code_->code, nullptr);
    const int result = pcre2_match(code_->code, reinterpret_cast<PCRE2_SPTR>(text.data()),
                                   text.size(), 0, 0, data, nullptr);
    pcre2_match_data_free(data);
    return result >= 0; // a match; no match, and the match limit, are both "no"
}

} // namespace filter
