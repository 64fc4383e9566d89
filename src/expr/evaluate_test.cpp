#include "expr/evaluate.h"
#include "expr/parser_exception.h"

#include <gtest/gtest.h>

namespace ldweave {
namespace {

// The result of evaluating a text in a compact form: "s8:3" (signed, size 8), "u2:0",
// "true"/"false", "f8:2.9", "\"abc\"", "none", or "error: " and the message.
QString outcome(SimpleExpressionParser &parser, const char *input)
{
    try {
        const ExprValue value = evaluateText(parser, QString::fromUtf8(input));
        switch (value.kind()) {
        case ExprValue::Kind::Boolean:
            return value.lowByteTruth() ? QStringLiteral("true") : QStringLiteral("false");
        case ExprValue::Kind::Signed:
            return QStringLiteral("s%1:%2")
                .arg(value.size())
                .arg(static_cast<int64_t>(value.payload()));
        case ExprValue::Kind::Unsigned:
            return QStringLiteral("u%1:%2").arg(value.size()).arg(value.payload());
        case ExprValue::Kind::Floating:
            return QStringLiteral("f%1:%2")
                .arg(value.size())
                .arg(value.payloadAsDouble(), 0, 'g', 15);
        case ExprValue::Kind::String:
            return u'"' + value.text() + u'"';
        case ExprValue::Kind::None:
            return QStringLiteral("none");
        case ExprValue::Kind::Marker:
            break;
        }
        return QStringLiteral("marker");
    } catch (const ParserException &exception) {
        return QStringLiteral("error: ") + exception.message();
    }
}

struct Row
{
    const char *input;
    const char *outcome;
};

void expectOutcomes(std::initializer_list<Row> rows)
{
    SimpleExpressionParser parser;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.input);
        EXPECT_EQ(outcome(parser, row.input), QString::fromUtf8(row.outcome));
    }
}

TEST(Evaluate, ConstantsAndUnaryOperators)
{
    expectOutcomes({
        {"", "none"},
        {"0x10UL", "s8:16"},
        {"1 << 1u", "s8:2"},
        {"1.5", "f8:1.5"},
        {"\"abc\"", "\"abc\""},
        {"-5", "s8:-5"},
        {"- -5", "s8:5"},
        {"-9223372036854775808", "s8:-9223372036854775808"},
        {"-(-9223372036854775808)", "s8:-9223372036854775808"},
        {"-1.5", "f8:-1.5"},
        {"-(1 == 1)", "s8:-1"},
        {"-(1 == 2)", "s8:0"},
        {"-\"a\"", "error: unsupported unary num operation"},
        {"~0", "s8:-1"},
        {"~0x0f", "s8:-16"},
        {"~(1 == 1)", "error: unsupported unary num operation"},
        {"~1.5", "error: unsupported unary num operation"},
        {"!0", "true"},
        {"!5", "false"},
        {"!(1 == 2)", "true"},
        {"!0.0", "true"},
        {"!1.5", "false"},
        {"!\"\"", "error: unsupported unary num operation"},
    });
}

TEST(Evaluate, ArithmeticFollowsTheLeftOperand)
{
    expectOutcomes({
        {"1 + 2", "s8:3"},
        {"2 - 5", "s8:-3"},
        {"3 * -4", "s8:-12"},
        {"9223372036854775807 + 1", "s8:-9223372036854775808"},
        {"0x7fffffffffffffff * 2", "s8:-2"},
        {"1.9 + 1", "f8:2.9"},
        {"1 + 1.9", "f8:2.9"},
        {"1.5 * 2", "f8:3"},
        {"1 - 0.5", "f8:0.5"},
        {"(1 == 1) + 1.5", "f0:2.5"},
        {"\"a\" + 1.5", "f0:1.5"},
        {"\"a\" + 1", "error: unsupported binary numeric operation"},
        {"(1 == 1) + (1 == 2)", "true"},
        {"(1 == 2) + (1 == 2)", "false"},
        {"(1 == 1) - (1 == 1)", "false"},
        {"(1 == 1) - 0", "true"},
        {"(1 == 1) * (1 == 2)", "false"},
        {"(1 == 2) + 256", "false"},
        {"(1 == 2) + 257", "true"},
        // operands: right first, no short-circuit
        {"x + 1", "error: x symbol not found"},
        {"x + y", "error: y symbol not found"},
        {"1 / 0 + x", "error: x symbol not found"},
        {"x * (1 / 0)", "error: divide by zero"},
    });
}

TEST(Evaluate, DivisionAndRemainder)
{
    expectOutcomes({
        {"7 / 2", "s8:3"},
        {"-7 / 2", "s8:-3"},
        {"7 / -2", "s8:-3"},
        {"7 / 2.0", "f8:3.5"},
        {"7.0 / 2", "f8:3.5"},
        {"(1 == 1) / 2", "false"},
        {"(1 == 1) / -1", "true"},
        {"-9223372036854775808 / -1", "s8:-9223372036854775808"},
        {"1 / 0", "error: divide by zero"},
        {"1.5 / 0", "error: divide by zero"},
        {"1 / 0.0", "error: divide by zero"},
        {"1 / -0.0", "error: divide by zero"},
        {"1 / (1 == 2)", "error: divide by zero"},
        {"1 / \"a\"", "error: unsupported binary numeric operation"},
        {"\"a\" / 1", "error: unsupported binary numeric operation"},
        {"7 % 3", "s8:1"},
        {"-7 % 2", "s8:-1"},
        {"7 % -2", "s8:1"},
        {"7 % 2.5", "s8:1"},
        {"(1 == 1) % 2", "true"},
        {"(1 == 1) % 1", "false"},
        {"-9223372036854775808 % -1", "s8:0"},
        {"1 % 0", "error: divide by zero"},
        {"7 % 0.5", "error: divide by zero"},
        {"1.5 % 0", "error: divide by zero"},
        {"1.5 % 1", "error: unsupported binary numeric operation"},
        {"1 % \"a\"", "error: unsupported binary numeric operation"},
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
        {"1.5 == 1.5", "error: unsupported comparison operation"},
        {"1.0 == 1.0", "error: unsupported comparison operation"},
        {"\"abc\" == \"abc\"", "true"},
        {"\"abc\" < \"abd\"", "true"},
        {"\"B\" < \"a\"", "true"},
        {"\"abc\" != \"ABC\"", "true"},
        {"\"abc\" == 1", "false"},
        {"\"\" == 1", "true"},
        {"(1 == 1) == 1", "true"},
        {"(1 == 1) == 257", "true"},
        {"(1 == 1) == 256", "false"},
        {"(1 == 2) < (1 == 1)", "true"},
        {"x == 1", "error: x symbol not found"},
    });
}

TEST(Evaluate, BitwiseLogicalAndShift)
{
    expectOutcomes({
        {"6 & 3", "s8:2"},
        {"6 | 3", "s8:7"},
        {"6 ^ 3", "s8:5"},
        {"-1 & 0xff", "s8:255"},
        {"(1 == 1) & (2 == 2)", "true"},
        {"(1 == 1) ^ 1", "false"},
        {"1.5 & 1", "error: unsupported binary numeric operation"},
        {"\"a\" | 1", "error: unsupported binary numeric operation"},
        {"1 && 1", "s8:1"},
        {"2 && 0", "s8:0"},
        {"0 || 3", "s8:1"},
        {"1 && 0.5", "s8:0"},
        {"(1 == 1) && (2 == 2)", "true"},
        {"(1 == 2) || (1 == 1)", "true"},
        {"1.5 && 1", "error: unsupported binary numeric operation"},
        {"0 && x", "error: x symbol not found"},
        {"(1 == 1) || x", "error: x symbol not found"},
        {"1 << 65", "s8:2"},
        {"1 << 64", "s8:1"},
        {"1 << -1", "s8:-9223372036854775808"},
        {"-8 >> 1", "s8:-4"},
        {"0x8000000000000000 >> 63", "s8:-1"},
        {"1 << (1 == 1)", "error: integer shift value expected"},
        {"1 << 1.0", "error: integer shift value expected"},
        {"\"a\" << 1.0", "error: integer shift value expected"},
        {"1.5 << 1", "error: can only shift numeric values"},
        {"(1 == 1) << 1", "error: can only shift numeric values"},
        {"\"a\" >> 1", "error: can only shift numeric values"},
    });
}

TEST(Evaluate, FormsThatNeedProgramObjectsFail)
{
    expectOutcomes({
        {"FLASH", "error: FLASH symbol not found"},
        {"a::b", "error: a::b symbol not found"},
        {"::a", "error: a symbol not found"},
        {"@r0", "error: r0unknown register"},
        {"(int)1", "error: cannot cast"},
        {"(int)x", "error: x symbol not found"},
        {"sizeof 1", "error: cannot determine sizeof of a constant"},
        {"sizeof x", "error: x symbol not found"},
        {"sizeof(int)", "error: sizeof(typename) not implemented"},
        {"&1", "error: cannot take address of a constant"},
        {"addressof(\"a.c\", 3)", "error: addressof not implemented"},
        {"1[0]", "error: bad expression type"},
        {"*1", "error: bad expression type"},
        {"1.a", "error: bad expression type"},
        {"1(2)", "error: bad expression type"},
        {"(1+2) = 3", "error: bad expression type"},
        {"++1", "error: bad expression type"},
        {"x = 1", "error: x symbol not found"},
        {"x++", "error: x symbol not found"},
        {"x[1]", "error: x symbol not found"},
        {"f(1)", "error: f symbol not found"},
    });
}

TEST(EvaluateText, ThrowsParseAndEvaluationErrors)
{
    SimpleExpressionParser parser;
    EXPECT_THROW(evaluateText(parser, QStringLiteral("1 +")), ParserException);
    EXPECT_THROW(evaluateText(parser, QStringLiteral("1 / 0")), ParserException);
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
                      SimpleExpressionParser &parser, const EntryRow<T> (&rows)[N])
{
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
        {"0x100", 256, true},
        {"-1", ~uint64_t{0}, true},
        {"1.5", 0x3FF8000000000000, true},
        {"0x20000000 + 0x1000", 0x20001000, true},
        {"\"a\"", 0, false},
        {"FLASH", 0, false},
        {"1 == 1", 0, false},
        {"", 0, false},
        {"1 +", 0, false},
    };
    expectEntryPoint(evaluateNumberBits, processExpressionParser(), rows);
}

TEST(EvaluateNumber, SignedViewOfNumbers)
{
    const EntryRow<int64_t> rows[] = {
        {"7 / 2", 3, true},    {"-7 / 2", -3, true}, {"-7 % 2", -1, true}, {"1 << 65", 2, true},
        {"-8 >> 1", -4, true}, {"1.9 + 1", 2, true}, {"1 + 1.9", 2, true}, {"-1.9", -1, true},
        {"1e5", 1, true},      {"0X10", 0, true},    {"010", 8, true},     {"1 && 1", 1, true},
        {"1 << 1u", 2, true},  {"1 == 1", 0, false}, {"\"7\"", 0, false},  {"1 / 0", 0, false},
        {"x++", 0, false},     {"", 0, false},
    };
    SimpleExpressionParser parser;
    expectEntryPoint(evaluateNumber, parser, rows);
}

TEST(EvaluateCondition, OnlyBooleansAreConditions)
{
    const EntryRow<bool> rows[] = {
        {"2 > 1", true, true},
        {"2 < 1", false, true},
        {"1 == 1", true, true},
        {"!0", true, true},
        {"!(1 == 2)", true, true},
        {"(2 > 1) && (3 > 2)", true, true},
        {"\"abc\" == \"abc\"", true, true},
        {"\"abc\" < \"abd\"", true, true},
        {"", false, false},
        {" ", false, false},
        {"1", false, false},
        {"1 && 1", false, false},
        {"1.0 == 1.0", false, false},
        {"1 / 0 == 0", false, false},
        {"1 % 0 == 0", false, false},
        {"a ? b : c", false, false},
    };
    SimpleExpressionParser parser;
    expectEntryPoint(evaluateCondition, parser, rows);
}

} // namespace
} // namespace ldweave
