#include "expr/evaluate.h"
#include "expr/parser_exception.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <cstring>

namespace ldweave {
namespace {

struct Case
{
    const char *input;
    /// What evaluateText gives: "3" (an integer), "f:2.9" (a floating value), "true", "false",
    /// "\"abc\"" (a string), "none", or "error" for a ParserException.
    const char *outcome;
};

const Case kCases[] = {
    // Literals and tokens: the lexer tries its rules in order and the first match wins; the parser
    // reads one expression and looks only at the token right after it.
    {"", "none"},
    {" ", "error"},
    {"\t\n 7 \r\f\v", "7"},
    {"0x1F", "31"},
    {"0xff", "255"},
    {"0x + 0b + 1", "1"},
    {"0b101", "5"},
    {"0b102", "2"},
    {"0x10ULLull + 1", "17"},
    {"10ul + 1", "11"},
    {"10LU + 1", "10"},
    {"0X10", "0"},
    {"1e5", "1"},
    {"1.5", "f:1.5"},
    {"1.x", "error"},
    {"0xFFFFFFFFFFFFFFFF1", "-15"},
    {"\"a b\"c", "\"a b\""},
    {"\"\"", "\"\""},
    {"1 #", "error"},
    {"1 \"abc", "error"},
    {"1\u00a02", "error"},
    {"\u0661", "error"},
    // Precedence, tightest first: unary, "* / %", "+ -", "<< >>", "< <= > >=", "== !=", "&", "^",
    // "|", "&&", "||"; every level left-associative.
    {"1 + 2 * 3", "7"},
    {"8 - 4 / 2", "6"},
    {"1 + 5 % 3", "3"},
    {"(1 + 2) * 3", "9"},
    {"-1 + 2", "1"},
    {"- -5", "5"},
    {"+5", "5"},
    {"2 - 1 - 1", "0"},
    {"2 * 3 % 4", "2"},
    {"8 >> 1 << 2", "16"},
    {"1 << 2 + 1", "8"},
    {"4 >> 2 - 1", "2"},
    {"4 >> 1 < 3", "true"},
    {"2 < 1 << 1", "false"},
    {"2 <= 1 << 1", "true"},
    {"2 > 1 << 1", "false"},
    {"2 >= 1 << 1", "true"},
    {"2 == 2 >= 2", "false"},
    {"2 == 2 <= 2", "false"},
    {"3 != 2 > 1", "true"},
    {"3 != 2 < 4", "true"},
    {"3 & 1 == 1", "1"},
    {"3 & 2 != 0", "1"},
    {"6 ^ 3 & 1", "7"},
    {"1 | 0 ^ 1", "1"},
    {"0 && 1 | 1", "0"},
    {"1 || 0 && 0", "1"},
    // Syntax errors, and the forms that need a program object (names, registers, casts, sizeof,
    // addresses, subscripts, members, calls, assignments): every operator evaluates all its
    // operands, so none escapes.
    {"1 +", "error"},
    {"-", "error"},
    {")", "error"},
    {"(1", "error"},
    {"(1 x)", "error"},
    {"FLASH", "error"},
    {"::a", "error"},
    {"@r0", "error"},
    {"(int)1", "error"},
    {"sizeof(int)", "error"},
    {"&1", "error"},
    {"*1", "error"},
    {"1[0]", "error"},
    {"1.a", "error"},
    {"1->a", "error"},
    {"1(2)", "error"},
    {"++1", "error"},
    {"1++1", "error"},
    {"1--1", "error"},
    {"0 && (int)x", "error"},
    {"1 || sizeof(char)", "error"},
    // Unary operators.
    {"-9223372036854775808", "-9223372036854775808"},
    {"-1.5", "f:-1.5"},
    {"-(1 == 1)", "-1"},
    {"-(1 == 2)", "0"},
    {"-\"a\"", "error"},
    {"~0x0f", "-16"},
    {"~(1 == 1)", "error"},
    {"~1.5", "error"},
    {"!0", "true"},
    {"!5", "false"},
    {"!(1 == 2)", "true"},
    {"!-0.0", "true"},
    {"!1.5", "false"},
    {"!\"\"", "error"},
    // Arithmetic: the result follows the left operand's kind, or is floating when the right one
    // is.
    {"2 - 5", "-3"},
    {"3 * -4", "-12"},
    {"9223372036854775807 + 1", "-9223372036854775808"},
    {"1.9 + 1", "f:2.9"},
    {"1 + 1.9", "f:2.9"},
    {"1.5 * 2", "f:3"},
    {"1.5 + 2.5", "f:4"},
    {"1 - 0.5", "f:0.5"},
    {"-1.9", "f:-1.9"},
    {"-1 + 0.5", "f:-0.5"},
    {"1 + \"a\"", "1"},
    {"(1 == 1) + 1.5", "f:2.5"},
    {"\"a\" + 1.5", "f:1.5"},
    {"\"a\" + 1", "error"},
    {"(1 == 1) + (1 == 2)", "true"},
    {"(1 == 2) + (1 == 2)", "false"},
    {"(1 == 1) - (1 == 1)", "false"},
    {"(1 == 1) - 0", "true"},
    {"(1 == 1) * (1 == 2)", "false"},
    {"(1 == 2) + 256", "false"},
    {"(1 == 2) + 257", "true"},
    // Division and remainder: the divisor is checked first.
    {"7 / 2", "3"},
    {"-7 / 2", "-3"},
    {"7 / 2.0", "f:3.5"},
    {"7.0 / 2", "f:3.5"},
    {"(1 == 1) / 2", "false"},
    {"(1 == 1) / -1", "true"},
    {"-9223372036854775808 / -1", "-9223372036854775808"},
    {"1 / 0", "error"},
    {"1.5 / 0", "error"},
    {"1 / 0.0", "error"},
    {"1 / -0.0", "error"},
    {"1 / (1 == 2)", "error"},
    {"1.5 / (1 == 2)", "error"},
    {"1 / \"a\"", "error"},
    {"\"a\" / 1", "error"},
    {"7 % 3", "1"},
    {"-7 % 2", "-1"},
    {"7 % -2", "1"},
    {"7 % 2.5", "1"},
    {"(1 == 1) % 2", "true"},
    {"(1 == 1) % 1", "false"},
    {"-9223372036854775808 % -1", "0"},
    {"1 % 0", "error"},
    {"7 % 0.5", "error"},
    {"1.5 % 1", "error"},
    {"1 % \"a\"", "error"},
    // Comparisons by the left operand's kind.
    {"1 < -1", "false"},
    {"-1 < 1", "true"},
    {"1 != 2", "true"},
    {"1 == 1.5", "true"},
    {"1.5 == 1.5", "error"},
    {"\"abc\" == \"abc\"", "true"},
    {"\"abc\" < \"abd\"", "true"},
    {"\"B\" < \"a\"", "true"},
    {"\"abc\" != \"ABC\"", "true"},
    {"\"abc\" == 1", "false"},
    {"\"\" == 1", "true"},
    {"(1 == 1) == 257", "true"},
    {"(1 == 1) == 256", "false"},
    {"(1 == 2) < (1 == 1)", "true"},
    // Bitwise and logical operators (both operands always evaluated) and shifts (count modulo 64).
    {"6 & 3", "2"},
    {"6 | 3", "7"},
    {"6 ^ 3", "5"},
    {"(1 == 1) & (2 == 2)", "true"},
    {"(1 == 1) ^ 1", "false"},
    {"(1 == 1) & 256", "false"},
    {"1.5 & 1", "error"},
    {"\"a\" | 1", "error"},
    {"1 && 1", "1"},
    {"2 && 0", "0"},
    {"0 || 3", "1"},
    {"1 && 0.5", "0"},
    {"(1 == 1) && (2 == 2)", "true"},
    {"(1 == 2) || (1 == 1)", "true"},
    {"1.5 && 1", "error"},
    {"1 << 65", "2"},
    {"1 << 64", "1"},
    {"1 << -1", "-9223372036854775808"},
    {"-8 >> 1", "-4"},
    {"0x8000000000000000 >> 63", "-1"},
    {"1 << (1 == 1)", "error"},
    {"1 << 1.0", "error"},
    {"1.5 << 1", "error"},
    {"(1 == 1) << 1", "error"},
    {"\"a\" >> 1", "error"},
};

QString outcome(SimpleExpressionParser &parser, const QString &text)
{
    try {
        const ExprValue value = evaluateText(parser, text);
        switch (value.kind()) {
        case ExprValue::Kind::Boolean:
            return value.lowByteTruth() ? QStringLiteral("true") : QStringLiteral("false");
        case ExprValue::Kind::Signed:
            return QString::number(value.signedView());
        case ExprValue::Kind::Floating:
            return QStringLiteral("f:")
                   + QString::number(value.payloadAsDouble(), 'g', QLocale::FloatingPointShortest);
        case ExprValue::Kind::String:
            return u'"' + value.text() + u'"';
        case ExprValue::Kind::None:
            break;
        }
        return QStringLiteral("none");
    } catch (const ParserException &) {
        return QStringLiteral("error");
    }
}

// Each row through all four entry points: the numbers are the only results evaluateNumberBits
// and evaluateNumber accept, the booleans the only ones evaluateCondition accepts. ok starts
// opposite to the expected flag, so a flag that is never written shows.
TEST(Evaluate, EntryPointsGiveTheTableOutcomes)
{
    SimpleExpressionParser parser;
    for (const Case &row : kCases) {
        SCOPED_TRACE(row.input);
        const QString text = QString::fromUtf8(row.input);
        const QString expected = QString::fromUtf8(row.outcome);
        EXPECT_EQ(outcome(parser, text), expected);
        bool isInteger = false;
        const int64_t integer = expected.toLongLong(&isInteger);
        const bool isFloating = expected.startsWith(u"f:");
        const double floating = expected.mid(2).toDouble();
        uint64_t floatingBits = 0;
        std::memcpy(&floatingBits, &floating, sizeof floatingBits);
        const bool isNumber = isInteger || isFloating;
        const bool isBoolean = expected == u"true" || expected == u"false";
        const uint64_t bits = isInteger ? static_cast<uint64_t>(integer) : floatingBits;
        bool ok = !isNumber;
        EXPECT_EQ(evaluateNumberBits(parser, text, ok), isNumber ? bits : 0);
        EXPECT_EQ(ok, isNumber);
        ok = !isNumber;
        EXPECT_EQ(evaluateNumber(parser, text, ok),
                  isInteger ? integer : static_cast<int64_t>(isFloating ? floating : 0));
        EXPECT_EQ(ok, isNumber);
        ok = !isBoolean;
        EXPECT_EQ(evaluateCondition(parser, text, ok), expected == u"true");
        EXPECT_EQ(ok, isBoolean);
    }
}

// After an expression, a token that is no binary operator ends it and is not examined further;
// an assignment or an operator without a node is an error.
TEST(Evaluate, TheTokenAfterAnOperandEndsTheExpressionOrFails)
{
    SimpleExpressionParser parser;
    for (const char *token :
         {"2", "@r0", "@", "$x_1", "\"a\"", ";", ":", "::", ")", "]", "{", "}", "!", "~"}) {
        SCOPED_TRACE(token);
        EXPECT_EQ(outcome(parser, QStringLiteral("1 ") + QString::fromUtf8(token)), u"1");
    }
    for (const char *op : {"=", "*=", "/=", "%=", "+=", "-=", "<<=", ">>=", ">>>=", "&=", "^=",
                           "|=", "?", ",", ">>>"}) {
        SCOPED_TRACE(op);
        EXPECT_EQ(
            outcome(parser, QStringLiteral("1 ") + QString::fromUtf8(op) + QStringLiteral(" 2")),
            u"error");
    }
}

// Nesting up to the bound parses and evaluates; one level more fails cleanly, and so does input
// nested far deeper, without exhausting the stack.
TEST(Evaluate, NestingIsBounded)
{
    struct Form
    {
        const char *name;
        QString (*text)(int levels);
        int deepest; ///< the most levels that still evaluate
    };
    const Form forms[] = {
        {"brackets", [](int n) { return QString(n, u'(') + u'1' + QString(n, u')'); }, 999},
        {"unary", [](int n) { return QStringLiteral("- ").repeated(n) + u'1'; }, 1998},
        {"operands", [](int n) { return QStringLiteral("1+").repeated(n) + u'1'; }, 1999},
        {"right operands",
         [](int n) { return QStringLiteral("1+(").repeated(n) + u'1' + QString(n, u')'); }, 666},
    };
    SimpleExpressionParser parser;
    for (const Form &form : forms) {
        SCOPED_TRACE(form.name);
        for (const int levels : {form.deepest, form.deepest + 1, 100000}) {
            SCOPED_TRACE(levels);
            bool ok = false;
            evaluateNumberBits(parser, form.text(levels), ok);
            EXPECT_EQ(ok, levels == form.deepest);
        }
    }
}

} // namespace
} // namespace ldweave
