// Loading of the tool's two input documents: the XML layer's pre-processing document with an
// element factory that makes MemoryMapElements.
#include "placement/memory_map.h"

#include "base/diagnostics.h"
#include "base/file_system.h"
#include "base/hexception.h"
#include "macros/macros.h"
#include "placement/document_checks.h"
#include "placement/memory_map_element.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace ldweave {

MemoryMap::MemoryMap() : XMLPP2(false) {}

MemoryMap::~MemoryMap() = default;

std::unique_ptr<XMLElement> MemoryMap::createElement(std::string tagName)
{
    auto element = std::make_unique<MemoryMapElement>(std::move(tagName), m_readOnly);
    // Parsing the same file makes many elements in a row: they share one path text.
    if (parsingPath() != m_lastParsingPath) {
        m_lastParsingPath = parsingPath();
        m_lastSourcePath = std::make_shared<const QString>(
            pathFromBytes(QByteArray::fromStdString(m_lastParsingPath)));
    }
    element->setSourcePath(m_lastSourcePath);
    return element;
}

void MemoryMap::elementNotice(const XMLElement &element, const QString &text)
{
    const auto *memoryMapElement = dynamic_cast<const MemoryMapElement *>(&element);
    if (m_diagnostics && memoryMapElement)
        m_diagnostics->warn(memoryMapElement->sourcePosition(), text);
}

void MemoryMap::elementCopied(const XMLElement &source, XMLElement &copy)
{
    const auto *sourceElement = dynamic_cast<const MemoryMapElement *>(&source);
    auto *copyElement = dynamic_cast<MemoryMapElement *>(&copy);
    if (sourceElement && copyElement)
        copyElement->copySourceFrom(*sourceElement);
}

void MemoryMap::warning(const QString &)
{
    // Decision: normal runs print nothing for pre-processor warnings; a directive that goes
    // wrong is kept or dropped as the pre-processor decides and the run goes on.
}

void MemoryMap::warningAt(const Warning &diagnostic)
{
    if (!m_diagnostics)
        return;
    // Decision: lines are printed counting from 1, as editors show them. Elements copied by
    // loops and pastes, like those of a file's first line, carry line 0; as the pre-processor's
    // own positions do, such a warning names the file alone rather than a line that may be
    // wrong.
    // An element knows its own file and line, also a copy and one on a file's first line.
    const auto *element = dynamic_cast<const MemoryMapElement *>(diagnostic.node);
    const QString position
        = element ? element->sourcePosition()
                  : filePosition(diagnostic.path,
                                 diagnostic.line == 0 ? -1 : int64_t(diagnostic.line));
    m_diagnostics->warn(position, diagnostic.explanation.isEmpty()
                                      ? diagnostic.message
                                      : diagnostic.message + QStringLiteral("; ")
                                            + diagnostic.explanation);
}

void MemoryMap::fileRead(const QString &path)
{
    if (!m_filesRead.contains(path))
        m_filesRead.append(path);
}

MemoryMapElement *MemoryMap::rootElement() const
{
    return asMemoryMapElement(root());
}

bool MemoryMap::loadFile(const QString &fileName, const QString &macroDefinitions,
                         bool preprocess)
{
    m_preprocess = preprocess;
    m_macroDefinitions = macroDefinitions;
    std::unique_ptr<MemoryMapElement> loaded = loadDocumentFile(fileName);
    if (!loaded)
        return false;
    setRoot(std::move(loaded));
    m_doctypeName = doctype() ? QString::fromLocal8Bit(*doctype()) : QString();
    m_fileName = fileName;
    processImports();
    if (m_diagnostics && preprocess)
        reportUnusedMacros(fileName);
    computeStartAndSize(rootElement());
    return true;
}

std::unique_ptr<MemoryMapElement> MemoryMap::loadDocumentFile(const QString &fileName)
{
    QString path = expandMacros(fileName, MacroMap(), true);
    if (QFileInfo(path).isRelative() && !m_fileName.isEmpty())
        path = QDir(QFileInfo(m_fileName).absolutePath()).filePath(path);

    std::unique_ptr<XMLNode> savedRoot = takeRoot();
    const bool savedReadOnly = m_readOnly;
    m_readOnly = !isWritableFile(path);

    const LoadResult outcome = QXMLDocument::load(path);
    const bool read = outcome != LoadResult::NotRead;
    m_readFailure = read ? QString()
                         : path + QStringLiteral(": ") + QString::fromStdString(readFailure());
    const bool loaded = outcome == LoadResult::Parsed;
    if (read)
        fileRead(path);
    const bool parsedRoot = loaded && root();
    if (m_preprocess && parsedRoot) {
        MacroMap macros = parseMacroDefinitions(splitMacroList(m_macroDefinitions));
        processConditionals(root(), path, macros, true);
    }
    if (m_diagnostics && !(loaded && rootElement()))
        reportLoadFailure(path, read, loaded, parsedRoot);

    std::unique_ptr<MemoryMapElement> result;
    if (loaded && rootElement()) {
        result.reset(static_cast<MemoryMapElement *>(takeRoot().release()));
        result->setLastModified(modificationTime(path));
    }
    setRoot(std::move(savedRoot));
    m_readOnly = savedReadOnly;
    return result;
}

void MemoryMap::reportUnusedMacros(const QString &path) const
{
    QStringList mentioned = mentionedMacros().values();
    mentioned.sort(); // a tie in nearestName then always ends alike
    const MacroMap given = parseMacroDefinitions(splitMacroList(m_macroDefinitions));
    for (auto macro = given.constBegin(); macro != given.constEnd(); ++macro) {
        if (mentionedMacros().contains(macro.key()))
            continue;
        const QString near = nearestName(macro.key(), mentioned);
        m_diagnostics->warn(path, QStringLiteral("macro '") + macro.key()
                                      + "' given on the command line is used nowhere in this "
                                        "file or the files it includes"
                                      + (near.isEmpty() ? QStringLiteral("; check its name")
                                                        : "; did you mean '" + near + "'?"));
    }
}

void MemoryMap::reportLoadFailure(const QString &path, bool read, bool parsed,
                                  bool parsedRoot) const
{
    // Decision: the parser's line is printed from 1 like every other position. An unreadable
    // file has no line; nor has a file that lost its root to the pre-processor, as no single
    // line is to blame. An element left open is named at the line that opened it.
    const QString unclosed = QString::fromStdString(unclosedTag());
    if (read && !parsed && errorText() == std::string_view("tagName mismatch")
        && !unclosed.isEmpty()) {
        // The end tag that did not match is seldom the mistake; the element it should have
        // closed, left open, usually is.
        m_diagnostics->error(filePosition(path, unclosedLine()),
                             QStringLiteral("tagName mismatch: <%1> opened here is not closed "
                                            "before the end tag at line %2")
                                 .arg(unclosed)
                                 .arg(qulonglong(errorLine()) + 1));
    } else if (!read || !parsed) {
        m_diagnostics->error(filePosition(path, read ? int64_t(errorLine()) : -1),
                             pathFromBytes(errorText()));
    } else if (!parsedRoot && !unclosed.isEmpty()) {
        m_diagnostics->error(filePosition(path, unclosedLine()),
                             QStringLiteral("no complete root element: <%1> opened here is "
                                            "never closed")
                                 .arg(unclosed));
    } else if (!parsedRoot) {
        m_diagnostics->error(path, QStringLiteral("no complete root element"));
    } else {
        m_diagnostics->error(path, QStringLiteral("no root element after pre-processing"));
    }
}

void MemoryMap::processImports()
{
    MemoryMapElement *documentRoot = rootElement();
    if (!documentRoot)
        return;
    XMLNode *child = documentRoot->firstChild();
    while (MemoryMapElement *element = asMemoryMapElement(child)) {
        XMLNode *next = element->nextSibling();
        if (element->tagName() == "Import") {
            const std::string *name = element->attribute("filename");
            std::unique_ptr<MemoryMapElement> imported =
                loadDocumentFile(name ? pathFromBytes(QByteArray::fromStdString(*name)) : QString());
            if (imported) {
                imported->setImportedFrom(element);
                m_replacedImports.push_back(
                    documentRoot->replaceChild(element, std::move(imported)));
            }
        }
        child = next;
    }
}

bool MemoryMap::loadText(const QString &text)
{
    parse(text.toLocal8Bit().constData());
    if (!rootElement())
        return false;
    m_fileName.clear();
    processImports();
    computeStartAndSize(rootElement());
    return true;
}

QString memoryMapTextFromSegments(const QString &segmentList)
{
    // Entries are visited from the last to the first so that a name given twice takes the later
    // entry; the writer lists segments in reverse document order, which restores the
    // command-line order in the MEMORY block.
    const QStringList entries = segmentList.split(u';');
    QSet<QString> takenNames;
    QString text = QStringLiteral("<!DOCTYPE Board_Memory_Definition_File><Root name=\"none\">");
    for (auto entry = entries.crbegin(); entry != entries.crend(); ++entry) {
        const QStringList fields = entry->split(u' ', Qt::SkipEmptyParts);
        if (fields.size() != 4)
            continue;
        const QString &name = fields.at(0);
        const QString &access = fields.at(1);
        if (takenNames.contains(name))
            continue;
        takenNames.insert(name);
        text += QStringLiteral("<MemorySegment name=\"") + name + QStringLiteral("\"")
                + QStringLiteral(" start=\"") + fields.at(2) + QStringLiteral("\"")
                + QStringLiteral(" size=\"") + fields.at(3) + QStringLiteral("\"");
        if (access == u"RW" || access == u"RWX")
            text += QStringLiteral(" access=\"ReadWrite\"");
        else if (access == u"R" || access == u"RX")
            text += QStringLiteral(" access=\"ReadOnly\"");
        text += QStringLiteral("/>");
    }
    text += QStringLiteral("</Root>");
    return text;
}

void loadMemoryMap(MemoryMap &memoryMap, const QString &fileName, const QString &macroDefinitions,
                   const QString &segmentList)
{
    if (!fileName.isEmpty()) {
        if (!memoryMap.loadFile(fileName, macroDefinitions, true))
            throw HException(QStringLiteral("cannot load memory map file"),
                             memoryMap.fileReadFailure());
    } else if (!memoryMap.loadText(memoryMapTextFromSegments(segmentList))) {
        // Decision: a segment list whose text does not parse (a field holding XML mark-up such
        // as "<") is an error. Treating it as a map without segments would write a script
        // that links nothing where the user asked for memory.
        throw HException(std::string("cannot load memory map segments"));
    }
}

} // namespace ldweave
