// The document checks walk both loaded trees once and look up names in indexes built once, so
// they cost a small part of the layout itself.
#include "placement/document_checks.h"

#include "base/diagnostics.h"
#include "base/integer_literal.h"
#include "expr/evaluate.h"
#include "placement/memory_map_element.h"
#include "placement/statement_text.h"

#include <QHash>

#include <algorithm>
#include <vector>

namespace ldweave {

namespace {

// The attributes each element of the placement vocabulary reads, and those the memory map
// vocabulary defines without effect on the script.
const QStringList kSectionAttributes = {
    "name",           "start",
    "size",           "alignment",
    "load",           "fill",
    "keep",           "inputsections",
    "runin",          "runoffset",
    "address_symbol", "end_symbol",
    "size_symbol",    "place_from_segment_end",
    "description",    "symbols",
    "zero",
};
const QStringList kSegmentAttributes = {
    "name",        "start",       "size",   "access",       "address_symbol",
    "size_symbol", "description", "endian", "addressSpace",
};
const QStringList kYesNoAttributes = {"load", "keep", "place_from_segment_end", "zero"};
const QStringList kKnownElements = {
    "MemorySegment", "ProgramSection", "Root",   "Register", "RegisterGroup",       "BitField",
    "Enum",          "Processor",      "Vector", "Import",   "NonAllocatedSection", "StartupTables",
};
const QStringList kNonAllocatedSectionAttributes = {"name", "inputsections"};
const QStringList kStartupTablesAttributes = {"segment"};
// Directives the pre-processor kept (it warned about them already) and the parts of directives.
const QStringList kDirectiveElements = {
    "if",  "ifnot",  "ifex",   "ifdef",   "ifndef", "switch",  "include",  "define",
    "for", "xmldef", "xmlput", "foreach", "case",   "default", "envelope",
};

QString tagOf(const MemoryMapElement *element)
{
    return QString::fromStdString(element->tagName());
}

QString suggestion(const QString &word, const QStringList &candidates, const QString &otherwise)
{
    const QString near = nearestName(word, candidates);
    return near.isEmpty() ? otherwise : QStringLiteral("; did you mean '") + near + "'?";
}

// Every element of a document, in document order.
std::vector<MemoryMapElement *> elementsOf(MemoryMapElement *root)
{
    std::vector<MemoryMapElement *> elements;
    std::vector<XMLNode *> pending{root};
    while (!pending.empty()) {
        XMLNode *node = pending.back();
        pending.pop_back();
        MemoryMapElement *element = asMemoryMapElement(node);
        if (!element)
            continue;
        elements.push_back(element);
        std::vector<XMLNode *> children;
        for (XMLNode *child = element->firstChild(); child; child = child->nextSibling())
            children.push_back(child);
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return elements;
}

// The top-level groups of an input-section description: "*(.a) KEEP(*(.b))" has two.
QStringList inputGroups(const QString &input)
{
    QStringList groups;
    QString current;
    int depth = 0;
    for (const QChar c : input) {
        if (depth == 0 && c.isSpace()) {
            if (!current.isEmpty() && current.endsWith(u')')) {
                groups.append(current);
                current.clear();
            }
            if (!current.isEmpty())
                current += c;
            continue;
        }
        current += c;
        if (c == u'(')
            ++depth;
        else if (c == u')' && depth > 0)
            --depth;
    }
    if (!current.trimmed().isEmpty())
        groups.append(current.trimmed());
    return groups;
}

class DocumentChecker
{
public:
    DocumentChecker(const QMap<QString, QString> &symbols, Diagnostics &diagnostics)
        : m_symbols(symbols)
        , m_diagnostics(diagnostics)
    {}

    void checkVocabulary(MemoryMapElement *root);
    void checkSegments(MemoryMapElement *memoryMapRoot, MemoryMapElement *placementRoot);
    void checkSections(MemoryMapElement *memoryMapRoot, MemoryMapElement *placementRoot);
    void checkZeroWithoutTables(MemoryMapElement *memoryMapRoot, MemoryMapElement *placementRoot);

private:
    void warn(const MemoryMapElement *element, const QString &text)
    {
        m_diagnostics.warn(element->sourcePosition(), text);
    }
    void checkAttributes(const MemoryMapElement *element, const QStringList &known);
    void checkNumber(const MemoryMapElement *element, const char *attribute);
    void checkAlignment(const MemoryMapElement *section);
    void checkPlaceFromSegmentEnd(const MemoryMapElement *section);
    void checkSection(const MemoryMapElement *section, const MemoryMapElement *segment);
    void checkDuplicateSection(const MemoryMapElement *section);

    const QMap<QString, QString> &m_symbols;
    Diagnostics &m_diagnostics;
    SimpleExpressionParser m_parser;
    QHash<QString, const MemoryMapElement *> m_sectionsByName; ///< the first of each name
};

void DocumentChecker::checkVocabulary(MemoryMapElement *root)
{
    for (const MemoryMapElement *element : elementsOf(root)) {
        const QString tag = tagOf(element);
        switch (element->kind()) {
        case ElementKind::ProgramSection:
            checkAttributes(element, kSectionAttributes);
            checkAlignment(element);
            checkPlaceFromSegmentEnd(element);
            break;
        case ElementKind::MemorySegment:
            checkAttributes(element, kSegmentAttributes);
            checkNumber(element, "start");
            checkNumber(element, "size");
            break;
        case ElementKind::Other:
            // The document element may have any name; directives warned when they were kept.
            if (element == root || kDirectiveElements.contains(tag) || tag == u"Import")
                break;
            if (tag == u"NonAllocatedSection") {
                checkAttributes(element, kNonAllocatedSectionAttributes);
                break;
            }
            if (tag == u"StartupTables") {
                checkAttributes(element, kStartupTablesAttributes);
                break;
            }
            warn(element, QStringLiteral("unknown element '") + tag + "' is ignored"
                              + suggestion(tag, kKnownElements,
                                           QStringLiteral(" (only the elements inside it are "
                                                          "read); correct its name or remove it")));
            break;
        default:
            break;
        }
    }
}

void DocumentChecker::checkAttributes(const MemoryMapElement *element, const QStringList &known)
{
    const QString tag = tagOf(element);
    for (const XMLAttribute &attribute : element->attributes()) {
        const QString name = QString::fromStdString(attribute.name);
        if (!known.contains(name)) {
            warn(element, QStringLiteral("unknown attribute '") + name + "' on " + tag
                              + suggestion(name, known,
                                           QStringLiteral(" has no effect; correct its name or "
                                                          "remove it")));
            continue;
        }
        if (element->kind() == ElementKind::ProgramSection && kYesNoAttributes.contains(name)) {
            const QString value = QString::fromStdString(attribute.value);
            if (value.compare(u"yes", Qt::CaseInsensitive) != 0
                && value.compare(u"no", Qt::CaseInsensitive) != 0) {
                warn(element, name + "=\"" + value + "\" counts as No; write " + name
                                  + "=\"Yes\" or " + name + "=\"No\"");
            }
        }
    }
}

void DocumentChecker::checkNumber(const MemoryMapElement *element, const char *attribute)
{
    if (!element->isNonEmpty(attribute))
        return;
    const QString text = element->attributeText(attribute);
    // A reference left in the text has had its warning; the number it spoils needs none.
    if (text.contains(QStringLiteral("$(")))
        return;
    const NumberReading reading = readNumber(m_parser, text);
    const QString what = QStringLiteral("%1 '%2' of %3 '%4'")
                             .arg(QString::fromLatin1(attribute), text, tagOf(element),
                                  element->name());
    if (!reading.ok) {
        warn(element, what
                          + QStringLiteral(" is not a number, so it reads as 0; write a number "
                                           "or an expression of numbers, such as 64 * 1024"));
    } else if (!reading.whole) {
        warn(element, what
                          + QStringLiteral(" does not read whole: it reads as %1 (0x%2); write "
                                           "the value as a number or an expression of "
                                           "numbers, such as 64 * 1024")
                                .arg(qulonglong(uint32_t(reading.bits)))
                                .arg(hex8(uint32_t(reading.bits))));
    }
}

void DocumentChecker::checkAlignment(const MemoryMapElement *section)
{
    if (!section->hasAlignment())
        return;
    const QString text = section->attributeText("alignment");
    // Whole: the literal alone, with its suffix letters and blanks around it.
    QString literal = text.trimmed();
    while (!literal.isEmpty() && QStringLiteral("uUlL").contains(literal.back()))
        literal.chop(1);
    constexpr IntegerSyntax kWholeLiteral{false, true, false, true, UINT32_MAX};
    const std::optional<uint64_t> whole = readInteger(literal, kWholeLiteral);
    const uint32_t value = section->alignment();
    if (!whole || *whole != value) {
        warn(section, QStringLiteral("alignment '%1' does not read whole: it reads as %2; write a "
                                     "power of two such as 4 or 0x100")
                          .arg(text)
                          .arg(value));
    } else if (value > 1 && (value & (value - 1)) != 0) {
        warn(section, QStringLiteral("alignment %1 is not a power of two, which GNU ld's ALIGN "
                                     "needs; write 1, 2, 4, 8, ...")
                          .arg(value));
    }
}

void DocumentChecker::checkPlaceFromSegmentEnd(const MemoryMapElement *section)
{
    if (!section->isPlaceFromSegmentEnd())
        return;
    const QString text = section->attributeText("size");
    const QString value = m_symbols.value(text, text);
    if (section->hasAttribute("size") && readInteger(value, kFixedSizeSyntax))
        return;
    warn(section, QStringLiteral("place_from_segment_end needs a size that is a plain number, "
                                 "and %1, so the section is placed after its predecessor "
                                 "instead; write the size as a number such as 0x800")
                      .arg(section->hasAttribute("size") ? "'" + text + "' is not"
                                                         : QStringLiteral("it has none")));
}

void DocumentChecker::checkSegments(MemoryMapElement *memoryMapRoot,
                                    MemoryMapElement *placementRoot)
{
    // The memory: the segments of the MEMORY block, in address order for the overlap test.
    QList<MemoryMapElement *> memory
        = collectElements(memoryMapRoot, ElementKind::MemorySegment, CollectOrder::DocumentOrder);
    QHash<QString, const MemoryMapElement *> byName;
    for (const MemoryMapElement *segment : std::as_const(memory)) {
        const QString name = segment->name();
        if (const MemoryMapElement *first = byName.value(name)) {
            warn(segment, QStringLiteral("memory segment '") + name
                              + "' is defined twice (first at " + first->sourcePosition()
                              + "); the sections placed in it go to the first, and GNU ld "
                                "rejects the second MEMORY line; remove one");
            continue;
        }
        byName.insert(name, segment);
        // Only a size that reads as the number 0: a text that does not read had its warning.
        if (segment->size() == 0 && segment->hasSize()
            && readNumber(m_parser, segment->sizeText()).ok) {
            warn(segment, QStringLiteral("memory segment '") + name
                              + "' has size 0, so nothing fits in it; give its size");
        }
    }
    std::vector<const MemoryMapElement *> sorted(memory.begin(), memory.end());
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto *a, const auto *b) { return a->start() < b->start(); });
    for (size_t i = 0; i + 1 < sorted.size(); ++i) {
        const MemoryMapElement *low = sorted[i];
        const MemoryMapElement *high = sorted[i + 1];
        if (low->size() != 0 && high->size() != 0
            && uint64_t(low->start()) + low->size() > high->start()) {
            warn(high, QStringLiteral("memory segments '") + low->name() + "' and '" + high->name()
                           + "' overlap from 0x" + hex8(high->start())
                           + ", so sections placed in both collide; correct a start or size");
        }
    }

    if (!placementRoot)
        return;
    QStringList memoryNames; // in document order, so a tie in nearestName always ends alike
    for (const MemoryMapElement *segment : std::as_const(memory)) {
        if (!memoryNames.contains(segment->name()))
            memoryNames.append(segment->name());
    }
    for (const MemoryMapElement *segment :
         collectElements(placementRoot, ElementKind::MemorySegment, CollectOrder::DocumentOrder)) {
        const QStringList names = segment->name().split(u';', Qt::SkipEmptyParts);
        const bool found = std::any_of(names.begin(), names.end(),
                                       [&](const QString &name) { return byName.contains(name); });
        const bool hasSections
            = !collectElements(const_cast<MemoryMapElement *>(segment), ElementKind::ProgramSection,
                               CollectOrder::DocumentOrder)
                   .isEmpty();
        if (found || !hasSections)
            continue;
        warn(segment, QStringLiteral("memory segment '") + segment->name()
                          + "' is not in the memory map, so its sections are left out"
                          + suggestion(names.value(0), memoryNames,
                                       QStringLiteral("; add it to the memory map or correct "
                                                      "the name")));
    }
}

void DocumentChecker::checkSections(MemoryMapElement *memoryMapRoot,
                                    MemoryMapElement *placementRoot)
{
    const QHash<QString, MemoryMapElement *> memorySegments = segmentsByName(memoryMapRoot);
    const auto checkIn = [&](MemoryMapElement *root, bool placement) {
        for (MemoryMapElement *segment :
             collectElements(root, ElementKind::MemorySegment, CollectOrder::DocumentOrder)) {
            const MemoryMapElement *memorySegment = segment;
            if (placement) {
                memorySegment = nullptr;
                for (const QString &name : segment->name().split(u';', Qt::SkipEmptyParts)) {
                    if ((memorySegment = memorySegments.value(name)))
                        break;
                }
            }
            for (const MemoryMapElement *section : collectElements(
                     segment, ElementKind::ProgramSection, CollectOrder::DocumentOrder)) {
                checkDuplicateSection(section);
                if (memorySegment)
                    checkSection(section, memorySegment);
            }
        }
    };
    checkIn(memoryMapRoot, false);
    if (placementRoot)
        checkIn(placementRoot, true);
}

void DocumentChecker::checkDuplicateSection(const MemoryMapElement *section)
{
    const QString name = section->symbolName();
    if (const MemoryMapElement *first = m_sectionsByName.value(name)) {
        warn(section, QStringLiteral("section '") + name + "' is defined twice (first at "
                          + first->sourcePosition()
                          + "); both are written to the script; rename or remove one");
        return;
    }
    m_sectionsByName.insert(name, section);
}

void DocumentChecker::checkSection(const MemoryMapElement *section, const MemoryMapElement *segment)
{
    const QString name = section->symbolName();
    if (segment->hasReadOnlyAccess() && !section->isLoaded()) {
        warn(section, QStringLiteral("section '") + name
                          + "' is not loaded (NOLOAD) in the read-only segment '" + segment->name()
                          + "', so its contents are left out of the image; add load=\"Yes\"");
    }
    if (section->isKept()) {
        const QString input
            = section->hasInputSections() ? section->inputSections() : defaultInputSections(name);
        const QStringList groups = inputGroups(input);
        if (groups.size() > 1) {
            QStringList kept;
            for (const QString &group : groups)
                kept.append(group.startsWith(u"KEEP") ? group : "KEEP(" + group + ")");
            warn(section, QStringLiteral("keep=\"Yes\" puts %1 input descriptions in one KEEP, "
                                         "which GNU ld rejects; write inputsections=\"%2\" "
                                         "without keep")
                              .arg(groups.size())
                              .arg(kept.join(u' ')));
        }
    }
    (void)m_symbols;
}

// "zero" only chooses what the generated zero table lists, and only the placement file can ask
// for the tables.
void DocumentChecker::checkZeroWithoutTables(MemoryMapElement *memoryMapRoot,
                                             MemoryMapElement *placementRoot)
{
    std::vector<MemoryMapElement *> elements;
    if (placementRoot)
        elements = elementsOf(placementRoot);
    if (std::any_of(elements.begin(), elements.end(),
                    [](const auto *element) { return element->tagName() == "StartupTables"; })) {
        return;
    }
    const std::vector<MemoryMapElement *> mapElements = elementsOf(memoryMapRoot);
    elements.insert(elements.begin(), mapElements.begin(), mapElements.end());
    for (const MemoryMapElement *element : elements) {
        if (element->kind() == ElementKind::ProgramSection && element->hasAttribute("zero")) {
            warn(element, QStringLiteral("zero on section '") + element->symbolName()
                              + "' has no effect without a StartupTables element in the section "
                                "placement file; add <StartupTables segment=\"FLASH\"/> or "
                                "remove zero");
        }
    }
}

int editDistance(const QString &a, const QString &b)
{
    std::vector<int> previous(size_t(b.size()) + 1);
    std::vector<int> current(previous.size());
    for (size_t j = 0; j < previous.size(); ++j)
        previous[j] = int(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        current[0] = int(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int substitution = previous[size_t(j - 1)] + (a[i - 1] == b[j - 1] ? 0 : 1);
            current[size_t(j)]
                = std::min({previous[size_t(j)] + 1, current[size_t(j - 1)] + 1, substitution});
        }
        std::swap(previous, current);
    }
    return previous.back();
}

} // namespace

QString nearestName(const QString &word, const QStringList &candidates)
{
    QString best;
    int bestDistance = word.size() >= 5 ? 3 : 2; // one more than allowed
    for (const QString &candidate : candidates) {
        if (candidate.compare(word, Qt::CaseInsensitive) == 0)
            return candidate;
        const int distance = editDistance(word, candidate);
        if (distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
}

void checkDocuments(MemoryMapElement *memoryMapRoot, MemoryMapElement *placementRoot,
                    const QMap<QString, QString> &symbols, Diagnostics &diagnostics)
{
    if (!memoryMapRoot)
        return;
    DocumentChecker checker(symbols, diagnostics);
    checker.checkVocabulary(memoryMapRoot);
    if (placementRoot)
        checker.checkVocabulary(placementRoot);
    checker.checkSegments(memoryMapRoot, placementRoot);
    checker.checkSections(memoryMapRoot, placementRoot);
    checker.checkZeroWithoutTables(memoryMapRoot, placementRoot);
}

} // namespace ldweave
