#include "driver/command_line.h"

#include "base/hexception.h"
#include "base/run_flags.h"

#include <gtest/gtest.h>

namespace ldweave {
namespace {

struct Parsed
{
    bool complete = false;
    RunSettings settings;
    RunFlags flags;
    std::string error;
};

Parsed parse(const QStringList &arguments)
{
    Parsed result;
    try {
        QList<QByteArray> bytes;
        for (const QString &argument : arguments)
            bytes.append(argument.toUtf8());
        result.complete = parseCommandLine(bytes, result.settings, result.flags);
    } catch (const HException &error) {
        result.error = error.message();
    }
    return result;
}

TEST(CommandLine, OptionsFillTheSettings)
{
    const Parsed p = parse({"-memory-map-file", "map.xml", "-memory-map-macros", "A=1",
                            "-memory-map-macros", "B=2", "-section-placement-macros", "C=3",
                            "-section-placment-macros", "D=4", "-section-placement-file", "p.xml",
                            "-default-fill-pattern", "0xFF", "-check-segment-overflow",
                            "-no-check-unplaced-sections", "-disable-missing-runin-error",
                            "-verbose", "out.ld", "-memory-map-segments", "X R 0 1",
                            "-dependency-file", "out.d", "-diagnostics"});
    ASSERT_EQ(p.error, "");
    ASSERT_TRUE(p.complete);
    EXPECT_EQ(p.settings.memoryMapFile, "map.xml");
    EXPECT_EQ(p.settings.memoryMapMacros, "A=1;B=2");
    EXPECT_EQ(p.settings.sectionPlacementMacros, "C=3;D=4");
    EXPECT_EQ(p.settings.sectionPlacementFile, "p.xml");
    EXPECT_EQ(p.settings.memoryMapSegments, "X R 0 1");
    EXPECT_EQ(p.settings.script.defaultFillPattern, "0xFF");
    EXPECT_TRUE(p.settings.script.checkSegmentOverflow);
    EXPECT_FALSE(p.settings.script.checkUnplacedSections);
    EXPECT_FALSE(p.flags.missingRunInIsError);
    EXPECT_TRUE(p.flags.verbose);
    EXPECT_EQ(p.settings.outputPath, "out.ld");
    EXPECT_EQ(p.settings.dependencyFile, "out.d");
    EXPECT_TRUE(p.settings.diagnostics);
}

TEST(CommandLine, DefaultsAndLastOneWins)
{
    const Parsed p = parse({"-memory-map-file", "a.xml", "-memory-map-file", "b.xml", "out.ld",
                            "-default-fill-pattern", "1", "-default-fill-pattern", "2"});
    ASSERT_TRUE(p.complete);
    EXPECT_EQ(p.settings.memoryMapFile, "b.xml");
    EXPECT_EQ(p.settings.script.defaultFillPattern, "2");
    EXPECT_FALSE(p.settings.script.checkSegmentOverflow);
    EXPECT_TRUE(p.settings.script.checkUnplacedSections);
    EXPECT_TRUE(p.flags.missingRunInIsError);
    EXPECT_FALSE(p.flags.verbose);
    EXPECT_TRUE(p.settings.dependencyFile.isEmpty());
    EXPECT_FALSE(p.settings.diagnostics);
}

TEST(CommandLine, ValidationAsksForUsage)
{
    const QStringList incomplete[] = {
        {},
        {"out.ld"},
        {"-memory-map-file", "m.xml"},
        {"-memory-map-file", "m.xml", "a.ld", "b.ld"},
        {"-memory-map-file", "", "a.ld"},
        {"-verbose", "-check-segment-overflow"},
    };
    for (const QStringList &arguments : incomplete) {
        SCOPED_TRACE(arguments.join(u' ').toStdString());
        const Parsed p = parse(arguments);
        EXPECT_EQ(p.error, "");
        EXPECT_FALSE(p.complete);
        EXPECT_TRUE(p.settings.outputPath.isEmpty());
    }
    // An empty positional argument is still an output path; a segment list replaces the file.
    EXPECT_TRUE(parse({"-memory-map-segments", "junk", ""}).complete);
}

TEST(CommandLine, ErrorsNameTheOption)
{
    const struct
    {
        QStringList arguments;
        const char *error;
    } rows[] = {
        {{"-memory-map-file"}, "file required for -memory-map-file"},
        {{"-memory-map-macros"}, "macro definition required for -memory-map-macros"},
        {{"-memory-map-segments"}, "segment list for -memory-map-segments"},
        {{"-section-placement-file"}, "file required for -section-placement-file"},
        {{"-section-placement-macros"}, "macro definition required for -section-placement-macros"},
        {{"-section-placment-macros"}, "macro definition required for -section-placement-macros"},
        {{"-symbols"}, "symbol definition required for -symbol"},
        {{"-default-fill-pattern"}, "pattern required for -default-fill-pattern"},
        {{"-dependency-file"}, "file required for -dependency-file"},
        {{"-Diagnostics"}, "unknown option option -Diagnostics"},
        {{"-foo", "x"}, "unknown option option -foo"},
        {{"out.ld", "-"}, "unknown option option -"},
        {{"-Verbose"}, "unknown option option -Verbose"},
        {{"-memory-map-file=x"}, "unknown option option -memory-map-file=x"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.error);
        const Parsed p = parse(row.arguments);
        EXPECT_EQ(p.error, row.error);
        EXPECT_TRUE(p.settings.outputPath.isEmpty());
    }
    // The argument after an option is taken even when it looks like an option.
    const Parsed p = parse({"-memory-map-file", "-verbose", "out.ld"});
    EXPECT_EQ(p.settings.memoryMapFile, "-verbose");
    EXPECT_FALSE(p.flags.verbose);
}

TEST(SymbolDefinitions, ParseIntoOrderedMap)
{
    QMap<QString, QString> symbols;
    addSymbolDefinitions("B=0x20;A=1", symbols);
    addSymbolDefinitions("C==1;D=1=2;X\\;Y=3;;B=7", symbols);
    const QMap<QString, QString> expected{
        {"A", "1"}, {"B", "7"}, {"C", "1"}, {"D", "1"}, {"X;Y", "3"}};
    EXPECT_EQ(symbols, expected);
    EXPECT_EQ(symbols.firstKey(), "A");

    for (const char *bad : {"A=", "=1", "A", "=", "A=1;B"}) {
        SCOPED_TRACE(bad);
        QMap<QString, QString> map;
        EXPECT_THROW(addSymbolDefinitions(bad, map), HException);
    }
}

} // namespace
} // namespace ldweave
