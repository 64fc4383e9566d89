#include "xml/text_bytes.h"

#include <gtest/gtest.h>

namespace ldweave {

// ASCII texts take a shortcut; texts with other bytes must convert exactly as UTF-8 does, also
// when the first non-ASCII byte comes late or the text is invalid UTF-8.
TEST(TextBytes, ConvertAsUTF8BothWays)
{
    struct Row
    {
        std::string bytes;
        QString text;
    };
    const Row rows[] = {
        {"", QString()},
        {"0x20000000 + 4", QStringLiteral("0x20000000 + 4")},
        {"\x01\x7f", QString::fromUtf16(u"\u0001\u007f")},
        {"caf\xc3\xa9", QString::fromUtf16(u"caf\u00e9")},
        {"segment_\xe2\x82\xac", QString::fromUtf16(u"segment_\u20ac")},
        {"\xf0\x9f\x98\x80x", QString::fromUtf16(u"\U0001F600x")},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.bytes);
        EXPECT_EQ(fromBytes(row.bytes), row.text);
        EXPECT_EQ(toBytes(row.text), row.bytes);
    }
    // A byte that is no UTF-8 becomes the replacement character, as with the general codec.
    EXPECT_EQ(fromBytes("a\xff"), QString::fromUtf16(u"a\ufffd"));
    EXPECT_EQ(fromBytes(std::string("a\0b", 3)).size(), 3);
}

} // namespace ldweave
