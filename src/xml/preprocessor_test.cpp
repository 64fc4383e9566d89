#include "support/xml_tree_text.h"
#include "xml/preprocessor.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ldweave {
namespace {

using test::treeText;

class RecordingDocument final : public XMLPP2
{
public:
    explicit RecordingDocument(bool keepText = false)
        : XMLPP2(keepText)
    {}

    std::unique_ptr<XMLElement> createElement(std::string tagName) override
    {
        ++createdElements;
        return XMLPP2::createElement(std::move(tagName));
    }
    void warning(const QString &text) override { warnings.push_back(text.toStdString()); }
    void warningAt(const Warning &diagnostic) override
    {
        positioned.push_back(diagnostic.path.toStdString() + "@" + std::to_string(diagnostic.line)
                             + " " + diagnostic.message.toStdString());
        XMLPP2::warningAt(diagnostic);
    }
    void fileRead(const QString &path) override { filesRead.push_back(path.toStdString()); }

    std::vector<std::string> warnings;
    std::vector<std::string> positioned; // "path@line message", line counted from 0
    std::vector<std::string> filesRead;
    int createdElements = 0;
};

struct Row
{
    std::string input;
    std::string tree;                       // treeText of the root after the pass
    std::vector<std::string> warnings = {}; // in order
};

const MacroMap kBoardMacros = {{"BOARD", "B2"}, {"LIST", "B1,B2"}};

// Parses the text and runs the pass from the root, as the loader does.
void checkRows(const std::vector<Row> &rows, bool expand = true)
{
    for (const Row &row : rows) {
        SCOPED_TRACE(row.input);
        RecordingDocument document;
        ASSERT_TRUE(document.parse(row.input.c_str()));
        MacroMap macros = kBoardMacros;
        document.processConditionals(document.root(), "main.xml", macros, expand);
        EXPECT_EQ(treeText(document.root()), row.tree);
        EXPECT_EQ(document.warnings, row.warnings);
    }
}

const char kOneCondition[] = "XmlPP::processConditionals(): one condition required for <if[not]>";

TEST(XMLPP2, ConditionalsSpliceDropOrKeep)
{
    checkRows({
        {R"~(<r><if BOARD="B1,B2"><a/><b/></if><c/></r>)~", "r{a b c}"},
        {R"~(<r><ifnot BOARD="B1,B2"><a/></ifnot><c/></r>)~", "r{c}"},
        {R"~(<r><ifnot BOARD="B1,B3"><a/></ifnot></r>)~", "r{a}"},
        {R"~(<r><if BOARD=""><a/></if></r>)~", "r"},
        {R"~(<r><if BOARD=",B2,"><a/></if></r>)~", "r{a}"},
        {R"~(<r><if BOARD=" B2"><a/></if></r>)~", "r"},        // parts are not trimmed
        {R"~(<r><if BOARD="$(LIST)"><a/></if></r>)~", "r{a}"}, // expanded before it is read
        {R"~(<r><if A="1" B="2"><a/></if></r>)~", R"~(r{if[A="1" B="2"]{a}})~", {kOneCondition}},
        {R"~(<r><ifnot><a/></ifnot></r>)~", "r{ifnot{a}}", {kOneCondition}},
        // The look-up of an undefined name defines it, empty, for the rest of the level.
        {R"~(<r><if X="1"><a/></if><ifdef name="X"><b/></ifdef></r>)~", "r{b}"},
        {R"~(<r><ifnot Y="1"><a/></ifnot><ifdef name="Y"><b/></ifdef></r>)~", "r{a b}"},
        {R"~(<r><ifdef name="X"><a/></ifdef><ifndef name="X"><b/></ifndef>)~"
         R"~(<ifdef name="BOARD"><c/></ifdef><ifndef><d/></ifndef></r>)~",
         "r{b c d}"},
        {R"~(<r><ifex expression=""><a/></ifex><ifex expression="1"><b/></ifex>)~"
         R"~(<ifex expression="2 > 1"><c/></ifex><ifex><d/></ifex></r>)~",
         R"~(r{ifex[expression=""]{a} c ifex{d}})~"},
        {R"~(<r><ifex expression="&quot;$(BOARD)&quot; == &quot;B2&quot;"><a/></ifex>)~"
         R"~(<ifex expression="$(UNDEFINED) == 1"><b/></ifex></r>)~",
         "r{a}"},
        {R"~(<r><if BOARD="B2"><if BOARD="B2"><a v="$(BOARD)"/></if><b/></if><c/></r>)~",
         R"~(r{a[v="B2"] b c})~"},
    });
}

TEST(XMLPP2, SwitchSplicesTheSelectedBranch)
{
    checkRows({
        {R"~(<r><switch name="BOARD"><case value="B1"><a/></case><default><d1/></default>)~"
         R"~(<case value="B3,B2"><b/><c/></case><default><d2/></default></switch><z/></r>)~",
         "r{b c z}"},
        {R"~(<r><switch name="BOARD"><default><d1/></default><case value="B1"><a/></case>)~"
         R"~(<default><d2/></default><other/></switch></r>)~",
         "r{d2}"},
        {R"~(<r><switch name="BOARD"><case value="B1"><a/></case><other/></switch></r>)~", "r"},
        {R"~(<r><switch name="BOARD"><case value="B2"><a/></case><case value="B2"><b/></case>)~"
         R"~(</switch></r>)~",
         "r{a}"},
        {R"~(<r><switch name="NEW"><case value="x"><a/></case></switch>)~"
         R"~(<ifdef name="NEW"><b/></ifdef></r>)~",
         "r{b}"},
        {R"~(<r><switch name="BOARD"><case value="B2"><define name="Q" value="1"/>)~"
         R"~(<a q="$(Q)"/></case></switch><b q="$(Q)"/></r>)~",
         R"~(r{a[q="1"] b[q="$(Q)"]})~"},
    });
}

TEST(XMLPP2, DefineSetsMacrosFromValuesAndExpressions)
{
    checkRows({
        {R"~(<r><define name="N" hex_expression="10+5"/><define name="M" expression="10+5"/>)~"
         R"~(<a n="$(N)" m="$(M)"/></r>)~",
         R"~(r{a[n="0xF" m="15"]})~"},
        {R"~(<r><define name="Z" hex_expression="0"/><define name="B" hex_expression="255"/>)~"
         R"~(<define name="W" expression="0x100000001"/><define name="S" expression="-1"/>)~"
         R"~(<a z="$(Z)" b="$(B)" w="$(W)" s="$(S)"/></r>)~",
         R"~(r{a[z="0x0" b="0xFF" w="1" s="4294967295"]})~"},
        {R"~(<r><define name="V" value="$(BOARD)-x"/>)~"
         R"~(<define name="P" value="1+1" expression="5"/>)~"
         R"~(<define name="K" value="21"/><define name="E" expression="$(K) * 2"/>)~"
         R"~(<a v="$(V)" p="$(P)" e="$(E)"/></r>)~",
         R"~(r{a[v="B2-x" p="1+1" e="42"]})~"},
        // An expression that does not evaluate defines nothing and leaves an older value.
        {R"~(<r><define name="F" value="old"/><define name="F" expression="1 =="/>)~"
         R"~(<define name="G" hex_expression="1 == 1"/><a f="$(F)" g="$(G)"/></r>)~",
         R"~(r{a[f="old" g="$(G)"]})~"},
        {R"~(<r><define name="EMPTY" value=""/><ifdef name="EMPTY"><a/></ifdef></r>)~", "r{a}"},
        {R"~(<r><define value="1"/></r>)~",
         "r",
         {"XmlPP::processConditionals(): missing name in <define>"}},
        {R"~(<r><define name="A"/><a a="$(A)"/></r>)~",
         R"~(r{a[a="$(A)"]})~",
         {"XmlPP::processConditionals(): missing value or expression in <define>"}},
    });
}

TEST(XMLPP2, DefinitionsAreScopedByLevel)
{
    checkRows({
        {R"~(<r><if BOARD="B2"><define name="A" value="1"/><x a="$(A)"/></if><y a="$(A)"/></r>)~",
         R"~(r{x[a="1"] y[a="$(A)"]})~"},
        {R"~(<r><define name="A" value="1"/><s><x a="$(A)"/></s><y a="$(A)"/></r>)~",
         R"~(r{s{x[a="1"]} y[a="1"]})~"},
        {R"~(<r><s><define name="A" value="1"/></s><y a="$(A)"/></r>)~", R"~(r{s y[a="$(A)"]})~"},
        {R"~(<r><define name="A" value="1"/><s><define name="A" value="2"/><x a="$(A)"/></s>)~"
         R"~(<y a="$(A)"/></r>)~",
         R"~(r{s{x[a="2"]} y[a="1"]})~"},
        {R"~(<r><s><if U="1"/></s><ifdef name="U"><a/></ifdef></r>)~", "r{s}"},
    });

    // The level the caller hands over keeps its definitions and inserting look-ups.
    RecordingDocument document;
    ASSERT_TRUE(document.parse(R"~(<r><define name="A" value="1"/><if U="x"/>)~"
                               R"~(<s><define name="B" value="2"/></s></r>)~"));
    MacroMap macros = kBoardMacros;
    document.processConditionals(document.root()->firstChild(), "main.xml", macros, true);
    EXPECT_EQ(treeText(document.root()), "r{s}");
    const MacroMap expected = {{"A", "1"}, {"BOARD", "B2"}, {"LIST", "B1,B2"}, {"U", ""}};
    EXPECT_EQ(macros, expected);
}

TEST(XMLPP2, ForCopiesItsBodyPerIteration)
{
    const std::string forUsage
        = R"~(XmlPP::processConditionals(): <for index="i" start="0" end="32" incr="1">)~";
    checkRows({
        {R"~(<r><for index="i" start="0" end="3" incr="1" add="0x100" mul="4">)~"
         R"~(<MemorySegment name="S$(i)" start="$(i_ap_hex)" letter="$(i_alpha)"/></for></r>)~",
         R"~(r{MemorySegment[name="S0" start="0x100" letter="A"] )~"
         R"~(MemorySegment[name="S1" start="0x104" letter="B"] )~"
         R"~(MemorySegment[name="S2" start="0x108" letter="C"]})~"},
        {R"~(<r><for index="i" start="5" end="5" incr="1"><a/></for><z/></r>)~", "r{z}"},
        {R"~(<r><for index="i" start="0" end="2"><a/></for></r>)~", "r", {forUsage}},
        {R"~(<r><for index="i" start="0" end="2" incr="1"/></r>)~", "r", {forUsage}},
        {R"~(<r><for index="k" start="10" end="12" incr="1" sub="1" mul="2">)~"
         R"~(<a v="$(k)" h="$(k_hex)" ap="$(k_ap)" aph="$(k_ap_hex)"/></for></r>)~",
         R"~(r{a[v="10" h="0xA" ap="19" aph="0x13"] a[v="11" h="0xB" ap="21" aph="0x15"]})~"},
        {R"~(<r><for index="i" start="26" end="27" incr="1" sub="1">)~"
         R"~(<a c="$(i_alpha)" ap="$(i_ap)" x="$(i_ap_hex)"/></for></r>)~",
         R"~(r{a[c="[" ap="25" x="0x19"]})~"},
        // The body keeps the level's references; the copies are walked at the level.
        {R"~(<r><for index="i" start="0" end="2" incr="1"><s n="$(i)"><t b="$(BOARD)$(i)"/></s>)~"
         R"~(<u/></for></r>)~",
         R"~(r{s[n="0"]{t[b="B20"]} u s[n="1"]{t[b="B21"]} u})~"},
        {R"~(<r><for index="i" start="0" end="3" incr="2"><define name="LAST" value="$(i)"/>)~"
         R"~(</for><z l="$(LAST)"/></r>)~",
         R"~(r{z[l="2"]})~"},
        {R"~(<r><define name="TWO" value="2"/><for index="i" start="$(TWO)" end="2*2" incr="1">)~"
         R"~(<a i="$(i)"/></for></r>)~",
         R"~(r{a[i="2"] a[i="3"]})~"},
        {R"~(<r><for index="i" start="0" end="2" incr="1"><for index="j" start="0" end="2" )~"
         R"~(incr="1"><c v="$(i)$(j)"/></for></for></r>)~",
         R"~(r{c[v="00"] c[v="01"] c[v="10"] c[v="11"]})~"},
        // The body ends at the first child that is not an element.
        {R"~(<r><for index="i" start="0" end="2" incr="1"><a/><![CDATA[x]]><b/></for></r>)~",
         "r{a a}"},
        // An increment that wraps below "end" goes on: 5, 3, 1, then 0xFFFFFFFF ends it.
        {R"~(<r><for index="i" start="5" end="10" incr="-2"><a i="$(i)"/></for></r>)~",
         R"~(r{a[i="5"] a[i="3"] a[i="1"]})~"},
    });
}

TEST(XMLPP2, ForeachCopiesItsBodyPerCombination)
{
    checkRows({
        {R"~(<r><foreach a="1,2" b="x"><c v="$(a)$(b)"/></foreach></r>)~",
         R"~(r{c[v="1x"] c[v="2x"]})~"},
        {R"~(<r><foreach a="1,2" b="x,y"><c v="$(a)$(b)"/><d/></foreach></r>)~",
         R"~(r{c[v="1x"] d c[v="1y"] d c[v="2x"] d c[v="2y"] d})~"},
        {"<r><foreach a=\"1,,2,\n3\"><c v=\"$(a)\"/></foreach></r>",
         R"~(r{c[v="1"] c[v="2"] c[v="3"]})~"},
        {R"~(<r><foreach a="1,2" b=""><c/></foreach><z/></r>)~", "r{z}"},
        {R"~(<r><foreach><c/></foreach></r>)~", "r{c}"},
        {R"~(<r><foreach a="1"><c v="$(a)$(BOARD)"/></foreach></r>)~", R"~(r{c[v="1B2"]})~"},
    });
}

TEST(XMLPP2, XmlputPastesIndependentCopies)
{
    const std::string missing = "XmlPP::processConditionals(): xmlput cannot fine xmldef named ";
    checkRows({
        {R"~(<r><xmlput name="D"/><xmldef name="D"><a v="$(V)"/><b/></xmldef>)~"
         R"~(<xmlput name="D" macros="V=1"/><xmlput name="D"/></r>)~",
         R"~(r{xmlput[name="D"] a[v="1"] b a[v="$(V)"] b})~",
         {missing + "D"}},
        {R"~(<r><xmlput/></r>)~", "r{xmlput}", {missing}},
        {R"~(<r><xmldef><a/></xmldef></r>)~", "r{xmldef{a}}"},
        {R"~(<r><xmldef name="D"><a/></xmldef><xmldef name="D"><b/></xmldef>)~"
         R"~(<xmlput name="D"/></r>)~",
         "r{b}"},
        {R"~(<r><xmldef name="D"><if BOARD="B2"><a/></if><define name="IN" value="1"/></xmldef>)~"
         R"~(<xmlput name="D"/><z in="$(IN)"/></r>)~",
         R"~(r{a z[in="$(IN)"]})~"},
        {R"~(<r><xmldef name="D"><a v="$(V)$(W)"/></xmldef>)~"
         R"~(<xmlput name="D" macros="V=1;&#10;W=2"/>)~"
         R"~(</r>)~",
         R"~(r{a[v="12"]})~"},
    });

    // Without the expand flag only "expand_macros" together with "macros" expands a paste.
    checkRows(
        {{R"~(<r><xmldef name="D"><a v="$(V)"/></xmldef><xmlput name="D" expand_macros="" )~"
          R"~(macros="V=1"/><xmlput name="D" macros="V=1"/><xmlput name="D" expand_macros=""/>)~"
          R"~(<b v="$(BOARD)"/></r>)~",
          R"~(r{a[v="1"] a[v="$(V)"] a[v="$(V)"] b[v="$(BOARD)"]})~"}},
        false);

    // The stored fragment is never changed by its pastes.
    RecordingDocument document;
    ASSERT_TRUE(document.parse(R"~(<r><xmldef name="D"><a v="$(BOARD)"/></xmldef>)~"
                               R"~(<xmlput name="D"/><xmlput name="D"/></r>)~"));
    MacroMap macros = kBoardMacros;
    document.processConditionals(document.root(), "main.xml", macros, true);
    EXPECT_EQ(treeText(document.root()), R"~(r{a[v="B2"] a[v="B2"]})~");
    ASSERT_EQ(document.xmldefs().count("D"), 1u);
    EXPECT_EQ(treeText(document.xmldefs().at("D").get()), R"~(xmldef[name="D"]{a[v="$(BOARD)"]})~");
}

TEST(XMLPP2, DirectiveAtTheRootLeavesOneRoot)
{
    checkRows({
        {R"~(<if BOARD="B2"><top/></if>)~", "top"},
        {R"~(<if BOARD="B1"><top/></if>)~", "(none)"},
        {R"~(<if BOARD="B2"><one/><two/></if>)~",
         "one",
         {R"~(main.xml: more than one root element after pre-processing; "one" is kept)~"}},
        {R"~(<define name="A" value="1"/>)~", "(none)"},
        {R"~(<xmldef name="D"><a/></xmldef>)~", "(none)"},
        {R"~(<for index="i" start="0" end="1" incr="1"><top n="$(i)"/></for>)~", R"~(top[n="0"])~"},
        {R"~(<plain a="$(BOARD)"><if BOARD="B2"><x/></if></plain>)~", R"~(plain[a="B2"]{x})~"},
    });
}

TEST(XMLPP2, NodesOtherThanElementsStayInPlace)
{
    checkRows({{R"~(<r><![CDATA[x]]><if BOARD="B2"><![CDATA[y]]><a/></if>)~"
                R"~(<switch name="BOARD"><![CDATA[z]]><case value="B2"><b/></case></switch></r>)~",
                R"~(r{C"x" C"y" a b})~"}});

    RecordingDocument document(true);
    ASSERT_TRUE(document.parse(R"~(<r> <!--c--><if BOARD="B2">t<a/></if></r>)~"));
    MacroMap macros = kBoardMacros;
    document.processConditionals(document.root(), "main.xml", macros, true);
    // Empty runs of character data between tags are nodes too, and stay where they are.
    EXPECT_EQ(treeText(document.root()), R"~(r{" " !"c" "" "t" a "" ""})~");
}

TEST(XMLPP2, ExpandAttributesRewritesOnlyValuesWithReferences)
{
    RecordingDocument document;
    XMLElement element("t$(BOARD)");
    element.setAttribute("n$(BOARD)", "$(BOARD)");
    element.setAttribute("plain", "x");
    element.setAttribute("escaped", "$$");
    element.setAttribute("undefined", "$(UNDEF)");
    element.setAttribute("empty", "$(UNDEF:)");
    element.setAttribute("system", "$(HostOS)");
    document.expandAttributes(&element, kBoardMacros);
    EXPECT_EQ(treeText(&element), R"~(t$(BOARD)[n$(BOARD)="B2" plain="x" escaped="$" )~"
                                  R"~(undefined="$(UNDEF)" empty="" system="$(HostOS)"])~");
}

TEST(XMLPP2, CloningCopiesThroughTheElementFactory)
{
    RecordingDocument source(true);
    ASSERT_TRUE(source.parse("<s a=\"$(i)\" b=\"$(BOARD)\">d<!--c--><![CDATA[x]]>\n"
                             "<t c=\"$(i)\"><u/></t></s>"));
    const XMLElement *original = asElement(source.root());
    ASSERT_EQ(original->lastChild()->line(), 1u);

    // Copies are not given the lines of their originals.
    RecordingDocument document;
    std::unique_ptr<XMLNode> copy = document.cloneNode(original, nullptr);
    EXPECT_EQ(treeText(copy.get()), treeText(original));
    EXPECT_EQ(copy->lastChild()->line(), 0u);
    EXPECT_EQ(document.createdElements, 3);

    const XMLNode *lastElement = nullptr;
    for (const XMLNode *child = original->firstChild(); child; child = child->nextSibling())
        lastElement = asElement(child) ? child : lastElement;
    XMLElement parent("p");
    EXPECT_EQ(document.cloneNode(lastElement, &parent), nullptr);
    EXPECT_EQ(treeText(&parent), R"~(p{t[c="$(i)"]{"" u ""}})~");

    std::unique_ptr<XMLElement> expanded = document.cloneWithMacros(original, {{"i", "7"}});
    EXPECT_EQ(treeText(expanded.get()), R"~(s[a="7" b="$(BOARD)"]{t[c="7"]{u}})~");
    EXPECT_EQ(document.createdElements, 8);
}

class XMLPP2Include : public ::testing::Test
{
protected:
    void write(const QString &name, const QByteArray &content)
    {
        const QString path = directory.filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QString path(const QString &name) const { return directory.filePath(name); }
    std::string local(const QString &name) const { return path(name).toStdString(); }

    // Loads a file and runs the pass from its root, as the loader does.
    std::string process(const QString &name, MacroMap macros = {}, bool expand = true)
    {
        document = std::make_unique<RecordingDocument>();
        EXPECT_EQ(document->load(path(name)), LoadResult::Parsed);
        document->processConditionals(document->root(), path(name), macros, expand);
        return treeText(document->root());
    }

    QTemporaryDir directory;
    std::unique_ptr<RecordingDocument> document;
};

TEST_F(XMLPP2Include, ResolvesNamesAgainstTheIncludingFile)
{
    write("main.xml", R"~(<r><include filename="sub/part.xml"/><z/></r>)~");
    write("sub/part.xml", R"~(<part><include filename="leaf.xml"/></part>)~");
    write("sub/leaf.xml", "<leaf/>");
    EXPECT_EQ(process("main.xml"), "r{part{leaf} z}");

    write("os.xml", R"~(<r><include filename="$(HostOS)/x.xml"/></r>)~");
    write("linux/x.xml", "<x/>");
    EXPECT_EQ(process("os.xml"), "r{x}");

    write("absolute.xml",
          "<r><include filename=\"" + path("sub/leaf.xml").toLocal8Bit() + "\"/></r>");
    EXPECT_EQ(process("absolute.xml"), "r{leaf}");
    EXPECT_TRUE(document->warnings.empty());
}

TEST_F(XMLPP2Include, EnvelopeAndNoRootUnwrapTheIncludedRoot)
{
    write("env.xml", R"~(<envelope><define name="A" value="1"/><a a="$(A)"/><b/></envelope>)~");
    write("part.xml", R"~(<part p="1"><c/></part>)~");
    write("main.xml",
          R"~(<r><include filename="env.xml"/><z a="$(A)"/><include filename="part.xml"/>)~"
          R"~(<include filename="part.xml" no_root=""/></r>)~");
    EXPECT_EQ(process("main.xml"), R"~(r{a[a="1"] b z[a="$(A)"] part[p="1"]{c} c})~");

    // At the top, the included root replaces the document's root, an envelope too.
    write("top.xml", R"~(<include filename="env.xml"/>)~");
    EXPECT_EQ(process("top.xml"), R"~(envelope{a[a="1"] b})~");
    EXPECT_TRUE(document->warnings.empty());
}

TEST_F(XMLPP2Include, InheritsAttributesOfTheIncludeElement)
{
    write("leaf.xml", R"~(<leaf x="old" k="v"/>)~");
    write("main.xml", R"~(<r><include filename="leaf.xml" inherit_attributes="x;;missing;y" )~"
                      R"~(x="1" y="$(BOARD)" z="2"/></r>)~");
    EXPECT_EQ(process("main.xml", kBoardMacros), R"~(r{leaf[x="1" k="v" missing="" y="B2"]})~");
}

TEST_F(XMLPP2Include, MacrosAttributeAppliesToTheIncludedFile)
{
    write("p.xml", R"~(<part p="$(P)"><q v="$(P)"/><define name="IN" value="1"/></part>)~");
    write("main.xml", R"~(<r><include filename="p.xml" expand_macros="" macros="P=7"/>)~"
                      R"~(<include filename="p.xml" expand_macros=""/>)~"
                      R"~(<include filename="p.xml" macros="P=7"/><z v="$(IN)"/></r>)~");
    EXPECT_EQ(process("main.xml", {}, false),
              R"~(r{part[p="7"]{q[v="7"]} part[p="$(P)"]{q[v="$(P)"]} )~"
              R"~(part[p="$(P)"]{q[v="$(P)"]} z[v="$(IN)"]})~");
    EXPECT_EQ(process("main.xml", {{"P", "1"}}, true),
              R"~(r{part[p="7"]{q[v="7"]} part[p="1"]{q[v="1"]} part[p="7"]{q[v="7"]} )~"
              R"~(z[v="$(IN)"]})~");
}

TEST_F(XMLPP2Include, FailuresWarnAndKeepTheIncludeElement)
{
    write("empty.xml", "");
    write("unclosed.xml", "<a></b>");
    write("broken.xml", "<a/>\n<b></c>");
    write("main.xml", R"~(<r><include filename="missing.xml"/><include/>)~"
                      R"~(<include filename="missing.xml" no_root=""><fallback/></include>)~"
                      R"~(<include filename="empty.xml"/><include filename="unclosed.xml"/>)~"
                      R"~(<include filename="broken.xml"/></r>)~");
    EXPECT_EQ(
        process("main.xml"),
        R"~(r{include[filename="missing.xml"] include fallback include[filename="empty.xml"] )~"
        R"~(include[filename="unclosed.xml"] include[filename="broken.xml"]})~");
    const std::string missing = local("missing.xml");
    const std::vector<std::string> expected = {
        "XmlPP::processConditionals(): error \"couldn't read " + missing + "\" in include file "
            + missing + " line:0",
        "XmlPP::processConditionals(): missing filename in <include>",
        "XmlPP::processConditionals(): error \"couldn't read " + missing + "\" in include file "
            + missing + " line:0",
        "XmlPP::processConditionals(): error: include file '" + local("empty.xml") + "' is empty",
        "XmlPP::processConditionals(): error: include file '" + local("unclosed.xml")
            + "' is empty",
        "XmlPP::processConditionals(): error \"tagName mismatch\" in include file "
            + local("broken.xml") + " line:1",
    };
    EXPECT_EQ(document->warnings, expected);

    // A path without a directory resolves against ".".
    RecordingDocument parsed;
    ASSERT_TRUE(parsed.parse(R"~(<r><include filename="no-such-file.xml"/></r>)~"));
    const XMLNode *root = parsed.root();
    MacroMap macros;
    parsed.processConditionals(parsed.root()->firstChild(), "main.xml", macros, true);
    EXPECT_EQ(parsed.root(), root);
    EXPECT_EQ(parsed.warnings,
              std::vector<std::string>{"XmlPP::processConditionals(): error \"couldn't read "
                                       "./no-such-file.xml\" in include file ./no-such-file.xml "
                                       "line:0"});
}

TEST_F(XMLPP2Include, WarningsCarryTheirElementsPositionAndReadFilesAreReported)
{
    std::string values;
    for (int i = 0; i < 300; ++i)
        values += std::to_string(i) + ",";
    write("main.xml",
          ("<r>\n<include filename=\"part.xml\"/>\n<include filename=\"missing.xml\"/>\n"
           "<include filename=\"broken.xml\"/>\n<foreach a=\""
           + values + "\" b=\"" + values + "\"><x/></foreach>\n</r>")
              .c_str());
    write("part.xml", "<p/>");
    write("broken.xml", "<a></b>");
    process("main.xml");

    const std::string main = local("main.xml");
    const std::string missing = local("missing.xml");
    const std::string loop = "foreach loop exceeds 65536 combinations; dropped";
    EXPECT_EQ(document->positioned,
              (std::vector<std::string>{
                  main + "@2 XmlPP::processConditionals(): error \"couldn't read " + missing
                      + "\" in include file " + missing + " line:0",
                  main + "@3 XmlPP::processConditionals(): error: include file '"
                      + local("broken.xml") + "' is empty",
                  main + "@4 " + loop,
              }));
    // warning() receives the text as before: the bounds name their position, counted from 1.
    EXPECT_EQ(document->warnings.back(), main + ":5: " + loop);
    // A file that could not be opened was not read; one that failed to parse was.
    EXPECT_EQ(document->filesRead,
              (std::vector<std::string>{local("part.xml"), local("broken.xml")}));
}

std::string nested(const std::string &tag, int depth, const std::string &inner)
{
    std::string text;
    for (int i = 0; i < depth; ++i)
        text += tag + "{";
    text += inner;
    return text + std::string(size_t(depth), '}');
}

TEST_F(XMLPP2Include, SelfInclusionStopsAtTheDepthBound)
{
    write("self.xml", "<r>\n<include filename=\"self.xml\"/>\n</r>");
    EXPECT_EQ(process("self.xml"),
              nested("r", kMaxIncludeDepth + 1, R"~(include[filename="self.xml"])~"));
    const std::string self = local("self.xml");
    EXPECT_EQ(document->warnings,
              std::vector<std::string>{self + ":2: include of \"" + self
                                       + "\" nested deeper than 32 files; not loaded"});
}

TEST(XMLPP2Bounds, EndlessOrExplosiveDirectivesEnd)
{
    std::string manyValues;
    for (int i = 0; i < 300; ++i)
        manyValues += std::to_string(i) + ",";
    std::string wideBody;
    for (int i = 0; i < 20; ++i)
        wideBody += "<a/>";
    std::string pastes;
    for (int i = 0; i < kMaxPasteDepth; ++i)
        pastes += (i ? " " : "") + std::string("a");

    checkRows({
        {R"~(<r><xmldef name="D"><a/><xmlput name="D"/></xmldef><xmlput name="D"/></r>)~",
         "r{" + pastes + R"~( xmlput[name="D"]})~",
         {R"~(main.xml: paste of "D" nested deeper than 32 pastes; not pasted)~"}},
        {R"~(<r><for index="i" start="0" end="1" incr="0"><a/></for><z/></r>)~",
         "r{z}",
         {R"~(main.xml: for loop "i" exceeds 65536 iterations; dropped)~"}},
        {"<r>\n<for index=\"i\" start=\"0xFFFFFFF0\" end=\"0xFFFFFFFF\" "
         "incr=\"0x10\"><a/></for></r>",
         "r",
         {R"~(main.xml:2: for loop "i" exceeds 65536 iterations; dropped)~"}},
        {"<r><foreach a=\"" + manyValues + "\" b=\"" + manyValues + "\"><a/></foreach></r>",
         "r",
         {"main.xml: foreach loop exceeds 65536 combinations; dropped"}},
        // Refused loops copy nothing, so a later small one still fits; only the first warns.
        {"<r><for index=\"i\" start=\"0\" end=\"5001\" incr=\"1\">" + wideBody
             + "</for><for index=\"j\" start=\"0\" end=\"5001\" incr=\"1\">" + wideBody
             + "</for><for index=\"k\" start=\"0\" end=\"2\" incr=\"1\"><b/></for></r>",
         "r{b b}",
         {R"~(main.xml: loops and pastes would copy more than 100000 nodes or 33554432 bytes; "for" refused)~"}},
        // A few nodes with long values: refused by the byte bound, not the node bound.
        {"<r><for index=\"i\" start=\"0\" end=\"7000\" incr=\"1\"><a v=\"" + std::string(5000, 'v')
             + "\"/></for><for index=\"k\" start=\"0\" end=\"2\" incr=\"1\"><b/></for></r>",
         "r{b b}",
         {R"~(main.xml: loops and pastes would copy more than 100000 nodes or 33554432 bytes; "for" refused)~"}},
    });
}

TEST(XMLPP2Bounds, ExpansionGrowthOfADocumentIsBounded)
{
    // A macro that doubles itself (plus filler) on every pass, used by each copy of a loop: every
    // copy alone stops at kMaxExpandedLength, and the document's sum stops at its bound.
    const std::string reference = "$(A)$(x$y)";
    const std::string text = "<r><define name=\"A\" value=\"$$(A)$$(A)" + std::string(1000, 'f')
                             + "\"/><for index=\"i\" start=\"0\" end=\"200\" incr=\"1\"><a v=\""
                             + reference + "\"/></for></r>";
    RecordingDocument document;
    ASSERT_TRUE(document.parse(text.c_str()));
    MacroMap macros;
    document.processConditionals(document.root(), "main.xml", macros, true);

    int expanded = 0;
    int asWritten = 0;
    int64_t total = 0;
    for (const XMLNode *node = document.root()->firstChild(); node; node = node->nextSibling()) {
        const std::string &value = *asElement(node)->attribute("v");
        total += int64_t(value.size());
        if (value == reference)
            ++asWritten;
        else if (value.size() > size_t(kMaxExpandedLength) / 4)
            ++expanded;
    }
    EXPECT_EQ(expanded + asWritten, 200);
    EXPECT_GT(expanded, 0);
    EXPECT_GT(asWritten, 0);
    const int64_t bound = kExpansionGrowthFloor + kExpansionGrowthPerByte * int64_t(text.size());
    EXPECT_LE(total, bound + kMaxExpandedLength + 200 * int64_t(reference.size()));
    EXPECT_EQ(document.warnings,
              std::vector<std::string>{
                  "macro expansion outgrew the document; later references stay as written"});
}

TEST(XMLPP2Bounds, DeepNestingIsWalkedWithoutRecursion)
{
    constexpr int kDepth = 1000000;
    RecordingDocument document;
    document.setRoot(std::make_unique<XMLElement>("a"));
    XMLNode *bottom = document.root();
    for (int i = 1; i < kDepth; ++i) {
        bottom->appendChild(std::make_unique<XMLElement>("a"));
        bottom = bottom->firstChild();
    }
    // Under the deep chain: splices nested 100000 deep around one element.
    XMLNode *inner = bottom;
    for (int i = 0; i < 100000; ++i) {
        auto condition = std::make_unique<XMLElement>("if");
        condition->setAttribute("BOARD", "B2");
        XMLNode *next = condition.get();
        inner->appendChild(std::move(condition));
        inner = next;
    }
    auto leaf = std::make_unique<XMLElement>("leaf");
    leaf->setAttribute("v", "$(BOARD)");
    inner->appendChild(std::move(leaf));

    MacroMap macros = kBoardMacros;
    document.processConditionals(document.root(), "deep.xml", macros, true);
    std::unique_ptr<XMLNode> copy = document.cloneNode(document.root(), nullptr);

    for (const XMLNode *tree : {static_cast<const XMLNode *>(document.root()),
                                static_cast<const XMLNode *>(copy.get())}) {
        int depth = 0;
        const XMLNode *node = tree;
        for (; node && asElement(node)->tagName() == "a"; node = node->firstChild())
            ++depth;
        EXPECT_EQ(depth, kDepth);
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(treeText(node), R"~(leaf[v="B2"])~");
        EXPECT_EQ(node->nextSibling(), nullptr);
    }
    EXPECT_TRUE(document.warnings.empty());
}

} // namespace
} // namespace ldweave
