#include "macros/macro_list.h"

#include <gtest/gtest.h>

namespace ldweave {
namespace {

TEST(SplitMacroList, SplitsAtUnescapedSemicolons)
{
    struct Row
    {
        const char *input;
        QStringList expected;
    };
    const Row rows[] = {
        {"", {}},
        {";;", {}},
        {"A=1;B=x=y;Z", {"A=1", "B=x=y", "Z"}},
        {"P=a\\;b", {"P=a;b"}},
        {"a\\\\;b", {"a\\", "b"}},
        {"ends\\", {"ends\\"}},
        {"\\x\\", {"x\\"}},
        {" A=1 ; B", {" A=1 ", " B"}},
        {";A;;B;", {"A", "B"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.input);
        EXPECT_EQ(splitMacroList(QString::fromUtf8(row.input)), row.expected);
    }
}

} // namespace
} // namespace ldweave
