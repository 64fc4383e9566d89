#include "expr/lexer.h"
#include "expr/parser_exception.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace ldweave {
namespace {

struct Token
{
    TokenKind kind;
    const char *text;
};

std::vector<Token> tokens(std::initializer_list<Token> list)
{
    return list;
}

TEST(CStyleLexer, FirstMatchingRuleGivesTheToken)
{
    using K = TokenKind;
    struct Row
    {
        const char *input;
        std::vector<Token> expected;
    };
    const Row rows[] = {
        {"0x1F", tokens({{K::HexInteger, "0x1F"}})},
        {"1.5", tokens({{K::Float, "1.5"}})},
        {"1.x", tokens({{K::DecimalInteger, "1"}, {K::Dot, "."}, {K::Identifier, "x"}})},
        {"1e5", tokens({{K::DecimalInteger, "1"}, {K::Identifier, "e5"}})},
        {"10UL 10LU",
         tokens({{K::DecimalInteger, "10UL"}, {K::DecimalInteger, "10L"}, {K::Identifier, "U"}})},
        {"0x10ULLull", tokens({{K::HexInteger, "0x10ULLull"}})},
        {"0X10", tokens({{K::DecimalInteger, "0"}, {K::Identifier, "X10"}})},
        {"0b102", tokens({{K::BinaryInteger, "0b10"}, {K::DecimalInteger, "2"}})},
        {"0x 0b", tokens({{K::HexInteger, "0x"}, {K::BinaryInteger, "0b"}})},
        {"\"a b\"c", tokens({{K::String, "\"a b\""}, {K::Identifier, "c"}})},
        {"@r0 @ $x_1", tokens({{K::Register, "@r0"}, {K::Register, "@"}, {K::Identifier, "$x_1"}})},
        {"\t\n 7 \r\f\v", tokens({{K::DecimalInteger, "7"}})},
        {"a::b:c;", tokens({{K::Identifier, "a"},
                            {K::Scope, "::"},
                            {K::Identifier, "b"},
                            {K::Colon, ":"},
                            {K::Identifier, "c"},
                            {K::Semicolon, ";"}})},
        {"a->b-->c", tokens({{K::Identifier, "a"},
                             {K::Arrow, "->"},
                             {K::Identifier, "b"},
                             {K::Decrement, "--"},
                             {K::Greater, ">"},
                             {K::Identifier, "c"}})},
        {"()[]{}.++!=!~", tokens({{K::LeftParen, "("},
                                  {K::RightParen, ")"},
                                  {K::LeftBracket, "["},
                                  {K::RightBracket, "]"},
                                  {K::LeftBrace, "{"},
                                  {K::RightBrace, "}"},
                                  {K::Dot, "."},
                                  {K::Increment, "++"},
                                  {K::NotEqual, "!="},
                                  {K::Not, "!"},
                                  {K::Tilde, "~"}})},
        {">>>= >>> >>= >> >= >", tokens({{K::UnsignedRshiftAssign, ">>>="},
                                         {K::UnsignedRshift, ">>>"},
                                         {K::RshiftAssign, ">>="},
                                         {K::Rshift, ">>"},
                                         {K::GreaterEqual, ">="},
                                         {K::Greater, ">"}})},
        {"<<= << <= <",
         tokens(
             {{K::LshiftAssign, "<<="}, {K::Lshift, "<<"}, {K::LessEqual, "<="}, {K::Less, "<"}})},
        {"|= || | &= && & ^= ^", tokens({{K::BitOrAssign, "|="},
                                         {K::LogicalOr, "||"},
                                         {K::BitOr, "|"},
                                         {K::BitAndAssign, "&="},
                                         {K::LogicalAnd, "&&"},
                                         {K::BitAnd, "&"},
                                         {K::BitXorAssign, "^="},
                                         {K::BitXor, "^"}})},
        {"*= * /= / %= % += + -= - == = ? ,", tokens({{K::MultiplyAssign, "*="},
                                                      {K::Multiply, "*"},
                                                      {K::DivideAssign, "/="},
                                                      {K::Divide, "/"},
                                                      {K::ModAssign, "%="},
                                                      {K::Mod, "%"},
                                                      {K::PlusAssign, "+="},
                                                      {K::Plus, "+"},
                                                      {K::MinusAssign, "-="},
                                                      {K::Minus, "-"},
                                                      {K::Equal, "=="},
                                                      {K::Assign, "="},
                                                      {K::Question, "?"},
                                                      {K::Comma, ","}})},
    };
    CStyleLexer lexer;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.input);
        lexer.setInput(QString::fromUtf8(row.input));
        for (const Token &token : row.expected) {
            SCOPED_TRACE(token.text);
            EXPECT_EQ(lexer.kind(), token.kind);
            EXPECT_EQ(lexer.text().toString(), QString::fromUtf8(token.text));
            lexer.advance();
        }
        EXPECT_EQ(lexer.kind(), TokenKind::EndOfInput);
        EXPECT_EQ(lexer.position(), static_cast<qsizetype>(strlen(row.input)));
    }
}

// The scanners stand in for the patterns: at every position of every sample both must match the
// same length.
TEST(CStyleLexer, ScannersMatchExactlyWhatTheirPatternsMatch)
{
    const char *const samples[] = {
        " \t\n\r\f\v x",
        "\u00a0\u2003\u0085",
        "\"\" \"a b\" \"open",
        "0x 0x1F 0xfg 0X1 0x10ULLull 0x1uL 0x1LU 0xULx",
        "0b 0b102 0B1 0b1U",
        "1.5 1. .5 1.x 12.34.56 \u0661.\u0662",
        "10UL 10LU 10ULLull 10uU 1e5 007 \u0661\u0662",
        "_a $b a$1 9a A_z0 \u00e9t",
        "@ @r0 @$ @_x9 @-",
        "",
    };
    for (const TokenRule &rule : cStyleTokenRules()) {
        if (!rule.scanner)
            continue;
        SCOPED_TRACE(rule.pattern.pattern().toStdString());
        for (const char *sample : samples) {
            const QString text = QString::fromUtf8(sample);
            for (qsizetype position = 0; position <= text.size(); ++position) {
                SCOPED_TRACE(text.mid(position).toStdString());
                const QRegularExpressionMatch match
                    = rule.pattern.match(text, position, QRegularExpression::NormalMatch,
                                         QRegularExpression::AnchorAtOffsetMatchOption);
                EXPECT_EQ(rule.scanner(QStringView(text).sliced(position)),
                          match.hasMatch() ? match.capturedLength() : 0);
            }
        }
    }
}

TEST(CStyleLexer, OperatorsCarryTheirBinaryPrecedence)
{
    struct Row
    {
        const char *input;
        int precedence;
    };
    const Row rows[] = {
        {",", -4},    {"*=", -3},  {"/=", -3}, {"%=", -3}, {"+=", -3}, {"-=", -3}, {"<<=", -3},
        {">>>=", -3}, {">>=", -3}, {"^=", -3}, {"&=", -3}, {"|=", -3}, {"=", -2},  {"?", -1},
        {"||", 0},    {"&&", 1},   {"|", 2},   {"^", 3},   {"&", 4},   {"==", 5},  {"!=", 5},
        {"<", 6},     {"<=", 6},   {">", 6},   {">=", 6},  {"<<", 7},  {">>", 7},  {">>>", 7},
        {"+", 8},     {"-", 8},    {"*", 9},   {"/", 9},   {"%", 9},   {"!", 10},  {"~", 10},
        {"++", 10},   {"(", 10},   {"1", 10},  {"a", 10},  {"", 10},
    };
    CStyleLexer lexer;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.input);
        lexer.setInput(QString::fromUtf8(row.input));
        EXPECT_EQ(lexer.precedence(), row.precedence);
    }
}

TEST(CStyleLexer, UnmatchedTextIsReportedWithTheRestOfTheInput)
{
    struct Row
    {
        const char *input;
        int tokensBefore;
        const char *message;
    };
    const Row rows[] = {
        {"#", 0, "unrecognised token: #"},
        {"1 # 2", 1, "unrecognised token: # 2"},
        {"a \"bc", 1, "unrecognised token: \"bc"},
        {"'a'", 0, "unrecognised token: 'a'"},
        {"1\u00a02", 1, "unrecognised token: \u00a02"},
        {"\u0661", 0, "unrecognised token: \u0661"},
    };
    CStyleLexer lexer;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.input);
        try {
            lexer.setInput(QString::fromUtf8(row.input));
            for (int i = 0; i < row.tokensBefore; ++i)
                lexer.advance();
            ADD_FAILURE() << "no exception";
        } catch (const ParserException &exception) {
            EXPECT_EQ(exception.message(), QString::fromUtf8(row.message));
        }
    }
}

TEST(IntegerLiteralValue, ReadsPrefixBaseDigitsAndWraps)
{
    struct Row
    {
        const char *input;
        int64_t expected;
    };
    const Row rows[] = {
        {"0", 0},
        {"7", 7},
        {"010", 8},
        {"09", 9},
        {"0x", 0},
        {"0b", 0},
        {"0b101", 5},
        {"0x10UL", 16},
        {"0x1F", 31},
        {"0xff", 255},
        {"10ul", 10},
        {"12L34", 12},
        {"0x1G", 32},
        {"1z", 45},
        {"0b12", 4},
        {" -5", -5},
        {"+5", 5},
        {"-0x10", -16},
        {"9223372036854775807", INT64_MAX},
        {"9223372036854775808", INT64_MIN},
        {"18446744073709551615", -1},
        {"18446744073709551616", 0},
        {"0xFFFFFFFFFFFFFFFF1", -15},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.input);
        EXPECT_EQ(integerLiteralValue(QString::fromUtf8(row.input)), row.expected);
    }
}

} // namespace
} // namespace ldweave
