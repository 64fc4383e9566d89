#include "base/integer_literal.h"

#include <QString>

#include <gtest/gtest.h>

#include <limits>

namespace ldweave {
namespace {

TEST(ReadInteger, LiteralsNeverFailAndWrapAt64Bits)
{
    const struct
    {
        const char *text;
        int64_t value;
    } rows[] = {
        {"7", 7},
        {"010", 8},
        {"09", 9},
        {"0x1F", 31},
        {"0xff", 255},
        {"0b101", 5},
        {"0b12", 4},
        {"0X10", 2120},
        {"0B11", 713},
        {"0x1G", 32},
        {"1z", 45},
        {"0x10UL", 16},
        {"12L34", 12},
        {"100l", 100},
        {"10u", 10},
        {"12 34", 12},
        {"0x", 0},
        {"0b", 0},
        {"", 0},
        {" \t-0x10", -16},
        {"+5", 5},
        {"\n5", 0},
        {"9223372036854775808", std::numeric_limits<int64_t>::min()},
        {"18446744073709551615", -1},
        {"18446744073709551616", 0},
        {"0xFFFFFFFFFFFFFFFF1", -15},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.text);
        const std::optional<uint64_t> value
            = readInteger(QString::fromUtf8(row.text), kLiteralSyntax);
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(static_cast<int64_t>(*value), row.value);
    }
}

TEST(ReadInteger, FixedSizesAreWholeUnsigned32BitNumbers)
{
    const struct
    {
        const char *text;
        std::optional<uint64_t> value;
    } rows[] = {
        {"0", 0},
        {"16", 16},
        {"010", 8},
        {"0x1f", 31},
        {"0X1F", 31},
        {" \t4\n\u00a0", 4},
        {"4294967295", 0xffffffff},
        {"4294967296", std::nullopt},
        {"0x100000000", std::nullopt},
        {"08", std::nullopt},
        {"0xg", std::nullopt},
        {"0b1", std::nullopt},
        {"4U", std::nullopt},
        {"1 2", std::nullopt},
        {"+4", std::nullopt},
        {"-1", std::nullopt},
        {"0x", std::nullopt},
        {" ", std::nullopt},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(readInteger(QString::fromUtf8(row.text), kFixedSizeSyntax), row.value);
    }
}

} // namespace
} // namespace ldweave
