// The expression lexer: an ordered list of token rules, tried in order at the current position;
// the first rule that matches gives the token, not the longest match.
#pragma once

#include <QRegularExpression>
#include <QString>

#include <cstdint>
#include <vector>

namespace ldweave {

enum class TokenKind {
    EndOfInput,
    Whitespace,
    String,
    HexInteger,
    BinaryInteger,
    Float,
    DecimalInteger,
    Identifier,
    Register,
    Semicolon,
    Scope,
    Colon,
    LeftParen,
    RightParen,
    LeftBracket,
    RightBracket,
    LeftBrace,
    RightBrace,
    Dot,
    Arrow,
    Increment,
    Decrement,
    NotEqual,
    Not,
    Tilde,
    MultiplyAssign,
    Multiply,
    DivideAssign,
    Divide,
    ModAssign,
    Mod,
    PlusAssign,
    Plus,
    MinusAssign,
    Minus,
    LshiftAssign,
    Lshift,
    UnsignedRshiftAssign,
    UnsignedRshift,
    RshiftAssign,
    Rshift,
    LessEqual,
    Less,
    GreaterEqual,
    Greater,
    Equal,
    BitXorAssign,
    BitXor,
    BitAndAssign,
    LogicalAnd,
    BitAnd,
    BitOrAssign,
    LogicalOr,
    BitOr,
    Question,
    Assign,
    Comma,
};

/// The binary precedence of a token that is not a binary operator (and of end-of-input).
constexpr int kNotBinaryOperator = 10;

/// A hand-written matcher: the length of the match at the start of `rest`, 0 for none.
using TokenScanner = qsizetype (*)(QStringView rest);

/// One token rule: a regular expression or, for operators and punctuation, a fixed text (the
/// rule whose pattern is that text escaped; it is matched with a plain comparison). A pattern
/// rule may carry a scanner that matches exactly what the pattern matches; the lexer then uses
/// the scanner, whose cost follows the token's length rather than the whole text's.
struct TokenRule
{
    static TokenRule fromPattern(const QString &pattern, TokenKind kind, int precedence,
                                 TokenScanner scanner = nullptr);
    static TokenRule fromLiteral(const QString &text, TokenKind kind, int precedence);

    QRegularExpression pattern; ///< the definition of a pattern rule; empty for a fixed text
    TokenScanner scanner;       ///< equivalent to the pattern, or nullptr
    QString literal;            ///< the fixed text; empty for a pattern rule
    TokenKind kind;
    int precedence; ///< binary precedence -4..9, or kNotBinaryOperator
};

class Lexer
{
public:
    virtual ~Lexer() = default;

    /// Appends a rule; it is tried after the rules added before it.
    void addRule(const TokenRule &rule) { m_rules.push_back(rule); }

    /// Starts reading `text` from its beginning and reads the first token. Throws
    /// ParserException "unrecognised token: ..." when no rule matches.
    void setInput(const QString &text);
    /// Reads the next token, skipping whitespace; end-of-input at the end of the text. Throws
    /// ParserException "unrecognised token: " followed by the rest of the text when no rule
    /// matches at the position.
    void advance();

    TokenKind kind() const { return m_kind; }
    /// The text of the current token; valid until the next setInput.
    QStringView text() const { return QStringView(m_input).sliced(m_tokenStart, m_tokenLength); }
    int precedence() const { return m_precedence; }

    /// The current token as an integer literal (kLiteralSyntax), wrapped to 64 bits.
    int64_t integerValue() const;
    /// The current token converted as a whole to a double.
    double floatValue() const;

protected:
    Lexer() = default;

private:
    std::vector<TokenRule> m_rules; ///< in the order added; the first match wins
    QString m_input;
    qsizetype m_position = 0;
    TokenKind m_kind = TokenKind::EndOfInput;
    qsizetype m_tokenStart = 0;
    qsizetype m_tokenLength = 0;
    int m_precedence = kNotBinaryOperator;
};

/// The rules of C-style expressions in the order they are tried: literals, identifiers, register
/// names, then the operators and punctuation with their binary precedences.
const std::vector<TokenRule> &cStyleTokenRules();

/// The lexer of C-style expressions, with the rules of cStyleTokenRules().
class CStyleLexer final : public Lexer
{
public:
    CStyleLexer();
};

} // namespace ldweave
