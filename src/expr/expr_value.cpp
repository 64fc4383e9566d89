// ExprValue constructors and views.
#include "expr/expr_value.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace ldweave {

// Decision: a floating value outside the 64-bit range reads as the nearest end of that range and
// NaN reads as 0, so truncation never meets an unrepresentable value.
static int64_t truncateToInteger(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 9223372036854775808.0)
        return std::numeric_limits<int64_t>::max();
    if (value < -9223372036854775808.0)
        return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(value);
}

ExprValue ExprValue::boolean(bool value)
{
    ExprValue result;
    result.m_kind = Kind::Boolean;
    result.m_payload = value ? 1 : 0;
    return result;
}

ExprValue ExprValue::signedInteger(uint64_t payload)
{
    ExprValue result;
    result.m_kind = Kind::Signed;
    result.m_payload = payload;
    return result;
}

ExprValue ExprValue::string(const QString &text)
{
    ExprValue result;
    result.m_kind = Kind::String;
    result.m_text = text;
    return result;
}

ExprValue ExprValue::floating(double value)
{
    ExprValue result;
    result.m_kind = Kind::Floating;
    std::memcpy(&result.m_payload, &value, sizeof value);
    return result;
}

double ExprValue::payloadAsDouble() const
{
    double value = 0;
    std::memcpy(&value, &m_payload, sizeof value);
    return value;
}

// A boolean's payload is its truth value, and strings and none hold 0.
int64_t ExprValue::signedView() const
{
    if (m_kind == Kind::Floating)
        return truncateToInteger(payloadAsDouble());
    return static_cast<int64_t>(m_payload);
}

double ExprValue::floatingView() const
{
    if (m_kind == Kind::Floating)
        return payloadAsDouble();
    return static_cast<double>(signedView());
}

} // namespace ldweave
