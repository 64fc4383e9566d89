// ExprValue: the value of an evaluated expression. The payload is always 64 bits; the size says
// how many of them a reader sees, and the signed, bit and floating views apply it.
#pragma once

#include <QString>

#include <cstdint>

namespace ldweave {

class ExprValue
{
public:
    enum class Kind { Boolean, Signed, Unsigned, String, Floating, None };

    /// A value of kind none.
    ExprValue() = default;

    static ExprValue boolean(bool value);
    static ExprValue signedInteger(uint64_t payload, uint32_t size, uint32_t bitCount = 0);
    static ExprValue unsignedInteger(uint64_t payload, uint32_t size, uint32_t bitCount = 0);
    static ExprValue string(const QString &text);
    static ExprValue floating(double value, uint32_t size);

    Kind kind() const { return m_kind; }
    bool isInteger() const { return m_kind == Kind::Signed || m_kind == Kind::Unsigned; }
    /// The raw 64 bits: the truth value in the lowest byte, an integer's two's-complement
    /// pattern, a floating value's IEEE double pattern; 0 for strings and none.
    uint64_t payload() const { return m_payload; }
    uint32_t size() const { return m_size; }
    uint32_t bitCount() const { return m_bitCount; }
    const QString &text() const { return m_text; }

    /// The lowest payload byte as a truth value; the way boolean operators read any right operand.
    bool lowByteTruth() const { return (m_payload & 0xff) != 0; }
    /// The payload bits read as an IEEE double (0.0 for strings and none).
    double payloadAsDouble() const;

    /// Booleans 0 or 1; integers sign-extended from their bit count or size; floating values
    /// truncated toward zero; the payload for strings; 0 for none.
    int64_t signedView() const;
    /// Booleans 0 or 1; integers zero-extended from their size; the IEEE pattern of a floating
    /// value (32 bits for a 4-byte one); 0 for strings and none.
    uint64_t bitView() const;
    /// Signed integers through the signed view, unsigned ones through the bit view, booleans
    /// 0.0 or 1.0, floating values as stored; 0.0 for anything else.
    double floatingView() const;

private:
    Kind m_kind = Kind::None;
    uint64_t m_payload = 0;
    uint32_t m_size = 0;     ///< bytes as the value is read: 1, 2, 4, 8; 4 or 8 for floating
    uint32_t m_bitCount = 0; ///< width of a bit-field integer, 0 otherwise
    QString m_text;          ///< the text of a string
};

} // namespace ldweave
