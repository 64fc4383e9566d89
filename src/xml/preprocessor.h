// The pre-processing document: rewrites a freshly parsed tree by interpreting the directive
// elements (conditionals, switch, define, include, loops, stored fragments and their pastes).
// The walk keeps its own stack of child lists, so its depth never follows the document's.
#pragma once

#include "macros/macros.h"
#include "xml/xml_document.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <memory>

namespace ldweave {

/// Most files nested inside each other by `include`, counted from the file being processed.
/// Decision: an `include` met at this depth is not loaded; it warns and is treated like an
/// include whose file cannot be read (kept, or replaced by its own children with "no_root"),
/// so a file that includes itself ends after this many copies of itself.
inline constexpr int kMaxIncludeDepth = 32;

/// Most files one pass loads through `include`, at any depth.
/// Decision: further includes warn and are treated like unreadable files, so a file that
/// includes itself twice cannot make the pass load 2^kMaxIncludeDepth files. A thousand is far
/// more than any board's file set and keeps such a pass well under a second.
inline constexpr int kMaxIncludedFiles = 1000;

/// Most pastes nested inside each other, i.e. an `xmlput` met while walking the copy made by
/// another `xmlput`. Decision: an `xmlput` met at this depth warns and is kept as an ordinary
/// element, like one whose fragment is unknown, so a fragment that pastes itself ends.
inline constexpr int kMaxPasteDepth = 32;

/// Most iterations of one `for` loop and most value combinations of one `foreach` loop.
/// Decision: a loop that would go further (an "incr" of 0, an increment that wraps past "end",
/// or simply too many values) warns and is dropped without copying anything: a loop cut short
/// would leave a document that looks plausible but is not what was written.
inline constexpr int64_t kMaxLoopIterations = 65536;

/// Most nodes that loops and pastes may copy in one pass.
/// Decision: a loop or paste whose copies would pass the bound is refused as a whole before
/// copying (a loop is dropped, an `xmlput` kept as an ordinary element, like one whose fragment
/// is unknown). The first refusal of a pass warns and later ones are silent, so fragments that
/// paste each other in a tree end quickly without flooding the diagnostics. A hundred thousand
/// copies are many times what a chip family's files make (a loop over 1,024 interrupt vectors
/// of ten elements each makes ten thousand), and few enough that a pass that reaches the bound
/// ends well within a second.
inline constexpr int64_t kMaxCopiedNodes = 100000;
/// Most bytes (tag names, attribute names and values, texts) that loops and pastes may copy in
/// one pass: 32 MiB. Decision: as for kMaxCopiedNodes, a loop or paste whose copies would pass
/// it is refused as a whole, so a few nodes holding long values cannot be copied into gigabytes.
inline constexpr int64_t kMaxCopiedBytes = int64_t(32) * 1024 * 1024;
/// Most bytes all the files one document loads through `include` may hold together: 64 MiB.
/// Decision: an include whose file would pass the bound warns and is treated like an include
/// whose file cannot be read, so including a large file many times cannot take minutes and
/// gigabytes; the largest register description of a chip family is a fraction of it.
inline constexpr int64_t kMaxIncludedBytes = int64_t(64) * 1024 * 1024;
/// Characters macro expansion may add to the texts of one document, summed over all its
/// pre-processing passes (attribute values, conditions, definitions, loop numbers): a floor of
/// kExpansionGrowthFloor plus kExpansionGrowthPerByte for every byte of names, values and texts
/// in the trees given to processConditionals, so the bound follows the size of the input.
/// Decision: once the sum passes the bound, later texts stay as written and the first refusal
/// warns. Each expansion alone already stops at kMaxExpandedLength; this bound keeps loops and
/// pastes from multiplying such expansions into unbounded time and memory, while a large
/// document whose references each add a few characters never comes near it.
inline constexpr qsizetype kExpansionGrowthFloor = qsizetype(1024) * 1024;
inline constexpr qsizetype kExpansionGrowthPerByte = 16;

class XMLPP2 : public QXMLDocument
{
public:
    /// keepText: keep character data and comments as nodes (see XMLDocument).
    explicit XMLPP2(bool keepText)
        : QXMLDocument(keepText)
    {}
    ~XMLPP2() override;

    /// Receives every diagnostic of the pass; none of them stops it.
    virtual void warning(const QString &text) = 0;

    /// One diagnostic of the pass with the position it concerns.
    struct Warning
    {
        QString path;      ///< the file the element concerned came from
        uint32_t line = 0; ///< that element's line, counted from 0; copies made by loops and
                           ///< pastes carry 0
        QString message;   ///< the text without a position
        QString text;      ///< the text warning() receives; for the bounds it starts with
                           ///< "path:line: "
        QString explanation;           ///< what the message means and what happens, in plain words
        const XMLNode *node = nullptr; ///< the node concerned, while the warning is delivered
    };
    /// Receives every diagnostic first; the default passes its text on to warning(). Documents
    /// that print positions of their own override this one.
    virtual void warningAt(const Warning &diagnostic) { warning(diagnostic.text); }
    /// Receives what the checks of -diagnostics find about one element (a macro left undefined,
    /// say); the pass itself never reports it otherwise. The default ignores it.
    virtual void elementNotice(const XMLElement &element, const QString &text)
    {
        (void)element;
        (void)text;
    }
    /// Told about every element a loop or paste copies, after the copy has its attributes; the
    /// default ignores it. Documents that keep where an element came from pass it on here.
    virtual void elementCopied(const XMLElement &source, XMLElement &copy)
    {
        (void)source;
        (void)copy;
    }
    /// Told about every file an `include` read (also one that then failed to parse), with the
    /// path it was opened by; the default ignores it.
    virtual void fileRead(const QString &path) { (void)path; }

    /// Processes node and each of its following siblings in order, interpreting the directive
    /// elements and rewriting the parent's child list in place. `macros` is the level's map and
    /// keeps the definitions and inserting look-ups made at that level. With `expand` set, the
    /// attribute values of every element met are macro-expanded before it is interpreted.
    /// When node is the document's root, the root may be replaced (an include, a splice) or
    /// removed (a false condition, an `xmldef`). Never fails; problems go to warning().
    void processConditionals(XMLNode *node, const QString &path, MacroMap &macros, bool expand);

    /// Replaces each attribute value that contains "$" by its expansion with the user macros
    /// only; a value is rewritten only when the expansion changed it.
    void expandAttributes(XMLElement *element, const MacroMap &macros);

    /// A copy of element and of its element descendants, made through createElement, with every
    /// attribute value expanded with `macros` (user macros only). Other nodes are not copied.
    std::unique_ptr<XMLElement> cloneWithMacros(const XMLElement *element, const MacroMap &macros);

    /// An exact deep copy of node (any kind; elements through createElement). With a parent,
    /// the copy is appended to it, the parent owns it (as its last child) and the result is
    /// null; without one, the caller receives the copy.
    std::unique_ptr<XMLNode> cloneNode(const XMLNode *node, XMLNode *parent);

    /// The fragments stored by `xmldef`, by name; they are outside the tree and live as long as
    /// the document. A later `xmldef` of the same name replaces an entry.
    const std::map<QString, std::unique_ptr<XMLElement>> &xmldefs() const { return m_xmldefs; }

    /// expandMacros with the user macros only, counted against the document's expansion growth
    /// bound (kExpansionGrowthFloor, kExpansionGrowthPerByte): the text as written once the
    /// document's expansions have added more characters than the bound allows.
    QString expandWithinBudget(const QString &text, const MacroMap &macros,
                               ExpansionReport *report = nullptr);

    /// Every macro name the passes of this document looked up: in references, conditions,
    /// switches and definitions.
    const QSet<QString> &mentionedMacros() const { return m_mentionedMacros; }

    /// Folders searched, in order, for an `include` whose relative file name is not found next
    /// to the including file. Empty (the default) searches nowhere else.
    void setIncludePath(const QStringList &folders) { m_includePath = folders; }

private:
    class Pass;

    std::map<QString, std::unique_ptr<XMLElement>> m_xmldefs;
    qsizetype m_expansionGrowth = 0; ///< characters all expansions of this document have added
    int64_t m_includedBytes = 0;     ///< size of every file this document loaded by `include`
    /// Bound on m_expansionGrowth; each processConditionals adds the size of its trees.
    qsizetype m_expansionAllowance = kExpansionGrowthFloor;
    bool m_expansionBudgetReported = false;
    QSet<QString> m_mentionedMacros; ///< see mentionedMacros()
    QStringList m_includePath;       ///< see setIncludePath()
};

} // namespace ldweave
