// ExprValue constructors and views.
#include "expr/expr_value.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace ldweave {

static uint64_t doubleBits(double value)
{
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

static uint32_t floatBits(float value)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

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

ExprValue ExprValue::signedInteger(uint64_t payload, uint32_t size, uint32_t bitCount)
{
    ExprValue result;
    result.m_kind = Kind::Signed;
    result.m_payload = payload;
    result.m_size = size;
    result.m_bitCount = bitCount;
    return result;
}

ExprValue ExprValue::unsignedInteger(uint64_t payload, uint32_t size, uint32_t bitCount)
{
    ExprValue result = signedInteger(payload, size, bitCount);
    result.m_kind = Kind::Unsigned;
    return result;
}

ExprValue ExprValue::string(const QString &text)
{
    ExprValue result;
    result.m_kind = Kind::String;
    result.m_text = text;
    return result;
}

ExprValue ExprValue::floating(double value, uint32_t size)
{
    ExprValue result;
    result.m_kind = Kind::Floating;
    result.m_payload = doubleBits(value);
    result.m_size = size;
    return result;
}

double ExprValue::payloadAsDouble() const
{
    double value = 0;
    std::memcpy(&value, &m_payload, sizeof value);
    return value;
}

int64_t ExprValue::signedView() const
{
    switch (m_kind) {
    case Kind::Boolean:
        return lowByteTruth() ? 1 : 0;
    case Kind::Signed:
    case Kind::Unsigned:
        if (m_bitCount > 0 && m_bitCount < 64) {
            const unsigned unused = 64 - m_bitCount;
            return static_cast<int64_t>(m_payload << unused) >> unused;
        }
        switch (m_size) {
        case 1:
            return static_cast<int8_t>(m_payload);
        case 2:
            return static_cast<int16_t>(m_payload);
        case 4:
            return static_cast<int32_t>(m_payload);
        default:
            return static_cast<int64_t>(m_payload);
        }
    case Kind::Floating:
        return truncateToInteger(payloadAsDouble());
    case Kind::String:
        return static_cast<int64_t>(m_payload);
    default:
        break;
    }
    return 0;
}

uint64_t ExprValue::bitView() const
{
    switch (m_kind) {
    case Kind::Boolean:
        return lowByteTruth() ? 1 : 0;
    case Kind::Signed:
    case Kind::Unsigned:
        switch (m_size) {
        case 1:
            return m_payload & 0xff;
        case 2:
            return m_payload & 0xffff;
        case 4:
            return m_payload & 0xffffffff;
        default:
            return m_payload;
        }
    case Kind::Floating:
        // Decision: a floating value of any size other than 4 (a boolean or string left operand
        // of floating arithmetic gives size 0) reads as the 64-bit double it holds.
        if (m_size == 4)
            return floatBits(static_cast<float>(payloadAsDouble()));
        return m_payload;
    default:
        break;
    }
    return 0;
}

double ExprValue::floatingView() const
{
    switch (m_kind) {
    case Kind::Boolean:
        return lowByteTruth() ? 1.0 : 0.0;
    case Kind::Signed:
        return static_cast<double>(signedView());
    case Kind::Unsigned:
        return static_cast<double>(bitView());
    case Kind::Floating:
        return payloadAsDouble();
    default:
        break;
    }
    return 0.0;
}

} // namespace ldweave
