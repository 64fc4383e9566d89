#include "placement/memory_map_element.h"
#include "support/placement_test_support.h"

#include <gtest/gtest.h>

namespace ldweave {
namespace {

using test::makeElement;

TEST(ParseIntegerLiteral, ReadsCStyleLiterals)
{
    const struct
    {
        const char *text;
        uint32_t value;
    } rows[] = {
        {"4", 4},          {"0x10", 16},   {"0X10", 16},
        {"010", 8},        {"0b100", 4},   {"0B11", 3},
        {"0", 0},          {"", 0},        {"  16", 16},
        {"\t8", 8},        {"+7", 7},      {"-1", 0xffffffffu},
        {"10U", 10},       {"0x1fUL", 31}, {"100l", 100},
        {"09", 9},         {"0x1G", 32},   {"1a", 20},
        {"12 34", 12},     {"0x", 0},      {"0x100000010", 16},
        {"4294967296", 0},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(parseIntegerLiteral(QString::fromUtf8(row.text)), row.value);
    }
    EXPECT_EQ(makeElement("ProgramSection", {{"alignment", "0x10"}})->alignment(), 16u);
}

} // namespace
} // namespace ldweave
