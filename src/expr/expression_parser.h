// The expression parser of this tool: C-style tokens, constants and operators. The forms of the
// language that stand for program objects (names, registers, casts, "sizeof", "addressof",
// subscripts, member accesses, calls, assignments) are refused, since the tool has no program
// objects to give them a value.
#pragma once

#include <QString>

#include <memory>

namespace ldweave {

class Expression;
class Lexer;

/// The deepest nesting a parse accepts: recursive parse steps (brackets, unary operators,
/// operands of higher precedence) and the height of the tree built.
/// Decision: deeper input fails with "expression nested too deeply", so neither parsing nor
/// evaluating nor destroying a tree can exhaust the stack; real attribute values nest a few
/// levels.
constexpr int kMaxExpressionDepth = 2000;

class SimpleExpressionParser
{
public:
    SimpleExpressionParser();
    ~SimpleExpressionParser();
    SimpleExpressionParser(const SimpleExpressionParser &) = delete;
    SimpleExpressionParser &operator=(const SimpleExpressionParser &) = delete;

    /// Parses one expression from the start of `text`; tokens after it are not examined, but the
    /// one right after it must be a valid token. Returns nullptr for an empty text. Throws
    /// ParserException for a syntax error or a form that needs a program object; nothing is left
    /// allocated then.
    std::unique_ptr<Expression> parse(const QString &text);
    /// Whether the last successful parse used every token of its text ("64K" parses as 64 and
    /// leaves "K").
    bool parsedWholeText() const;

private:
    std::unique_ptr<Lexer> m_lexer;
};

} // namespace ldweave
