#include "filter/DisplayFilter.h"

#include "filter/FilterNodes.h"

#include <arpa/inet.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <vector>

namespace filter {
namespace {

// Tokens:  words (field names, numbers, addresses, bare text), "strings",
// and the operators == != < <= > >= && || ! ~ ( ) { } ,
struct Token {
    enum Kind { Word, String, Operator, End } kind = End;
    std::string text;
    std::size_t column = 0; // 1-based
};

bool isWordCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '.' || c == ':' ||
           c == '/' || c == '-';
}

std::string at(std::size_t column) {
    return " at column " + std::to_string(column);
}

bool tokenize(std::string_view text, std::vector<Token>& tokens, std::string& error) {
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        const std::size_t column = i + 1;
        if (std::isspace(static_cast<unsigned char>(c)) != 0) {
            ++i;
            continue;
        }
        if (c == '"') {
            std::string value;
            ++i;
            for (;; ++i) {
                if (i >= text.size()) {
                    error = "unterminated string" + at(column);
                    return false;
                }
                if (text[i] == '"') {
                    ++i;
                    break;
                }
                if (text[i] == '\\' && i + 1 < text.size()) {
                    const char e = text[++i];
                    if (e == 'n') {
                        value += '\n';
                    } else if (e == 't') {
                        value += '\t';
                    } else if (e == 'r') {
                        value += '\r';
                    } else if (e == 'x' && i + 2 < text.size() &&
                               std::isxdigit(static_cast<unsigned char>(text[i + 1])) != 0 &&
                               std::isxdigit(static_cast<unsigned char>(text[i + 2])) != 0) {
                        value += static_cast<char>(
                            std::strtol(std::string(text.substr(i + 1, 2)).c_str(), nullptr, 16));
                        i += 2;
                    } else {
                        value += e; // \" and \\ and anything else as itself
                    }
                    continue;
                }
                value += text[i];
            }
            tokens.push_back({Token::String, std::move(value), column});
            continue;
        }
        if (isWordCharacter(c)) {
            const std::size_t start = i;
            while (i < text.size() && isWordCharacter(text[i])) {
                ++i;
            }
            tokens.push_back({Token::Word, std::string(text.substr(start, i - start)), column});
            continue;
        }
        const std::string_view two = text.substr(i, 2);
        if (two == "==" || two == "!=" || two == "<=" || two == ">=" || two == "&&" ||
            two == "||") {
            tokens.push_back({Token::Operator, std::string(two), column});
            i += 2;
            continue;
        }
        if (c == '=') {
            error = "'=' is not an operator" + at(column) + "; compare with '=='";
            return false;
        }
        if (std::string_view("<>!~(){},").find(c) != std::string_view::npos) {
            tokens.push_back({Token::Operator, std::string(1, c), column});
            ++i;
            continue;
        }
        error = "unexpected character '" + std::string(1, c) + "'" + at(column);
        return false;
    }
    tokens.push_back({Token::End, "", text.size() + 1});
    return true;
}

class Parser {
public:
    Parser(std::vector<Token> tokens, std::string& error)
        : tokens_(std::move(tokens)), error_(error) {}

    NodePtr parse() {
        NodePtr root = orExpression();
        if (root && peek().kind != Token::End) {
            fail("unexpected " + describe(peek()) + at(peek().column));
            return nullptr;
        }
        return root;
    }
    [[nodiscard]] std::uint8_t needs() const { return needs_; }

private:
    const Token& peek() const { return tokens_[position_]; }
    const Token& next() {
        return tokens_[position_ < tokens_.size() - 1 ? position_++ : position_];
    }
    bool isOperator(const char* text) const {
        return (peek().kind == Token::Operator || peek().kind == Token::Word) &&
               peek().text == text;
    }
    bool accept(std::initializer_list<const char*> spellings) {
        for (const char* spelling : spellings) {
            if (isOperator(spelling)) {
                ++position_;
                return true;
            }
        }
        return false;
    }
    std::nullptr_t fail(std::string message) {
        if (error_.empty()) {
            error_ = std::move(message);
        }
        return nullptr;
    }
    static std::string describe(const Token& token) {
        switch (token.kind) {
        case Token::End:
            return "end of the expression";
        case Token::String:
            return "\"" + token.text + "\"";
        default:
            return "'" + token.text + "'";
        }
    }

    NodePtr orExpression() {
        NodePtr left = andExpression();
        while (left && accept({"||", "or"})) {
            NodePtr right = andExpression();
            if (!right) {
                return nullptr;
            }
            left = makeOr(std::move(left), std::move(right));
        }
        return left;
    }

    NodePtr andExpression() {
        NodePtr left = unary();
        while (left && accept({"&&", "and"})) {
            NodePtr right = unary();
            if (!right) {
                return nullptr;
            }
            left = makeAnd(std::move(left), std::move(right));
        }
        return left;
    }

    // A negation or a parenthesis opens a level; each level is a recursion,
    // so their depth is bounded.
    NodePtr unary() {
        const bool negation = isOperator("!") || isOperator("not");
        const bool group = isOperator("(") && peek().kind == Token::Operator;
        if (!negation && !group) {
            return test();
        }
        if (depth_ == DisplayFilter::maxNesting) {
            return fail("the expression nests more than " +
                        std::to_string(DisplayFilter::maxNesting) +
                        " parentheses and negations deep" + at(peek().column));
        }
        ++depth_;
        NodePtr inner = negation ? negated() : grouped();
        --depth_;
        return inner;
    }

    NodePtr negated() {
        next();
        NodePtr operand = unary();
        return operand ? makeNot(std::move(operand)) : nullptr;
    }

    NodePtr grouped() {
        const std::size_t column = next().column;
        NodePtr inner = orExpression();
        if (!inner) {
            return nullptr;
        }
        if (!accept({")"})) {
            return fail("the '(' at column " + std::to_string(column) +
                        " is not closed: " + describe(peek()) + at(peek().column));
        }
        return inner;
    }

    // A field alone, or a field and what it is compared with.
    NodePtr test() {
        const Token& name = next();
        if (name.kind != Token::Word) {
            return fail("a field was expected" + at(name.column) + ", not " + describe(name));
        }
        const Field* field = findField(name.text);
        if (field == nullptr) {
            return fail("unknown field '" + name.text + "'" + at(name.column));
        }
        needs_ |= field->needs;
        static const std::pair<const char*, Relation> relations[] = {
            {"==", Relation::Equal},
            {"eq", Relation::Equal},
            {"!=", Relation::NotEqual},
            {"ne", Relation::NotEqual},
            {"<=", Relation::LessOrEqual},
            {"le", Relation::LessOrEqual},
            {">=", Relation::GreaterOrEqual},
            {"ge", Relation::GreaterOrEqual},
            {"<", Relation::Less},
            {"lt", Relation::Less},
            {">", Relation::Greater},
            {"gt", Relation::Greater},
        };
        for (const auto& [spelling, relation] : relations) {
            if (accept({spelling})) {
                auto literal = value(*field, spelling);
                return literal ? makeCompare(*field, relation, std::move(*literal)) : nullptr;
            }
        }
        if (accept({"contains"})) {
            return textTest(*field, "contains", false);
        }
        if (accept({"matches", "~"})) {
            return textTest(*field, "matches", true);
        }
        if (accept({"in"})) {
            return set(*field);
        }
        return makePresent(*field);
    }

    NodePtr textTest(const Field& field, const char* what, bool regular) {
        const Token& token = next();
        if (token.kind != Token::String && token.kind != Token::Word) {
            return fail("a text was expected after '" + std::string(what) + "'" + at(token.column) +
                        ", not " + describe(token));
        }
        if (field.type != FieldType::String) {
            return fail("type error" + at(token.column) + ": '" + what +
                        "' needs a text field, and " + field.name + " is " + typeName(field.type));
        }
        if (!regular) {
            return makeContains(field, token.text);
        }
        std::string why;
        auto pattern = Pattern::compile(token.text, why);
        if (!pattern) {
            return fail("invalid regular expression" + at(token.column) + ": " + why);
        }
        return makeMatches(field, std::move(pattern), token.column);
    }

    // in {1, 2, 5..9}: values and ranges, apart by commas or spaces.
    NodePtr set(const Field& field) {
        if (!accept({"{"})) {
            return fail("'{' was expected after 'in'" + at(peek().column) + ", not " +
                        describe(peek()));
        }
        std::vector<std::pair<Literal, Literal>> ranges;
        while (!accept({"}"})) {
            if (peek().kind == Token::End) {
                return fail("the set is not closed with '}'" + at(peek().column));
            }
            if (!ranges.empty() && accept({","}) && isOperator("}")) {
                continue;
            }
            const Token& token = peek();
            const auto dots = token.kind == Token::Word ? token.text.find("..") : std::string::npos;
            if (dots != std::string::npos && dots > 0 && dots + 2 < token.text.size()) {
                next();
                auto low = literal(field, {Token::Word, token.text.substr(0, dots), token.column});
                auto high = literal(
                    field, {Token::Word, token.text.substr(dots + 2), token.column + dots + 2});
                if (!low || !high) {
                    return nullptr;
                }
                ranges.emplace_back(std::move(*low), std::move(*high));
                continue;
            }
            auto low = value(field, "{");
            if (!low) {
                return nullptr;
            }
            if (accept({".."})) {
                auto high = value(field, "..");
                if (!high) {
                    return nullptr;
                }
                ranges.emplace_back(std::move(*low), std::move(*high));
            } else {
                ranges.emplace_back(*low, *low);
            }
        }
        if (ranges.empty()) {
            return fail("the set after 'in' is empty" + at(peek().column));
        }
        return makeInSet(field, std::move(ranges));
    }

    std::optional<Literal> value(const Field& field, const char* after) {
        const Token& token = next();
        if (token.kind != Token::Word && token.kind != Token::String) {
            fail("a value was expected after '" + std::string(after) + "'" + at(token.column) +
                 ", not " + describe(token));
            return std::nullopt;
        }
        return literal(field, token);
    }

    // The token read as a value of the field's type.
    std::optional<Literal> literal(const Field& field, const Token& token) {
        Literal literal;
        literal.type = field.type;
        const std::string& text = token.text;
        auto wrong = [&](const std::string& why) -> std::optional<Literal> {
            fail(why);
            return std::nullopt;
        };
        if (token.kind == Token::String && field.type != FieldType::String) {
            // A quoted value name is still a name (iax2.iax.subclass == "NEW").
            if (const std::int64_t named = numberNamed(field, text); named >= 0) {
                literal.number = named;
                return literal;
            }
            return wrong("type error" + at(token.column) + ": " + field.name + " is " +
                         typeName(field.type) + ", and \"" + text + "\" is a string");
        }
        const std::string expected = "'" + text + "' is not " + typeName(field.type) + ", as " +
                                     field.name + " needs," + at(token.column);
        switch (field.type) {
        case FieldType::String:
            literal.text = text;
            return literal;
        case FieldType::Number:
        case FieldType::Boolean: {
            if (field.type == FieldType::Boolean &&
                (text == "True" || text == "TRUE" || text == "true")) {
                literal.number = 1;
                return literal;
            }
            if (field.type == FieldType::Boolean &&
                (text == "False" || text == "FALSE" || text == "false")) {
                literal.number = 0;
                return literal;
            }
            // Decimal, 0x hexadecimal, or octal with a leading 0, as in C.
            char* end = nullptr;
            errno = 0;
            const long long n = std::strtoll(text.c_str(), &end, 0);
            if (end != text.c_str() && *end == '\0' && errno == 0) {
                literal.number = n;
                return literal;
            }
            if (const std::int64_t named = numberNamed(field, text); named >= 0) {
                literal.number = named;
                return literal;
            }
            return wrong(expected);
        }
        case FieldType::Time: {
            char* end = nullptr;
            literal.seconds = std::strtod(text.c_str(), &end);
            return end != text.c_str() && *end == '\0' ? std::optional(literal) : wrong(expected);
        }
        case FieldType::IPv4:
        case FieldType::IPv6: {
            std::string address = text;
            if (const auto slash = text.find('/'); slash != std::string::npos) {
                address = text.substr(0, slash);
                char* end = nullptr;
                const long bits = std::strtol(text.c_str() + slash + 1, &end, 10);
                const long most = field.type == FieldType::IPv4 ? 32 : 128;
                if (end == text.c_str() + slash + 1 || *end != '\0' || bits < 0 || bits > most) {
                    return wrong(expected);
                }
                literal.prefix = static_cast<int>(bits);
            }
            if (field.type == FieldType::IPv4) {
                in_addr parsed{};
                if (inet_pton(AF_INET, address.c_str(), &parsed) != 1) {
                    return wrong(expected);
                }
                literal.number = ntohl(parsed.s_addr);
            } else if (inet_pton(AF_INET6, address.c_str(), literal.bytes.data()) != 1) {
                return wrong(expected);
            }
            return literal;
        }
        case FieldType::Ether: {
            // 02:00:00:00:00:01, 02-00-00-00-00-01 or 0200.0000.0001
            std::string digits;
            for (const char c : text) {
                if (std::isxdigit(static_cast<unsigned char>(c)) != 0) {
                    digits += c;
                } else if (c != ':' && c != '-' && c != '.') {
                    return wrong(expected);
                }
            }
            if (digits.size() != 12) {
                return wrong(expected);
            }
            for (std::size_t i = 0; i < 6; ++i) {
                literal.bytes[i] = static_cast<std::uint8_t>(
                    std::strtol(digits.substr(i * 2, 2).c_str(), nullptr, 16));
            }
            return literal;
        }
        }
        return wrong(expected);
    }

    std::vector<Token> tokens_;
    std::size_t position_ = 0;
    std::string& error_;
    std::uint8_t needs_ = NeedsNothing;
    int depth_ = 0;
};

} // namespace

std::optional<DisplayFilter> DisplayFilter::compile(std::string_view expression,
                                                    std::string& error) {
    error.clear();
    std::vector<Token> tokens;
    if (!tokenize(expression, tokens, error)) {
        return std::nullopt;
    }
    if (tokens.size() == 1) {
        error = "the expression is empty";
        return std::nullopt;
    }
    Parser parser(std::move(tokens), error);
    NodePtr root = parser.parse();
    if (!root) {
        if (error.empty()) {
            error = "the expression cannot be read";
        }
        return std::nullopt;
    }
    DisplayFilter filter;
    filter.root_ = std::move(root);
    filter.expression_ = std::string(expression);
    filter.needs_ = parser.needs();
    return filter;
}

Verdict DisplayFilter::test(const KvIAXFrame& frame, std::uint32_t frameNumber,
                           const FilterContext& context, std::string& why) const {
    why.clear();
    const bool matched = root_->test(FilterFrame{frame, frameNumber, context, &why});
    return !why.empty() ? Verdict::Failed : matched ? Verdict::Match : Verdict::NoMatch;
}

} // namespace filter
