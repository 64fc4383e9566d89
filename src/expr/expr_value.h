// ExprValue: the value of an evaluated expression, a boolean, a 64-bit signed integer, a 64-bit
// floating value, a string or none. The payload and the signed and floating views read any of
// them as a number.
#pragma once

#include <QString>

#include <cstdint>

namespace ldweave {

class ExprValue
{
public:
    enum class Kind { Boolean, Signed, String, Floating, None };

    /// A value of kind none.
    ExprValue() = default;

    static ExprValue boolean(bool value);
    /// A signed integer holding the 64-bit two's-complement pattern `payload`.
    static ExprValue signedInteger(uint64_t payload);
    static ExprValue string(const QString &text);
    static ExprValue floating(double value);

    Kind kind() const { return m_kind; }
    /// The raw 64 bits: a boolean's 0 or 1, an integer's two's-complement pattern, a floating
    /// value's IEEE double pattern; 0 for strings and none.
    uint64_t payload() const { return m_payload; }
    const QString &text() const { return m_text; }

    /// The lowest payload byte as a truth value; the way boolean operators read any right operand.
    bool lowByteTruth() const { return (m_payload & 0xff) != 0; }
    /// The payload bits read as an IEEE double (0.0 for strings and none).
    double payloadAsDouble() const;

    /// Booleans 0 or 1; integers as they are; floating values truncated toward zero; 0 for
    /// strings and none.
    int64_t signedView() const;
    /// Floating values as they are; anything else is the signed view converted.
    double floatingView() const;

private:
    Kind m_kind = Kind::None;
    uint64_t m_payload = 0;
    QString m_text; ///< the text of a string
};

} // namespace ldweave
