// Tree walks here follow parent and sibling links or keep an explicit work list, so a document
// nested a million deep is walked with a flat stack.
#include "placement/memory_map_element.h"

#include "base/diagnostics.h"
#include "base/integer_literal.h"
#include "expr/evaluate.h"
#include "xml/text_bytes.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace ldweave {

namespace {

struct KindByTag
{
    std::string_view tagName; ///< with its length, so most tags are told apart by it alone
    ElementKind kind;
};

constexpr KindByTag kKindsByTag[] = {
    {"MemorySegment", ElementKind::MemorySegment},
    {"Register", ElementKind::Register},
    {"ProgramSection", ElementKind::ProgramSection},
    {"Root", ElementKind::Root},
    {"RegisterGroup", ElementKind::RegisterGroup},
    {"BitField", ElementKind::BitField},
    {"Enum", ElementKind::Enumeration},
    {"Processor", ElementKind::Processor},
    {"Vector", ElementKind::Vector},
};

enum class Walk { Descend, Skip, Stop };

// Visits start and its descendants in depth-first pre-order. A child list is followed up to its
// first node that is not a MemoryMapElement; visit decides whether to enter an element's
// children, skip them, or end the walk.
template <typename Visit> void walkPreOrder(MemoryMapElement *start, Visit visit)
{
    XMLNode *node = start;
    for (;;) {
        const Walk step = visit(static_cast<MemoryMapElement *>(node));
        if (step == Walk::Stop)
            return;
        XMLNode *next = step == Walk::Descend ? asMemoryMapElement(node->firstChild()) : nullptr;
        while (!next) {
            if (node == start)
                return;
            next = asMemoryMapElement(node->nextSibling());
            if (!next)
                node = node->parent();
        }
        node = next;
    }
}

bool startsChildBase(ElementKind kind)
{
    return kind == ElementKind::MemorySegment || kind == ElementKind::ProgramSection
           || kind == ElementKind::RegisterGroup;
}

// The start of an element: the value of its text, 0 when empty or not evaluable, plus base
// when the text begins with "+" (relative to the enclosing element).
uint32_t evaluateStart(SimpleExpressionParser &parser, const QString &text, uint32_t base)
{
    bool ok = false;
    uint64_t value = 0;
    if (!text.isEmpty())
        value = evaluateNumberBits(parser, text, ok);
    const uint32_t start = ok ? static_cast<uint32_t>(value) : 0;
    return text.startsWith(QLatin1Char('+')) ? start + base : start;
}

// An integer literal, its low 32 bits; a text without digits is 0.
uint32_t readLiteral(const QString &text)
{
    return static_cast<uint32_t>(*readInteger(text, kLiteralSyntax));
}

// Steps of one element of the start-and-size walk; returns the base for its children.
uint32_t computeElement(SimpleExpressionParser &parser, MemoryMapElement *element, uint32_t base)
{
    const ElementKind kind = element->kind();
    const bool hasStartAttribute = element->valueOf("start") != nullptr;
    if (hasStartAttribute) {
        switch (kind) {
        case ElementKind::MemorySegment:
        case ElementKind::ProgramSection:
        case ElementKind::RegisterGroup:
        case ElementKind::Register:
            element->setStart(evaluateStart(parser, element->startText(), base));
            break;
        case ElementKind::BitField:
        case ElementKind::Enumeration:
            element->setStart(evaluateStart(parser, element->startText(), 0));
            break;
        default:
            break;
        }
    }
    if (element->valueOf("size")) {
        switch (kind) {
        case ElementKind::MemorySegment:
        case ElementKind::ProgramSection:
        case ElementKind::RegisterGroup: {
            bool ok = false;
            const uint64_t size = evaluateNumberBits(parser, element->sizeText(), ok);
            if (ok)
                element->setSize(static_cast<uint32_t>(size));
            break;
        }
        case ElementKind::Register:
        case ElementKind::BitField:
        case ElementKind::Enumeration:
            element->setSize(readLiteral(element->sizeText()));
            break;
        default:
            break;
        }
    }
    return hasStartAttribute && startsChildBase(kind) ? element->start() : base;
}

} // namespace

ElementKind elementKindFromTag(const std::string &tagName)
{
    for (const KindByTag &entry : kKindsByTag) {
        if (std::string_view(tagName) == entry.tagName)
            return entry.kind;
    }
    return ElementKind::Other;
}

MemoryMapElement::MemoryMapElement(std::string tagName, bool readOnly)
    : XMLElement(std::move(tagName), Type::DerivedElement)
    , m_kind(elementKindFromTag(this->tagName()))
    , m_readOnly(readOnly)
{}

const std::string *MemoryMapElement::valueOf(std::string_view name) const
{
    for (const XMLAttribute &attribute : attributes()) {
        if (attribute.name == name)
            return &attribute.value;
    }
    return nullptr;
}

QString MemoryMapElement::attributeText(std::string_view name) const
{
    const std::string *value = valueOf(name);
    if (!value)
        return QString();
    return fromBytes(*value);
}

bool MemoryMapElement::isNonEmpty(std::string_view name) const
{
    const std::string *value = valueOf(name);
    return value && !value->empty();
}

bool MemoryMapElement::isYes(std::string_view name) const
{
    return SectionAttributes::isYes(valueOf(name));
}

bool SectionAttributes::isYes(const std::string *value)
{
    if (!value || value->size() != 3)
        return false;
    const char *yes = "yes";
    for (size_t i = 0; i < 3; ++i) {
        const char c = (*value)[i];
        if (c != yes[i] && c != yes[i] - ('a' - 'A'))
            return false;
    }
    return true;
}

MemoryMapElement::FileFacts &MemoryMapElement::fileFacts()
{
    if (!m_file)
        m_file = std::make_unique<FileFacts>();
    return *m_file;
}

QDateTime MemoryMapElement::lastModified() const
{
    return m_file && m_file->lastModified ? QDateTime::fromMSecsSinceEpoch(*m_file->lastModified)
                                          : QDateTime();
}

QString MemoryMapElement::sourcePosition() const
{
    // Decision: an element of the text built from -memory-map-segments is named by that option.
    if (!m_sourcePath || m_sourcePath->isEmpty())
        return QStringLiteral("-memory-map-segments");
    return filePosition(*m_sourcePath, int64_t(m_isCopy ? m_copiedLine : line()));
}

void MemoryMapElement::copySourceFrom(const MemoryMapElement &source)
{
    m_sourcePath = source.m_sourcePath;
    m_copiedLine = source.m_isCopy ? source.m_copiedLine : source.line();
    m_isCopy = true;
}

QString MemoryMapElement::symbolName() const
{
    return symbolNameOf(name());
}

uint32_t MemoryMapElement::alignment() const
{
    return readLiteral(attributeText("alignment"));
}

uint32_t alignmentOf(const std::string &text)
{
    // The usual alignment, a few decimal digits without a leading "0", is read here without a
    // string; it has the value kLiteralSyntax gives it.
    if (!text.empty() && text.size() <= 9 && text[0] >= '1' && text[0] <= '9') {
        uint32_t value = 0;
        bool digitsOnly = true;
        for (const char c : text) {
            digitsOnly = digitsOnly && c >= '0' && c <= '9';
            value = value * 10 + uint32_t(c - '0');
        }
        if (digitsOnly)
            return value;
    }
    return readLiteral(fromBytes(text));
}

SectionAttributes MemoryMapElement::sectionAttributes() const
{
    using namespace std::string_view_literals; // lengths known: most names differ in length
    SectionAttributes found;
    for (const XMLAttribute &attribute : attributes()) {
        const std::string &name = attribute.name;
        if (name.empty())
            continue;
        // The first letter narrows the candidates to at most four names.
        const std::string **slot = nullptr;
        switch (name[0]) {
        case 'a':
            slot = name == "alignment"sv        ? &found.alignment
                   : name == "address_symbol"sv ? &found.addressSymbol
                                              : nullptr;
            break;
        case 'e':
            slot = name == "end_symbol"sv ? &found.endSymbol : nullptr;
            break;
        case 'f':
            slot = name == "fill"sv ? &found.fill : nullptr;
            break;
        case 'i':
            slot = name == "inputsections"sv ? &found.inputSections : nullptr;
            break;
        case 'k':
            slot = name == "keep"sv ? &found.keep : nullptr;
            break;
        case 'l':
            slot = name == "load"sv ? &found.load : nullptr;
            break;
        case 'r':
            slot = name == "runin"sv       ? &found.runIn
                   : name == "runoffset"sv ? &found.runOffset
                                         : nullptr;
            break;
        case 's':
            slot = name == "start"sv         ? &found.start
                   : name == "size"sv        ? &found.size
                   : name == "size_symbol"sv ? &found.sizeSymbol
                   : name == "symbols"sv     ? &found.symbols
                                           : nullptr;
            break;
        default:
            break;
        }
        if (slot && !*slot)
            *slot = &attribute.value;
    }
    return found;
}

bool MemoryMapElement::hasReadOnlyAccess() const
{
    const std::string *access = valueOf("access");
    return access && *access == "ReadOnly";
}

void computeStartAndSize(MemoryMapElement *root)
{
    if (!root)
        return;
    // Decision: nodes that are not MemoryMapElements (CDATA sections) are stepped over and the
    // walk goes on with their siblings, so every element of the document gets its values.
    SimpleExpressionParser parser;
    std::vector<std::pair<MemoryMapElement *, uint32_t>> pending{{root, 0}};
    while (!pending.empty()) {
        const auto [element, base] = pending.back();
        pending.pop_back();
        const uint32_t childBase = computeElement(parser, element, base);
        for (XMLNode *child = element->firstChild(); child; child = child->nextSibling()) {
            if (MemoryMapElement *childElement = asMemoryMapElement(child))
                pending.emplace_back(childElement, childBase);
        }
    }
}

MemoryMapElement *findElement(MemoryMapElement *start, const QString &name, ElementKind kind)
{
    if (!start)
        return nullptr;
    const std::string wanted = name.toLocal8Bit().toStdString();
    MemoryMapElement *found = nullptr;
    walkPreOrder(start, [&](MemoryMapElement *element) {
        if (element->kind() == kind) {
            const std::string *elementName = element->valueOf("name");
            if (elementName && *elementName == wanted) {
                found = element;
                return Walk::Stop;
            }
        }
        return Walk::Descend;
    });
    return found;
}

MemoryMapElement *findSegment(MemoryMapElement *root, const QString &name)
{
    return findElement(root, name, ElementKind::MemorySegment);
}

QHash<QString, MemoryMapElement *> segmentsByName(MemoryMapElement *root)
{
    QHash<QString, MemoryMapElement *> segments;
    if (!root)
        return segments;
    walkPreOrder(root, [&](MemoryMapElement *element) {
        if (element->kind() == ElementKind::MemorySegment && element->valueOf("name")) {
            const QString name = element->name();
            if (!segments.contains(name))
                segments.insert(name, element);
        }
        return Walk::Descend;
    });
    return segments;
}

MemoryMapElement *segmentNamedIn(const QHash<QString, MemoryMapElement *> &segments,
                                 const QString &names)
{
    for (const QString &name : names.split(u';', Qt::SkipEmptyParts)) {
        if (MemoryMapElement *segment = segments.value(name))
            return segment;
    }
    return nullptr;
}

std::vector<QList<MemoryMapElement *>>
elementsTagged(MemoryMapElement *root, std::initializer_list<std::string_view> tagNames)
{
    std::vector<QList<MemoryMapElement *>> found(tagNames.size());
    // Pre-order along the links: a MemoryMapElement's children are entered, any other node is
    // passed over with whatever it holds.
    XMLNode *node = root;
    while (node) {
        MemoryMapElement *element = asMemoryMapElement(node);
        if (element) {
            const std::string &tag = element->tagName();
            auto list = found.begin();
            for (std::string_view tagName : tagNames) {
                if (tag == tagName)
                    list->append(element);
                ++list;
            }
        }
        XMLNode *next = element ? node->firstChild() : nullptr;
        while (!next) {
            if (node == root)
                return found;
            next = node->nextSibling();
            if (!next)
                node = node->parent();
        }
        node = next;
    }
    return found;
}

QList<MemoryMapElement *> collectElements(MemoryMapElement *start, ElementKind kind,
                                          CollectOrder order)
{
    QList<MemoryMapElement *> elements;
    if (!start)
        return elements;
    // Decision: start itself is not a candidate, only what lies below it; the writer asks for
    // the segments below a root and the sections below a segment.
    walkPreOrder(start, [&](MemoryMapElement *element) {
        if (element == start || element->kind() != kind)
            return Walk::Descend;
        elements.append(element);
        return Walk::Skip;
    });
    if (order == CollectOrder::Reversed)
        std::reverse(elements.begin(), elements.end());
    return elements;
}

QString symbolNameOf(const QString &name)
{
    QString symbol = name;
    symbol.replace(QLatin1Char(' '), QLatin1Char('_'));
    return symbol;
}

QStringView strippedName(const QString &symbolName)
{
    const QStringView view(symbolName);
    return view.startsWith(QLatin1Char('.')) ? view.mid(1) : view;
}

} // namespace ldweave
