#include "filter/DisplayFilter.h"

#include "filter/FilterNodes.h"

#include <arpa/inet.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace filter {
namespace {

// Tokens:  words (field names, numbers, addresses, bare text), "strings",
// and the operators == != < <= > >= && || ! ~ ( ) { } , &
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
        if (std::string_view("<>!~(){},&").find(c) != std::string_view::npos) {
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

// "61:62:63", "61-62-63", "61.62.63" or "616263" as bytes; false where not.
bool hexBytes(const std::string& text, std::string& bytes) {
    std::string digits;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (std::isxdigit(static_cast<unsigned char>(c)) != 0) {
            digits += c;
        } else if ((c != ':' && c != '-' && c != '.') || digits.size() % 2 != 0) {
            return false;
        }
    }
    if (digits.empty() || digits.size() % 2 != 0) {
        return false;
    }
    bytes.clear();
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::strtol(digits.substr(i, 2).c_str(), nullptr, 16)));
    }
    return true;
}

// Seconds written in decimal, to the nanosecond, as nanoseconds.
std::optional<std::int64_t> parseSeconds(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) {
        text.remove_prefix(1);
    }
    std::int64_t whole = 0;
    std::int64_t fraction = 0;
    std::size_t i = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0; ++i) {
        if (whole > 9'000'000'000LL) {
            return std::nullopt;
        }
        whole = whole * 10 + (text[i] - '0');
    }
    const std::size_t wholeDigits = i;
    std::int64_t scale = 100'000'000;
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0; ++i) {
            fraction += (text[i] - '0') * scale;
            scale /= 10;
        }
    }
    // Past about 292 years the nanoseconds no longer fit.
    if (i != text.size() || (wholeDigits == 0 && i <= 1) || whole > 9'223'372'035LL) {
        return std::nullopt;
    }
    const std::int64_t total = whole * 1'000'000'000 + fraction;
    return negative ? -total : total;
}

// A date and time, in the local time zone unless it says UTC, as
// nanoseconds since 1970.
std::optional<std::int64_t> parseMoment(const std::string& text) {
    std::tm parts{};
    const char* rest = strptime(text.c_str(), "%Y-%m-%d %H:%M:%S", &parts);
    if (rest == nullptr) {
        parts = {};
        rest = strptime(text.c_str(), "%b %d, %Y %H:%M:%S", &parts);
    }
    if (rest == nullptr) {
        return std::nullopt;
    }
    std::int64_t fraction = 0;
    if (*rest == '.') {
        std::int64_t scale = 100'000'000;
        for (++rest; std::isdigit(static_cast<unsigned char>(*rest)) != 0; ++rest) {
            fraction += (*rest - '0') * scale;
            scale /= 10;
        }
    }
    while (*rest == ' ') {
        ++rest;
    }
    const bool utc = std::string_view(rest) == "UTC";
    if (*rest != '\0' && !utc) {
        return std::nullopt;
    }
    parts.tm_isdst = -1;
    const std::time_t seconds = utc ? timegm(&parts) : std::mktime(&parts);
    return static_cast<std::int64_t>(seconds) * 1'000'000'000 + fraction;
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

    // One level of nesting: a parenthesis, a negation or a function call.
    // Parsing and testing recurse once a level, whatever its kind, so one
    // count bounds them all; false, with the error set, past the bound.
    class Level {
    public:
        explicit Level(Parser& parser) : parser_(parser) { ++parser_.depth_; }
        ~Level() { --parser_.depth_; }
        Level(const Level&) = delete;
        Level& operator=(const Level&) = delete;
        bool allowed(std::size_t column) {
            if (parser_.depth_ <= DisplayFilter::maxNesting) {
                return true;
            }
            parser_.fail("the expression nests more than " +
                         std::to_string(DisplayFilter::maxNesting) +
                         " levels deep (parentheses, negations and function calls)" + at(column));
            return false;
        }

    private:
        Parser& parser_;
    };

    NodePtr unary() {
        const bool negation = isOperator("!") || isOperator("not");
        const bool group = isOperator("(") && peek().kind == Token::Operator;
        if (!negation && !group) {
            return test();
        }
        Level level(*this);
        if (!level.allowed(peek().column)) {
            return nullptr;
        }
        return negation ? negated() : grouped();
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

    // A field or function: `iax2.src_call`, `len(iax2.iax.username)`.
    // Nothing, with the error set, where it is neither.
    OperandPtr operand(const Field*& named) {
        const Token& name = next();
        if (name.kind != Token::Word) {
            fail("a field was expected" + at(name.column) + ", not " + describe(name));
            return nullptr;
        }
        static const std::pair<const char*, Function> functions[] = {
            {"len", Function::Length},
            {"upper", Function::Upper},
            {"lower", Function::Lower},
            {"count", Function::Count},
        };
        for (const auto& [spelling, function] : functions) {
            if (name.text != spelling || !isOperator("(")) {
                continue;
            }
            Level level(*this);
            if (!level.allowed(name.column)) {
                return nullptr;
            }
            next();
            const Field* inner = nullptr;
            OperandPtr argument = operand(inner);
            if (!argument) {
                return nullptr;
            }
            if (!accept({")"})) {
                fail("the call of " + name.text + "() at column " + std::to_string(name.column) +
                     " is not closed: " + describe(peek()) + at(peek().column));
                return nullptr;
            }
            const FieldType type = argument->type();
            if ((function == Function::Upper || function == Function::Lower) &&
                type != FieldType::String) {
                fail("type error" + at(name.column) + ": " + name.text +
                     "() needs text, and its argument is " + typeName(type));
                return nullptr;
            }
            named = nullptr;
            return makeFunction(function, std::move(argument));
        }
        const Field* field = findField(name.text);
        if (field == nullptr) {
            fail("unknown field '" + name.text + "'" + at(name.column));
            return nullptr;
        }
        needs_ |= field->needs;
        named = field;
        return makeFieldOperand(*field);
    }

    // A field or function alone, or with what it is compared with.
    NodePtr test() {
        const Field* field = nullptr;
        const std::size_t column = peek().column;
        OperandPtr left = operand(field);
        if (!left) {
            return nullptr;
        }
        bool masked = false;
        if (accept({"&"})) {
            const Token& token = next();
            const std::string maskText = token.text;
            char* end = nullptr;
            errno = 0;
            const unsigned long long mask = std::strtoull(maskText.c_str(), &end, 0);
            if (token.kind != Token::Word || end == maskText.c_str() || *end != '\0' ||
                errno != 0) {
                return fail("a number was expected after '&'" + at(token.column) + ", not " +
                            describe(token));
            }
            if (left->type() != FieldType::Number && left->type() != FieldType::Boolean) {
                return fail("type error" + at(column) + ": '&' needs a number, and " +
                            (field != nullptr ? field->name : std::string("that")) + " is " +
                            typeName(left->type()));
            }
            left = makeMasked(std::move(left), mask);
            masked = true;
        }
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
        const std::string name = field != nullptr ? field->name : std::string("the function");
        for (const auto& [spelling, relation] : relations) {
            if (!accept({spelling})) {
                continue;
            }
            if (left->type() == FieldType::None) {
                return fail("type error" + at(column) + ": " + name +
                            " has no value to compare, only presence");
            }
            // Another field (or function) on the right: a field-to-field comparison.
            if (const Field* other = otherField()) {
                const std::size_t rightColumn = peek().column;
                const Field* ignored = nullptr;
                OperandPtr right = operand(ignored);
                if (!right) {
                    return nullptr;
                }
                if (!comparable(left->type(), right->type())) {
                    return fail("type error" + at(rightColumn) + ": " + name + " is " +
                                typeName(left->type()) + ", and " + other->name + " is " +
                                typeName(right->type()));
                }
                return makeCompareOperands(std::move(left), relation, std::move(right));
            }
            auto literal = value(left->type(), name, field, spelling);
            return literal ? makeCompare(std::move(left), relation, std::move(*literal)) : nullptr;
        }
        if (accept({"contains"})) {
            return textTest(std::move(left), name, "contains", false);
        }
        if (accept({"matches", "~"})) {
            return textTest(std::move(left), name, "matches", true);
        }
        if (accept({"in"})) {
            return set(std::move(left), name, field);
        }
        return makePresent(std::move(left), masked);
    }

    // The field the next token names, where it is one rather than a value:
    // a function call, or a word that is a field's name and no value of the
    // left's type.
    const Field* otherField() {
        const Token& token = peek();
        if (token.kind != Token::Word) {
            return nullptr;
        }
        if ((token.text == "len" || token.text == "upper" || token.text == "lower" ||
             token.text == "count") &&
            position_ + 1 < tokens_.size() && tokens_[position_ + 1].text == "(") {
            static const Field function{};
            return &function;
        }
        const Field* field = findField(token.text);
        const bool number = std::isdigit(static_cast<unsigned char>(token.text.front())) != 0;
        return field != nullptr && !number && token.text.find('.') != std::string::npos ? field
                                                                                         : nullptr;
    }

    static bool comparable(FieldType a, FieldType b) {
        const bool numeric = (a == FieldType::Number || a == FieldType::Boolean) &&
                             (b == FieldType::Number || b == FieldType::Boolean);
        return a == b || numeric;
    }

    NodePtr textTest(OperandPtr operand, const std::string& name, const char* what, bool regular) {
        const Token& token = next();
        if (token.kind != Token::String && token.kind != Token::Word) {
            return fail("a text was expected after '" + std::string(what) + "'" + at(token.column) +
                        ", not " + describe(token));
        }
        const FieldType type = operand->type();
        if (type != FieldType::String && !(type == FieldType::Bytes && !regular)) {
            return fail("type error" + at(token.column) + ": '" + what +
                        "' needs a text field, and " + name + " is " + typeName(type));
        }
        if (!regular) {
            std::string text = token.text;
            if (type == FieldType::Bytes && token.kind == Token::Word) {
                Literal bytes;
                if (!hexBytes(token.text, bytes.text)) {
                    return fail("'" + token.text + "' is not bytes, as " + name + " needs," +
                                at(token.column));
                }
                text = bytes.text;
            }
            return makeContains(std::move(operand), std::move(text));
        }
        std::string why;
        auto pattern = Pattern::compile(token.text, why);
        if (!pattern) {
            return fail("invalid regular expression" + at(token.column) + ": " + why);
        }
        return makeMatches(std::move(operand), std::move(pattern), token.column);
    }

    // in {1, 2, 5..9}: values and ranges, apart by commas or spaces.
    NodePtr set(OperandPtr operand, const std::string& name, const Field* field) {
        const FieldType type = operand->type();
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
                auto low = literal(type, name, field,
                                   {Token::Word, token.text.substr(0, dots), token.column});
                auto high = literal(type, name, field,
                                    {Token::Word, token.text.substr(dots + 2),
                                     token.column + dots + 2});
                if (!low || !high) {
                    return nullptr;
                }
                ranges.emplace_back(std::move(*low), std::move(*high));
                continue;
            }
            auto low = value(type, name, field, "{");
            if (!low) {
                return nullptr;
            }
            if (accept({".."})) {
                auto high = value(type, name, field, "..");
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
        return makeInSet(std::move(operand), std::move(ranges));
    }

    std::optional<Literal> value(FieldType type, const std::string& name, const Field* field,
                                 const char* after) {
        const Token& token = next();
        if (token.kind != Token::Word && token.kind != Token::String) {
            fail("a value was expected after '" + std::string(after) + "'" + at(token.column) +
                 ", not " + describe(token));
            return std::nullopt;
        }
        return literal(type, name, field, token);
    }

    // The token read as a value of the type (`field` is the field compared
    // with, for its value names; nullptr for a function).
    std::optional<Literal> literal(FieldType type, const std::string& name, const Field* field,
                                   const Token& token) {
        Literal literal;
        literal.type = type;
        const std::string& text = token.text;
        auto wrong = [&](const std::string& why) -> std::optional<Literal> {
            fail(why);
            return std::nullopt;
        };
        if (token.kind == Token::String && type != FieldType::String && type != FieldType::Time &&
            type != FieldType::Bytes) {
            // A quoted value name is still a name (iax2.iax.subclass == "NEW").
            if (const std::int64_t named = field != nullptr ? fields::numberNamed(*field, text) : -1;
                named >= 0) {
                literal.number = named;
                return literal;
            }
            return wrong("type error" + at(token.column) + ": " + name + " is " + typeName(type) +
                         ", and \"" + text + "\" is a string");
        }
        const std::string expected = "'" + text + "' is not " + typeName(type) + ", as " + name +
                                     " needs," + at(token.column);
        switch (type) {
        case FieldType::String:
            literal.text = text;
            return literal;
        case FieldType::None:
            return wrong(expected);
        case FieldType::Bytes:
            if (token.kind == Token::String) {
                literal.text = text;
                return literal;
            }
            return hexBytes(text, literal.text) ? std::optional(literal) : wrong(expected);
        case FieldType::Number:
        case FieldType::Boolean: {
            if (type == FieldType::Boolean &&
                (text == "True" || text == "TRUE" || text == "true")) {
                literal.number = 1;
                return literal;
            }
            if (type == FieldType::Boolean &&
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
            if (const std::int64_t named = field != nullptr ? fields::numberNamed(*field, text) : -1;
                named >= 0) {
                literal.number = named;
                return literal;
            }
            return wrong(expected);
        }
        case FieldType::Time: {
            // Seconds ("0.5", "-0.003", "1767261600.012"), or a date in the
            // local time zone ("2026-01-01 10:00:00.5", "Jan  1, 2026 10:00:00").
            if (const auto nanoseconds = parseSeconds(text)) {
                literal.nanoseconds = *nanoseconds;
                return literal;
            }
            if (const auto moment = parseMoment(text)) {
                literal.nanoseconds = *moment;
                return literal;
            }
            return wrong(expected);
        }
        case FieldType::IPv4:
        case FieldType::IPv6: {
            std::string address = text;
            if (const auto slash = text.find('/'); slash != std::string::npos) {
                address = text.substr(0, slash);
                char* end = nullptr;
                const long bits = std::strtol(text.c_str() + slash + 1, &end, 10);
                const long most = type == FieldType::IPv4 ? 32 : 128;
                if (end == text.c_str() + slash + 1 || *end != '\0' || bits < 0 || bits > most) {
                    return wrong(expected);
                }
                literal.prefix = static_cast<int>(bits);
            }
            if (type == FieldType::IPv4) {
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
                           const FieldContext& context, std::string& why) const {
    why.clear();
    FieldFrame source(frame, frameNumber, context);
    source.failure = &why;
    const bool matched = root_->test(source);
    return !why.empty() ? Verdict::Failed : matched ? Verdict::Match : Verdict::NoMatch;
}

} // namespace filter
