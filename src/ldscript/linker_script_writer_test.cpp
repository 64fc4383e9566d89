#include "ldscript/linker_script_writer.h"
#include "placement/placement_test_support.h"
#include "placement/run_flags.h"
#include "xml/hexception.h"

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
        writeLinkerScript(path(), symbols, checkSegmentOverflow, checkUnplacedSections,
                          memoryMap.get(), placementRoot, defaultFillPattern);
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
    QMap<QString, QString> symbols;
    bool checkSegmentOverflow = false;
    bool checkUnplacedSections = true;
    QString defaultFillPattern;
};

TEST_F(LinkerScriptWriterTest, WritesSegmentsInReverseDocumentOrder)
{
    addSegment(memoryMap.get(), "FLASH", 0x0, 0x40000, {{"access", "ReadOnly"}});
    addSegment(memoryMap.get(), "RAM", 0x20000000, 0x10000, {{"access", "ReadWrite"}});
    EXPECT_EQ(write(), "MEMORY\n"
                       "{\n"
                       "  UNPLACED_SECTIONS (wx) : ORIGIN = 0x100000000, LENGTH = 0\n"
                       "  RAM (wx) : ORIGIN = 0x20000000, LENGTH = 0x00010000\n"
                       "  FLASH (rx) : ORIGIN = 0x00000000, LENGTH = 0x00040000\n"
                       "}\n"
                       "\n"
                       "SECTIONS\n"
                       "{\n"
                       "  __RAM_segment_start__ = 0x20000000;\n"
                       "  __RAM_segment_end__ = 0x20010000;\n"
                       "  __RAM_segment_size__ = 0x00010000;\n"
                       "  __FLASH_segment_start__ = 0x00000000;\n"
                       "  __FLASH_segment_end__ = 0x00040000;\n"
                       "  __FLASH_segment_size__ = 0x00040000;\n"
                       "\n"
                       "\n"
                       "}\n"
                       "\n");
}

TEST_F(LinkerScriptWriterTest, EmptyMemoryMapGivesTheBareFrame)
{
    EXPECT_EQ(write(), "MEMORY\n{\n  UNPLACED_SECTIONS (wx) : ORIGIN = 0x100000000, LENGTH = 0\n"
                       "}\n\nSECTIONS\n{\n\n\n}\n\n");
    checkUnplacedSections = false;
    EXPECT_EQ(write(), "MEMORY\n{\n}\n\nSECTIONS\n{\n\n\n}\n\n");
}

TEST_F(LinkerScriptWriterTest, WritesSegmentAndUserSymbols)
{
    checkUnplacedSections = false;
    addSegment(
        memoryMap.get(), "my seg", 0xfffffff8, 0x10,
        {{"address_symbol", "seg_start"}, {"size_symbol", "seg_size"}, {"access", "readonly"}});
    symbols.insert("B", "2");
    symbols.insert("A", "__my_seg_segment_start__ + 1");
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

TEST_F(LinkerScriptWriterTest, WritesTheAlignedSectionExample)
{
    checkSegmentOverflow = true;
    MemoryMapElement *flash
        = addSegment(memoryMap.get(), "FLASH", 0x0, 0x40000, {{"access", "ReadOnly"}});
    addSection(flash, ".vectors", {{"load", "Yes"}, {"inputsections", "KEEP(*(.vectors))"}});
    addSection(flash, ".text", {{"load", "Yes"}, {"alignment", "4"}});
    EXPECT_EQ(write(),
              "MEMORY\n"
              "{\n"
              "  UNPLACED_SECTIONS (wx) : ORIGIN = 0x100000000, LENGTH = 0\n"
              "  FLASH (rx) : ORIGIN = 0x00000000, LENGTH = 0x00040000\n"
              "}\n"
              "\n"
              "SECTIONS\n"
              "{\n"
              "  __FLASH_segment_start__ = 0x00000000;\n"
              "  __FLASH_segment_end__ = 0x00040000;\n"
              "  __FLASH_segment_size__ = 0x00040000;\n"
              "\n"
              "\n"
              "  __vectors_load_start__ = __FLASH_segment_start__;\n"
              "  .vectors __FLASH_segment_start__ : AT(__FLASH_segment_start__)\n"
              "  {\n"
              "    __vectors_start__ = .;\n"
              "    KEEP(*(.vectors))\n"
              "  }\n"
              "  __vectors_end__ = __vectors_start__ + SIZEOF(.vectors);\n"
              "  __vectors_size__ = SIZEOF(.vectors);\n"
              "  __vectors_load_end__ = __vectors_end__;\n"
              "\n"
              "  . = ASSERT(__vectors_start__ == __vectors_end__ || (__vectors_end__ - "
              "__FLASH_segment_start__) <= __FLASH_segment_size__ , \"error: .vectors is "
              "too large to fit in FLASH memory segment\");\n"
              "\n"
              "  __text_load_start__ = ALIGN(__vectors_end__ , 4);\n"
              "  .text ALIGN(__vectors_end__ , 4) : AT(ALIGN(__vectors_end__ , 4))\n"
              "  {\n"
              "    __text_start__ = .;\n"
              "    *(.text .text.* .glue_7t .glue_7 .gnu.linkonce.t.* .gcc_except_table "
              ".ARM.extab* .gnu.linkonce.armextab.*)\n"
              "  }\n"
              "  __text_end__ = __text_start__ + SIZEOF(.text);\n"
              "  __text_size__ = SIZEOF(.text);\n"
              "  __text_load_end__ = __text_end__;\n"
              "\n"
              "  __FLASH_segment_used_end__ = ALIGN(__vectors_end__ , 4) + SIZEOF(.text);\n"
              "  __FLASH_segment_used_size__ = __FLASH_segment_used_end__ - "
              "__FLASH_segment_start__;\n"
              "\n"
              "  . = ASSERT(__text_start__ == __text_end__ || (__text_end__ - "
              "__FLASH_segment_start__) <= __FLASH_segment_size__ , \"error: .text is too "
              "large to fit in FLASH memory segment\");\n"
              "\n"
              "}\n"
              "\n");
}

TEST_F(LinkerScriptWriterTest, WritesTheRunInSectionExample)
{
    runFlags().verbose = true;
    MemoryMapElement *flash
        = addSegment(memoryMap.get(), "FLASH", 0x0, 0x40000, {{"access", "ReadOnly"}});
    MemoryMapElement *ram
        = addSegment(memoryMap.get(), "RAM", 0x20000000, 0x10000, {{"access", "ReadWrite"}});
    addSection(flash, ".text", {{"load", "Yes"}});
    addSection(flash, ".fast", {{"load", "Yes"}, {"runin", ".fast_run"}});
    addSection(flash, ".rodata", {{"load", "Yes"}});
    addSection(ram, ".fast_run");
    testing::internal::CaptureStdout();
    const std::string text = write();
    // RAM comes first; laying out .fast_run writes .fast, and .text before it, first.
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Adding section from memory map file .fast_run\n"
              "Adding section from memory map file .text\n"
              "Adding section from memory map file .fast\n"
              "Adding section from memory map file .rodata\n"
              "Laying out section .fast_run\n"
              "Laying out section .fast\n"
              "Laying out section .text\n"
              "Laying out section .text\n"
              "Section .text already laid out\n"
              "Laying out section .fast\n"
              "Section .fast already laid out\n"
              "Laying out section .rodata\n");
    EXPECT_EQ(text, "MEMORY\n"
                    "{\n"
                    "  UNPLACED_SECTIONS (wx) : ORIGIN = 0x100000000, LENGTH = 0\n"
                    "  RAM (wx) : ORIGIN = 0x20000000, LENGTH = 0x00010000\n"
                    "  FLASH (rx) : ORIGIN = 0x00000000, LENGTH = 0x00040000\n"
                    "}\n"
                    "\n"
                    "SECTIONS\n"
                    "{\n"
                    "  __RAM_segment_start__ = 0x20000000;\n"
                    "  __RAM_segment_end__ = 0x20010000;\n"
                    "  __RAM_segment_size__ = 0x00010000;\n"
                    "  __FLASH_segment_start__ = 0x00000000;\n"
                    "  __FLASH_segment_end__ = 0x00040000;\n"
                    "  __FLASH_segment_size__ = 0x00040000;\n"
                    "\n"
                    "\n"
                    "  __text_load_start__ = __FLASH_segment_start__;\n"
                    "  .text __FLASH_segment_start__ : AT(__FLASH_segment_start__)\n"
                    "  {\n"
                    "    __text_start__ = .;\n"
                    "    *(.text .text.* .glue_7t .glue_7 .gnu.linkonce.t.* .gcc_except_table "
                    ".ARM.extab* .gnu.linkonce.armextab.*)\n"
                    "  }\n"
                    "  __text_end__ = __text_start__ + SIZEOF(.text);\n"
                    "  __text_size__ = SIZEOF(.text);\n"
                    "  __text_load_end__ = __text_end__;\n"
                    "\n"
                    "  __fast_load_start__ = __text_end__;\n"
                    "  .fast __RAM_segment_start__ : AT(__text_end__)\n"
                    "  {\n"
                    "    __fast_start__ = .;\n"
                    "    *(.fast .fast.*)\n"
                    "  }\n"
                    "  __fast_end__ = __fast_start__ + SIZEOF(.fast);\n"
                    "  __fast_size__ = SIZEOF(.fast);\n"
                    "  __fast_load_end__ = __fast_load_start__ + SIZEOF(.fast);\n"
                    "\n"
                    "  .fast_run __RAM_segment_start__ (NOLOAD) :\n"
                    "  {\n"
                    "    __fast_run_start__ = .;\n"
                    "    . = MAX(__fast_run_start__ + SIZEOF(.fast), .);\n"
                    "  }\n"
                    "  __fast_run_end__ = __fast_run_start__ + SIZEOF(.fast_run);\n"
                    "  __fast_run_size__ = SIZEOF(.fast_run);\n"
                    "  __fast_run_load_end__ = __fast_run_end__;\n"
                    "\n"
                    "  __RAM_segment_used_end__ = __RAM_segment_start__ + SIZEOF(.fast_run);\n"
                    "  __RAM_segment_used_size__ = __RAM_segment_used_end__ - "
                    "__RAM_segment_start__;\n"
                    "\n"
                    "  __rodata_load_start__ = __fast_load_start__ + SIZEOF(.fast);\n"
                    "  .rodata __fast_load_start__ + SIZEOF(.fast) : AT(__fast_load_start__ + "
                    "SIZEOF(.fast))\n"
                    "  {\n"
                    "    __rodata_start__ = .;\n"
                    "    *(.rodata .rodata.* .gnu.linkonce.r.*)\n"
                    "  }\n"
                    "  __rodata_end__ = __rodata_start__ + SIZEOF(.rodata);\n"
                    "  __rodata_size__ = SIZEOF(.rodata);\n"
                    "  __rodata_load_end__ = __rodata_end__;\n"
                    "\n"
                    "  __FLASH_segment_used_end__ = __fast_load_start__ + SIZEOF(.fast) + "
                    "SIZEOF(.rodata);\n"
                    "  __FLASH_segment_used_size__ = __FLASH_segment_used_end__ - "
                    "__FLASH_segment_start__;\n"
                    "\n"
                    "}\n"
                    "\n");
}

TEST_F(LinkerScriptWriterTest, PlacementSegmentsWithStartAndSizeReplaceTheMemoryMap)
{
    runFlags().verbose = true;
    checkUnplacedSections = false;
    MemoryMapElement *flash = addSegment(memoryMap.get(), "FLASH", 0x0, 0x40000);
    addSegment(memoryMap.get(), "RAM", 0x20000000, 0x10000);
    addSection(flash, ".unplaced");
    auto placement = makeElement("Root");
    MemoryMapElement *placedFlash
        = addSegment(placement.get(), "FLASH", 0x100, 0x200, {{"access", "ReadOnly"}});
    addSection(placedFlash, ".text", {{"load", "Yes"}});
    MemoryMapElement *placedRam = test::addSegment(placement.get(), "RAM2;RAM");
    addSection(placedRam, ".data", {{"start", "0x20000000"}});
    testing::internal::CaptureStdout();
    const std::string text = write(placement.get());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Adding section from placement file .data\n"
                                                      "Adding section from placement file .text\n"
                                                      "Laying out section .data\n"
                                                      "Laying out section .text\n");
    EXPECT_EQ(text, "MEMORY\n"
                    "{\n"
                    "  FLASH (rx) : ORIGIN = 0x00000100, LENGTH = 0x00000200\n"
                    "}\n"
                    "\n"
                    "SECTIONS\n"
                    "{\n"
                    "  __RAM2;RAM_segment_start__ = 0x00000000;\n"
                    "  __RAM2;RAM_segment_end__ = 0x00000000;\n"
                    "  __RAM2;RAM_segment_size__ = 0x00000000;\n"
                    "  __FLASH_segment_start__ = 0x00000100;\n"
                    "  __FLASH_segment_end__ = 0x00000300;\n"
                    "  __FLASH_segment_size__ = 0x00000200;\n"
                    "\n"
                    "\n"
                    "  __data_load_start__ = 0x20000000;\n"
                    "  .data 0x20000000 (NOLOAD) : AT(0x20000000)\n"
                    "  {\n"
                    "    __data_start__ = .;\n"
                    "    *(.data .data.* .gnu.linkonce.d.*)\n"
                    "  }\n"
                    "  __data_end__ = __data_start__ + SIZEOF(.data);\n"
                    "  __data_size__ = SIZEOF(.data);\n"
                    "  __data_load_end__ = __data_end__;\n"
                    "\n"
                    "  __RAM_segment_used_end__ = 0x20000000 + SIZEOF(.data);\n"
                    "  __RAM_segment_used_size__ = __RAM_segment_used_end__ - "
                    "__RAM_segment_start__;\n"
                    "\n"
                    "  __text_load_start__ = __FLASH_segment_start__;\n"
                    "  .text __FLASH_segment_start__ : AT(__FLASH_segment_start__)\n"
                    "  {\n"
                    "    __text_start__ = .;\n"
                    "    *(.text .text.* .glue_7t .glue_7 .gnu.linkonce.t.* .gcc_except_table "
                    ".ARM.extab* .gnu.linkonce.armextab.*)\n"
                    "  }\n"
                    "  __text_end__ = __text_start__ + SIZEOF(.text);\n"
                    "  __text_size__ = SIZEOF(.text);\n"
                    "  __text_load_end__ = __text_end__;\n"
                    "\n"
                    "  __FLASH_segment_used_end__ = __FLASH_segment_start__ + SIZEOF(.text);\n"
                    "  __FLASH_segment_used_size__ = __FLASH_segment_used_end__ - "
                    "__FLASH_segment_start__;\n"
                    "\n"
                    "}\n"
                    "\n");
}

TEST_F(LinkerScriptWriterTest, PlacementSectionsContinueTheMemorySegmentChain)
{
    MemoryMapElement *ram = addSegment(memoryMap.get(), "RAM", 0x20000000, 0x1000);
    addSection(ram, ".data");
    auto placement = makeElement("Root");
    addSection(test::addSegment(placement.get(), "NONE"), ".lost");
    MemoryMapElement *first = test::addSegment(placement.get(), "RAM2;RAM");
    addSection(first, ".bss");
    MemoryMapElement *second = test::addSegment(placement.get(), ";RAM", {{"start", "1"}});
    addSection(second, ".heap");
    addSection(second, ".stack");
    const std::string text = write(placement.get());
    // Placement segments are taken in reverse order: ";RAM" before "RAM2;RAM".
    EXPECT_EQ(linesStartingWith(text, "  .") + linesStartingWith(text, "  __RAM_segment_used"),
              "  .data __RAM_segment_start__ (NOLOAD) : AT(__RAM_segment_start__)\n"
              "  .heap __data_end__ (NOLOAD) : AT(__data_end__)\n"
              "  .stack __heap_end__ (NOLOAD) : AT(__heap_end__)\n"
              "  .bss __stack_end__ (NOLOAD) : AT(__stack_end__)\n"
              "  __RAM_segment_used_end__ = __stack_end__ + SIZEOF(.bss);\n"
              "  __RAM_segment_used_size__ = __RAM_segment_used_end__ - __RAM_segment_start__;\n");
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
    symbols.insert("STACK_SIZE", "0x400");
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
        writeLinkerScript(badPath, symbols, false, true, memoryMap.get(), nullptr, QString());
        FAIL() << "no exception";
    } catch (const HException &error) {
        EXPECT_EQ(error.message(), "cannot open " + badPath.toStdString() + " for writing");
    }
}

TEST_F(LinkerScriptWriterTest, LayoutErrorLeavesTheEarlierFileAsItWas)
{
    checkUnplacedSections = false;
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
    } catch (const QString &message) {
        EXPECT_EQ(message, "cyclic memory section dependency with section .run");
    }
    // The script is written to a temporary file that only a complete run renames into place.
    EXPECT_EQ(fileText(), "earlier script\n");
    EXPECT_EQ(QDir(directory.path()).entryList(QDir::Files), QStringList{"out.ld"});
}

} // namespace
} // namespace ldweave
