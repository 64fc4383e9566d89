// The expression parsers: ExpressionParser holds the grammar and declares the evaluation hooks
// through which the tree reaches program objects; SimpleExpressionParser is the parser of this
// tool, whose hooks know no program objects and fail.
#pragma once

#include "expr/expr_value.h"

#include <QStringList>

#include <memory>
#include <vector>

namespace ldweave {

class Expression;
class Lexer;
class TypeName;

/// The deepest nesting a parse accepts: recursive parse steps (brackets, unary operators,
/// operands of higher precedence, type names) and the height of the tree built.
/// Decision: deeper input fails with "expression nested too deeply", so neither parsing nor
/// evaluating nor destroying a tree can exhaust the stack; real attribute values nest a few
/// levels.
constexpr int kMaxExpressionDepth = 2000;

class ExpressionParser
{
public:
    virtual ~ExpressionParser();
    ExpressionParser(const ExpressionParser &) = delete;
    ExpressionParser &operator=(const ExpressionParser &) = delete;

    /// Parses one expression from the start of `text`; tokens after it are not examined, but the
    /// one right after it must be a valid token. Returns nullptr for an empty text. Throws
    /// ParserException for a syntax error; nothing is left allocated then.
    std::unique_ptr<Expression> parse(const QString &text);

    const Lexer &lexer() const { return *m_lexer; }

    // Evaluation hooks, called by the nodes.

    /// The value of "a::b" ("::a" when global).
    virtual ExprValue scopedNameValue(const QStringList &names, bool global) = 0;
    virtual ExprValue nameValue(const QString &name) = 0;
    /// The value of "@name"; `name` is without "@".
    virtual ExprValue registerValue(const QString &name) = 0;
    /// Whether an identifier names a type, so that "(name)" starts a cast.
    virtual bool isTypeName(const QString &name) = 0;
    virtual ExprValue castValue(const ExprValue &value, const TypeName &type) = 0;
    /// Whether a marker is a pointer, which "+" then offsets instead of reading its value.
    virtual bool isPointer(const ExprValue &marker) = 0;
    /// The value of the program object a marker stands for.
    virtual ExprValue objectValue(const ExprValue &marker) = 0;
    virtual ExprValue dereference(const ExprValue &marker, const ExprValue &index) = 0;
    virtual ExprValue memberValue(const ExprValue &marker, const Expression &member) = 0;
    virtual ExprValue addressOf(const ExprValue &marker) = 0;
    virtual ExprValue sizeOf(const ExprValue &marker) = 0;
    virtual ExprValue sizeOfType(const TypeName &type) = 0;
    virtual ExprValue addressOfLine(const QString &fileName, int64_t line) = 0;
    virtual ExprValue pointerArithmetic(const ExprValue &pointer, const ExprValue &offset) = 0;
    virtual ExprValue assign(const ExprValue &target, const ExprValue &value) = 0;
    virtual ExprValue call(const ExprValue &function, const std::vector<ExprValue> &arguments) = 0;

protected:
    explicit ExpressionParser(std::unique_ptr<Lexer> lexer);

private:
    std::unique_ptr<Lexer> m_lexer;
};

/// The parser of this tool: C-style tokens, and no program objects, so every name, register,
/// cast, address and size form fails to evaluate.
class SimpleExpressionParser final : public ExpressionParser
{
public:
    SimpleExpressionParser();

    ExprValue scopedNameValue(const QStringList &names, bool global) override;
    ExprValue nameValue(const QString &name) override;
    ExprValue registerValue(const QString &name) override;
    bool isTypeName(const QString &name) override;
    ExprValue castValue(const ExprValue &value, const TypeName &type) override;
    bool isPointer(const ExprValue &marker) override;
    ExprValue objectValue(const ExprValue &marker) override;
    ExprValue dereference(const ExprValue &marker, const ExprValue &index) override;
    ExprValue memberValue(const ExprValue &marker, const Expression &member) override;
    ExprValue addressOf(const ExprValue &marker) override;
    ExprValue sizeOf(const ExprValue &marker) override;
    ExprValue sizeOfType(const TypeName &type) override;
    ExprValue addressOfLine(const QString &fileName, int64_t line) override;
    ExprValue pointerArithmetic(const ExprValue &pointer, const ExprValue &offset) override;
    ExprValue assign(const ExprValue &target, const ExprValue &value) override;
    ExprValue call(const ExprValue &function, const std::vector<ExprValue> &arguments) override;
};

} // namespace ldweave
