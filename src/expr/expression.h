// The expression tree: the node classes the parser builds, constants and operators. Every node
// owns its operands.
// Decision: nodes have no text form and no traversal operation; nothing in the tool reads them.
#pragma once

#include "expr/expr_value.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace ldweave {

class Expression
{
public:
    virtual ~Expression() = default;

    /// Computes the value; throws ParserException when an operation fails.
    virtual ExprValue evaluate() const = 0;

    /// Nodes on the longest path from this one down to a leaf, this one included; evaluating or
    /// destroying the tree recurses this deep, so the parser bounds it.
    int height() const { return m_height; }

protected:
    explicit Expression(int height)
        : m_height(height)
    {}

private:
    int m_height;
};

class ConstantExpression : public Expression
{
public:
    explicit ConstantExpression(const ExprValue &value)
        : Expression(1)
        , m_value(value)
    {}
    ExprValue evaluate() const override { return m_value; }
    const ExprValue &value() const { return m_value; }

private:
    ExprValue m_value;
};

/// An integer literal.
class IntegerConstantExpression final : public ConstantExpression
{
public:
    explicit IntegerConstantExpression(int64_t value);
};

/// A floating literal.
class FloatConstantExpression final : public ConstantExpression
{
public:
    explicit FloatConstantExpression(double value);
};

/// A string literal without its quotes.
class StringConstantExpression final : public ConstantExpression
{
public:
    explicit StringConstantExpression(const QString &text);
};

class UnaryExpression : public Expression
{
public:
    explicit UnaryExpression(std::unique_ptr<Expression> operand)
        : Expression(operand->height() + 1)
        , m_operand(std::move(operand))
    {}
    const Expression *operand() const { return m_operand.get(); }

private:
    std::unique_ptr<Expression> m_operand;
};

class NegateExpression final : public UnaryExpression
{
public:
    using UnaryExpression::UnaryExpression;
    ExprValue evaluate() const override;
};

class BitNotExpression final : public UnaryExpression
{
public:
    using UnaryExpression::UnaryExpression;
    ExprValue evaluate() const override;
};

class LogicalNotExpression final : public UnaryExpression
{
public:
    using UnaryExpression::UnaryExpression;
    ExprValue evaluate() const override;
};

class BinaryExpression : public Expression
{
public:
    BinaryExpression(std::unique_ptr<Expression> left, std::unique_ptr<Expression> right)
        : Expression(std::max(left->height(), right->height()) + 1)
        , m_left(std::move(left))
        , m_right(std::move(right))
    {}
    const Expression *left() const { return m_left.get(); }
    const Expression *right() const { return m_right.get(); }

protected:
    /// The operand values, the right one evaluated first.
    std::pair<ExprValue, ExprValue> evaluateOperands() const;

private:
    std::unique_ptr<Expression> m_left;
    std::unique_ptr<Expression> m_right;
};

// The binary operator nodes. Each evaluates its right operand first, then its left one, and
// always both: "&&" and "||" do not short-circuit.

class PlusExpression final : public BinaryExpression
{
public:
    using BinaryExpression::BinaryExpression;
    ExprValue evaluate() const override;
};

class MinusExpression final : public BinaryExpression
{
public:
    using BinaryExpression::BinaryExpression;
    ExprValue evaluate() const override;
};

class MultiplyExpression final : public BinaryExpression
{
public:
    using BinaryExpression::BinaryExpression;
    ExprValue evaluate() const override;
};

class DivideExpression final : public BinaryExpression
{
public:
    using BinaryExpression::BinaryExpression;
    ExprValue evaluate() const override;
};

class ModExpression final : public BinaryExpression
{
public:
    using BinaryExpression::BinaryExpression;
    ExprValue evaluate() const override;
};

class LshiftExpression final : public BinaryExpression
{
public:
    using BinaryExpression::BinaryExpression;
    ExprValue evaluate() const override;
};

class RshiftExpression final : public BinaryExpression
{
public:
    using BinaryExpression::BinaryExpression;
    ExprValue evaluate() const override;
};

class LtExpression final : public BinaryExpression
{
public:
    using BinaryExpression::BinaryExpression;
    ExprValue evaluate() const override;
};

class LeExpression final : public BinaryExpression
{
public:
    using BinaryExpression::BinaryExpression;
    ExprValue evaluate() const override;
};

class GtExpression final : public BinaryExpression
{
public:
    using BinaryExpression::BinaryExpression;
    ExprValue evaluate() const override;
};

class GeExpression final : public BinaryExpression
{
public:
    using BinaryExpression::BinaryExpression;
    ExprValue evaluate() const override;
};

class EqExpression final : public BinaryExpression
{
public:
    using BinaryExpression::BinaryExpression;
    ExprValue evaluate() const override;
};

class NeExpression final : public BinaryExpression
{
public:
    using BinaryExpression::BinaryExpression;
    ExprValue evaluate() const override;
};

class BitAndExpression final : public BinaryExpression
{
public:
    using BinaryExpression::BinaryExpression;
    ExprValue evaluate() const override;
};

class BitXorExpression final : public BinaryExpression
{
public:
    using BinaryExpression::BinaryExpression;
    ExprValue evaluate() const override;
};

class BitOrExpression final : public BinaryExpression
{
public:
    using BinaryExpression::BinaryExpression;
    ExprValue evaluate() const override;
};

class LogicalAndExpression final : public BinaryExpression
{
public:
    using BinaryExpression::BinaryExpression;
    ExprValue evaluate() const override;
};

class LogicalOrExpression final : public BinaryExpression
{
public:
    using BinaryExpression::BinaryExpression;
    ExprValue evaluate() const override;
};

} // namespace ldweave
