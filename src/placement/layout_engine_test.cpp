#include "base/hexception.h"
#include "base/run_flags.h"
#include "placement/layout_engine.h"
#include "placement/script_stream.h"
#include "placement/section_record.h"
#include "support/placement_test_support.h"

#include <QHash>

#include <gtest/gtest.h>

namespace ldweave {
namespace {

using test::Attributes;

// A memory map root with segments, and the records of their sections chained per segment.
struct Placement
{
    MemoryMapElement *segment(const std::string &name)
    {
        return test::addSegment(root.get(), name);
    }

    // Adds a section to the segment and its record after the segment's last record.
    SectionRecord *add(MemoryMapElement *segment, const std::string &name,
                       const Attributes &attributes = {})
    {
        MemoryMapElement *section = test::addSection(segment, name, attributes);
        SectionRecord *record = sections.append(lastRecord.value(segment), section, segment);
        lastRecord.insert(segment, record);
        return record;
    }

    QString layout(SectionRecord *record)
    {
        ScriptStream stream;
        layoutSection(stream, sections, record, checkSegmentOverflow, defaultFillPattern);
        return QString::fromUtf8(stream.text());
    }

    // Lays out every record in list order, as the writer does.
    QString layoutAll()
    {
        ScriptStream stream;
        for (const std::unique_ptr<SectionRecord> &record : sections.records())
            layoutSection(stream, sections, record.get(), checkSegmentOverflow, defaultFillPattern);
        return QString::fromUtf8(stream.text());
    }

    // The error thrown when laying out every record, or "(none)".
    QString layoutError()
    {
        try {
            layoutAll();
        } catch (const HException &error) {
            return QString::fromStdString(error.message());
        }
        return QStringLiteral("(none)");
    }

    std::unique_ptr<MemoryMapElement> root = test::makeElement("Root");
    SectionList sections;
    QHash<MemoryMapElement *, SectionRecord *> lastRecord;
    bool checkSegmentOverflow = false;
    QString defaultFillPattern;
};

class LayoutTest : public testing::Test, public Placement
{
protected:
    void TearDown() override { runFlags() = RunFlags(); }
};

// The lines of text that start with prefix, each with its line feed.
QString linesStartingWith(const QString &text, const QString &prefix)
{
    return QString::fromStdString(
        test::linesStartingWith(text.toStdString(), prefix.toStdString()));
}

TEST_F(LayoutTest, LocationFollowsTheFirstRuleThatApplies)
{
    const struct
    {
        const char *name;
        Attributes attributes;
        const char *location;
    } rows[] = {
        {".first", {}, "__RAM_segment_start__"},
        {".aligned", {{"alignment", "8"}}, "ALIGN(__RAM_segment_start__ , 8)"},
        {".one", {{"alignment", "1"}}, "__RAM_segment_start__"},
        {".zero", {{"alignment", "0"}}, "__RAM_segment_start__"},
        {".hex", {{"alignment", "0x10"}}, "ALIGN(__RAM_segment_start__ , 16)"},
        {".octal", {{"alignment", "010"}}, "ALIGN(__RAM_segment_start__ , 8)"},
        {".binary", {{"alignment", "0b100"}}, "ALIGN(__RAM_segment_start__ , 4)"},
        {".minus", {{"alignment", "-4"}}, "ALIGN(__RAM_segment_start__ , 4294967292)"},
        {".fixed", {{"start", "0x1000"}, {"alignment", "16"}}, "0x1000"},
        {".relative", {{"start", "+0x100"}}, "+0x100"},
        {".blank", {{"start", ""}}, "__RAM_segment_start__"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        MemoryMapElement *ram = segment("RAM");
        SectionRecord *record = add(ram, row.name, row.attributes);
        const QString sym = strippedName(record->symbolName);
        EXPECT_EQ(linesStartingWith(layout(record), "  __" + sym + "_load_start__"),
                  "  __" + sym + "_load_start__ = " + row.location + ";\n");
    }
}

TEST_F(LayoutTest, LocationFollowsTheLivePredecessor)
{
    const struct
    {
        Attributes predecessor;
        Attributes section;
        const char *location;
    } rows[] = {
        {{}, {}, "__p_end__"},
        {{}, {{"alignment", "4"}}, "ALIGN(__p_end__ , 4)"},
        {{{"runin", ".r"}}, {}, "__p_load_start__ + SIZEOF(.p)"},
        {{{"runin", ""}}, {}, "__p_load_start__ + SIZEOF(.p)"},
        {{{"runoffset", "0x10"}}, {{"alignment", "2"}}, "ALIGN(__p_load_start__ + SIZEOF(.p) , 2)"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.location);
        Placement placement;
        MemoryMapElement *ram = placement.segment("RAM");
        SectionRecord *predecessor = placement.add(ram, ".p", row.predecessor);
        SectionRecord *record = placement.add(ram, ".s", row.section);
        predecessor->laidOut = true; // its own statement is not what this row checks
        EXPECT_EQ(linesStartingWith(placement.layout(record), "  __s_load_start__"),
                  QStringLiteral("  __s_load_start__ = ") + row.location + ";\n");
    }
}

TEST_F(LayoutTest, PlacementFromSegmentEndUsesTheOffsetAndChecksOverlap)
{
    MemoryMapElement *ram = segment("RAM");
    add(ram, ".data", {{"runoffset", "0x10"}, {"load", "Yes"}});
    SectionRecord *stack = add(ram, ".stack", {{"alignment", "8"}});
    stack->placeFromSegmentEnd = true;
    stack->offsetFromSegmentEnd = 256;
    checkSegmentOverflow = true;
    const QString text = layoutAll();
    EXPECT_EQ(linesStartingWith(text, "  __stack_load_start__"),
              "  __stack_load_start__ = __RAM_segment_start__ + (__RAM_segment_size__ - 256);\n");
    EXPECT_EQ(linesStartingWith(text, "  . = ASSERT(__data_load_end__"),
              "  . = ASSERT(__data_load_end__ <= __stack_start__ , \"error: section .data "
              "overlaps absolute placed section .stack\");\n");
}

TEST_F(LayoutTest, AbsoluteSectionAfterARunSectionWritesBothChecks)
{
    MemoryMapElement *flash = segment("FLASH");
    MemoryMapElement *ram = segment("RAM");
    add(ram, ".data_run");
    add(flash, ".data", {{"load", "Yes"}, {"runin", ".data_run"}});
    add(flash, ".abs", {{"start", "0x1000"}, {"runoffset", "4"}, {"load", "Yes"}});
    checkSegmentOverflow = true;
    const QString text = layoutAll();
    EXPECT_EQ(linesStartingWith(text, "  . = ASSERT(__abs").toStdString()
                  + linesStartingWith(text, "  . = ASSERT(__data_load_end__").toStdString(),
              "  . = ASSERT(__abs_load_start__ == __abs_load_end__ || (__abs_load_end__ - "
              "__FLASH_segment_start__) <=  __FLASH_segment_size__ , \"error: .abs is too large "
              "to fit in FLASH memory segment\");\n"
              "  . = ASSERT(__data_load_end__ <= __abs_load_start__ , \"error: section .data "
              "overlaps absolute placed section .abs\");\n");
}

TEST_F(LayoutTest, WritesSymbolsFillSizeAndKeep)
{
    MemoryMapElement *flash = segment("FLASH");
    add(flash, ".ctors",
        {{"keep", "Yes"},
         {"load", "yes"},
         {"fill", ""},
         {"size", "0x100"},
         {"address_symbol", "start_of_ctors"},
         {"end_symbol", "end_of_ctors"},
         {"size_symbol", "ctors_size"}});
    add(flash, ".TEXT", {{"size", "SZ"}, {"alignment", "0"}, {"load", "true"}});
    add(flash, ".init", {{"fill", "0xAA"}, {"inputsections", "*(.init)"}, {"keep", "YES"}});
    defaultFillPattern = "0xFF";
    EXPECT_EQ(layoutAll().toStdString(),
              "  __ctors_load_start__ = __FLASH_segment_start__;\n"
              "  .ctors __FLASH_segment_start__ : AT(__FLASH_segment_start__)\n"
              "  {\n"
              "    __ctors_start__ = .;\n"
              "    start_of_ctors =   __ctors_start__;\n"
              "    KEEP(KEEP (*(SORT(.ctors.*))) KEEP (*(.ctors)) KEEP (*(.init_array)) "
              "KEEP (*(SORT(.init_array.*))))\n"
              "    . = MAX(__ctors_start__ + 0x100 , .);\n"
              "  } =\n"
              "  __ctors_end__ = __ctors_start__ + SIZEOF(.ctors);\n"
              "  __ctors_size__ = SIZEOF(.ctors);\n"
              "  end_of_ctors =   __ctors_end__;\n"
              "ctors_size =   __ctors_size__;\n"
              "  __ctors_load_end__ = __ctors_end__;\n"
              "\n"
              "  __TEXT_load_start__ = __ctors_end__;\n"
              "  .TEXT __ctors_end__ (NOLOAD) : AT(__ctors_end__)\n"
              "  {\n"
              "    __TEXT_start__ = .;\n"
              "    *(.TEXT .TEXT.*)\n"
              "    . = ALIGN(MAX(__TEXT_start__ + SZ , .), 0);\n"
              "  } =0xFF\n"
              "  __TEXT_end__ = __TEXT_start__ + SIZEOF(.TEXT);\n"
              "  __TEXT_size__ = SIZEOF(.TEXT);\n"
              "  __TEXT_load_end__ = __TEXT_end__;\n"
              "\n"
              "  __init_load_start__ = __TEXT_end__;\n"
              "  .init __TEXT_end__ (NOLOAD) : AT(__TEXT_end__)\n"
              "  {\n"
              "    __init_start__ = .;\n"
              "    KEEP(*(.init))\n"
              "  } =0xAA\n"
              "  __init_end__ = __init_start__ + SIZEOF(.init);\n"
              "  __init_size__ = SIZEOF(.init);\n"
              "  __init_load_end__ = __init_end__;\n"
              "\n"
              "  __FLASH_segment_used_end__ = __TEXT_end__ + SIZEOF(.init);\n"
              "  __FLASH_segment_used_size__ = __FLASH_segment_used_end__ - "
              "__FLASH_segment_start__;\n"
              "\n");
}

TEST_F(LayoutTest, ExtraSymbolsFollowTheSectionSymbolsInTheirOrder)
{
    MemoryMapElement *ram = segment("RAM");
    add(ram, ".tdata",
        {{"runoffset", "0x100"},
         {"symbols", " __tls_size = __tbss_end__ - __tdata_start__ ;;"
                     "same=A == B ? 1 : 2;semi=x\\;y; "}});
    EXPECT_EQ(layoutAll().toStdString(),
              "  __tdata_load_start__ = __RAM_segment_start__;\n"
              "  .tdata __tdata_load_start__ + 0x100 (NOLOAD) : AT(__RAM_segment_start__)\n"
              "  {\n"
              "    __tdata_start__ = .;\n"
              "    *(.tdata .tdata.*)\n"
              "  }\n"
              "  __tdata_end__ = __tdata_start__ + SIZEOF(.tdata);\n"
              "  __tdata_size__ = SIZEOF(.tdata);\n"
              "  __tdata_load_end__ = __tdata_load_start__ + SIZEOF(.tdata);\n"
              "  __tls_size = __tbss_end__ - __tdata_start__;\n"
              "  same = A == B ? 1 : 2;\n"
              "  semi = x;y;\n"
              "\n"
              "  __RAM_segment_used_end__ = __RAM_segment_start__ + SIZEOF(.tdata);\n"
              "  __RAM_segment_used_size__ = __RAM_segment_used_end__ - __RAM_segment_start__;\n"
              "\n");
}

TEST_F(LayoutTest, DefaultInputSectionsDependOnTheExactName)
{
    const struct
    {
        const char *name;
        const char *input;
    } rows[] = {
        {".dtors", "KEEP (*(SORT(.dtors.*))) KEEP (*(.dtors)) KEEP (*(.fini_array)) "
                   "KEEP (*(SORT(.fini_array.*)))"},
        {".TEXT", "*(.TEXT .TEXT.*)"},
        {"my code", "*(my_code my_code.*)"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        SectionRecord *record = add(segment("FLASH"), row.name);
        // The input-section line is the fifth line of the plain form.
        EXPECT_EQ(layout(record).split('\n').value(4).toStdString(),
                  std::string("    ") + row.input);
    }
}

TEST_F(LayoutTest, RunOffsetSectionRunsAtItsLoadStartPlusTheOffset)
{
    MemoryMapElement *flash = segment("FLASH");
    add(flash, ".text")->laidOut = true;
    add(flash, ".ovl", {{"runoffset", "0x100"}, {"load", "Yes"}});
    add(flash, ".after");
    const QString text = layoutAll();
    EXPECT_EQ(linesStartingWith(text, "  .").toStdString(),
              "  .ovl __ovl_load_start__ + 0x100 : AT(__text_end__)\n"
              "  .after __ovl_load_start__ + SIZEOF(.ovl) (NOLOAD) : "
              "AT(__ovl_load_start__ + SIZEOF(.ovl))\n");
    EXPECT_EQ(linesStartingWith(text, "  __ovl_load_end__"),
              "  __ovl_load_end__ = __ovl_load_start__ + SIZEOF(.ovl);\n");
}

TEST_F(LayoutTest, RunSectionIsResolvedFromTheFirstExistingPart)
{
    MemoryMapElement *flash = segment("FLASH");
    MemoryMapElement *ram = segment("RAM");
    MemoryMapElement *sram = segment("SRAM");
    add(ram, ".data", {{"load", "Yes"}});
    add(ram, ".b", {{"alignment", "1"}});
    add(sram, ".abs", {{"start", "+0x100"}})->section->setStart(0x20000100);
    add(flash, ".x", {{"runin", ";.a;;.b"}, {"load", "Yes"}});
    add(flash, ".y", {{"runin", ".abs;.b"}});
    // ".b" and ".abs" are named only as parts of a runin text, so they reserve nothing; the run
    // address of ".abs" is its computed start, that of ".b" is aligned by any alignment value.
    EXPECT_EQ(linesStartingWith(layoutAll(), "  .").toStdString(),
              "  .data __RAM_segment_start__ : AT(__RAM_segment_start__)\n"
              "  .b __data_end__ (NOLOAD) : AT(__data_end__)\n"
              "  .abs +0x100 (NOLOAD) : AT(+0x100)\n"
              "  .x ALIGN(__data_end__ , 1) : AT(__FLASH_segment_start__)\n"
              "  .y 0x20000100 (NOLOAD) : AT(__x_load_start__ + SIZEOF(.x))\n");
}

TEST_F(LayoutTest, RunPredecessorIsLaidOutFirst)
{
    MemoryMapElement *flash = segment("FLASH");
    MemoryMapElement *ram = segment("RAM");
    add(ram, ".bss");
    add(ram, ".fast_run", {{"alignment", "0"}});
    SectionRecord *fast = add(flash, ".fast", {{"runin", ".fast_run"}, {"load", "Yes"}});
    EXPECT_EQ(linesStartingWith(layout(fast), "  .").toStdString(),
              "  .bss __RAM_segment_start__ (NOLOAD) : AT(__RAM_segment_start__)\n"
              "  .fast ALIGN(__bss_end__ , 0) : AT(__FLASH_segment_start__)\n");
}

TEST_F(LayoutTest, RunInSectionsAreWrittenBeforeTheirRunSection)
{
    runFlags().verbose = true;
    MemoryMapElement *ram = segment("RAM");
    MemoryMapElement *flash = segment("FLASH");
    add(ram, ".fast_run", {{"inputsections", "*(.ignored)"}});
    add(flash, ".code");
    add(flash, ".fast", {{"runin", ".fast_run"}});
    add(flash, ".fast2", {{"runin", ".fast_run"}});
    testing::internal::CaptureStdout();
    const QString text = layoutAll();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Laying out section .fast_run\n"
                                                      "Laying out section .fast\n"
                                                      "Laying out section .code\n"
                                                      "Laying out section .fast2\n"
                                                      "Laying out section .code\n"
                                                      "Section .code already laid out\n"
                                                      "Laying out section .fast\n"
                                                      "Section .fast already laid out\n"
                                                      "Laying out section .fast2\n"
                                                      "Section .fast2 already laid out\n");
    EXPECT_EQ(linesStartingWith(text, "  .").toStdString(),
              "  .code __FLASH_segment_start__ (NOLOAD) : AT(__FLASH_segment_start__)\n"
              "  .fast __RAM_segment_start__ (NOLOAD) : AT(__code_end__)\n"
              "  .fast2 __RAM_segment_start__ (NOLOAD) : AT(__fast_load_start__ + SIZEOF(.fast))\n"
              "  .fast_run __RAM_segment_start__ (NOLOAD) :\n");
    EXPECT_EQ(linesStartingWith(text, "    ").toStdString(),
              "    __code_start__ = .;\n"
              "    *(.code .code.*)\n"
              "    __fast_start__ = .;\n"
              "    *(.fast .fast.*)\n"
              "    __fast2_start__ = .;\n"
              "    *(.fast2 .fast2.*)\n"
              "    __fast_run_start__ = .;\n"
              "    . = MAX(__fast_run_start__ + SIZEOF(.fast), .);\n"
              "    . = MAX(__fast_run_start__ + SIZEOF(.fast2), .);\n");
}

TEST_F(LayoutTest, RunSectionNamesAreSymbolNames)
{
    MemoryMapElement *ram = segment("RAM");
    MemoryMapElement *flash = segment("FLASH");
    add(ram, "fast run");
    add(flash, ".a", {{"runin", "fast_run"}});
    add(flash, ".b", {{"runin", "fast run"}});
    EXPECT_EQ(layoutError(), "cannot find run section fast run referenced in b");
    EXPECT_TRUE(sections.records()[1]->laidOut);
}

TEST_F(LayoutTest, MissingRunSectionIsDiscardedWhenNotAnError)
{
    runFlags().verbose = true;
    runFlags().missingRunInIsError = false;
    MemoryMapElement *flash = segment("FLASH");
    add(flash, ".text", {{"load", "Yes"}});
    add(flash, ".fast", {{"runin", ".x"}});
    add(flash, ".gone", {{"runin", ""}});
    add(flash, ".data", {{"load", "Yes"}});
    add(flash, ".last", {{"runin", ".y;.z"}});
    testing::internal::CaptureStdout();
    const QString text = layoutAll();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Laying out section .text\n"
              "Laying out section .fast\n"
              "Discarding .fast because run in section .x not found\n"
              "Laying out section .gone\n"
              "Discarding .gone because run in section  not found\n"
              "Laying out section .data\n"
              "Laying out section .last\n"
              "Discarding .last because run in section .y;.z not found\n");
    // .data follows the live .text; the discarded last section leaves no segment usage symbols.
    EXPECT_EQ(text.toStdString(),
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
              "  __data_load_start__ = __text_end__;\n"
              "  .data __text_end__ : AT(__text_end__)\n"
              "  {\n"
              "    __data_start__ = .;\n"
              "    *(.data .data.* .gnu.linkonce.d.*)\n"
              "  }\n"
              "  __data_end__ = __data_start__ + SIZEOF(.data);\n"
              "  __data_size__ = SIZEOF(.data);\n"
              "  __data_load_end__ = __data_end__;\n"
              "\n");
    for (const std::unique_ptr<SectionRecord> &record : sections.records()) {
        SCOPED_TRACE(record->symbolName.toStdString());
        EXPECT_TRUE(record->laidOut);
        EXPECT_FALSE(record->visiting);
        EXPECT_EQ(record->discarded, record->section->hasRunIn());
    }
}

TEST_F(LayoutTest, RunPredecessorSkipsDiscardedSections)
{
    runFlags().missingRunInIsError = false;
    MemoryMapElement *flash = segment("FLASH");
    MemoryMapElement *ram = segment("RAM");
    add(ram, ".bss");
    add(ram, ".gone1", {{"runin", ".none"}});
    add(ram, ".gone2", {{"runin", ".none"}});
    add(ram, ".run");
    add(flash, ".fast", {{"runin", ".run"}});
    EXPECT_EQ(linesStartingWith(layoutAll(), "  .").toStdString(),
              "  .bss __RAM_segment_start__ (NOLOAD) : AT(__RAM_segment_start__)\n"
              "  .fast __bss_end__ (NOLOAD) : AT(__FLASH_segment_start__)\n"
              "  .run __bss_end__ (NOLOAD) :\n");
}

TEST_F(LayoutTest, ReportsEachErrorWithItsExactMessage)
{
    const struct
    {
        const char *description;
        std::vector<std::pair<const char *, Attributes>> sections; // all in segment FLASH
        const char *message;
    } rows[] = {
        {"missing run section",
         {{".fast", {{"runin", ".x"}}}},
         "cannot find run section .x referenced in fast"},
        {"empty runin",
         {{".fast", {{"runin", ""}}}},
         "cannot find run section  referenced in fast"},
        {"only separators",
         {{".fast", {{"runin", ";;"}}}},
         "cannot find run section ;; referenced in fast"},
        {"each names the other",
         {{".a", {{"runin", ".b"}}}, {".b", {{"runin", ".a"}}}},
         "run section .a cannot have run in sections"},
        {"names itself", {{".a", {{"runin", ".a"}}}}, "run section .a cannot have run in sections"},
        {"symbol without expression",
         {{".data", {{"symbols", "a=1; b ="}}}},
         "symbol definition 'b =' of section .data needs a name and an expression"},
        {"symbol without name",
         {{".data", {{"symbols", "=1"}}}},
         "symbol definition '=1' of section .data needs a name and an expression"},
        {"run section before it",
         {{".run", {}}, {".fast", {{"runin", ".run"}}}},
         "cyclic memory section dependency with section .run"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.description);
        Placement placement;
        MemoryMapElement *flash = placement.segment("FLASH");
        for (const auto &[name, attributes] : row.sections)
            placement.add(flash, name, attributes);
        EXPECT_EQ(placement.layoutError(), row.message);
    }
}

TEST_F(LayoutTest, RecordAlreadyLaidOutWritesOnlyTheVerboseLines)
{
    MemoryMapElement *flash = segment("FLASH");
    SectionRecord *record = add(flash, ".text");
    EXPECT_FALSE(layout(record).isEmpty());
    runFlags().verbose = true;
    testing::internal::CaptureStdout();
    EXPECT_EQ(layout(record), QString());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Laying out section .text\nSection .text already laid out\n");
}

TEST_F(LayoutTest, LongChainIsLaidOutFromItsStartWithoutDeepRecursion)
{
    constexpr int kCount = 50000;
    MemoryMapElement *ram = segment("RAM");
    for (int i = 0; i < kCount; ++i)
        add(ram, ".s" + std::to_string(i));
    // Starting at the last record lays out the whole chain before it, first one first.
    const QString text = layout(sections.records().back().get());
    const QStringList headers = linesStartingWith(text, "  .s").split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(headers.size(), kCount);
    EXPECT_EQ(headers.first(), "  .s0 __RAM_segment_start__ (NOLOAD) : AT(__RAM_segment_start__)");
    EXPECT_EQ(headers.last(), "  .s49999 __s49998_end__ (NOLOAD) : AT(__s49998_end__)");
    for (const std::unique_ptr<SectionRecord> &record : sections.records())
        ASSERT_TRUE(record->laidOut);
}

TEST_F(LayoutTest, LongCycleIsReportedWithTheSectionMetAgain)
{
    constexpr int kCount = 30000;
    MemoryMapElement *ram = segment("RAM");
    for (int i = 0; i < kCount; ++i)
        add(ram, ".s" + std::to_string(i));
    sections.records().front()->prev = sections.records().back().get();
    EXPECT_EQ(layoutError(), "cyclic memory section dependency with section .s0");
}

} // namespace
} // namespace ldweave
