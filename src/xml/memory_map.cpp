// Loading of the tool's two input documents. This is the one place in the XML layer that knows
// the placement model: its element factory makes MemoryMapElements.
#include "xml/memory_map.h"

#include "macros/macros.h"
#include "placement/memory_map_element.h"

#include <QDir>
#include <QFileInfo>

namespace ldweave {

MemoryMap::MemoryMap() : XMLPP2(false) {}

MemoryMap::~MemoryMap() = default;

std::unique_ptr<XMLElement> MemoryMap::createElement(std::string tagName)
{
    return std::make_unique<MemoryMapElement>(std::move(tagName), m_readOnly);
}

void MemoryMap::warning(const QString &)
{
    // Decision: normal runs print nothing for pre-processor warnings; a directive that goes
    // wrong is kept or dropped as the pre-processor decides and the run goes on.
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
    m_readOnly = !QFileInfo(path).isWritable();

    bool loaded;
    if (m_preprocess) {
        loaded = QXMLDocument::load(path);
        if (loaded && root()) {
            MacroMap macros = parseMacroDefinitions(splitMacroList(m_macroDefinitions));
            processConditionals(root(), path, macros, true);
        }
    } else {
        loaded = XMLDocument::load(path.toLocal8Bit().constData());
    }

    std::unique_ptr<MemoryMapElement> result;
    if (loaded && rootElement()) {
        result.reset(static_cast<MemoryMapElement *>(takeRoot().release()));
        result->setLastModified(QFileInfo(path).lastModified());
    }
    setRoot(std::move(savedRoot));
    m_readOnly = savedReadOnly;
    return result;
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
                loadDocumentFile(name ? QString::fromLocal8Bit(*name) : QString());
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

} // namespace ldweave
