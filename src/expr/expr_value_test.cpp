#include "expr/expr_value.h"

#include <gtest/gtest.h>

#include <limits>

namespace ldweave {
namespace {

// Literals too long for the tables elsewhere reach these values: "1" and thirty zeros ".0" is
// 1e30, and infinity minus infinity is NaN.
TEST(ExprValue, SignedViewTruncatesFloatingValuesIntoRange)
{
    const struct
    {
        double value;
        int64_t signedView;
    } rows[] = {
        {-2.9, -2},
        {1e30, std::numeric_limits<int64_t>::max()},
        {-1e30, std::numeric_limits<int64_t>::min()},
        {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.value);
        EXPECT_EQ(ExprValue::floating(row.value).signedView(), row.signedView);
    }
}

} // namespace
} // namespace ldweave
