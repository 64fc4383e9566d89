// The value rules of the operators. Integer arithmetic works on the 64-bit payload as unsigned
// numbers, so it wraps like two's complement without overflowing a signed type.
#include "expr/operators.h"

#include "expr/parser_exception.h"

namespace ldweave {

using Kind = ExprValue::Kind;

static ParserException unsupportedBinary()
{
    return ParserException(QStringLiteral("unsupported binary numeric operation"));
}

static ParserException divideByZero()
{
    return ParserException(QStringLiteral("divide by zero"));
}

static ParserException unsupportedUnary()
{
    return ParserException(QStringLiteral("unsupported unary num operation"));
}

static uint64_t asPayload(int64_t value)
{
    return static_cast<uint64_t>(value);
}

// On uint64_t (wrapping) or double.
template <typename T> static T arithmetic(ArithmeticOperator op, T left, T right)
{
    switch (op) {
    case ArithmeticOperator::Add:
        return left + right;
    case ArithmeticOperator::Subtract:
        return left - right;
    case ArithmeticOperator::Multiply:
        return left * right;
    }
    return T();
}

ExprValue applyArithmetic(ArithmeticOperator op, const ExprValue &left, const ExprValue &right)
{
    // A floating right operand makes the result floating whatever the left one is; a string or
    // none reads as 0.0 then.
    if (right.kind() == Kind::Floating)
        return ExprValue::floating(arithmetic(op, left.floatingView(), right.payloadAsDouble()));
    switch (left.kind()) {
    case Kind::Signed:
        return ExprValue::signedInteger(
            arithmetic(op, left.payload(), asPayload(right.signedView())));
    case Kind::Floating:
        return ExprValue::floating(arithmetic(op, left.payloadAsDouble(), right.floatingView()));
    case Kind::Boolean: {
        const bool leftTruth = left.lowByteTruth();
        const bool rightTruth = right.lowByteTruth();
        switch (op) {
        case ArithmeticOperator::Add:
            return ExprValue::boolean(leftTruth || rightTruth);
        case ArithmeticOperator::Subtract:
            return ExprValue::boolean(leftTruth != rightTruth);
        case ArithmeticOperator::Multiply:
            return ExprValue::boolean(leftTruth && rightTruth);
        }
        break;
    }
    default:
        break;
    }
    throw unsupportedBinary();
}

// The divisor is checked before the dividend's kind is looked at.
static void checkDivisor(const ExprValue &right)
{
    switch (right.kind()) {
    case Kind::Floating:
        if (right.payloadAsDouble() == 0.0)
            throw divideByZero();
        return;
    case Kind::Signed:
        if (right.signedView() == 0)
            throw divideByZero();
        return;
    case Kind::Boolean:
        if (!right.lowByteTruth())
            throw divideByZero();
        return;
    default:
        break;
    }
    throw unsupportedBinary();
}

// Decision: a divisor that passes checkDivisor but reads as zero in the view the division uses (a
// floating divisor of "%" below 1) fails with "divide by zero" too, rather than trapping.
// Decision: the most negative number divided by -1 wraps to itself, like every other signed
// overflow here, and its remainder is 0.
static int64_t signedQuotient(int64_t left, int64_t right)
{
    if (right == 0)
        throw divideByZero();
    if (right == -1)
        return static_cast<int64_t>(0 - asPayload(left));
    return left / right;
}

static int64_t signedRemainder(int64_t left, int64_t right)
{
    if (right == 0)
        throw divideByZero();
    if (right == -1)
        return 0;
    return left % right;
}

// Decision: a boolean dividend is the number 0 or 1 and the divisor is read through its signed
// view; the result is the boolean "quotient (or remainder) is not zero".
static int64_t booleanAsNumber(const ExprValue &value)
{
    return value.lowByteTruth() ? 1 : 0;
}

ExprValue applyDivide(const ExprValue &left, const ExprValue &right)
{
    checkDivisor(right);
    if (right.kind() == Kind::Floating)
        return ExprValue::floating(left.floatingView() / right.payloadAsDouble());
    switch (left.kind()) {
    case Kind::Signed:
        return ExprValue::signedInteger(
            asPayload(signedQuotient(static_cast<int64_t>(left.payload()), right.signedView())));
    case Kind::Floating:
        return ExprValue::floating(left.payloadAsDouble() / right.floatingView());
    case Kind::Boolean:
        return ExprValue::boolean(signedQuotient(booleanAsNumber(left), right.signedView()) != 0);
    default:
        break;
    }
    throw unsupportedBinary();
}

ExprValue applyRemainder(const ExprValue &left, const ExprValue &right)
{
    checkDivisor(right);
    switch (left.kind()) {
    case Kind::Signed:
        return ExprValue::signedInteger(
            asPayload(signedRemainder(static_cast<int64_t>(left.payload()), right.signedView())));
    case Kind::Boolean:
        return ExprValue::boolean(signedRemainder(booleanAsNumber(left), right.signedView()) != 0);
    default:
        break;
    }
    throw unsupportedBinary();
}

template <typename T> static int order(const T &left, const T &right)
{
    return left < right ? -1 : (right < left ? 1 : 0);
}

static bool holds(Comparison comparison, int order)
{
    switch (comparison) {
    case Comparison::Equal:
        return order == 0;
    case Comparison::NotEqual:
        return order != 0;
    case Comparison::Less:
        return order < 0;
    case Comparison::LessEqual:
        return order <= 0;
    case Comparison::Greater:
        return order > 0;
    case Comparison::GreaterEqual:
        return order >= 0;
    }
    return false;
}

ExprValue applyComparison(Comparison comparison, const ExprValue &left, const ExprValue &right)
{
    switch (left.kind()) {
    case Kind::Signed:
        return ExprValue::boolean(
            holds(comparison, order(static_cast<int64_t>(left.payload()), right.signedView())));
    case Kind::Boolean:
        return ExprValue::boolean(
            holds(comparison, order(left.lowByteTruth(), right.lowByteTruth())));
    case Kind::String: {
        // Ordered by UTF-16 code units; a right operand that is not a string has the empty text.
        const QString rightText = right.kind() == Kind::String ? right.text() : QString();
        return ExprValue::boolean(holds(comparison, left.text().compare(rightText)));
    }
    default:
        break;
    }
    throw ParserException(QStringLiteral("unsupported comparison operation"));
}

template <typename T> static T bitwise(BitwiseOperator op, T left, T right)
{
    switch (op) {
    case BitwiseOperator::And:
        return left & right;
    case BitwiseOperator::Or:
        return left | right;
    case BitwiseOperator::Xor:
        return left ^ right;
    }
    return T();
}

ExprValue applyBitwise(BitwiseOperator op, const ExprValue &left, const ExprValue &right)
{
    switch (left.kind()) {
    case Kind::Signed:
        return ExprValue::signedInteger(bitwise(op, left.payload(), asPayload(right.signedView())));
    case Kind::Boolean:
        return ExprValue::boolean(bitwise(op, left.lowByteTruth(), right.lowByteTruth()));
    default:
        break;
    }
    throw unsupportedBinary();
}

static bool logical(LogicalOperator op, bool left, bool right)
{
    return op == LogicalOperator::And ? left && right : left || right;
}

ExprValue applyLogical(LogicalOperator op, const ExprValue &left, const ExprValue &right)
{
    switch (left.kind()) {
    case Kind::Signed:
        return ExprValue::signedInteger(
            logical(op, left.payload() != 0, right.signedView() != 0) ? 1 : 0);
    case Kind::Boolean:
        return ExprValue::boolean(logical(op, left.lowByteTruth(), right.lowByteTruth()));
    default:
        break;
    }
    throw unsupportedBinary();
}

// The count must be a signed integer and is taken modulo 64 (a negative count too: -1 shifts by
// 63), so "1 << 65" is 2.
ExprValue applyShift(ShiftDirection direction, const ExprValue &left, const ExprValue &right)
{
    if (right.kind() != Kind::Signed)
        throw ParserException(QStringLiteral("integer shift value expected"));
    const unsigned count = static_cast<unsigned>(asPayload(right.signedView()) & 63);
    const uint64_t payload = left.payload();
    if (left.kind() != Kind::Signed)
        throw ParserException(QStringLiteral("can only shift numeric values"));
    return ExprValue::signedInteger(direction == ShiftDirection::Left
                                        ? payload << count
                                        : asPayload(static_cast<int64_t>(payload) >> count));
}

ExprValue applyLogicalNot(const ExprValue &operand)
{
    switch (operand.kind()) {
    case Kind::Boolean:
    case Kind::Signed:
        return ExprValue::boolean(operand.payload() == 0);
    case Kind::Floating:
        return ExprValue::boolean(operand.payloadAsDouble() == 0.0);
    default:
        break;
    }
    throw unsupportedUnary();
}

ExprValue applyBitNot(const ExprValue &operand)
{
    if (operand.kind() != Kind::Signed)
        throw unsupportedUnary();
    return ExprValue::signedInteger(~operand.payload());
}

// Decision: negating a boolean gives the signed integer 0 or -1, the truth value negated.
ExprValue applyNegate(const ExprValue &operand)
{
    switch (operand.kind()) {
    case Kind::Signed:
        return ExprValue::signedInteger(0 - operand.payload());
    case Kind::Floating:
        return ExprValue::floating(-operand.payloadAsDouble());
    case Kind::Boolean:
        return ExprValue::signedInteger(operand.lowByteTruth() ? asPayload(-1) : 0);
    default:
        break;
    }
    throw unsupportedUnary();
}

} // namespace ldweave
