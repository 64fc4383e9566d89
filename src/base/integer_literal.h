// The one reader of integer texts: expression literals, alignments and register sizes, and the
// fixed sizes of sections placed from the end of their segment. They differ only in the syntax
// they accept, which IntegerSyntax spells out.
#pragma once

#include <QStringView>

#include <cstdint>
#include <optional>

namespace ldweave {

/// What an integer text may hold besides its digits. Every syntax reads a lower-case "0x" as the
/// prefix of a hexadecimal number and any other leading "0" as the first digit of an octal one;
/// "0" to "9" are digits, and so are the letters, worth 10 to 35 in either case.
struct IntegerSyntax
{
    bool sign;               ///< a "+" or "-" may come first
    bool binaryPrefix;       ///< "0b" starts a binary number
    bool upperCaseHexPrefix; ///< "0X" starts a hexadecimal number as "0x" does
    /// The text is the number and nothing else: white space around it, at least one digit, each
    /// below the base, and a value of at most maxValue. Otherwise only spaces and tabs may lead,
    /// the digits end at the end of the text, at a "U", "u", "L" or "l" suffix or at any other
    /// character, a digit at or above the base counts all the same, and the value wraps at 64
    /// bits.
    bool whole;
    uint64_t maxValue; ///< the largest value a whole text may hold
};

/// Integer literals of expressions, alignments and register sizes: "-5", "0x10UL", "0b101",
/// "010" (8), "09" (9), "0X10" (octal with "X" as a digit: 2120).
inline constexpr IntegerSyntax kLiteralSyntax{true, true, false, false, UINT64_MAX};
/// The fixed size of a section placed from the end of its segment: an unsigned 32-bit number,
/// "0x" or "0X" hexadecimal, any other leading "0" octal, otherwise decimal.
/// Decision: white space around the number is allowed; a sign is not, sizes are never negative.
inline constexpr IntegerSyntax kFixedSizeSyntax{false, false, true, true, UINT32_MAX};

/// The value `text` holds in `syntax`. Nothing only when a whole text is not a number; a literal
/// without digits reads as 0.
std::optional<uint64_t> readInteger(QStringView text, const IntegerSyntax &syntax);

} // namespace ldweave
