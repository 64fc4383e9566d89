#include "expr/expr_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace ldweave {
namespace {

TEST(ExprValue, ViewsApplyKindSizeAndBitCount)
{
    struct Row
    {
        const char *name;
        ExprValue value;
        int64_t signedView;
        uint64_t bitView;
        double floatingView;
    };
    const uint64_t allBits = ~uint64_t{0};
    const Row rows[] = {
        {"true", ExprValue::boolean(true), 1, 1, 1.0},
        {"false", ExprValue::boolean(false), 0, 0, 0.0},
        {"signed 1 byte", ExprValue::signedInteger(0xff, 1), -1, 0xff, -1.0},
        {"signed 2 bytes", ExprValue::signedInteger(0x8000, 2), -32768, 0x8000, -32768.0},
        {"signed 4 bytes, high bits", ExprValue::signedInteger(0x1ffffffff, 4), -1, 0xffffffff,
         -1.0},
        {"signed 8 bytes", ExprValue::signedInteger(allBits, 8), -1, allBits, -1.0},
        {"signed 3-bit field", ExprValue::signedInteger(0x7, 8, 3), -1, 7, -1.0},
        {"signed 3-bit field, positive", ExprValue::signedInteger(0x3, 8, 3), 3, 3, 3.0},
        {"unsigned 1 byte", ExprValue::unsignedInteger(0xff, 1), -1, 0xff, 255.0},
        {"unsigned 8 bytes", ExprValue::unsignedInteger(allBits, 8), -1, allBits,
         18446744073709551615.0},
        {"floating 2.9", ExprValue::floating(2.9, 8), 2, 0x4007333333333333, 2.9},
        {"floating -2.9", ExprValue::floating(-2.9, 8), -2, 0xC007333333333333, -2.9},
        {"floating 4 bytes", ExprValue::floating(1.5, 4), 1, 0x3FC00000, 1.5},
        {"floating too large", ExprValue::floating(1e30, 8), INT64_MAX, 0x46293E5939A08CEA, 1e30},
        {"floating too small", ExprValue::floating(-1e30, 8), INT64_MIN, 0xC6293E5939A08CEA, -1e30},
        {"string", ExprValue::string(QStringLiteral("abc")), 0, 0, 0.0},
        {"none", ExprValue(), 0, 0, 0.0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.value.signedView(), row.signedView);
        EXPECT_EQ(row.value.bitView(), row.bitView);
        EXPECT_EQ(row.value.floatingView(), row.floatingView);
    }
}

TEST(ExprValue, NotANumberTruncatesToZero)
{
    const ExprValue value = ExprValue::floating(std::numeric_limits<double>::quiet_NaN(), 8);
    EXPECT_EQ(value.signedView(), 0);
    EXPECT_TRUE(std::isnan(value.floatingView()));
}

} // namespace
} // namespace ldweave
