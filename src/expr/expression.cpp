// Evaluation and cloning of the expression nodes, and the type name constructors. Forms that
// need a program object go to the parser's hooks; operators apply the rules of operators.cpp.
#include "expr/expression.h"

#include "expr/expression_parser.h"
#include "expr/operators.h"
#include "expr/parser_exception.h"

namespace ldweave {

using Kind = ExprValue::Kind;

static int maxHeight(const std::vector<StructMember> &members)
{
    int height = 0;
    for (const StructMember &member : members)
        height = std::max(height, member.type->height());
    return height;
}

StructType::StructType(const QString &tag, std::vector<StructMember> members)
    : TypeName(maxHeight(members) + 1)
    , m_tag(tag)
    , m_members(std::move(members))
{}

PointerType::PointerType(std::unique_ptr<TypeName> target)
    : TypeName(target->height() + 1)
    , m_target(std::move(target))
{}

ArrayType::ArrayType(std::unique_ptr<TypeName> element, std::unique_ptr<Expression> length)
    : TypeName(std::max(element->height(), length->height()) + 1)
    , m_element(std::move(element))
    , m_length(std::move(length))
{}

ArrayType::~ArrayType() = default;

std::unique_ptr<Expression> Expression::clone() const
{
    throw ParserException(QStringLiteral("cannot duplicate expression"));
}

static ParserException badExpressionType()
{
    return ParserException(QStringLiteral("bad expression type"));
}

ExprValue Expression::resolve(const ExprValue &value) const
{
    return value.kind() == Kind::Marker ? m_parser->objectValue(value) : value;
}

std::pair<ExprValue, ExprValue> BinaryExpression::evaluateOperands() const
{
    // The right operand is evaluated first, so its error is the one reported when both fail.
    const ExprValue right = resolve(m_right->evaluate());
    const ExprValue left = resolve(m_left->evaluate());
    return {left, right};
}

std::unique_ptr<Expression> ConstantExpression::clone() const
{
    return std::make_unique<ConstantExpression>(parser(), m_value);
}

IntegerConstantExpression::IntegerConstantExpression(ExpressionParser *parser, int64_t value)
    : ConstantExpression(parser, ExprValue::signedInteger(static_cast<uint64_t>(value), 8))
{}

FloatConstantExpression::FloatConstantExpression(ExpressionParser *parser, double value)
    : ConstantExpression(parser, ExprValue::floating(value, 8))
{}

StringConstantExpression::StringConstantExpression(ExpressionParser *parser, const QString &text)
    : ConstantExpression(parser, ExprValue::string(text))
{}

ExprValue IdentifierExpression::evaluate() const
{
    return parser()->nameValue(m_name);
}

std::unique_ptr<Expression> IdentifierExpression::clone() const
{
    return std::make_unique<IdentifierExpression>(parser(), m_name);
}

ExprValue ScopedIdentifierExpression::evaluate() const
{
    return parser()->scopedNameValue(m_names, m_global);
}

std::unique_ptr<Expression> ScopedIdentifierExpression::clone() const
{
    return std::make_unique<ScopedIdentifierExpression>(parser(), m_names, m_global);
}

ExprValue RegisterExpression::evaluate() const
{
    return parser()->registerValue(m_name);
}

ExprValue NegateExpression::evaluate() const
{
    return applyNegate(resolve(operand()->evaluate()));
}

ExprValue BitNotExpression::evaluate() const
{
    return applyBitNot(resolve(operand()->evaluate()));
}

ExprValue LogicalNotExpression::evaluate() const
{
    return applyLogicalNot(resolve(operand()->evaluate()));
}

ExprValue PlusExpression::evaluate() const
{
    // "+" offsets a pointer instead of reading the value it points to.
    const ExprValue rightValue = right()->evaluate();
    const ExprValue leftValue = left()->evaluate();
    if (leftValue.kind() == Kind::Marker && parser()->isPointer(leftValue))
        return parser()->pointerArithmetic(leftValue, resolve(rightValue));
    if (rightValue.kind() == Kind::Marker && parser()->isPointer(rightValue))
        return parser()->pointerArithmetic(rightValue, resolve(leftValue));
    return applyArithmetic(ArithmeticOperator::Add, resolve(leftValue), resolve(rightValue));
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

ExprValue AssignExpression::evaluate() const
{
    const ExprValue target = left()->evaluate();
    if (target.kind() != Kind::Marker)
        throw badExpressionType();
    return parser()->assign(target, right()->evaluate());
}

ExprValue LeftSquareBracketExpression::evaluate() const
{
    const ExprValue object = left()->evaluate();
    if (object.kind() != Kind::Marker)
        throw badExpressionType();
    const ExprValue index = right()->evaluate();
    if (index.kind() == Kind::None)
        throw ParserException(QStringLiteral("bad index type"));
    return parser()->dereference(object, index);
}

std::unique_ptr<Expression> LeftSquareBracketExpression::clone() const
{
    return std::make_unique<LeftSquareBracketExpression>(parser(), left()->clone(),
                                                         right()->clone());
}

ExprValue DotExpression::evaluate() const
{
    const ExprValue object = left()->evaluate();
    if (object.kind() != Kind::Marker)
        throw badExpressionType();
    return parser()->memberValue(object, *right());
}

std::unique_ptr<Expression> DotExpression::clone() const
{
    return std::make_unique<DotExpression>(parser(), left()->clone(), right()->clone());
}

ExprValue AddressofExpression::evaluate() const
{
    const ExprValue object = m_operand->evaluate();
    if (object.kind() != Kind::Marker)
        throw ParserException(QStringLiteral("cannot take address of a constant"));
    return parser()->addressOf(object);
}

ExprValue CastExpression::evaluate() const
{
    return parser()->castValue(m_operand->evaluate(), *m_type);
}

ExprValue SizeofExpression::evaluate() const
{
    if (!m_operand)
        return parser()->sizeOfType(*m_type);
    const ExprValue object = m_operand->evaluate();
    if (object.kind() != Kind::Marker)
        throw ParserException(QStringLiteral("cannot determine sizeof of a constant"));
    return parser()->sizeOf(object);
}

ExprValue AddressofLineExpression::evaluate() const
{
    return parser()->addressOfLine(m_fileName, m_line);
}

static int argumentHeight(const std::vector<std::unique_ptr<Expression>> &arguments)
{
    int height = 0;
    for (const std::unique_ptr<Expression> &argument : arguments)
        height = std::max(height, argument->height());
    return height;
}

CallExpression::CallExpression(ExpressionParser *parser, std::unique_ptr<Expression> function,
                               std::vector<std::unique_ptr<Expression>> arguments)
    : Expression(parser, std::max(function->height(), argumentHeight(arguments)) + 1)
    , m_function(std::move(function))
    , m_arguments(std::move(arguments))
{}

// Decision: calling something that is not a program object fails with "bad expression type",
// the message of the other forms that need one.
ExprValue CallExpression::evaluate() const
{
    const ExprValue function = m_function->evaluate();
    if (function.kind() != Kind::Marker)
        throw badExpressionType();
    std::vector<ExprValue> values;
    values.reserve(m_arguments.size());
    for (const std::unique_ptr<Expression> &argument : m_arguments)
        values.push_back(argument->evaluate());
    return parser()->call(function, values);
}

} // namespace ldweave
