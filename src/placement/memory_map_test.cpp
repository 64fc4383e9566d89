#include "placement/memory_map.h"

#include "placement/memory_map_element.h"
#include "support/xml_tree_text.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ldweave {
namespace {

using test::treeText;

class MemoryMapTest : public ::testing::Test
{
protected:
    void write(const QString &name, const QByteArray &content)
    {
        const QString path = m_dir.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QString path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

TEST_F(MemoryMapTest, ImportsAreResolvedNextToTheLoadedFileAndPreprocessed)
{
    write("maps/map.xml", "<Root>"
                          "<Import filename=\"segs.xml\"/>"
                          "<MemorySegment name=\"A\"><Import filename=\"segs.xml\"/></MemorySegment>"
                          "<Import filename=\"missing.xml\"/>"
                          "<Import/>"
                          "</Root>");
    write("maps/segs.xml", "<Block><if CHIP=\"big\"><MemorySegment name=\"B\" start=\"$(BASE)\" "
                           "size=\"0x100\"/></if></Block>");

    MemoryMap map;
    ASSERT_TRUE(map.loadFile(path("maps/map.xml"), "CHIP=big;BASE=0x1000", true));
    // The first Import is replaced; nested and failed imports stay as they are.
    EXPECT_EQ(treeText(map.root()),
              "Root{Block{MemorySegment[name=\"B\" start=\"0x1000\" size=\"0x100\"]} "
              "MemorySegment[name=\"A\"]{Import[filename=\"segs.xml\"]} "
              "Import[filename=\"missing.xml\"] Import}");
    auto *block = asMemoryMapElement(map.root()->firstChild());
    ASSERT_NE(block, nullptr);
    ASSERT_NE(block->importedFrom(), nullptr);
    EXPECT_EQ(block->importedFrom()->tagName(), "Import");
    EXPECT_TRUE(block->lastModified().isValid());
    MemoryMapElement *segment = findSegment(map.rootElement(), "B");
    ASSERT_NE(segment, nullptr);
    EXPECT_EQ(segment->start(), 0x1000u);
    EXPECT_EQ(segment->size(), 0x100u);
    EXPECT_EQ(map.fileName(), path("maps/map.xml"));
}

TEST_F(MemoryMapTest, FileNamesUseSystemMacrosOnly)
{
    write("linux/map.xml", "<!DOCTYPE Other_Type><Anything><MemorySegment name=\"$(HostOS)\"/>"
                           "</Anything>");
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
    MemoryMap map;
    const bool loaded = map.loadFile("$(HostOS)/map.xml", "", true);
    QDir::setCurrent(previous);
    ASSERT_TRUE(loaded);
    // The attribute is expanded with user macros only, so the system macro stays as written.
    EXPECT_EQ(treeText(map.root()), "Anything{MemorySegment[name=\"$(HostOS)\"]}");
    EXPECT_EQ(map.doctypeName(), "Other_Type");
}

TEST_F(MemoryMapTest, ReadOnlyFilesLoadWithReadOnlyElements)
{
    write("ro.xml", "<Root><MemorySegment name=\"R\"/></Root>");
    QFile::setPermissions(path("ro.xml"), QFile::ReadOwner | QFile::ReadGroup);
    MemoryMap map;
    ASSERT_TRUE(map.loadFile(path("ro.xml"), "", true));
    // Root may ignore permissions; the flag must then agree with what the file system says.
    EXPECT_EQ(map.rootElement()->isReadOnly(), !QFileInfo(path("ro.xml")).isWritable());
}

TEST_F(MemoryMapTest, FailedLoadsKeepNoRoot)
{
    write("empty.xml", "");
    write("open.xml", "<Root><MemorySegment name=\"A\"/>");
    write("mismatch.xml", "<Root>\n</Rot>");
    for (const char *name : {"empty.xml", "open.xml", "mismatch.xml", "missing.xml", "."}) {
        SCOPED_TRACE(name);
        MemoryMap map;
        EXPECT_FALSE(map.loadFile(path(name), "", true));
        EXPECT_EQ(map.rootElement(), nullptr);
    }
    MemoryMap map;
    EXPECT_FALSE(map.loadFile(path("mismatch.xml"), "", true));
    EXPECT_STREQ(map.errorText(), "tagName mismatch");
    EXPECT_EQ(map.errorLine(), 1u);
}

TEST_F(MemoryMapTest, TextIsNotPreprocessed)
{
    MemoryMap map;
    ASSERT_TRUE(map.loadText("<Root><MemorySegment name=\"$(X)\" start=\"0x10+0x10\"/>"
                             "<include filename=\"x.xml\"/></Root>"));
    EXPECT_EQ(treeText(map.root()), "Root{MemorySegment[name=\"$(X)\" start=\"0x10+0x10\"] "
                                    "include[filename=\"x.xml\"]}");
    EXPECT_EQ(findSegment(map.rootElement(), "$(X)")->start(), 0x20u);
    EXPECT_TRUE(map.fileName().isEmpty());
    EXPECT_FALSE(MemoryMap().loadText("<Root><MemorySegment name=\"a\"b\"/>"));
}

TEST_F(MemoryMapTest, FilesReadListsIncludesAndImportsOnceInReadingOrder)
{
    write("maps/map.xml", "<Root><include filename=\"inc.xml\"/>"
                          "<Import filename=\"segs.xml\"/><Import filename=\"missing.xml\"/>"
                          "<Import filename=\"segs.xml\"/></Root>");
    write("maps/inc.xml", "<MemorySegment name=\"A\"/>");
    write("maps/segs.xml", "<Block><include filename=\"inc.xml\"/></Block>");
    MemoryMap map;
    ASSERT_TRUE(map.loadFile(path("maps/map.xml"), QString(), true));
    EXPECT_EQ(map.filesRead(),
              QStringList({path("maps/map.xml"), path("maps/inc.xml"), path("maps/segs.xml")}));

    // A file that cannot be opened is not listed; one that fails to parse is.
    write("bad.xml", "<Root></Toor>");
    MemoryMap missing;
    EXPECT_FALSE(missing.loadFile(path("none.xml"), QString(), true));
    EXPECT_TRUE(missing.filesRead().isEmpty());
    MemoryMap bad;
    EXPECT_FALSE(bad.loadFile(path("bad.xml"), QString(), true));
    EXPECT_EQ(bad.filesRead(), QStringList{path("bad.xml")});
}

TEST(SegmentList, BuildsMemoryMapText)
{
    const QString head = "<!DOCTYPE Board_Memory_Definition_File><Root name=\"none\">";
    const struct
    {
        const char *list;
        QString segments;
    } rows[] = {
        {"FLASH RX 0x0 0x10000;RAM RWX 0x20000000 0x8000",
         "<MemorySegment name=\"RAM\" start=\"0x20000000\" size=\"0x8000\" access=\"ReadWrite\"/>"
         "<MemorySegment name=\"FLASH\" start=\"0x0\" size=\"0x10000\" access=\"ReadOnly\"/>"},
        {"RAM RW 0x0 0x100;RAM RX 0x0 0x200",
         "<MemorySegment name=\"RAM\" start=\"0x0\" size=\"0x200\" access=\"ReadOnly\"/>"},
        {"A R 1 2;B rw 3 4;C RWX",
         "<MemorySegment name=\"B\" start=\"3\" size=\"4\"/>"
         "<MemorySegment name=\"A\" start=\"1\" size=\"2\" access=\"ReadOnly\"/>"},
        {"  A   W  1  2 ;;junk;A R 1 2 3", "<MemorySegment name=\"A\" start=\"1\" size=\"2\"/>"},
        {"", ""},
        {"a\tb c d", ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.list);
        EXPECT_EQ(memoryMapTextFromSegments(row.list), head + row.segments + "</Root>");
    }
}

} // namespace
} // namespace ldweave
