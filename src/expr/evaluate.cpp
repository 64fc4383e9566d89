// The evaluation entry points. The ParserException catches here are the only ones in the
// expression subsystem: an expression error becomes a "not valid" result.
#include "expr/evaluate.h"

#include "expr/expression.h"
#include "expr/parser_exception.h"

#include <optional>

namespace ldweave {

ExprValue evaluateText(SimpleExpressionParser &parser, const QString &text)
{
    const std::unique_ptr<Expression> root = parser.parse(text);
    if (!root)
        return ExprValue();
    return root->evaluate();
}

static bool isNumber(const ExprValue &value)
{
    return value.kind() == ExprValue::Kind::Signed || value.kind() == ExprValue::Kind::Floating;
}

static bool isBoolean(const ExprValue &value)
{
    return value.kind() == ExprValue::Kind::Boolean;
}

// The value of `text` when evaluation succeeds and `accepted` takes the result; nothing otherwise.
static std::optional<ExprValue> acceptedValue(SimpleExpressionParser &parser, const QString &text,
                                              bool (*accepted)(const ExprValue &))
{
    try {
        ExprValue value = evaluateText(parser, text);
        if (accepted(value))
            return value;
    } catch (const ParserException &) {
        // An expression error is a "not valid" result, never an error of the caller.
    }
    return std::nullopt;
}

uint64_t evaluateNumberBits(SimpleExpressionParser &parser, const QString &text, bool &ok)
{
    const std::optional<ExprValue> value = acceptedValue(parser, text, isNumber);
    ok = value.has_value();
    return ok ? value->payload() : 0;
}

NumberReading readNumber(SimpleExpressionParser &parser, const QString &text)
{
    NumberReading reading;
    reading.bits = evaluateNumberBits(parser, text, reading.ok);
    reading.whole = reading.ok && parser.parsedWholeText();
    return reading;
}

int64_t evaluateNumber(SimpleExpressionParser &parser, const QString &text, bool &ok)
{
    const std::optional<ExprValue> value = acceptedValue(parser, text, isNumber);
    ok = value.has_value();
    return ok ? value->signedView() : 0;
}

bool evaluateCondition(SimpleExpressionParser &parser, const QString &text, bool &ok)
{
    const std::optional<ExprValue> value = acceptedValue(parser, text, isBoolean);
    ok = value.has_value();
    return ok && value->lowByteTruth();
}

} // namespace ldweave
