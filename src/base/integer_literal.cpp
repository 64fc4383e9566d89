// The integer reader.
#include "base/integer_literal.h"

namespace ldweave {

// "0"-"9", then the letters of either case as 10 to 35; -1 for any other character.
static int digitValue(QChar character)
{
    const char16_t code = character.unicode();
    if (code >= u'0' && code <= u'9')
        return code - u'0';
    if (code >= u'a' && code <= u'z')
        return code - u'a' + 10;
    if (code >= u'A' && code <= u'Z')
        return code - u'A' + 10;
    return -1;
}

static bool isSuffixLetter(QChar character)
{
    return character == u'U' || character == u'u' || character == u'L' || character == u'l';
}

// literal ::= blank* ('-' | '+')? ('0x' | '0b')? digit* (suffix anything)?
// whole   ::= space* ('0x' | '0X')? digit+ space*
std::optional<uint64_t> readInteger(QStringView text, const IntegerSyntax &syntax)
{
    QStringView rest = text;
    if (syntax.whole) {
        rest = rest.trimmed();
    } else {
        // Decision: tabs count as blanks too, as they do anywhere else in an attribute value.
        while (rest.startsWith(u' ') || rest.startsWith(u'\t'))
            rest = rest.sliced(1);
    }
    bool negative = false;
    if (syntax.sign && (rest.startsWith(u'-') || rest.startsWith(u'+'))) {
        negative = rest.startsWith(u'-');
        rest = rest.sliced(1);
    }
    uint64_t base = 10;
    if (rest.startsWith(u"0x") || (syntax.upperCaseHexPrefix && rest.startsWith(u"0X"))) {
        base = 16;
        rest = rest.sliced(2);
    } else if (syntax.binaryPrefix && rest.startsWith(u"0b")) {
        base = 2;
        rest = rest.sliced(2);
    } else if (rest.startsWith(u'0')) {
        base = 8;
    }
    if (syntax.whole && rest.isEmpty())
        return std::nullopt;
    uint64_t value = 0;
    for (const QChar character : rest) {
        const int digit = digitValue(character);
        if (syntax.whole) {
            if (digit < 0 || static_cast<uint64_t>(digit) >= base
                || value > (syntax.maxValue - static_cast<uint64_t>(digit)) / base) {
                return std::nullopt;
            }
        } else if (digit < 0 || isSuffixLetter(character)) {
            // Decision: any other character ends the number, the way a suffix does.
            break;
        }
        value = value * base + static_cast<uint64_t>(digit);
    }
    return negative ? 0 - value : value;
}

} // namespace ldweave
