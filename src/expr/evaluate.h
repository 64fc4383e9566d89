// The evaluation entry points: attribute texts and pre-processor conditions in, a value or a
// "not valid" flag out. Only evaluateText throws; the others catch every ParserException and
// print nothing.
#pragma once

#include "expr/expr_value.h"
#include "expr/expression_parser.h"

#include <QString>

#include <cstdint>

namespace ldweave {

/// Parses and evaluates `text`; an empty text gives a value of kind none. Throws
/// ParserException for a syntax or evaluation error.
ExprValue evaluateText(SimpleExpressionParser &parser, const QString &text);

/// The payload bits of an integer or floating result with ok true; 0 with ok false for any
/// other result or an error.
uint64_t evaluateNumberBits(SimpleExpressionParser &parser, const QString &text, bool &ok);

/// What a numeric text is, for the checks of -diagnostics: whether it evaluates, its value and
/// whether the expression took the whole text ("64K" is 64, but not whole).
struct NumberReading
{
    bool ok = false;
    bool whole = false;
    uint64_t bits = 0;
};
NumberReading readNumber(SimpleExpressionParser &parser, const QString &text);

/// The signed view of an integer or floating result with ok true; 0 with ok false for
/// any other result or an error.
int64_t evaluateNumber(SimpleExpressionParser &parser, const QString &text, bool &ok);

/// The truth value of a boolean result with ok true; false with ok false for any other result
/// (an integer too: "1" is not a condition) or an error.
bool evaluateCondition(SimpleExpressionParser &parser, const QString &text, bool &ok);

} // namespace ldweave
