#include "expr/evaluate.h"
#include "expr/parser_exception.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace ldweave {
namespace {

// The result of evaluating a text in a compact form: "3" (an integer), "f:2.9" (a floating
// value), "true"/"false", "\"abc\"", "none", or "error" for any ParserException.
QString outcome(const char *input)
{
    SimpleExpressionParser parser;
    try {
        const ExprValue value = evaluateText(parser, QString::fromUtf8(input));
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

struct Row
{
    const char *input;
    const char *outcome;
};

void expectOutcomes(std::initializer_list<Row> rows)
{
    for (const Row &row : rows) {
        SCOPED_TRACE(row.input);
        EXPECT_EQ(outcome(row.input), QString::fromUtf8(row.outcome));
    }
}

// The lexer tries its rules in order and the first match wins; the parser reads one expression
// and looks only at the token right after it, which must be a valid token.
TEST(Evaluate, LiteralsAndTokens)
{
    expectOutcomes({
        {"", "none"},
        {" ", "error"},
        {"\t\n 7 \r\f\v", "7"},
        {"0x1F", "31"},
        {"0xff", "255"},
        {"0x", "0"},
        {"0b", "0"},
        {"0b101", "5"},
        {"0b102", "2"},
        {"010", "8"},
        {"09", "9"},
        {"0x10ULLull + 1", "17"},
        {"10ul + 1", "11"},
        {"10LU + 1", "10"},
        {"0X10", "0"},
        {"1e5", "1"},
        {"1.5", "f:1.5"},
        {"1.x", "error"},
        {"9223372036854775807", "9223372036854775807"},
        {"9223372036854775808", "-9223372036854775808"},
        {"18446744073709551616", "0"},
        {"0xFFFFFFFFFFFFFFFF1", "-15"},
        {"\"a b\"c", "\"a b\""},
        {"\"\"", "\"\""},
        {"1 #", "error"},
        {"1 \"abc", "error"},
        {"'a'", "error"},
        {"1\u00a02", "error"},
        {"\u0661", "error"},
    });
    for (const char *token :
         {"2", "@r0", "@", "$x_1", "\"a\"", ";", ":", "::", ")", "]", "{", "}", "!", "~"}) {
        SCOPED_TRACE(token);
        EXPECT_EQ(outcome((QByteArray("1 ") + token).constData()), QStringLiteral("1"));
    }
}

TEST(Evaluate, PrecedenceAndAssociativity)
{
    expectOutcomes({
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
    });
}

// Names, registers, casts, sizeof, addresses, subscripts, members, calls and assignments have no
// program object to stand for; every operator evaluates all its operands, so none escapes.
TEST(Evaluate, SyntaxErrorsAndProgramObjectsAreErrors)
{
    const char *const inputs[] = {
        "1 +",
        "-",
        ")",
        "(1",
        "(1 x)",
        "FLASH",
        "a::b",
        "::a",
        "@r0",
        "(int)1",
        "sizeof 1",
        "sizeof(int)",
        "&1",
        "*1",
        "1[0]",
        "1.a",
        "1->a",
        "1(2)",
        "++1",
        "1--",
        "1++1",
        "1--1",
        "0 * x",
        "0 && (int)x",
        "(1 == 1) || x",
        "1 || sizeof(char)",
        "addressof(\"a.c\", 3)",
    };
    for (const char *input : inputs) {
        SCOPED_TRACE(input);
        EXPECT_EQ(outcome(input), QStringLiteral("error"));
    }
    for (const char *op : {"=", "*=", "/=", "%=", "+=", "-=", "<<=", ">>=", ">>>=", "&=", "^=",
                           "|=", "?", ",", ">>>"}) {
        SCOPED_TRACE(op);
        EXPECT_EQ(outcome((QByteArray("1 ") + op + " 2").constData()), QStringLiteral("error"));
    }
}

TEST(Evaluate, ConstantsAndUnaryOperators)
{
    expectOutcomes({
        {"1 << 1u", "2"},
        {"-9223372036854775808", "-9223372036854775808"},
        {"-(-9223372036854775808)", "-9223372036854775808"},
        {"-1.5", "f:-1.5"},
        {"-(1 == 1)", "-1"},
        {"-(1 == 2)", "0"},
        {"-\"a\"", "error"},
        {"~0", "-1"},
        {"~0x0f", "-16"},
        {"~(1 == 1)", "error"},
        {"~1.5", "error"},
        {"!0", "true"},
        {"!5", "false"},
        {"!(1 == 2)", "true"},
        {"!-0.0", "true"},
        {"!1.5", "false"},
        {"!\"\"", "error"},
    });
}

TEST(Evaluate, ArithmeticFollowsTheLeftOperand)
{
    expectOutcomes({
        {"1 + 2", "3"},
        {"2 - 5", "-3"},
        {"3 * -4", "-12"},
        {"9223372036854775807 + 1", "-9223372036854775808"},
        {"0x7fffffffffffffff * 2", "-2"},
        {"1.9 + 1", "f:2.9"},
        {"1 + 1.9", "f:2.9"},
        {"1.5 * 2", "f:3"},
        {"1.5 + 2.5", "f:4"},
        {"1 - 0.5", "f:0.5"},
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
    });
}

TEST(Evaluate, DivisionAndRemainder)
{
    expectOutcomes({
        {"7 / 2", "3"},
        {"-7 / 2", "-3"},
        {"7 / -2", "-3"},
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
    });
}

TEST(Evaluate, ComparisonsByLeftKind)
{
    expectOutcomes({
        {"2 > 1", "true"},
        {"1 < -1", "false"},
        {"-1 < 1", "true"},
        {"2 >= 2", "true"},
        {"2 <= 1", "false"},
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
    });
}

TEST(Evaluate, BitwiseLogicalAndShift)
{
    expectOutcomes({
        {"6 & 3", "2"},
        {"6 | 3", "7"},
        {"6 ^ 3", "5"},
        {"-1 & 0xff", "255"},
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
    });
}

template <typename T> struct EntryRow
{
    const char *input;
    T value;
    bool ok;
};

// Runs every row through one entry point on one parser; ok starts opposite to the expected flag,
// so a flag that is never written shows.
template <typename T, size_t N>
void expectEntryPoint(T (*entryPoint)(SimpleExpressionParser &, const QString &, bool &),
                      const EntryRow<T> (&rows)[N])
{
    SimpleExpressionParser parser;
    for (const EntryRow<T> &row : rows) {
        SCOPED_TRACE(row.input);
        bool ok = !row.ok;
        EXPECT_EQ(entryPoint(parser, QString::fromUtf8(row.input), ok), row.value);
        EXPECT_EQ(ok, row.ok);
    }
}

TEST(EvaluateNumberBits, BitViewOfNumbers)
{
    const EntryRow<uint64_t> rows[] = {
        {"0x100", 256, true}, {"-1", ~uint64_t{0}, true}, {"1.5", 0x3FF8000000000000, true},
        {"\"a\"", 0, false},  {"FLASH", 0, false},        {"1 == 1", 0, false},
        {"", 0, false},       {"1 +", 0, false},
    };
    expectEntryPoint(evaluateNumberBits, rows);
}

TEST(EvaluateNumber, SignedViewOfNumbers)
{
    const EntryRow<int64_t> rows[] = {
        {"7 / 2", 3, true},  {"-1.9", -1, true}, {"1 == 1", 0, false}, {"\"7\"", 0, false},
        {"1 / 0", 0, false}, {"x++", 0, false},  {"", 0, false},
    };
    expectEntryPoint(evaluateNumber, rows);
}

TEST(EvaluateCondition, OnlyBooleansAreConditions)
{
    const EntryRow<bool> rows[] = {
        {"2 > 1", true, true},
        {"2 < 1", false, true},
        {"\"abc\" < \"abd\"", true, true},
        {"", false, false},
        {"1", false, false},
        {"1 && 1", false, false},
        {"1.0 == 1.0", false, false},
        {"1 / 0 == 0", false, false},
        {"a ? b : c", false, false},
    };
    expectEntryPoint(evaluateCondition, rows);
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
