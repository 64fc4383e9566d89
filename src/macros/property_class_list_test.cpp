#include "base/product.h"
#include "macros/property_class_list.h"

#include <gtest/gtest.h>

namespace ldweave {
namespace {

TEST(PropertyClassList, HoldsTheSixteenSystemMacrosInOrder)
{
    const QString p = QString::fromUtf8(kProductTitle);
    const struct
    {
        const char *name;
        QString value;
        QString description;
    } expected[] = {
        {"Date", "", "Day Month Year e.g. 21 June 2011."},
        {"DateYear", "", "Year e.g. 2011."},
        {"DateMonth", "", "Month e.g. June."},
        {"DateDay", "", "Day e.g. 21."},
        {"Time", "", "Hour:Minutes:Seconds e.g. 15:34:03."},
        {"TimeHour", "", "Hour e.g. 15."},
        {"TimeMinute", "", "Minute e.g. 34."},
        {"TimeSecond", "", "Seconds e.g. 03."},
        {"UnixTime", "", "Seconds since 00:00, Jan 1 1970 UTC"},
        {"HostArch", "x86", "The CPU architecture that " + p + " is running on e.g. x86."},
        {"HostOS", "linux",
         "The name of the operating system that " + p + " is running on e.g. win."},
        {"Micro", "RISCV", "The " + p + " target e.g. ARM."},
        {"TargetID", "20", "ID number representing the " + p + " target."},
        {"HostEXE", "",
         "The file extension for executables on the CPU that " + p + " is running on e.g. .exe."},
        {"HostDLLExt", ".so",
         "The file extension for dynamic link libraries used by the operating system that " + p
             + " is running on e.g. .dll, .so, .dylib."},
        {"HostDLL", ".so",
         "The file extension for dynamic link libraries on the CPU that " + p
             + " is running on e.g. .dll."},
    };
    const PropertyClassList table;
    ASSERT_EQ(table.macroDescriptors().size(), std::size(expected));
    ASSERT_EQ(table.systemMacros().size(), qsizetype(std::size(expected)));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(expected[i].name);
        const MacroPropertyClass &descriptor = table.macroDescriptors()[i];
        EXPECT_EQ(descriptor.displayName(), "$(" + QString(expected[i].name) + ")");
        EXPECT_EQ(descriptor.category(), "System Macro Values");
        EXPECT_EQ(descriptor.group(), "Properties");
        EXPECT_EQ(descriptor.description(), expected[i].description);
        EXPECT_TRUE(table.systemMacros().contains(expected[i].name));
        EXPECT_EQ(table.systemMacros().value(expected[i].name), expected[i].value);
    }
    EXPECT_EQ(table.macroCharacter(), u'$');
}

TEST(PropertyClassList, SetMacroDescribesOnlyWhenGivenADescription)
{
    PropertyClassList table;
    table.setMacro("Extra", "1", "");
    EXPECT_EQ(table.macroDescriptors().size(), 16u);
    EXPECT_EQ(table.systemMacros().value("Extra"), "1");
    table.setMacro("HostOS", "bsd", "Replaced.");
    ASSERT_EQ(table.macroDescriptors().size(), 17u);
    EXPECT_EQ(table.macroDescriptors().back().displayName(), "$(HostOS)");
    EXPECT_EQ(table.systemMacros().value("HostOS"), "bsd");
    EXPECT_EQ(table.systemMacros().size(), 17);
}

TEST(PropertyClassList, DynamicMacroValueAnswersOnlyClockNames)
{
    const struct
    {
        const char *name;
        bool isClock;
    } rows[] = {{"Date", true},  {"DateMonth", true}, {"TimeSecond", true}, {"UnixTime", true},
                {"date", false}, {"HostOS", false},   {"Date ", false},     {"", false}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        QString value = "untouched";
        EXPECT_EQ(PropertyClassList::dynamicMacroValue(row.name, value), row.isClock);
        EXPECT_EQ(value == "untouched", !row.isClock);
    }
}

class MacroTableTest : public ::testing::Test
{
protected:
    void TearDown() override { createMacroTable(); }
};

TEST_F(MacroTableTest, ExpansionConsultsTheProcessWideTable)
{
    PropertyClassList &created = createMacroTable();
    EXPECT_EQ(&macroTable(), &created);
    macroTable().setMacro("HostOS", "bsd", "");
    EXPECT_EQ(expandMacros("$(HostOS)", {}, true), "bsd");
    createMacroTable();
    EXPECT_EQ(expandMacros("$(HostOS)", {}, true), "linux");
}

} // namespace
} // namespace ldweave
