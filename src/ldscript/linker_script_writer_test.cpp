#include "base/hexception.h"
#include "base/run_flags.h"
#include "ldscript/linker_script_writer.h"
#include "support/placement_test_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ldweave {
namespace {

using test::addSection;
using test::Attributes;
using test::linesStartingWith;
using test::makeElement;

// A segment with start and size texts and their computed values.
MemoryMapElement *addSegment(XMLNode *parent, const std::string &name, uint32_t start,
                             uint32_t size, Attributes attributes = {})
{
    attributes.insert(attributes.begin(),
                      {{"start", "0x" + QString::number(start, 16).toStdString()},
                       {"size", "0x" + QString::number(size, 16).toStdString()}});
    MemoryMapElement *segment = test::addSegment(parent, name, attributes);
    segment->setStart(start);
    segment->setSize(size);
    return segment;
}

class LinkerScriptWriterTest : public testing::Test
{
protected:
    void TearDown() override { runFlags() = RunFlags(); }

    // Writes the script for the two roots and returns the file's bytes.
    std::string write(MemoryMapElement *placementRoot = nullptr)
    {
        writeLinkerScript(path(), memoryMap.get(), placementRoot, options);
        return fileText();
    }

    std::string fileText() const
    {
        QFile file(path());
        if (!file.open(QIODevice::ReadOnly))
            return "(no file)";
        return file.readAll().toStdString();
    }

    QString path() const { return directory.filePath("out.ld"); }

    QTemporaryDir directory;
    std::unique_ptr<MemoryMapElement> memoryMap = makeElement("Root");
    ScriptOptions options;
};

TEST_F(LinkerScriptWriterTest, EmptyMemoryMapGivesTheBareFrame)
{
    EXPECT_EQ(write(), "MEMORY\n{\n  UNPLACED_SECTIONS (wx) : ORIGIN = 0x100000000, LENGTH = 0\n"
                       "}\n\nSECTIONS\n{\n\n\n}\n\n");
    options.checkUnplacedSections = false;
    EXPECT_EQ(write(), "MEMORY\n{\n}\n\nSECTIONS\n{\n\n\n}\n\n");
}

TEST_F(LinkerScriptWriterTest, WritesSegmentAndUserSymbols)
{
    options.checkUnplacedSections = false;
    addSegment(
        memoryMap.get(), "my seg", 0xfffffff8, 0x10,
        {{"address_symbol", "seg_start"}, {"size_symbol", "seg_size"}, {"access", "readonly"}});
    options.symbols.insert("B", "2");
    options.symbols.insert("A", "__my_seg_segment_start__ + 1");
    EXPECT_EQ(write(), "MEMORY\n"
                       "{\n"
                       "  my_seg (wx) : ORIGIN = 0xfffffff8, LENGTH = 0x00000010\n"
                       "}\n"
                       "\n"
                       "SECTIONS\n"
                       "{\n"
                       "  __my_seg_segment_start__ = 0xfffffff8;\n"
                       "seg_start = 0xfffffff8;\n"
                       "  __my_seg_segment_end__ = 0x00000008;\n"
                       "  __my_seg_segment_size__ = 0x00000010;\n"
                       "seg_size = 0x00000010;\n"
                       "\n"
                       "  A = __my_seg_segment_start__ + 1;\n"
                       "  B = 2;\n"
                       "\n"
                       "}\n"
                       "\n");
}

TEST_F(LinkerScriptWriterTest, MarksTheFirstSectionToPlaceFromTheSegmentEnd)
{
    const struct
    {
        const char *description;
        std::vector<std::pair<const char *, Attributes>> sections;
        const char *locations; // the load start lines
        const char *warning;
    } rows[] = {
        {"sized chain",
         {{".a", {{"size", "0x100"}}},
          {".b", {{"size", "0x20"}, {"place_from_segment_end", "YES"}}},
          {".c", {{"size", "0x10"}}}},
         "  __a_load_start__ = __RAM_segment_start__;\n"
         "  __b_load_start__ = __RAM_segment_start__ + (__RAM_segment_size__ - 48);\n"
         "  __c_load_start__ = __b_end__;\n",
         ""},
        {"size from a symbol, octal and decimal",
         {{".a", {{"size", "STACK_SIZE"}, {"place_from_segment_end", "yes"}}},
          {".b", {{"size", "010"}}},
          {".c", {{"size", "16"}}}},
         "  __a_load_start__ = __RAM_segment_start__ + (__RAM_segment_size__ - 1048);\n"
         "  __b_load_start__ = __a_end__;\n"
         "  __c_load_start__ = __b_end__;\n",
         ""},
        {"the candidate nearest the chain start wins",
         {{".a", {{"size", "0x10"}, {"place_from_segment_end", "yes"}}},
          {".b", {{"size", "0x10"}, {"place_from_segment_end", "yes"}}}},
         "  __a_load_start__ = __RAM_segment_start__ + (__RAM_segment_size__ - 32);\n"
         "  __b_load_start__ = __a_end__;\n",
         ""},
        {"unsized section before a candidate ends the walk",
         {{".x", {}},
          {".a", {{"size", "0x10"}, {"place_from_segment_end", "yes"}}},
          {".b", {{"size", "8"}}}},
         "  __x_load_start__ = __RAM_segment_start__;\n"
         "  __a_load_start__ = __RAM_segment_start__ + (__RAM_segment_size__ - 24);\n"
         "  __b_load_start__ = __a_end__;\n",
         ""},
        {"unsized section after the wanting one",
         {{".a", {{"place_from_segment_end", "yes"}}}, {".b", {}}},
         "  __a_load_start__ = __RAM_segment_start__;\n"
         "  __b_load_start__ = __a_end__;\n",
         "warning: cannot place section .a at end of segment because section .b does not have a "
         "fixed size\n"},
        {"a hexadecimal prefix without digits is no number",
         {{".a", {{"size", "4"}, {"place_from_segment_end", "Yes"}}},
          {".b", {{"size", "1"}}},
          {".c", {{"size", "0x"}}}},
         "  __a_load_start__ = __RAM_segment_start__;\n"
         "  __b_load_start__ = __a_end__;\n"
         "  __c_load_start__ = __b_end__;\n",
         "warning: cannot place section .a at end of segment because section .c does not have a "
         "fixed size\n"},
        {"a sign is no number, blanks around one are",
         {{".a", {{"size", " 4 "}, {"place_from_segment_end", "Yes"}}}, {".b", {{"size", "-1"}}}},
         "  __a_load_start__ = __RAM_segment_start__;\n"
         "  __b_load_start__ = __a_end__;\n",
         "warning: cannot place section .a at end of segment because section .b does not have a "
         "fixed size\n"},
        {"blanks around a number",
         {{".a", {{"size", " 4 "}, {"place_from_segment_end", "Yes"}}}, {".b", {{"size", "0X1f"}}}},
         "  __a_load_start__ = __RAM_segment_start__ + (__RAM_segment_size__ - 35);\n"
         "  __b_load_start__ = __a_end__;\n",
         ""},
        {"too large for 32 bits",
         {{".a", {{"size", "0x100000000"}, {"place_from_segment_end", "yes"}}}},
         "  __a_load_start__ = __RAM_segment_start__;\n",
         ""},
    };
    options.symbols.insert("STACK_SIZE", "0x400");
    for (const auto &row : rows) {
        SCOPED_TRACE(row.description);
        memoryMap = makeElement("Root");
        MemoryMapElement *ram = addSegment(memoryMap.get(), "RAM", 0x20000000, 0x1000);
        for (const auto &[name, attributes] : row.sections)
            addSection(ram, name, attributes);
        testing::internal::CaptureStderr();
        const std::string text = write();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), row.warning);
        std::string locations;
        for (const auto &section : row.sections) {
            locations += linesStartingWith(text, std::string("  __") + (section.first + 1)
                                                     + "_load_start__");
        }
        EXPECT_EQ(locations, row.locations);
    }
}

TEST_F(LinkerScriptWriterTest, UnopenableFileIsAnError)
{
    const QString badPath = directory.filePath("missing/out.ld");
    try {
        writeLinkerScript(badPath, memoryMap.get(), nullptr, ScriptOptions());
        FAIL() << "no exception";
    } catch (const HException &error) {
        EXPECT_EQ(error.message(), "cannot open " + badPath.toStdString() + " for writing");
    }
}

TEST_F(LinkerScriptWriterTest, LayoutErrorLeavesTheEarlierFileAsItWas)
{
    options.checkUnplacedSections = false;
    MemoryMapElement *ram = addSegment(memoryMap.get(), "RAM", 0, 0x100);
    addSection(ram, ".run");
    addSection(ram, ".fast", {{"runin", ".run"}});
    {
        QFile earlier(path());
        ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
        earlier.write("earlier script\n");
    }
    try {
        write();
        FAIL() << "no exception";
    } catch (const HException &error) {
        EXPECT_EQ(error.message(), "cyclic memory section dependency with section .run");
    }
    // The script is written to a temporary file that only a complete run renames into place.
    EXPECT_EQ(fileText(), "earlier script\n");
    EXPECT_EQ(QDir(directory.path()).entryList(QDir::Files), QStringList{"out.ld"});
}

} // namespace
} // namespace ldweave
