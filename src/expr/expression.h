// The expression tree: the node classes the parser builds, and the type names that casts and
// "sizeof" hold. Every node owns its operands and keeps a pointer to the parser whose hooks
// evaluate the forms that need a program object.
// Decision: nodes have no text form and no traversal operation; nothing in the tool reads them.
#pragma once

#include "expr/expr_value.h"

#include <QStringList>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace ldweave {

class Expression;
class ExpressionParser;

// ---------------------------------------------------------------------------------------------
// Type names

class TypeName
{
public:
    virtual ~TypeName() = default;

    /// Levels of nesting below and including this type (pointer and array wrappers, members,
    /// array length expressions); the parser bounds it.
    int height() const { return m_height; }

protected:
    explicit TypeName(int height)
        : m_height(height)
    {}

private:
    int m_height;
};

/// A run of the words "long", "int", "short", "char", "unsigned", "signed", "const", "volatile".
class SimpleType final : public TypeName
{
public:
    explicit SimpleType(const QStringList &words)
        : TypeName(1)
        , m_words(words)
    {}
    const QStringList &words() const { return m_words; }

private:
    QStringList m_words;
};

/// A type named by an identifier that the parser's type look-up knows.
class UserType final : public TypeName
{
public:
    explicit UserType(const QString &name)
        : TypeName(1)
        , m_name(name)
    {}
    const QString &name() const { return m_name; }

private:
    QString m_name;
};

struct StructMember
{
    std::unique_ptr<TypeName> type;
    QString name;
};

/// "struct" with an optional tag and an optional member list.
class StructType final : public TypeName
{
public:
    StructType(const QString &tag, std::vector<StructMember> members);
    const QString &tag() const { return m_tag; }
    const std::vector<StructMember> &members() const { return m_members; }

private:
    QString m_tag;
    std::vector<StructMember> m_members;
};

struct RegisterField
{
    QString name;
    int64_t bitSize;
    int64_t bitOffset;
};

/// "register" with a size in bytes and its named bit fields.
class RegisterType final : public TypeName
{
public:
    RegisterType(int64_t size, std::vector<RegisterField> fields)
        : TypeName(1)
        , m_size(size)
        , m_fields(std::move(fields))
    {}
    int64_t size() const { return m_size; }
    const std::vector<RegisterField> &fields() const { return m_fields; }

private:
    int64_t m_size;
    std::vector<RegisterField> m_fields;
};

class PointerType final : public TypeName
{
public:
    explicit PointerType(std::unique_ptr<TypeName> target);
    const TypeName *target() const { return m_target.get(); }

private:
    std::unique_ptr<TypeName> m_target;
};

class ArrayType final : public TypeName
{
public:
    ArrayType(std::unique_ptr<TypeName> element, std::unique_ptr<Expression> length);
    ~ArrayType() override;
    const TypeName *element() const { return m_element.get(); }
    const Expression *length() const { return m_length.get(); }

private:
    std::unique_ptr<TypeName> m_element;
    std::unique_ptr<Expression> m_length;
};

// ---------------------------------------------------------------------------------------------
// Expression nodes

class Expression
{
public:
    virtual ~Expression() = default;

    /// Computes the value; throws ParserException when an operation fails.
    virtual ExprValue evaluate() const = 0;
    /// A copy of the subtree. Throws ParserException "cannot duplicate expression" for every node
    /// class except constants, identifiers, subscripts and member accesses.
    virtual std::unique_ptr<Expression> clone() const;

    /// Nodes on the longest path from this one down to a leaf, this one included; evaluating or
    /// destroying the tree recurses this deep, so the parser bounds it.
    int height() const { return m_height; }
    ExpressionParser *parser() const { return m_parser; }

protected:
    Expression(ExpressionParser *parser, int height)
        : m_parser(parser)
        , m_height(height)
    {}

    /// An operator's operand value: a marker is replaced by its program object's value.
    ExprValue resolve(const ExprValue &value) const;

private:
    ExpressionParser *m_parser; ///< the parser that built the node; it outlives the tree
    int m_height;
};

class ConstantExpression : public Expression
{
public:
    ConstantExpression(ExpressionParser *parser, const ExprValue &value)
        : Expression(parser, 1)
        , m_value(value)
    {}
    ExprValue evaluate() const override { return m_value; }
    std::unique_ptr<Expression> clone() const override;
    const ExprValue &value() const { return m_value; }

private:
    ExprValue m_value;
};

/// A signed 8-byte integer literal.
class IntegerConstantExpression final : public ConstantExpression
{
public:
    IntegerConstantExpression(ExpressionParser *parser, int64_t value);
};

/// An 8-byte floating literal.
class FloatConstantExpression final : public ConstantExpression
{
public:
    FloatConstantExpression(ExpressionParser *parser, double value);
};

/// A string literal without its quotes.
class StringConstantExpression final : public ConstantExpression
{
public:
    StringConstantExpression(ExpressionParser *parser, const QString &text);
};

class IdentifierExpression final : public Expression
{
public:
    IdentifierExpression(ExpressionParser *parser, const QString &name)
        : Expression(parser, 1)
        , m_name(name)
    {}
    ExprValue evaluate() const override;
    std::unique_ptr<Expression> clone() const override;
    const QString &name() const { return m_name; }

private:
    QString m_name;
};

/// "a::b" or "::a": names joined by "::", global when written with a leading "::".
class ScopedIdentifierExpression final : public Expression
{
public:
    ScopedIdentifierExpression(ExpressionParser *parser, const QStringList &names, bool global)
        : Expression(parser, 1)
        , m_names(names)
        , m_global(global)
    {}
    ExprValue evaluate() const override;
    std::unique_ptr<Expression> clone() const override;
    const QStringList &names() const { return m_names; }
    bool isGlobal() const { return m_global; }

private:
    QStringList m_names;
    bool m_global;
};

/// "@name"; holds the name without "@".
class RegisterExpression final : public Expression
{
public:
    RegisterExpression(ExpressionParser *parser, const QString &name)
        : Expression(parser, 1)
        , m_name(name)
    {}
    ExprValue evaluate() const override;
    const QString &name() const { return m_name; }

private:
    QString m_name;
};

class UnaryExpression : public Expression
{
public:
    UnaryExpression(ExpressionParser *parser, std::unique_ptr<Expression> operand)
        : Expression(parser, operand->height() + 1)
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
    BinaryExpression(ExpressionParser *parser, std::unique_ptr<Expression> left,
                     std::unique_ptr<Expression> right)
        : Expression(parser, std::max(left->height(), right->height()) + 1)
        , m_left(std::move(left))
        , m_right(std::move(right))
    {}
    const Expression *left() const { return m_left.get(); }
    const Expression *right() const { return m_right.get(); }

protected:
    /// The operand values, the right one evaluated first; markers replaced by their values.
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

// The nodes that need a program object on their left: they evaluate the left side first and
// fail with "bad expression type" when it is not a marker.

class AssignExpression final : public BinaryExpression
{
public:
    using BinaryExpression::BinaryExpression;
    ExprValue evaluate() const override;
};

/// "a[i]", and "*p" as "p[0]".
class LeftSquareBracketExpression final : public BinaryExpression
{
public:
    using BinaryExpression::BinaryExpression;
    ExprValue evaluate() const override;
    std::unique_ptr<Expression> clone() const override;
};

/// "a.b" and "a->b"; the right side is an identifier expression naming the member.
class DotExpression final : public BinaryExpression
{
public:
    using BinaryExpression::BinaryExpression;
    ExprValue evaluate() const override;
    std::unique_ptr<Expression> clone() const override;
};

/// "&x".
class AddressofExpression final : public Expression
{
public:
    AddressofExpression(ExpressionParser *parser, std::unique_ptr<Expression> operand)
        : Expression(parser, operand->height() + 1)
        , m_operand(std::move(operand))
    {}
    ExprValue evaluate() const override;
    const Expression *operand() const { return m_operand.get(); }

private:
    std::unique_ptr<Expression> m_operand;
};

/// "(type) operand".
class CastExpression final : public Expression
{
public:
    CastExpression(ExpressionParser *parser, std::unique_ptr<TypeName> type,
                   std::unique_ptr<Expression> operand)
        : Expression(parser, std::max(type->height(), operand->height()) + 1)
        , m_type(std::move(type))
        , m_operand(std::move(operand))
    {}
    ExprValue evaluate() const override;
    const TypeName *type() const { return m_type.get(); }
    const Expression *operand() const { return m_operand.get(); }

private:
    std::unique_ptr<TypeName> m_type;
    std::unique_ptr<Expression> m_operand;
};

/// "sizeof expression" or "sizeof(type)": exactly one of operand and type is set.
class SizeofExpression final : public Expression
{
public:
    SizeofExpression(ExpressionParser *parser, std::unique_ptr<Expression> operand)
        : Expression(parser, operand->height() + 1)
        , m_operand(std::move(operand))
    {}
    SizeofExpression(ExpressionParser *parser, std::unique_ptr<TypeName> type)
        : Expression(parser, type->height() + 1)
        , m_type(std::move(type))
    {}
    ExprValue evaluate() const override;
    const Expression *operand() const { return m_operand.get(); }
    const TypeName *type() const { return m_type.get(); }

private:
    std::unique_ptr<Expression> m_operand;
    std::unique_ptr<TypeName> m_type;
};

/// addressof("file", line): the address of a source line.
class AddressofLineExpression final : public Expression
{
public:
    AddressofLineExpression(ExpressionParser *parser, const QString &fileName, int64_t line)
        : Expression(parser, 1)
        , m_fileName(fileName)
        , m_line(line)
    {}
    ExprValue evaluate() const override;
    const QString &fileName() const { return m_fileName; }
    int64_t line() const { return m_line; }

private:
    QString m_fileName;
    int64_t m_line;
};

/// "f(a, b)".
class CallExpression final : public Expression
{
public:
    CallExpression(ExpressionParser *parser, std::unique_ptr<Expression> function,
                   std::vector<std::unique_ptr<Expression>> arguments);
    ExprValue evaluate() const override;
    const Expression *function() const { return m_function.get(); }
    const std::vector<std::unique_ptr<Expression>> &arguments() const { return m_arguments; }

private:
    std::unique_ptr<Expression> m_function;
    std::vector<std::unique_ptr<Expression>> m_arguments;
};

} // namespace ldweave
