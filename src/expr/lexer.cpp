// The expression lexer. The C-style rule table is built once per process and copied into every
// lexer. Its pattern rules carry scanners that match exactly what the patterns match, so reading
// a token costs the token's length, not a regular-expression search over the rest of the text.
#include "expr/lexer.h"

#include "base/integer_literal.h"
#include "expr/parser_exception.h"

namespace ldweave {

TokenRule TokenRule::fromPattern(const QString &pattern, TokenKind kind, int precedence,
                                 TokenScanner scanner)
{
    return TokenRule{QRegularExpression(pattern), scanner, QString(), kind, precedence};
}

TokenRule TokenRule::fromLiteral(const QString &text, TokenKind kind, int precedence)
{
    return TokenRule{QRegularExpression(), nullptr, text, kind, precedence};
}

void Lexer::setInput(const QString &text)
{
    m_input = text;
    m_position = 0;
    advance();
}

// A rule matches when its match starts exactly at the position. A fixed-text rule compares the
// text, which is what its escaped pattern would do. An empty match counts as no match, so no rule
// can stop the position from moving.
static qsizetype matchLength(const TokenRule &rule, const QString &input, qsizetype position)
{
    if (rule.scanner)
        return rule.scanner(QStringView(input).sliced(position));
    if (!rule.literal.isEmpty()) {
        const bool matches = QStringView(input).sliced(position).startsWith(rule.literal);
        return matches ? rule.literal.size() : 0;
    }
    const QRegularExpressionMatch match
        = rule.pattern.match(input, position, QRegularExpression::NormalMatch,
                             QRegularExpression::AnchorAtOffsetMatchOption);
    return match.hasMatch() ? match.capturedLength() : 0;
}

void Lexer::advance()
{
    while (m_position < m_input.size()) {
        const TokenRule *matched = nullptr;
        qsizetype length = 0;
        for (const TokenRule &rule : m_rules) {
            length = matchLength(rule, m_input, m_position);
            if (length > 0) {
                matched = &rule;
                break;
            }
        }
        if (!matched)
            throw ParserException(QStringLiteral("unrecognised token: ") + m_input.mid(m_position));
        m_tokenStart = m_position;
        m_tokenLength = length;
        m_position += length;
        if (matched->kind != TokenKind::Whitespace) {
            m_kind = matched->kind;
            m_precedence = matched->precedence;
            return;
        }
    }
    m_kind = TokenKind::EndOfInput;
    m_tokenStart = m_position;
    m_tokenLength = 0;
    m_precedence = kNotBinaryOperator;
}

int64_t Lexer::integerValue() const
{
    return static_cast<int64_t>(*readInteger(text(), kLiteralSyntax));
}

double Lexer::floatValue() const
{
    // An out-of-range literal converts to an infinity; the flag is not needed.
    return text().toDouble();
}

// Scanners equivalent to the C-style patterns. Without Unicode properties "\s" and "\d" are the
// ASCII blanks and digits.

static bool isBlank(QChar character)
{
    return character == u' ' || (character >= u'\t' && character <= u'\r');
}

static bool isDigit(QChar character)
{
    return character >= u'0' && character <= u'9';
}

static bool isLetter(QChar character)
{
    return (character >= u'A' && character <= u'Z') || (character >= u'a' && character <= u'z')
           || character == u'_';
}

static bool isHexDigit(QChar character)
{
    return isDigit(character) || (character >= u'A' && character <= u'F')
           || (character >= u'a' && character <= u'f');
}

static qsizetype skipWhile(QStringView rest, qsizetype index, bool (*accept)(QChar))
{
    while (index < rest.size() && accept(rest[index]))
        ++index;
    return index;
}

// U?L?L?u?l?l?
static qsizetype skipIntegerSuffix(QStringView rest, qsizetype index)
{
    for (const QChar letter : QStringView(u"ULLull")) {
        if (index < rest.size() && rest[index] == letter)
            ++index;
    }
    return index;
}

// [\s]+
static qsizetype scanWhitespace(QStringView rest)
{
    return skipWhile(rest, 0, isBlank);
}

// "[^"]*"
static qsizetype scanString(QStringView rest)
{
    if (!rest.startsWith(u'"'))
        return 0;
    const qsizetype close = rest.indexOf(u'"', 1);
    return close < 0 ? 0 : close + 1;
}

// 0x[0-9A-Fa-f]*U?L?L?u?l?l?
static qsizetype scanHexInteger(QStringView rest)
{
    if (!rest.startsWith(u"0x"))
        return 0;
    return skipIntegerSuffix(rest, skipWhile(rest, 2, isHexDigit));
}

// 0b[0-1]*
static qsizetype scanBinaryInteger(QStringView rest)
{
    if (!rest.startsWith(u"0b"))
        return 0;
    return skipWhile(rest, 2,
                     [](QChar character) { return character == u'0' || character == u'1'; });
}

// \d+\.\d+
static qsizetype scanFloat(QStringView rest)
{
    const qsizetype point = skipWhile(rest, 0, isDigit);
    if (point == 0 || point >= rest.size() || rest[point] != u'.')
        return 0;
    const qsizetype end = skipWhile(rest, point + 1, isDigit);
    return end == point + 1 ? 0 : end;
}

// \d+U?L?L?u?l?l?
static qsizetype scanDecimalInteger(QStringView rest)
{
    const qsizetype end = skipWhile(rest, 0, isDigit);
    return end == 0 ? 0 : skipIntegerSuffix(rest, end);
}

// [A-Za-z_$][A-Za-z_0-9$]*
static qsizetype scanIdentifier(QStringView rest)
{
    if (rest.isEmpty() || !(isLetter(rest[0]) || rest[0] == u'$'))
        return 0;
    return skipWhile(rest, 1, [](QChar character) {
        return isLetter(character) || isDigit(character) || character == u'$';
    });
}

// @[A-Za-z_0-9]*
static qsizetype scanRegister(QStringView rest)
{
    if (!rest.startsWith(u'@'))
        return 0;
    return skipWhile(rest, 1,
                     [](QChar character) { return isLetter(character) || isDigit(character); });
}

static std::vector<TokenRule> makeCStyleRules()
{
    struct Pattern
    {
        const char *pattern;
        TokenScanner scanner;
        TokenKind kind;
    };
    // Integer suffix letters must come in the order U, L, L, u, l, l: "10LU" is "10L" and "U".
    static const Pattern patterns[] = {
        {R"([\s]+)", scanWhitespace, TokenKind::Whitespace},
        {R"("[^"]*")", scanString, TokenKind::String},
        {R"(0x[0-9A-Fa-f]*U?L?L?u?l?l?)", scanHexInteger, TokenKind::HexInteger},
        {R"(0b[0-1]*)", scanBinaryInteger, TokenKind::BinaryInteger},
        {R"(\d+\.\d+)", scanFloat, TokenKind::Float},
        {R"(\d+U?L?L?u?l?l?)", scanDecimalInteger, TokenKind::DecimalInteger},
        {R"([A-Za-z_$][A-Za-z_0-9$]*)", scanIdentifier, TokenKind::Identifier},
        {R"(@[A-Za-z_0-9]*)", scanRegister, TokenKind::Register},
    };
    struct Row
    {
        const char *text;
        TokenKind kind;
        int precedence;
    };
    // In rule order: a longer operator precedes every operator it begins with.
    static const Row literals[] = {
        {";", TokenKind::Semicolon, kNotBinaryOperator},
        {"::", TokenKind::Scope, kNotBinaryOperator},
        {":", TokenKind::Colon, kNotBinaryOperator},
        {"(", TokenKind::LeftParen, kNotBinaryOperator},
        {")", TokenKind::RightParen, kNotBinaryOperator},
        {"[", TokenKind::LeftBracket, kNotBinaryOperator},
        {"]", TokenKind::RightBracket, kNotBinaryOperator},
        {"{", TokenKind::LeftBrace, kNotBinaryOperator},
        {"}", TokenKind::RightBrace, kNotBinaryOperator},
        {".", TokenKind::Dot, kNotBinaryOperator},
        {"->", TokenKind::Arrow, kNotBinaryOperator},
        {"++", TokenKind::Increment, kNotBinaryOperator},
        {"--", TokenKind::Decrement, kNotBinaryOperator},
        {"!=", TokenKind::NotEqual, 5},
        {"!", TokenKind::Not, kNotBinaryOperator},
        {"~", TokenKind::Tilde, kNotBinaryOperator},
        {"*=", TokenKind::MultiplyAssign, -3},
        {"*", TokenKind::Multiply, 9},
        {"/=", TokenKind::DivideAssign, -3},
        {"/", TokenKind::Divide, 9},
        {"%=", TokenKind::ModAssign, -3},
        {"%", TokenKind::Mod, 9},
        {"+=", TokenKind::PlusAssign, -3},
        {"+", TokenKind::Plus, 8},
        {"-=", TokenKind::MinusAssign, -3},
        {"-", TokenKind::Minus, 8},
        {"<<=", TokenKind::LshiftAssign, -3},
        {"<<", TokenKind::Lshift, 7},
        {">>>=", TokenKind::UnsignedRshiftAssign, -3},
        {">>>", TokenKind::UnsignedRshift, 7},
        {">>=", TokenKind::RshiftAssign, -3},
        {">>", TokenKind::Rshift, 7},
        {"<=", TokenKind::LessEqual, 6},
        {"<", TokenKind::Less, 6},
        {">=", TokenKind::GreaterEqual, 6},
        {">", TokenKind::Greater, 6},
        {"==", TokenKind::Equal, 5},
        {"^=", TokenKind::BitXorAssign, -3},
        {"^", TokenKind::BitXor, 3},
        {"&=", TokenKind::BitAndAssign, -3},
        {"&&", TokenKind::LogicalAnd, 1},
        {"&", TokenKind::BitAnd, 4},
        {"|=", TokenKind::BitOrAssign, -3},
        {"||", TokenKind::LogicalOr, 0},
        {"|", TokenKind::BitOr, 2},
        {"?", TokenKind::Question, -1},
        {"=", TokenKind::Assign, -2},
        {",", TokenKind::Comma, -4},
    };
    std::vector<TokenRule> rules;
    for (const Pattern &row : patterns) {
        rules.push_back(TokenRule::fromPattern(QString::fromLatin1(row.pattern), row.kind,
                                               kNotBinaryOperator, row.scanner));
    }
    for (const Row &row : literals)
        rules.push_back(
            TokenRule::fromLiteral(QString::fromLatin1(row.text), row.kind, row.precedence));
    return rules;
}

// Decision: "\s" and "\d" keep their ASCII meaning (no Unicode classes), so a non-ASCII digit or
// blank is an unrecognised token rather than a digit of unknown value.
const std::vector<TokenRule> &cStyleTokenRules()
{
    static const std::vector<TokenRule> rules = makeCStyleRules();
    return rules;
}

CStyleLexer::CStyleLexer()
{
    for (const TokenRule &rule : cStyleTokenRules())
        addRule(rule);
}

} // namespace ldweave
