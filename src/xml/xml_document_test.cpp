#include "xml/xml_document.h"

#include "support/xml_tree_text.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace ldweave {
namespace {

using test::treeText;

struct ParseRow
{
    std::string input;
    std::string tree;       // treeText of the root; "(none)" when there is none
    std::string error = ""; // errorText of a failed parse; "" when parse succeeds
    uint32_t errorLine = 0;
};

constexpr bool kKeepText = true;
constexpr bool kDropText = false;

void checkRows(bool keepText, const std::vector<ParseRow> &rows, bool withLines = false)
{
    for (const ParseRow &row : rows) {
        SCOPED_TRACE(row.input);
        XMLDocument document(keepText);
        const bool ok = document.parse(row.input.c_str());
        EXPECT_EQ(treeText(document.root(), withLines), row.tree);
        EXPECT_EQ(ok, row.error.empty());
        EXPECT_EQ(document.errorText(), row.error);
        if (!ok) {
            EXPECT_EQ(document.errorLine(), row.errorLine);
        }
    }
}

void checkRowsWithLines(bool keepText, const std::vector<ParseRow> &rows)
{
    checkRows(keepText, rows, true);
}

TEST(XMLDocumentParse, Attributes)
{
    const std::vector<ParseRow> droppingText = {
        {"<a b='1' c=\"x&amp;y\"/>", "a[b=\"1\" c=\"x&y\"]"},
        {"<a b='1' b='2'/>", "a[b=\"2\"]"},
        {"<a b='1' c='2' b='3'/>", "a[b=\"3\" c=\"2\"]"}, // a repeat keeps the first position
        {"<a 1x='2'/>", "(none)", "bad tagName", 0},
        {"<a b=c d='1'/>", "a[d=\"1\"]"}, // "c" is read as a name without "=" and dropped
        {"<a b=1 d='1'/>", "(none)", "bad tagName", 0},
        {"<a b c='x'></a>", "a[c=\"x\"]"},
        {"<a v='1\r\n\t2'/>", "a[v=\"1\r\n\t2\"]"}, // no normalisation of values
        {"<a v=\"it's\" w='say \"hi\"'/>", "a[v=\"it's\" w=\"say \"hi\"\"]"},
        {"<a _x:y-z='1' :b='2' -c='3'/>", "a[_x:y-z=\"1\" :b=\"2\" -c=\"3\"]"},
        {"<a b = '1' />", "a[b=\"1\"]"},
        {"<a b='1'c=''/>", "a[b=\"1\" c=\"\"]"},
        {"<a b='1' \xC3\xA4='2'/>", "(none)", "bad tagName", 0},
        {"<a b='unterminated/>", "(none)"},
        {"<a b=", "(none)"},
    };
    checkRows(kDropText, droppingText);

    // Many attributes, with a late repeat: the repeat still keeps its first position.
    std::string input = "<a";
    std::string expected = "a[";
    for (int i = 0; i < 40; ++i) {
        const std::string name = "n" + std::to_string(i);
        input += " " + name + "='" + std::to_string(i) + "'";
        expected += (i ? " " : "") + name + "=\"" + (i == 5 ? "x" : std::to_string(i)) + "\"";
    }
    checkRows(kDropText, {{input + " n5='x'/>", expected + "]"}});
}

TEST(XMLDocumentParse, EndTags)
{
    const std::vector<ParseRow> droppingText = {
        {"<a><b></a>", "(none)", "tagName mismatch", 0},
        {"<a><b></></a>", "a{b}"},
        {"<abc></a>", "(none)", "tagName mismatch", 0},
        {"<a></abc>", "(none)", "tagName mismatch", 0},
        {"<a><b></B></a>", "(none)", "tagName mismatch", 0},
        {"<a></a><b></b>", "b"},
        {"<a><b/>", "(none)"},
        {"<a / >", "a"},
        {"<a/a>", "a"},
        {"<a/b>", "(none)", "tagName mismatch", 0},
        {"<a></>", "a"},
        {"<a></ >", "a"},
        {"<a></a ><b/>", "b"},
        {"<a></ a>", "(none)"}, // "a>" after the empty name is character data
        {"</x></><a/>", "a"},   // end tags with nothing open are ignored
        {"<r><a/><b></b><c x='1'/></r>", "r{a b c[x=\"1\"]}"},
        {"<a/><b/></a>", "b"},
        {"<a></a><b>", "a"}, // the earlier complete element stays the root
        {"<a/><b><c></b>", "a", "tagName mismatch", 0},
        {"<>x</>", ""}, // an empty tag name is not checked
    };
    checkRows(kDropText, droppingText);
    // A tag whose name is not followed by ">" closes nothing; its rest is character data.
    checkRows(kKeepText, {{"<a></a x></a>", "a{\"\" \"x>\"}"}});
}

TEST(XMLDocumentParse, Entities)
{
    struct Row
    {
        const char *value;
        std::string decoded;
    };
    const Row rows[] = {
        {"&amp;", "&"},
        {"&apos;", "'"},
        {"&gt;", ">"},
        {"&lt;", "<"},
        {"&quot;", "\""},
        {"&#65;", "A"},
        {"&#x41;", "A"},
        {"&#xf;", "\x0F"},
        {"&#xF;", "\x0F"},
        {"&#x20AC;", "\xAC"},   // only the low byte
        {"&#321;", "A"},        // 321 = 0x141
        {"&#4294967361;", "A"}, // 2^32 + 65 wraps in 32 bits
        {"&#1a;", "\x14"},      // lower-case letters count 10 and up in any base
        {"&#xg;", "\x10"},
        {"&#xG;", "&#xG;"}, // no digit: not a reference
        {"&#X41;", "&#X41;"},
        {"&#6 5;", "&#6 5;"},
        {"a&#;b", "a"}, // a zero byte ends the stored value
        {"a&#x;b", "a"},
        {"&#256;b", ""},
        {"&copy;", "&copy;"},
        {"&AMP;", "&AMP;"},
        {"x&amp", "x&amp"},
        {"x&lt", "x&lt"},
        {"&#65", "&#65"},
        {"&#x", "&#x"},
        {"&", "&"},
        {"&&amp;&", "&&&"},
        {"&amp;lt;", "&lt;"}, // decoded once
        {"1&lt;2&gt;0", "1<2>0"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.value);
        XMLDocument document(false);
        ASSERT_TRUE(document.parse((std::string("<a v='") + row.value + "'/>").c_str()));
        const XMLElement *element = asElement(document.root());
        ASSERT_NE(element, nullptr);
        EXPECT_EQ(*element->attribute("v"), row.decoded);
    }
    const std::vector<ParseRow> keepingText = {
        {"<a v='&am' w='p;'/>", "a[v=\"&am\" w=\"p;\"]"}, // bounded by the value
        {"<a>\r\n1 &lt; 2</a>", "a{\"\n1 < 2\"}"},
        {"<a>x&#;y<b/>z</a>", "a{\"x\" b \"z\"}"},
        {"<a>&#x41;&#13;</a>", "a{\"A\r\"}"}, // a decoded CR stays
    };
    checkRows(kKeepText, keepingText);
}

TEST(XMLDocumentParse, CharacterData)
{
    const std::vector<ParseRow> keepingText = {
        {"<a> <b/> </a>", "a{\" \" b \" \"}"},
        {"<a><b/></a>", "a{\"\" b \"\"}"},
        {"<a>x</a>tail", "a{\"x\"}"},
        {"x<a/>", "(none)"},
        {"  \n\t ", "(none)"},
        {"", "(none)"},
        {"<a><?pi some text?></a>", "a{\"\" \"some text?>\"}"},
        {"<a><!ELEMENT b>c</a>", "a{\"\" \"b>c\"}"},
    };
    checkRows(kKeepText, keepingText);
    checkRows(kDropText, {{"<a> x <b/> y </a>", "a{b}"}});
}

TEST(XMLDocumentParse, CommentsAndCDATA)
{
    const char *mixed = "<a> x <!--c--> <![CDATA[ y ]]></a>";
    const std::vector<ParseRow> droppingText = {
        {mixed, "a{C\" y \"}"},
        {"<a><![CDATA[x]]]>y]]></a>", "a{C\"x]]]>y\"}"},
        {"<a><![CDATA[x]]]]></a>", "a{C\"x]]\"}"}, // the match restarts at the third "]"
        {"<a><![CDATA[<b>&amp;\r]]></a>", "a{C\"<b>&amp;\r\"}"},
        {"<a><![FOO[x]]></a>", "a{C\"x\"}"},
        {"<a><! [CDATA [x]]></a>", "a{C\"x\"}"},
        {"<![CDATA[x]]><a/>", "a"},
        {"<a><![CDATA[x]]", "(none)"},
        {"<a><!--x", "(none)"},
    };
    checkRows(kDropText, droppingText);
    const std::vector<ParseRow> keepingText = {
        {mixed, "a{\" x \" !\"c\" \" \" C\" y \" \"\"}"},
        {"<a><!--x--->y--></a>", "a{\"\" !\"x--->y\" \"\"}"},
        {"<a><!--x----></a>", "a{\"\" !\"x--\" \"\"}"},
        {"<a><!----></a>", "a{\"\" !\"\" \"\"}"},
        {"<a><!--->--></a>", "a{\"\" !\"->\" \"\"}"},
        {"<a><!-- a - b -- c --></a>", "a{\"\" !\" a - b -- c \" \"\"}"},
        {"<a><!--<b>--></a>", "a{\"\" !\"<b>\" \"\"}"},
        {"<a><!-x--></a>", "a{\"\" \"x-->\"}"},
        {"<!--c--><a/>", "a"},
    };
    checkRows(kKeepText, keepingText);
}

TEST(XMLDocumentParse, Declarations)
{
    struct Row
    {
        const char *input;
        const char *tree;
        const char *version;
        const char *encoding;
        const char *doctype;
    };
    const Row rows[] = {
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><a/>", "a", "1.0", "UTF-8", nullptr},
        {"<?xml version=1.0?><a/>", "(none)", nullptr, nullptr, nullptr},
        {"<a/><?xml version=1.0?>", "(none)", nullptr, nullptr, nullptr},
        {"<?xml version='1' encoding=x?><a/>", "(none)", "1", nullptr, nullptr},
        {"<?xml version='1' standalone='yes' encoding='e'?>\n<a/>", "a", "1", "e", nullptr},
        {"<?xm version='2'?><a/>", "a", "2", nullptr, nullptr},
        {"<? encoding='3'?><a/>", "a", nullptr, "3", nullptr},
        {"<?xmlx version='1'?><a/>", "a", nullptr, nullptr, nullptr},
        {"<?xml-stylesheet version='1'?><a/>", "a", nullptr, nullptr, nullptr},
        {"<?xml version='1' % & encoding='e'?><a/>", "a", "1", "e", nullptr},
        {"<?xml 'q' version='1'?><a/>", "a", "1", nullptr, nullptr},
        {"<?xml version ='1' version= \"2\"?><a/>", "a", "2", nullptr, nullptr},
        {"<?xml version='&amp;'?><a/>", "a", "&amp;", nullptr, nullptr}, // not decoded
        {"<?xml version='1'?<a/>", "a", "1", nullptr, nullptr},
        {"<?xml version='1", "(none)", "1", nullptr, nullptr},
        {"<!DOCTYPE Board_Memory_Definition_File>\n<a/>", "a", nullptr, nullptr,
         "Board_Memory_Definition_File"},
        {"<!DOCTYPE x SYSTEM 'y'><a/>", "a", nullptr, nullptr, nullptr},
        {"<!DOCTYPE x [<!ELEMENT a ANY>]><a/>", "a", nullptr, nullptr, nullptr},
        {"<!DOC x ><a/>", "a", nullptr, nullptr, "x"},
        {"<!DOCTYPEX y><a/>", "a", nullptr, nullptr, nullptr},
        {"<!DOCTYPE a><!DOCTYPE b><b/>", "b", nullptr, nullptr, "b"},
        {"<!DOCTYPE><a/>", "a", nullptr, nullptr, ""},
    };
    const auto text = [](const std::string *value) { return value ? *value : "(null)"; };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.input);
        XMLDocument document(false);
        EXPECT_TRUE(document.parse(row.input));
        EXPECT_EQ(treeText(document.root()), row.tree);
        EXPECT_EQ(text(document.version()), row.version ? row.version : "(null)");
        EXPECT_EQ(text(document.encoding()), row.encoding ? row.encoding : "(null)");
        EXPECT_EQ(text(document.doctype()), row.doctype ? row.doctype : "(null)");
    }
}

TEST(XMLDocumentParse, LineNumbers)
{
    const std::vector<ParseRow> droppingText = {
        {"<a>\n<b>\n</c>", "(none)", "tagName mismatch", 2},
        {"\n<a/>", "a@0"}, // a newline as the very first byte is not counted
        {"\n\n<a/>", "a@1"},
        {"<a>\n <b\n x='1'/>\n</a>", "a@0{b[x=\"1\"]@1}"},
        {"<a v='\n\n'><!--\n--><![CDATA[\n]]><b/></a>", "a[v=\"\n\n\"]@0{C\"\n\"@3 b@4}"},
        {"<a>\r\n<b/></a>", "a@0{b@1}"},
        {"<a\n\n 1='x'/>", "(none)", "bad tagName", 2},
        {"<a></b\n>", "(none)", "tagName mismatch", 1},
        {"<?xml\nversion='1'\n?>\n<a>\n</a>", "a@3"},
    };
    checkRowsWithLines(kDropText, droppingText);
    const std::vector<ParseRow> keepingText = {
        {"<a>\n x\n<!--c-->\n<![CDATA[d]]></a>", "a@0{\"\n x\n\"@1 !\"c\"@2 \"\n\"@3 C\"d\"@3 \"\"@3}"},
        {"<a>x\n\n<b/>y</a>", "a@0{\"x\n\n\"@0 b@2 \"y\"@2}"},
    };
    checkRowsWithLines(kKeepText, keepingText);
}

// The parser builds every element through the document's factory.
TEST(XMLDocumentParse, ElementsComeFromTheFactory)
{
    class MarkedElement : public XMLElement
    {
    public:
        using XMLElement::XMLElement;
    };
    class MarkingDocument : public XMLDocument
    {
    public:
        using XMLDocument::XMLDocument;
        std::unique_ptr<XMLElement> createElement(std::string tagName) override
        {
            names.push_back(tagName);
            return std::make_unique<MarkedElement>(std::move(tagName));
        }
        std::vector<std::string> names;
    };
    MarkingDocument document(true);
    ASSERT_TRUE(document.parse("<r>x<a><b/></a><c/></r>"));
    EXPECT_EQ(treeText(document.root()), "r{\"x\" a{\"\" b \"\"} \"\" c \"\"}");
    EXPECT_EQ(document.names, (std::vector<std::string>{"r", "a", "b", "c"}));
    std::vector<const XMLNode *> pending{document.root()};
    int elements = 0;
    while (!pending.empty()) {
        const XMLNode *node = pending.back();
        pending.pop_back();
        if (asElement(node)) {
            EXPECT_NE(dynamic_cast<const MarkedElement *>(node), nullptr);
            ++elements;
        }
        for (const XMLNode *child = node->firstChild(); child; child = child->nextSibling())
            pending.push_back(child);
    }
    EXPECT_EQ(elements, 4);
}

TEST(XMLDocumentParse, ReparseReplacesRootAndKeepsOtherDeclarations)
{
    QXMLDocument document(false);
    ASSERT_TRUE(document.parse("<?xml version='1'?><!DOCTYPE d><a/>"));
    std::unique_ptr<XMLNode> saved = document.takeRoot();
    EXPECT_EQ(document.root(), nullptr);

    ASSERT_TRUE(document.parse("<?xml encoding='e'?><b/>"));
    EXPECT_EQ(treeText(document.root()), "b");
    EXPECT_EQ(*document.version(), "1");
    EXPECT_EQ(*document.encoding(), "e");
    EXPECT_EQ(*document.doctype(), "d");

    EXPECT_FALSE(document.parse("<c>\n</d>"));
    EXPECT_EQ(document.root(), nullptr);
    ASSERT_TRUE(document.parse("<c/>")); // success leaves the last failure's message
    EXPECT_STREQ(document.errorText(), "tagName mismatch");
    EXPECT_EQ(document.errorLine(), 1u);

    document.setRoot(std::move(saved));
    EXPECT_EQ(treeText(document.root()), "a");
}

int depthOf(const XMLNode *node)
{
    int depth = 0;
    for (; node; node = node->firstChild())
        ++depth;
    return depth;
}

TEST(XMLDocumentParse, MillionDeepNestingParsesAndIsFreed)
{
    const int depth = 1000000;
    std::string text;
    text.reserve(depth * 7);
    for (int i = 0; i < depth; ++i)
        text += "<a>";
    const std::string unclosed = text;
    for (int i = 0; i < depth; ++i)
        text += "</a>";

    XMLDocument document(false);
    ASSERT_TRUE(document.parse(text.c_str()));
    EXPECT_EQ(depthOf(document.root()), depth);
    ASSERT_TRUE(document.parse(unclosed.c_str())); // all abandoned, replaced root freed
    EXPECT_EQ(document.root(), nullptr);
}

class XMLDocumentFiles : public ::testing::Test
{
protected:
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = directory.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    static std::string local(const QString &path) { return path.toLocal8Bit().toStdString(); }

    QTemporaryDir directory;
};

TEST_F(XMLDocumentFiles, ContentRules)
{
    struct Row
    {
        QByteArray bytes;
        std::string tree;
    };
    const Row rows[] = {
        {"<a/>", "a@0"},
        {"\xEF\xBB\xBF<a/>", "a@0"},
        {"\xEF\xBB\xBF\n\n<a/>", "a@1"}, // counted from after the mark
        {"\xEF\xBB<a/>", "(none)"},
        {"\xEF\xBB\x41<a/>", "(none)"},
        {"\xEF\xBB\xBF", "(none)"},
        {"\xEF\xBB\xBF\xEF\xBB\xBF<a/>", "(none)"},
        {QByteArray("<a/>\0<b/>", 9), "a@0"}, // a NUL byte ends the text
        {QByteArray("<a>\0</a>", 8), "(none)"},
        {"", "(none)"},
    };
    int index = 0;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.bytes.toHex().toStdString());
        const QString path = write(QString("f%1.xml").arg(index++), row.bytes);
        QXMLDocument document(false);
        EXPECT_EQ(document.load(path), LoadResult::Parsed);
        EXPECT_EQ(treeText(document.root(), true), row.tree);
    }
}

TEST_F(XMLDocumentFiles, UnreadablePathsFailWithTheirName)
{
    const QString missing = directory.filePath("missing.xml");
    const QString subdirectory = directory.filePath("sub.xml");
    ASSERT_TRUE(QDir().mkdir(subdirectory));
    const QString unicode = directory.filePath(QString::fromUtf8("m\xC3\xA4p.xml"));
    for (const QString &path : {missing, subdirectory, unicode}) {
        SCOPED_TRACE(local(path));
        QXMLDocument document(false);
        ASSERT_TRUE(document.parse("<kept/>"));
        EXPECT_EQ(document.load(path), LoadResult::NotRead);
        EXPECT_EQ(std::string(document.errorText()), "couldn't read " + local(path));
        EXPECT_EQ(document.errorLine(), 0u);
        EXPECT_EQ(treeText(document.root()), "kept");
        EXPECT_EQ(document.XMLDocument::load(local(path).c_str()), LoadResult::NotRead);
    }

    write(QString::fromUtf8("m\xC3\xA4p.xml"), "<a><b/></a>");
    QXMLDocument document(false);
    EXPECT_EQ(document.load(unicode), LoadResult::Parsed);
    EXPECT_EQ(treeText(document.root()), "a{b}");
}

TEST_F(XMLDocumentFiles, LongMessageKeepsBothEnds)
{
    // "\xC3\xA4" is two bytes, so the cuts land inside multi-byte characters unless avoided.
    std::string path = "/";
    for (int i = 0; i < 700; ++i)
        path += "\xC3\xA4";
    path += "/file.xml";
    XMLDocument document(false);
    EXPECT_EQ(document.load(path.c_str()), LoadResult::NotRead);
    const std::string message = document.errorText();
    EXPECT_LE(message.size(), XMLDocument::kMaxErrorTextLength);
    EXPECT_GE(message.size(), XMLDocument::kMaxErrorTextLength - 2);
    EXPECT_EQ(message.rfind("couldn't read /\xC3\xA4", 0), 0u);
    EXPECT_NE(message.find("\xC3\xA4...\xC3\xA4"), std::string::npos);
    EXPECT_EQ(message.substr(message.size() - 9), "/file.xml");
    EXPECT_EQ(QString::fromUtf8(message.c_str()).toUtf8().toStdString(), message); // valid UTF-8
}

TEST(XMLDocumentStream, PipeIsReadToItsEnd)
{
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const std::string text = "<a><b/></a>";
    ASSERT_EQ(write(ends[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(ends[1]);
    std::FILE *stream = fdopen(ends[0], "rb");
    ASSERT_NE(stream, nullptr);
    XMLDocument document(false);
    EXPECT_EQ(document.parseFile(stream), LoadResult::Parsed);
    std::fclose(stream);
    EXPECT_EQ(treeText(document.root()), "a{b}");
}

} // namespace
} // namespace ldweave
