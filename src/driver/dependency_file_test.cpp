#include "driver/dependency_file.h"

#include <QDir>

#include <gtest/gtest.h>

namespace ldweave {
namespace {

TEST(DependencyFile, EscapesWhatMakeTreatsSpeciallyAndRefusesWhatItCannotRead)
{
    const struct
    {
        const char *path;
        const char *prerequisite; // "" when refused
        const char *target;
    } rows[] = {
        {"plain/file-1.xml", "plain/file-1.xml", "plain/file-1.xml"},
        {"my maps/a b.xml", "my\\ maps/a\\ b.xml", "my\\ maps/a\\ b.xml"},
        {"x#1.xml", "x\\#1.xml", "x\\#1.xml"},
        {"$(HOME)/m.xml", "$$(HOME)/m.xml", "$$(HOME)/m.xml"},
        {"back\\ slash.xml", "back\\\\\\ slash.xml", "back\\\\\\ slash.xml"},
        {"back\\slash.xml", "back\\slash.xml", "back\\slash.xml"},
        {"a%b:c.xml", "a%b\\:c.xml", "a\\%b\\:c.xml"},
        {"w*i?l[d]|.xml", "w\\*i\\?l\\[d]\\|.xml", "w\\*i\\?l\\[d]\\|.xml"},
        {"~user.xml", "./~user.xml", "./~user.xml"},
        {"b(rev2).xml", "b(rev2).xml", "b(rev2).xml"},
        {"lib(member)", "", ""},
        {"a;touch x.xml", "", ""},
        {"a=b.xml", "", ""},
        {"tab\tname.xml", "", ""},
        {"line\nbreak.xml", "", ""},
        {"ends\\", "", ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(escapeMakePath(row.path, RuleSide::Prerequisite), row.prerequisite);
        EXPECT_EQ(escapeMakePath(row.path, RuleSide::Target), row.target);
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
