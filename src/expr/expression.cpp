// Evaluation of the expression nodes; operators apply the rules of operators.cpp.
#include "expr/expression.h"

#include "expr/operators.h"

namespace ldweave {

IntegerConstantExpression::IntegerConstantExpression(int64_t value)
    : ConstantExpression(ExprValue::signedInteger(static_cast<uint64_t>(value)))
{}

FloatConstantExpression::FloatConstantExpression(double value)
    : ConstantExpression(ExprValue::floating(value))
{}

StringConstantExpression::StringConstantExpression(const QString &text)
    : ConstantExpression(ExprValue::string(text))
{}

std::pair<ExprValue, ExprValue> BinaryExpression::evaluateOperands() const
{
    // The right operand is evaluated first, so its error is the one reported when both fail.
    const ExprValue right = m_right->evaluate();
    const ExprValue left = m_left->evaluate();
    return {left, right};
}

ExprValue NegateExpression::evaluate() const
{
    return applyNegate(operand()->evaluate());
}

ExprValue BitNotExpression::evaluate() const
{
    return applyBitNot(operand()->evaluate());
}

ExprValue LogicalNotExpression::evaluate() const
{
    return applyLogicalNot(operand()->evaluate());
}

ExprValue PlusExpression::evaluate() const
{
    const auto [leftValue, rightValue] = evaluateOperands();
    return applyArithmetic(ArithmeticOperator::Add, leftValue, rightValue);
}

ExprValue MinusExpression::evaluate() const
{
    const auto [leftValue, rightValue] = evaluateOperands();
    return applyArithmetic(ArithmeticOperator::Subtract, leftValue, rightValue);
}

ExprValue MultiplyExpression::evaluate() const
{
    const auto [leftValue, rightValue] = evaluateOperands();
    return applyArithmetic(ArithmeticOperator::Multiply, leftValue, rightValue);
}

ExprValue DivideExpression::evaluate() const
{
    const auto [leftValue, rightValue] = evaluateOperands();
    return applyDivide(leftValue, rightValue);
}

ExprValue ModExpression::evaluate() const
{
    const auto [leftValue, rightValue] = evaluateOperands();
    return applyRemainder(leftValue, rightValue);
}

ExprValue LshiftExpression::evaluate() const
{
    const auto [leftValue, rightValue] = evaluateOperands();
    return applyShift(ShiftDirection::Left, leftValue, rightValue);
}

ExprValue RshiftExpression::evaluate() const
{
    const auto [leftValue, rightValue] = evaluateOperands();
    return applyShift(ShiftDirection::Right, leftValue, rightValue);
}

ExprValue LtExpression::evaluate() const
{
    const auto [leftValue, rightValue] = evaluateOperands();
    return applyComparison(Comparison::Less, leftValue, rightValue);
}

ExprValue LeExpression::evaluate() const
{
    const auto [leftValue, rightValue] = evaluateOperands();
    return applyComparison(Comparison::LessEqual, leftValue, rightValue);
}

ExprValue GtExpression::evaluate() const
{
    const auto [leftValue, rightValue] = evaluateOperands();
    return applyComparison(Comparison::Greater, leftValue, rightValue);
}

ExprValue GeExpression::evaluate() const
{
    const auto [leftValue, rightValue] = evaluateOperands();
    return applyComparison(Comparison::GreaterEqual, leftValue, rightValue);
}

ExprValue EqExpression::evaluate() const
{
    const auto [leftValue, rightValue] = evaluateOperands();
    return applyComparison(Comparison::Equal, leftValue, rightValue);
}

ExprValue NeExpression::evaluate() const
{
    const auto [leftValue, rightValue] = evaluateOperands();
    return applyComparison(Comparison::NotEqual, leftValue, rightValue);
}

ExprValue BitAndExpression::evaluate() const
{
    const auto [leftValue, rightValue] = evaluateOperands();
    return applyBitwise(BitwiseOperator::And, leftValue, rightValue);
}

ExprValue BitXorExpression::evaluate() const
{
    const auto [leftValue, rightValue] = evaluateOperands();
    return applyBitwise(BitwiseOperator::Xor, leftValue, rightValue);
}

ExprValue BitOrExpression::evaluate() const
{
    const auto [leftValue, rightValue] = evaluateOperands();
    return applyBitwise(BitwiseOperator::Or, leftValue, rightValue);
}

ExprValue LogicalAndExpression::evaluate() const
{
    const auto [leftValue, rightValue] = evaluateOperands();
    return applyLogical(LogicalOperator::And, leftValue, rightValue);
}

ExprValue LogicalOrExpression::evaluate() const
{
    const auto [leftValue, rightValue] = evaluateOperands();
    return applyLogical(LogicalOperator::Or, leftValue, rightValue);
}

} // namespace ldweave
