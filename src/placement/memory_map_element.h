// The element of both placement documents: its kind from the tag name, its computed start and
// size, the attribute tests of the placement vocabulary, the start-and-size walk, the tree
// queries and the naming rules. Attribute texts become QString here and nowhere deeper.
#pragma once

#include "xml/xml_node.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ldweave {

/// What an element means to the linker script, from an exact, case-sensitive tag comparison.
enum class ElementKind : uint8_t {
    MemorySegment,
    Register,
    ProgramSection,
    Root,
    RegisterGroup,
    BitField,
    Enumeration,
    Processor,
    Vector,
    Other,
};

/// The kind of a tag name ("MemorySegment", "ProgramSection", ...); any other tag is Other.
ElementKind elementKindFromTag(const std::string &tagName);

/// The attributes of a program section that its statement depends on, each the value of the
/// first attribute of that name or null, found in one pass over the element's attributes. The
/// pointers stay valid while the element's attributes are not changed.
struct SectionAttributes
{
    const std::string *start = nullptr;
    const std::string *size = nullptr;
    const std::string *alignment = nullptr;
    const std::string *load = nullptr;
    const std::string *fill = nullptr;
    const std::string *keep = nullptr;
    const std::string *inputSections = nullptr;
    const std::string *runIn = nullptr;
    const std::string *runOffset = nullptr;
    const std::string *addressSymbol = nullptr;
    const std::string *endSymbol = nullptr;
    const std::string *sizeSymbol = nullptr;
    const std::string *symbols = nullptr;

    /// The attribute exists and its value is not empty.
    static bool isNonEmpty(const std::string *value) { return value && !value->empty(); }
    /// The attribute's value is "yes" in any letter case.
    static bool isYes(const std::string *value);
};

class MemoryMapElement final : public XMLElement
{
public:
    MemoryMapElement(std::string tagName, bool readOnly);

    ElementKind kind() const { return m_kind; }

    /// Computed start address; 0 until the start-and-size walk ran, and 0 without a usable start.
    uint32_t start() const { return m_start; }
    void setStart(uint32_t start) { m_start = start; }
    /// Computed size; 0 until computed, when absent, or when the text did not evaluate.
    uint32_t size() const { return m_size; }
    void setSize(uint32_t size) { m_size = size; }

    /// On the root of an imported file: the Import element it replaced.
    MemoryMapElement *importedFrom() const { return m_file ? m_file->importedFrom : nullptr; }
    void setImportedFrom(MemoryMapElement *element) { fileFacts().importedFrom = element; }
    /// On the root of each loaded file: the file's modification time (local time); null
    /// otherwise.
    QDateTime lastModified() const;
    /// Records the modification time in milliseconds since 1970-01-01 UTC, or none. The local
    /// time is worked out only when asked for, as that loads the time-zone rules.
    void setLastModified(std::optional<int64_t> millisecondsSinceEpoch)
    {
        fileFacts().lastModified = millisecondsSinceEpoch;
    }
    /// The file this element was read from was not writable.
    bool isReadOnly() const { return m_readOnly; }

    /// Where the element was written: its file and line, also for a copy made by a loop or
    /// paste (the line of the element it was copied from), for diagnostics.
    QString sourcePosition() const;
    /// Records the file being parsed when the element is made; the elements of one file share
    /// one path text.
    void setSourcePath(std::shared_ptr<const QString> path) { m_sourcePath = std::move(path); }
    /// Makes this element, a copy, point where its source points.
    void copySourceFrom(const MemoryMapElement &source);

    /// The value of the first attribute of that name, or null; like attribute(), but the name
    /// is a view, so the accessors below build no string to ask with.
    const std::string *valueOf(std::string_view name) const;
    /// The value of an attribute as text, empty when absent.
    QString attributeText(std::string_view name) const;
    /// The attribute exists and its value is not empty.
    bool isNonEmpty(std::string_view name) const;
    /// The attribute's value is "yes" in any letter case.
    bool isYes(std::string_view name) const;

    /// "name", verbatim.
    QString name() const { return attributeText("name"); }
    /// "name" with every space replaced by "_": a section's output section name, a segment's
    /// symbol name.
    QString symbolName() const;

    bool hasStart() const { return isNonEmpty("start"); }
    QString startText() const { return attributeText("start"); }
    bool hasSize() const { return isNonEmpty("size"); }
    QString sizeText() const { return attributeText("size"); }
    bool hasAlignment() const { return isNonEmpty("alignment"); }
    /// "alignment" read as an integer literal (kLiteralSyntax), its low 32 bits.
    uint32_t alignment() const;
    /// The attributes a section's statement depends on, looked up together.
    SectionAttributes sectionAttributes() const;
    bool isLoaded() const { return isYes("load"); }
    bool hasFill() const { return valueOf("fill") != nullptr; }
    QString fill() const { return attributeText("fill"); }
    bool isKept() const { return isYes("keep"); }
    bool hasInputSections() const { return isNonEmpty("inputsections"); }
    QString inputSections() const { return attributeText("inputsections"); }
    bool hasRunIn() const { return valueOf("runin") != nullptr; }
    QString runIn() const { return attributeText("runin"); }
    bool hasRunOffset() const { return valueOf("runoffset") != nullptr; }
    QString runOffset() const { return attributeText("runoffset"); }
    /// The section is loaded here but runs elsewhere: it has "runin" or "runoffset".
    bool isLoadedElsewhere() const { return hasRunIn() || hasRunOffset(); }
    bool hasAddressSymbol() const { return valueOf("address_symbol") != nullptr; }
    QString addressSymbol() const { return attributeText("address_symbol"); }
    bool hasEndSymbol() const { return valueOf("end_symbol") != nullptr; }
    QString endSymbol() const { return attributeText("end_symbol"); }
    bool hasSizeSymbol() const { return valueOf("size_symbol") != nullptr; }
    QString sizeSymbol() const { return attributeText("size_symbol"); }
    bool isPlaceFromSegmentEnd() const { return isYes("place_from_segment_end"); }
    /// "symbols": assignments "NAME=EXPRESSION;..." written after the section's own symbols.
    bool hasSymbols() const { return isNonEmpty("symbols"); }
    QString symbols() const { return attributeText("symbols"); }
    /// A segment's "access" is exactly "ReadOnly"; any other value or none means writable.
    bool hasReadOnlyAccess() const;

private:
    /// What only the root of a loaded file records.
    struct FileFacts
    {
        MemoryMapElement *importedFrom = nullptr; ///< not owned: the Import element
        std::optional<int64_t> lastModified;      ///< milliseconds since 1970-01-01 UTC
    };
    FileFacts &fileFacts();

    // The members are ordered and sized so that the hundred thousand elements of a large
    // placement file take as little memory as they can.
    /// The file the element was read from; null or empty for command-line text.
    std::shared_ptr<const QString> m_sourcePath;
    std::unique_ptr<FileFacts> m_file; ///< null but on the root of a loaded file
    uint32_t m_start = 0;
    uint32_t m_size = 0;
    uint32_t m_copiedLine = 0; ///< for a copy, the line of its source (from 0)
    ElementKind m_kind;
    bool m_readOnly;
    bool m_isCopy = false;
};

inline MemoryMapElement *asMemoryMapElement(XMLNode *node)
{
    return node && node->type() == XMLNode::Type::DerivedElement
               ? static_cast<MemoryMapElement *>(node)
               : nullptr;
}

/// Fills start and size of every element below and including root from their "start" and
/// "size" texts; relative starts ("+...") add the start of the enclosing segment, section or
/// register group. Texts that do not evaluate give 0.
void computeStartAndSize(MemoryMapElement *root);

/// The first element, in depth-first pre-order from start (included), of the kind whose "name"
/// is exactly name; null when there is none.
MemoryMapElement *findElement(MemoryMapElement *start, const QString &name, ElementKind kind);
/// The first memory segment named name below and including root.
MemoryMapElement *findSegment(MemoryMapElement *root, const QString &name);
/// Every memory segment reachable from root, by name: the one findSegment returns for each name.
QHash<QString, MemoryMapElement *> segmentsByName(MemoryMapElement *root);
/// The memory segment a placement names: the first of its ';'-separated names that segments
/// holds; null when it holds none.
MemoryMapElement *segmentNamedIn(const QHash<QString, MemoryMapElement *> &segments,
                                 const QString &names);
/// For each of tagNames, every element so tagged below and including root, in document order,
/// found in one walk; empty lists when root is null. Unlike the walks above, a node that is not a MemoryMapElement does not end
/// its child list.
std::vector<QList<MemoryMapElement *>>
elementsTagged(MemoryMapElement *root, std::initializer_list<std::string_view> tagNames);
/// The order in which collectElements lists what it finds.
enum class CollectOrder { DocumentOrder, Reversed };

/// The elements of the kind below start in the given order; a match is not searched further,
/// and a child list ends at its first node that is not a MemoryMapElement.
QList<MemoryMapElement *> collectElements(MemoryMapElement *start, ElementKind kind,
                                          CollectOrder order);

/// An "alignment" text read as an integer literal (kLiteralSyntax), its low 32 bits.
uint32_t alignmentOf(const std::string &text);
/// A name with every space replaced by "_".
QString symbolNameOf(const QString &name);
/// A symbol name without one leading ".": ".text" gives "text", "..x" gives ".x". The view is
/// into symbolName, so no string is made for it.
QStringView strippedName(const QString &symbolName);
QStringView strippedName(QString &&) = delete; // the view would outlive its text

} // namespace ldweave
