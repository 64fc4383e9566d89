#include "placement/memory_map_element.h"
#include "placement/statement_text.h"
#include "support/placement_test_support.h"

#include <gtest/gtest.h>

namespace ldweave {
namespace {

using test::addElement;
using test::addSection;
using test::addSegment;
using test::makeElement;

TEST(ElementKind, ComesFromTheExactTagName)
{
    const struct
    {
        const char *tag;
        ElementKind kind;
    } rows[] = {
        // The whole tag decides: no other case, no prefix, no longer name.
        {"MemorySegment", ElementKind::MemorySegment},
        {"Register", ElementKind::Register},
        {"RegisterGroup", ElementKind::RegisterGroup},
        {"Enum", ElementKind::Enumeration},
        {"memorysegment", ElementKind::Other},
        {"Registe", ElementKind::Other},
        {"MemorySegments", ElementKind::Other},
        {"Enumeration", ElementKind::Other},
        {"Import", ElementKind::Other},
        {"", ElementKind::Other},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.tag);
        EXPECT_EQ(elementKindFromTag(row.tag), row.kind);
        EXPECT_EQ(MemoryMapElement(row.tag, false).kind(), row.kind);
    }
}

TEST(MemoryMapElement, AttributeTestsFollowPresenceEmptinessAndYes)
{
    // value: null for an absent attribute.
    const struct
    {
        const char *value;
        bool present;
        bool nonEmpty;
        bool yes;
    } rows[] = {
        {nullptr, false, false, false}, {"", true, false, false},    {"Yes", true, true, true},
        {"yes", true, true, true},      {"YES", true, true, true},   {"yEs", true, true, true},
        {"true", true, true, false},    {"yes ", true, true, false}, {"no", true, true, false},
        {"y", true, true, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.value ? row.value : "(absent)");
        auto section = makeElement("ProgramSection");
        if (row.value) {
            for (const char *name : {"load", "keep", "place_from_segment_end", "fill", "runin",
                                     "runoffset", "start", "size", "alignment", "inputsections",
                                     "address_symbol", "end_symbol", "size_symbol"})
                section->setAttribute(name, row.value);
        }
        EXPECT_EQ(section->isLoaded(), row.yes);
        EXPECT_EQ(section->isKept(), row.yes);
        EXPECT_EQ(section->isPlaceFromSegmentEnd(), row.yes);
        EXPECT_EQ(section->hasFill(), row.present);
        EXPECT_EQ(section->hasRunIn(), row.present);
        EXPECT_EQ(section->hasRunOffset(), row.present);
        EXPECT_EQ(section->isLoadedElsewhere(), row.present);
        EXPECT_EQ(section->hasAddressSymbol(), row.present);
        EXPECT_EQ(section->hasEndSymbol(), row.present);
        EXPECT_EQ(section->hasSizeSymbol(), row.present);
        EXPECT_EQ(section->hasStart(), row.nonEmpty);
        EXPECT_EQ(section->hasSize(), row.nonEmpty);
        EXPECT_EQ(section->hasAlignment(), row.nonEmpty);
        EXPECT_EQ(section->hasInputSections(), row.nonEmpty);
        const QString expectedText = row.value ? QString::fromUtf8(row.value) : QString();
        EXPECT_EQ(section->fill(), expectedText);
        EXPECT_EQ(section->runIn(), expectedText);
        EXPECT_EQ(section->startText(), expectedText);
    }
}

TEST(MemoryMapElement, AttributeNamesAreCaseSensitive)
{
    auto section
        = makeElement("ProgramSection", {{"Load", "Yes"}, {"RUNIN", ".x"}, {"Start", "1"}});
    EXPECT_FALSE(section->isLoaded());
    EXPECT_FALSE(section->hasRunIn());
    EXPECT_FALSE(section->hasStart());
}

TEST(MemoryMapElement, OnlyExactReadOnlyAccessIsReadOnly)
{
    const struct
    {
        const char *access;
        bool readOnly;
    } rows[] = {{"ReadOnly", true},  {"readonly", false}, {"ReadWrite", false},
                {"READONLY", false}, {"", false},         {nullptr, false}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.access ? row.access : "(absent)");
        auto segment = makeElement("MemorySegment");
        if (row.access)
            segment->setAttribute("access", row.access);
        EXPECT_EQ(segment->hasReadOnlyAccess(), row.readOnly);
    }
}

TEST(MemoryMapElement, TextIsConvertedFromUtf8)
{
    auto section = makeElement("ProgramSection", {{"name", "gr\xc3\xbc\xc3\x9f e"}});
    EXPECT_EQ(section->name(), QString::fromUtf8("grüß e"));
    EXPECT_EQ(section->symbolName(), QString::fromUtf8("grüß_e"));
}

TEST(Naming, SpacesBecomeUnderscoresAndOneDotIsStripped)
{
    const struct
    {
        const char *name;
        const char *symbol;
        const char *stripped;
    } rows[] = {
        {".text", ".text", "text"},
        {"my code", "my_code", "my_code"},
        {". data", "._data", "_data"},
        {"..x", "..x", ".x"},
        {"", "", ""},
        {".", ".", ""},
        {"a\tb", "a\tb", "a\tb"},
        {" .x", "_.x", "_.x"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const QString symbol = symbolNameOf(QString::fromUtf8(row.name));
        EXPECT_EQ(symbol, QString::fromUtf8(row.symbol));
        EXPECT_EQ(strippedName(symbol), QString::fromUtf8(row.stripped));
    }
}

// Root
//   MemorySegment A: ProgramSection a1, RegisterGroup{ProgramSection a2{ProgramSection inner}}
//   MemorySegment B{MemorySegment B (nested)}: ProgramSection b1, CDATA, ProgramSection hidden
//   Processor{MemorySegment C}
class TreeQueryTest : public testing::Test
{
protected:
    void SetUp() override
    {
        root = makeElement("Root");
        segmentA = addSegment(root.get(), "A");
        a1 = addSection(segmentA, "a1");
        MemoryMapElement *group = addElement(segmentA, "RegisterGroup", {{"name", "A"}});
        a2 = addSection(group, "a2");
        inner = addSection(a2, "inner");
        segmentB = addSegment(root.get(), "B");
        nestedB = addSegment(segmentB, "B");
        b1 = addSection(segmentB, "b1");
        segmentB->appendChild(std::make_unique<XMLCDATASection>("x"));
        hidden = addSection(segmentB, "hidden");
        segmentC = addSegment(addElement(root.get(), "Processor"), "C");
    }

    std::unique_ptr<MemoryMapElement> root;
    MemoryMapElement *segmentA, *a1, *a2, *inner, *segmentB, *nestedB, *b1, *hidden, *segmentC;
};

TEST_F(TreeQueryTest, CollectElementsListsMatchesWithoutDescendingIntoThem)
{
    using List = QList<MemoryMapElement *>;
    EXPECT_EQ(collectElements(root.get(), ElementKind::MemorySegment, CollectOrder::DocumentOrder),
              (List{segmentA, segmentB, segmentC}));
    EXPECT_EQ(collectElements(root.get(), ElementKind::MemorySegment, CollectOrder::Reversed),
              (List{segmentC, segmentB, segmentA}));
    EXPECT_EQ(collectElements(segmentA, ElementKind::ProgramSection, CollectOrder::DocumentOrder),
              (List{a1, a2}));
    // The CDATA section ends segment B's child list: "hidden" is not reached.
    EXPECT_EQ(collectElements(segmentB, ElementKind::MemorySegment, CollectOrder::DocumentOrder),
              (List{nestedB}));
    EXPECT_EQ(collectElements(segmentB, ElementKind::ProgramSection, CollectOrder::DocumentOrder),
              (List{b1}));
    // The start element itself is not a candidate.
    EXPECT_EQ(collectElements(a2, ElementKind::ProgramSection, CollectOrder::DocumentOrder),
              (List{inner}));
    EXPECT_EQ(collectElements(inner, ElementKind::ProgramSection, CollectOrder::DocumentOrder),
              List{});
}

TEST_F(TreeQueryTest, FindElementSearchesPreOrderFromStartIncluded)
{
    EXPECT_EQ(findSegment(root.get(), "B"), segmentB);
    EXPECT_EQ(findElement(segmentB, "B", ElementKind::MemorySegment), segmentB);
    EXPECT_EQ(findElement(nestedB, "B", ElementKind::MemorySegment), nestedB);
    EXPECT_EQ(findSegment(root.get(), "A"), segmentA); // not the register group of that name
    EXPECT_EQ(findSegment(root.get(), "C"), segmentC);
    EXPECT_EQ(findElement(root.get(), "inner", ElementKind::ProgramSection), inner);
    EXPECT_EQ(findElement(root.get(), "hidden", ElementKind::ProgramSection), nullptr);
    EXPECT_EQ(findElement(segmentA, "b1", ElementKind::ProgramSection), nullptr);
    EXPECT_EQ(findSegment(root.get(), "a"), nullptr);
    EXPECT_EQ(findSegment(root.get(), ""), nullptr);
}

TEST_F(TreeQueryTest, SegmentsByNameAgreesWithFindSegment)
{
    const QHash<QString, MemoryMapElement *> segments = segmentsByName(root.get());
    EXPECT_EQ(segments.size(), 3);
    for (const QString &name : {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(segments.value(name), findSegment(root.get(), name));
    }
}

TEST(TreeQuery, MillionDeepTreeIsWalkedWithAFlatStack)
{
    auto root = makeElement("Root");
    XMLNode *parent = root.get();
    for (int depth = 0; depth < 1000000; ++depth)
        parent = addElement(parent, "RegisterGroup");
    MemoryMapElement *segment = addSegment(parent, "DEEP");
    MemoryMapElement *section = addSection(segment, ".deep");
    EXPECT_EQ(findSegment(root.get(), "DEEP"), segment);
    EXPECT_EQ(collectElements(root.get(), ElementKind::MemorySegment, CollectOrder::Reversed),
              QList<MemoryMapElement *>{segment});
    EXPECT_EQ(collectElements(root.get(), ElementKind::ProgramSection, CollectOrder::DocumentOrder),
              QList<MemoryMapElement *>{section});
}

// "name start size" of every element with a name, in document order, one per line.
std::string startsAndSizes(MemoryMapElement *root)
{
    std::string out;
    for (XMLNode *node = root; node;) {
        if (MemoryMapElement *element = asMemoryMapElement(node)) {
            if (element->hasAttribute("name")) {
                out += element->name().toStdString() + ' ' + hex8(element->start()).toStdString()
                       + ' ' + hex8(element->size()).toStdString() + '\n';
            }
        }
        if (node->firstChild()) {
            node = node->firstChild();
            continue;
        }
        while (node && !node->nextSibling())
            node = node->parent();
        if (node)
            node = node->nextSibling();
    }
    return out;
}

TEST(ComputeStartAndSize, EvaluatesStartsRelativeToTheEnclosingBase)
{
    std::unique_ptr<MemoryMapElement> root = test::parseElements(R"(
<Root name="root" start="0x10" size="0x20">
  <MemorySegment name="FLASH" start="0x1000" size="0x100">
    <ProgramSection name="relative" start="+0x100" size="0x10">
      <Register name="reg" start="+4" size="0x20"/>
      <BitField name="bits" start="+3" size="4"/>
    </ProgramSection>
    <ProgramSection name="empty start" start="" size="FLASH">
      <Register name="reg at 8" start="+8" size="-1"/>
    </ProgramSection>
    <ProgramSection name="no start" size="2*8">
      <Register name="inherits" start="+1" size="1 + 1"/>
    </ProgramSection>
    <RegisterGroup name="group" start="+0x10" size="">
      <Register name="octal" start="+2" size="010"/>
      <Enum name="enum" start="+1" size="0b11"/>
      <Vector name="vector" start="0x5" size="5"/>
    </RegisterGroup>
    <ProgramSection name="bad relative" start="+(" size="0x1 +"/>
  </MemorySegment>
  <Processor name="cpu" start="0x50" size="0x10">
    <Register name="top" start="+1"/>
  </Processor>
  <MemorySegment name="wide" start="0x123456789" size="-2"/>
</Root>)");
    ASSERT_TRUE(root);
    computeStartAndSize(root.get());
    EXPECT_EQ(startsAndSizes(root.get()), "root 00000000 00000000\n"
                                          "FLASH 00001000 00000100\n"
                                          "relative 00001100 00000010\n"
                                          "reg 00001104 00000020\n"
                                          "bits 00000003 00000004\n"
                                          "empty start 00000000 00000000\n"
                                          "reg at 8 00000008 ffffffff\n"
                                          "no start 00000000 00000010\n"
                                          "inherits 00001001 00000001\n"
                                          "group 00001010 00000000\n"
                                          "octal 00001012 00000008\n"
                                          "enum 00000001 00000003\n"
                                          "vector 00000000 00000000\n"
                                          "bad relative 00001000 00000000\n"
                                          "cpu 00000000 00000000\n"
                                          "top 00000001 00000000\n"
                                          "wide 23456789 fffffffe\n");
}

TEST(ComputeStartAndSize, MillionDeepTreeIsWalkedWithAFlatStack)
{
    auto root = makeElement("Root");
    MemoryMapElement *top = addSegment(root.get(), "TOP", {{"start", "0x100"}});
    XMLNode *parent = top;
    for (int depth = 0; depth < 1000000; ++depth)
        parent = addElement(parent, "Processor");
    MemoryMapElement *bottom = addElement(parent, "Register", {{"start", "+1"}, {"size", "4"}});
    computeStartAndSize(root.get());
    EXPECT_EQ(bottom->start(), 0x101u);
    EXPECT_EQ(bottom->size(), 4u);
}

} // namespace
} // namespace ldweave
