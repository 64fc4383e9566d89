// MemoryMap: the tool's document for the memory map and the section placement file. It loads a
// file (file name expanded with the system macros and resolved), pre-processes it with its own
// macro definitions, replaces the root's Import children by the files they name, and computes
// every element's start and size. Both tools load the memory map through loadMemoryMap, so they
// read the same segments from the same options.
#pragma once

#include "xml/preprocessor.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace ldweave {

class Diagnostics;
class MemoryMapElement;

class MemoryMap : public XMLPP2
{
public:
    /// Character data and comments are never kept: the tree holds elements and CDATA only.
    MemoryMap();
    ~MemoryMap() override;

    /// Makes a MemoryMapElement, read-only when the file being parsed is not writable.
    std::unique_ptr<XMLElement> createElement(std::string tagName) override;
    /// Pre-processor warnings go to the diagnostic channel, which is silent in normal runs.
    void warning(const QString &text) override;
    /// With diagnostics on, prints the warning as "file:line: warning: text" on standard error.
    void warningAt(const Warning &diagnostic) override;
    /// A finding of the pre-processor's checks, printed as a warning at the element's position.
    void elementNotice(const XMLElement &element, const QString &text) override;
    /// Gives the copy the source position of the element it was copied from.
    void elementCopied(const XMLElement &source, XMLElement &copy) override;
    /// Records a file an include read, for filesRead().
    void fileRead(const QString &path) override;

    /// The run's diagnostics: pre-processor warnings and the reason a file failed to load go
    /// there. Without one (the default) they are dropped.
    void setDiagnostics(Diagnostics *diagnostics) { m_diagnostics = diagnostics; }
    /// Every file this document read (the loaded file, its includes and imports, also those
    /// that then failed to parse), by the path it was opened with, in the order first read and
    /// each once; files that could not be opened are not listed.
    const QStringList &filesRead() const { return m_filesRead; }

    /// "path: reason" when the last file this document tried to load could not be read (the
    /// system's reason, or "not a regular file"); empty otherwise.
    const QString &fileReadFailure() const { return m_readFailure; }

    /// Loads a file as this document: pre-processed with macroDefinitions when preprocess is
    /// set, Import children followed, start and size computed. False when the file cannot be
    /// read, does not parse or yields no root; the parser's message and line stay in the
    /// document.
    bool loadFile(const QString &fileName, const QString &macroDefinitions, bool preprocess);
    /// Loads a document from text, without pre-processing; false when it yields no root.
    bool loadText(const QString &text);
    /// Reads one file into a detached tree, leaving this document's own tree untouched.
    /// Relative names resolve against the folder of the file given to loadFile.
    std::unique_ptr<MemoryMapElement> loadDocumentFile(const QString &fileName);
    /// Replaces each Import child of the root by the root of the file it names.
    void processImports();

    /// The root element, or null before a successful load.
    MemoryMapElement *rootElement() const;
    /// The file name as given to loadFile; empty for a document loaded from text.
    const QString &fileName() const { return m_fileName; }
    /// Root element name of the loaded file's document type declaration.
    const QString &doctypeName() const { return m_doctypeName; }

private:
    /// Prints on standard error why path yielded no root: read tells whether it could be
    /// opened, parsed whether the parser accepted it, parsedRoot whether it had a root before
    /// pre-processing.
    /// With diagnostics, warns about each macro of this document's definitions that its passes
    /// never looked up (the file path names where).
    void reportUnusedMacros(const QString &path) const;
    void reportLoadFailure(const QString &path, bool read, bool parsed, bool parsedRoot) const;

    bool m_preprocess = false;
    bool m_readOnly = false; ///< while a file is parsed: that file is not writable
    QString m_macroDefinitions;
    QString m_fileName;
    QString m_doctypeName;
    Diagnostics *m_diagnostics = nullptr; ///< not owned: the run's, alive as long as the run
    QStringList m_filesRead;
    QString m_readFailure;
    std::string m_lastParsingPath; ///< the parsing path m_lastSourcePath was made from
    std::shared_ptr<const QString> m_lastSourcePath; ///< shared by the elements of one file
    /// Import elements replaced by the files they name; kept alive for importedFrom.
    std::vector<std::unique_ptr<XMLNode>> m_replacedImports;
};

/// The memory map document text for a -memory-map-segments list ("NAME ACCESS START SIZE;...").
QString memoryMapTextFromSegments(const QString &segmentList);

/// Loads the run's memory map into memoryMap: the file fileName, pre-processed with
/// macroDefinitions, or, when fileName is empty, the document made from segmentList. Throws
/// HException "cannot load memory map file" (with the read failure as detail) or "cannot load
/// memory map segments".
void loadMemoryMap(MemoryMap &memoryMap, const QString &fileName, const QString &macroDefinitions,
                   const QString &segmentList);

} // namespace ldweave
