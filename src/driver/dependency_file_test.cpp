#include "driver/dependency_file.h"

#include <QDir>

#include <gtest/gtest.h>

namespace ldweave {
namespace {

TEST(DependencyFile, EscapesWhatMakeAndNinjaTreatSpecially)
{
    const struct
    {
        const char *path;
        const char *escaped;
    } rows[] = {
        {"plain/file-1.xml", "plain/file-1.xml"},
        {"my maps/a b.xml", "my\\ maps/a\\ b.xml"},
        {"x#1.xml", "x\\#1.xml"},
        {"$(HOME)/m.xml", "$$(HOME)/m.xml"},
        {"back\\ slash.xml", "back\\\\\\ slash.xml"}, // a backslash before a blank is doubled
        {"back\\slash.xml", "back\\slash.xml"},       // elsewhere it stays single
        {"a%b:c.xml", "a%b:c.xml"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(escapeMakePath(row.path), row.escaped);
    }
}

TEST(DependencyFile, RuleListsEachFileOnceInOrder)
{
    const QString absoluteMap = QDir::current().absoluteFilePath("maps/map.xml");
    EXPECT_EQ(dependencyRuleText("out dir/out.ld", {"maps/map.xml", "./maps/../frag.xml",
                                                    absoluteMap, "frag.xml", "p lace.xml"}),
              QByteArray("out\\ dir/out.ld: \\\n"
                         "  maps/map.xml \\\n"
                         "  frag.xml \\\n"
                         "  p\\ lace.xml\n"));
    EXPECT_EQ(dependencyRuleText("out.ld", {}), QByteArray("out.ld:\n"));
}

} // namespace
} // namespace ldweave
