// The pre-processor pass. Each level of the walk is a frame on an explicit stack: it detaches
// the child list it walks and appends every node it keeps to an output node, so dropping,
// splicing and inserting loop copies cost constant time per node and no sibling list is ever
// searched. A splice is a frame whose output is the output of the level above.
#include "xml/preprocessor.h"

#include "base/file_system.h"
#include "expr/evaluate.h"
#include "macros/property_class_list.h"
#include "xml/text_bytes.h"

#include <QDir>
#include <QStringList>

#include <algorithm>
#include <utility>
#include <vector>

namespace ldweave {

namespace {

const char kMissingFragmentMessage[]
    = "XmlPP::processConditionals(): xmlput cannot fine xmldef named ";

enum class Directive {
    None,
    If,
    IfNot,
    IfEx,
    IfDef,
    IfNDef,
    Switch,
    Include,
    Define,
    For,
    XmlDef,
    XmlPut,
    ForEach
};

Directive directiveOf(const std::string &tagName)
{
    static const struct
    {
        const char *name;
        Directive directive;
    } directives[] = {
        {"if", Directive::If},           {"ifnot", Directive::IfNot},
        {"ifex", Directive::IfEx},       {"ifdef", Directive::IfDef},
        {"ifndef", Directive::IfNDef},   {"switch", Directive::Switch},
        {"include", Directive::Include}, {"define", Directive::Define},
        {"for", Directive::For},         {"xmldef", Directive::XmlDef},
        {"xmlput", Directive::XmlPut},   {"foreach", Directive::ForEach},
    };
    if (tagName.size() > 7)
        return Directive::None;
    for (const auto &row : directives) {
        if (tagName == row.name)
            return row.directive;
    }
    return Directive::None;
}

/// Detaches the child list of owner node by node, the last child first in the result, so that
/// the next node to handle is always at the back.
std::vector<std::unique_ptr<XMLNode>> takeChildList(XMLNode *owner)
{
    std::vector<std::unique_ptr<XMLNode>> nodes;
    while (XMLNode *child = owner->firstChild())
        nodes.push_back(owner->removeChild(child));
    std::reverse(nodes.begin(), nodes.end());
    return nodes;
}

QString attributeText(const XMLElement *element, const char *name)
{
    const std::string *value = element->attribute(name);
    return value ? fromBytes(*value) : QString();
}

/// A value list: split at "," with empty parts dropped, nothing trimmed.
QStringList valueList(const QString &text)
{
    return text.split(u',', Qt::SkipEmptyParts);
}

/// The definitions of a "macros" attribute, whose newlines are not part of any definition.
MacroMap definitionsOf(const QString &text)
{
    QString joined = text;
    joined.remove(u'\n');
    return parseMacroDefinitions(splitMacroList(joined));
}

/// The value of a macro at this level; an undefined macro is inserted with an empty value, so a
/// later "ifdef" at this level finds it.
QString lookUpInserting(MacroMap &macros, const QString &name)
{
    const auto found = macros.constFind(name);
    if (found != macros.constEnd())
        return found.value();
    macros.insert(name, QString());
    return QString();
}

QString upperHex(uint32_t value)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper();
}

uint32_t numberBits(const QString &text)
{
    SimpleExpressionParser parser;
    bool ok = false;
    const uint64_t bits = evaluateNumberBits(parser, text, ok);
    return ok ? uint32_t(bits) : 0;
}

/// The low 32 bits of the signed value, as an unsigned number for wrapping arithmetic.
uint32_t signedNumberBits(const QString &text)
{
    SimpleExpressionParser parser;
    bool ok = false;
    const int64_t value = evaluateNumber(parser, text, ok);
    return ok ? uint32_t(uint64_t(value)) : 0;
}

bool conditionHolds(const QString &text)
{
    SimpleExpressionParser parser;
    bool ok = false;
    const bool result = evaluateCondition(parser, text, ok);
    return ok && result;
}

/// The elements a loop copies: its children up to the first one that is not an element.
std::vector<const XMLElement *> loopBody(const XMLElement *loop)
{
    std::vector<const XMLElement *> body;
    for (const XMLNode *child = loop->firstChild(); child; child = child->nextSibling()) {
        const XMLElement *element = asElement(child);
        if (!element)
            break;
        body.push_back(element);
    }
    return body;
}

/// What copying a subtree costs: its nodes and the bytes of their names, values and texts.
struct CopyCost
{
    int64_t nodes = 0;
    int64_t bytes = 0;

    CopyCost &operator+=(const CopyCost &other)
    {
        nodes += other.nodes;
        bytes += other.bytes;
        return *this;
    }
    CopyCost operator*(int64_t times) const { return {nodes * times, bytes * times}; }
};

/// Cost of copying node's subtree; with elementsOnly, of the elements reached through elements
/// (what cloneWithMacros copies). With `interpreted` given, also sets it when a pass over the
/// subtree would change something: an element is a directive, or, with expand, an attribute
/// value holds a macro reference.
CopyCost countNodes(const XMLNode *node, bool elementsOnly, bool *interpreted = nullptr,
                    bool expand = false)
{
    CopyCost cost;
    std::vector<const XMLNode *> pending{node};
    while (!pending.empty()) {
        const XMLNode *current = pending.back();
        pending.pop_back();
        if (const XMLElement *element = asElement(current)) {
            cost.bytes += int64_t(element->tagName().size());
            for (const XMLAttribute &attribute : element->attributes())
                cost.bytes += int64_t(attribute.name.size() + attribute.value.size());
            if (interpreted && !*interpreted) {
                *interpreted = directiveOf(element->tagName()) != Directive::None;
                for (const XMLAttribute &attribute : element->attributes())
                    *interpreted = *interpreted
                                   || (expand && attribute.value.find('$') != std::string::npos);
            }
        } else if (elementsOnly) {
            continue;
        } else if (const auto *text = asTextNode(current)) {
            cost.bytes += int64_t(text->text().size());
        }
        ++cost.nodes;
        for (const XMLNode *child = current->firstChild(); child; child = child->nextSibling())
            pending.push_back(child);
    }
    return cost;
}

/// Appends to target copies of source's descendants, in order, without recursion. copyNode
/// makes the copy of one node without its children, or returns null to leave that node and its
/// subtree out.
template <typename CopyNode>
void copyChildren(const XMLNode *source, XMLNode *target, const CopyNode &copyNode)
{
    // Each level: the next source child to copy and the copy that receives it.
    std::vector<std::pair<const XMLNode *, XMLNode *>> levels;
    levels.emplace_back(source->firstChild(), target);
    while (!levels.empty()) {
        const XMLNode *child = levels.back().first;
        XMLNode *receiver = levels.back().second;
        if (!child) {
            levels.pop_back();
            continue;
        }
        levels.back().first = child->nextSibling();
        std::unique_ptr<XMLNode> copy = copyNode(child);
        if (!copy)
            continue;
        XMLNode *copyAddress = copy.get();
        receiver->appendChild(std::move(copy));
        levels.emplace_back(child->firstChild(), copyAddress);
    }
}

/// What one pass of a loop copies.
CopyCost countCopies(const std::vector<const XMLElement *> &body)
{
    CopyCost cost;
    for (const XMLElement *element : body)
        cost += countNodes(element, true);
    return cost;
}

/// "path:line: " for the diagnostics of the bounds, naming the directive's position.
/// Decision: copies carry line 0, like nodes of a file's first line, so line 0 is not printed;
/// other lines are printed counting from 1, as editors do.
QString location(const QString &path, const XMLNode *node)
{
    if (!node || node->line() == 0)
        return path + QStringLiteral(": ");
    return path + u':' + QString::number(qulonglong(node->line()) + 1) + QStringLiteral(": ");
}

QString directoryOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? QStringLiteral(".") : path.left(slash);
}

} // namespace

XMLPP2::~XMLPP2() = default;

class XMLPP2::Pass
{
public:
    explicit Pass(XMLPP2 &document)
        : m_document(document)
    {}

    void run(XMLNode *node, const QString &path, MacroMap &macros, bool expand);

private:
    /// One child list being walked.
    struct Frame
    {
        std::vector<std::unique_ptr<XMLNode>> pending; ///< nodes still to handle, the next last
        XMLNode *output = nullptr; ///< not owned: receives the nodes this level keeps
        MacroMap macros;           ///< the level's map
        QString path;              ///< file the level's nodes came from
        bool expand = false;
        int includeDepth = 0; ///< includes enclosing this level
        int pasteDepth = 0;   ///< pastes enclosing this level
    };

    Frame *pushChildren(const Frame &level, XMLNode *owner, XMLNode *output);
    void handle(Frame &frame, std::unique_ptr<XMLNode> node);
    void keep(Frame &frame, std::unique_ptr<XMLNode> node);
    void handleIf(Frame &frame, XMLElement *element, std::unique_ptr<XMLNode> node, bool negate);
    void handleIfEx(Frame &frame, XMLElement *element, std::unique_ptr<XMLNode> node);
    void handleSwitch(Frame &frame, XMLElement *element);
    void handleInclude(Frame &frame, XMLElement *element, std::unique_ptr<XMLNode> node);
    std::unique_ptr<XMLNode> loadInclude(const Frame &frame, const XMLElement *element,
                                         const QString &fileName);
    void handleDefine(Frame &frame, const XMLElement *element);
    void handleFor(Frame &frame, const XMLElement *element);
    void handleForeach(Frame &frame, const XMLElement *element);
    void handleXmlDef(Frame &frame, XMLElement *element, std::unique_ptr<XMLNode> node);
    void handleXmlPut(Frame &frame, XMLElement *element, std::unique_ptr<XMLNode> node);
    bool reserveCopies(const CopyCost &cost, const Frame &frame, const XMLElement *element);
    void queueCopies(Frame &frame, std::vector<std::unique_ptr<XMLNode>> copies);
    void adoptRoot(XMLNode *holder, const QString &path);
    /// A diagnostic about node, which came from path; a `located` message also carries that
    /// position in the text warning() receives.
    void warn(const QString &path, const XMLNode *node, const QString &message,
              bool located = false, const QString &explanation = QString())
    {
        const QString text = located ? location(path, node) + message : message;
        m_document.warningAt({path, node ? node->line() : 0, message, text, explanation, node});
    }

    /// Records a macro name a directive looks up, for XMLPP2::mentionedMacros().
    const QString &mention(const QString &name)
    {
        m_document.m_mentionedMacros.insert(name);
        return name;
    }

    XMLPP2 &m_document;
    std::vector<std::unique_ptr<Frame>> m_frames; ///< the walk's stack; frames stay in place
    /// Not owned: stands in for the document as the root's parent while the root is walked.
    XMLNode *m_rootHolder = nullptr;
    int m_includedFiles = 0;
    CopyCost m_copied; ///< bounded by kMaxCopiedNodes and kMaxCopiedBytes
    bool m_copyLimitReported = false;
};

void XMLPP2::Pass::run(XMLNode *node, const QString &path, MacroMap &macros, bool expand)
{
    if (!node)
        return;
    auto bottom = std::make_unique<Frame>();
    bottom->macros = macros;
    bottom->path = path;
    bottom->expand = expand;
    MacroMap *callerMacros = &macros;
    std::unique_ptr<XMLNode> holder;
    if (XMLNode *parent = node->parent()) {
        std::vector<std::unique_ptr<XMLNode>> siblings = takeChildList(parent);
        while (siblings.back().get() != node) {
            parent->appendChild(std::move(siblings.back()));
            siblings.pop_back();
        }
        bottom->pending = std::move(siblings);
        bottom->output = parent;
    } else if (node == m_document.root()) {
        // Decision: the root is walked as the only child of a stand-in parent, so a directive
        // at the root has the same outcomes as anywhere else; afterwards the stand-in's first
        // element becomes the root (none when the directive dropped everything).
        holder = std::make_unique<XMLNode>();
        m_rootHolder = holder.get();
        bottom->pending.push_back(m_document.takeRoot());
        bottom->output = holder.get();
    } else {
        // Decision: a node without a parent that is not the root belongs to the caller and can
        // be neither dropped nor replaced: it is handled as an ordinary element, so only its
        // children are processed, with a copy of the map as for any kept element.
        bottom->pending = takeChildList(node);
        bottom->output = node;
        callerMacros = nullptr;
    }
    m_frames.push_back(std::move(bottom));

    while (!m_frames.empty()) {
        Frame &frame = *m_frames.back();
        if (frame.pending.empty()) {
            if (m_frames.size() == 1 && callerMacros)
                *callerMacros = std::move(frame.macros);
            m_frames.pop_back();
            continue;
        }
        std::unique_ptr<XMLNode> current = std::move(frame.pending.back());
        frame.pending.pop_back();
        handle(frame, std::move(current));
    }

    if (holder)
        adoptRoot(holder.get(), path);
}

/// Starts walking the children of owner, with a copy of the level's settings, feeding output.
/// Returns the new frame, for its caller to adjust, or null when owner has no children.
XMLPP2::Pass::Frame *XMLPP2::Pass::pushChildren(const Frame &level, XMLNode *owner, XMLNode *output)
{
    if (!owner->firstChild())
        return nullptr;
    auto frame = std::make_unique<Frame>();
    frame->pending = takeChildList(owner);
    frame->output = output;
    frame->macros = level.macros;
    frame->path = level.path;
    frame->expand = level.expand;
    frame->includeDepth = level.includeDepth;
    frame->pasteDepth = level.pasteDepth;
    m_frames.push_back(std::move(frame));
    return m_frames.back().get();
}

void XMLPP2::Pass::handle(Frame &frame, std::unique_ptr<XMLNode> node)
{
    XMLElement *element = asElement(node.get());
    // Decision: a node that is not an element (a CDATA section) stays where it is and is not
    // interpreted; the walk goes on with the node after it.
    if (!element) {
        frame.output->appendChild(std::move(node));
        return;
    }
    if (frame.expand)
        m_document.expandAttributes(element, frame.macros);

    // Each handler below either keeps the node, splices (pushes a frame that walks the
    // children of some element into this level's output) or lets the node be destroyed when
    // it returns, which drops it.
    switch (directiveOf(element->tagName())) {
    case Directive::None:
        keep(frame, std::move(node));
        return;
    case Directive::If:
        handleIf(frame, element, std::move(node), false);
        return;
    case Directive::IfNot:
        handleIf(frame, element, std::move(node), true);
        return;
    case Directive::IfEx:
        handleIfEx(frame, element, std::move(node));
        return;
    case Directive::IfDef:
        if (frame.macros.contains(mention(attributeText(element, "name"))))
            pushChildren(frame, element, frame.output);
        return;
    case Directive::IfNDef:
        if (!frame.macros.contains(mention(attributeText(element, "name"))))
            pushChildren(frame, element, frame.output);
        return;
    case Directive::Switch:
        handleSwitch(frame, element);
        return;
    case Directive::Include:
        handleInclude(frame, element, std::move(node));
        return;
    case Directive::Define:
        handleDefine(frame, element);
        return;
    case Directive::For:
        handleFor(frame, element);
        return;
    case Directive::XmlDef:
        handleXmlDef(frame, element, std::move(node));
        return;
    case Directive::XmlPut:
        handleXmlPut(frame, element, std::move(node));
        return;
    case Directive::ForEach:
        handleForeach(frame, element);
        return;
    }
}

void XMLPP2::Pass::keep(Frame &frame, std::unique_ptr<XMLNode> node)
{
    XMLNode *kept = node.get();
    frame.output->appendChild(std::move(node));
    pushChildren(frame, kept, kept);
}

// if ::= <if NAME="value,value,..."> ... </if>; ifnot the same with the condition negated.
void XMLPP2::Pass::handleIf(Frame &frame, XMLElement *element, std::unique_ptr<XMLNode> node,
                            bool negate)
{
    const std::vector<XMLAttribute> &attributes = element->attributes();
    if (attributes.size() != 1) {
        warn(frame.path, element,
             QStringLiteral("XmlPP::processConditionals(): one condition required for <if[not]>"),
             false,
             QStringLiteral("an if or ifnot needs exactly one attribute, naming the macro and "
                            "listing its values; this one is kept as an ordinary element"));
        keep(frame, std::move(node));
        return;
    }
    const QString value
        = lookUpInserting(frame.macros, mention(fromBytes(attributes.front().name)));
    const bool listed = valueList(fromBytes(attributes.front().value)).contains(value);
    if (listed != negate)
        pushChildren(frame, element, frame.output);
}

void XMLPP2::Pass::handleIfEx(Frame &frame, XMLElement *element, std::unique_ptr<XMLNode> node)
{
    const QString expression = attributeText(element, "expression");
    if (expression.isEmpty()) {
        keep(frame, std::move(node));
        return;
    }
    if (conditionHolds(m_document.expandWithinBudget(expression, frame.macros)))
        pushChildren(frame, element, frame.output);
}

// switch ::= <switch name="N"> (<case value="v,..."> ... </case> | <default> ... </default>)*
void XMLPP2::Pass::handleSwitch(Frame &frame, XMLElement *element)
{
    const QString value = lookUpInserting(frame.macros, mention(attributeText(element, "name")));
    XMLElement *selected = nullptr;
    XMLElement *fallback = nullptr;
    for (XMLNode *child = element->firstChild(); child; child = child->nextSibling()) {
        XMLElement *branch = asElement(child);
        if (!branch)
            continue;
        if (branch->tagName() == "case") {
            if (valueList(attributeText(branch, "value")).contains(value)) {
                selected = branch;
                break;
            }
        } else if (branch->tagName() == "default") {
            fallback = branch;
        }
    }
    if (!selected)
        selected = fallback;
    if (selected)
        pushChildren(frame, selected, frame.output);
}

// include ::= <include filename="F" [no_root] [inherit_attributes="a;b"] [expand_macros]
//                      [macros="A=1;B=2"]/>
void XMLPP2::Pass::handleInclude(Frame &frame, XMLElement *element, std::unique_ptr<XMLNode> node)
{
    const std::string *fileAttribute = element->attribute("filename");
    if (!fileAttribute) {
        warn(frame.path, element,
             QStringLiteral("XmlPP::processConditionals(): missing filename in <include>"),
             false,
             QStringLiteral("an include needs a filename; this one is kept as an ordinary "
                            "element"));
        keep(frame, std::move(node));
        return;
    }
    QString fileName
        = expandMacros(pathFromBytes(QByteArray::fromStdString(*fileAttribute)), MacroMap(), true);
    if (QDir::isRelativePath(fileName)) {
        // Decision: the including file's folder comes first, then the -include-path folders in
        // order; a name found nowhere keeps the first resolution, so its warning reads as it
        // always has.
        const QString relativeName = fileName;
        fileName = directoryOf(frame.path) + u'/' + relativeName;
        if (!m_document.m_includePath.isEmpty() && fileKind(fileName) == FileKind::Missing) {
            for (const QString &folder : std::as_const(m_document.m_includePath)) {
                const QString candidate = folder + u'/' + relativeName;
                if (fileKind(candidate) != FileKind::Missing) {
                    fileName = candidate;
                    break;
                }
            }
        }
    }
    const bool noRoot = element->hasAttribute("no_root");

    std::unique_ptr<XMLNode> included;
    if (frame.includeDepth >= kMaxIncludeDepth) {
        warn(frame.path, element,
             QStringLiteral("include of \"%1\" nested deeper than %2 files; not loaded")
                 .arg(fileName, QString::number(kMaxIncludeDepth)),
             true);
    } else if (m_includedFiles >= kMaxIncludedFiles) {
        warn(frame.path, element,
             QStringLiteral("more than %1 files included; \"%2\" not loaded")
                 .arg(QString::number(kMaxIncludedFiles), fileName),
             true);
    } else if (m_document.m_includedBytes + fileSize(fileName) > kMaxIncludedBytes) {
        warn(frame.path, element,
             QStringLiteral("files included would hold more than %1 bytes; \"%2\" not loaded")
                 .arg(QString::number(kMaxIncludedBytes), fileName),
             true);
    } else {
        ++m_includedFiles;
        m_document.m_includedBytes += fileSize(fileName);
        included = loadInclude(frame, element, fileName);
    }
    if (!included) {
        if (noRoot)
            pushChildren(frame, element, frame.output);
        else
            keep(frame, std::move(node));
        return;
    }

    XMLElement *includedRoot = asElement(included.get());
    // At the top of the document the included root becomes the root itself: an envelope is
    // unwrapped only where it has siblings to join.
    const bool atRoot = frame.output == m_rootHolder;
    const bool unwrap = noRoot || (!atRoot && includedRoot->tagName() == "envelope");

    MacroMap macros;
    bool expand = frame.expand;
    const std::string *macroText = element->attribute("macros");
    if ((frame.expand || element->hasAttribute("expand_macros")) && macroText) {
        macros = mergeMacros(frame.macros, definitionsOf(fromBytes(*macroText)));
        m_document.expandAttributes(includedRoot, macros);
        expand = true;
    } else {
        if (frame.expand)
            m_document.expandAttributes(includedRoot, frame.macros);
        macros = frame.macros;
    }

    // Nothing in the walk of the included children reads their parent's attributes, so the
    // inherited ones can be set before that walk.
    const QStringList inherited
        = attributeText(element, "inherit_attributes").split(u';', Qt::SkipEmptyParts);
    if (!unwrap) {
        for (const QString &name : inherited) {
            const std::string nameBytes = toBytes(name);
            const std::string *value = element->attribute(nameBytes);
            // Decision: an attribute the include element lacks is inherited with an empty value.
            includedRoot->setAttribute(nameBytes, value ? *value : std::string());
        }
        frame.output->appendChild(std::move(included));
    }
    Frame *child = pushChildren(frame, includedRoot, unwrap ? frame.output : includedRoot);
    if (child) {
        child->macros = std::move(macros);
        child->path = fileName;
        child->expand = expand;
        child->includeDepth = frame.includeDepth + 1;
    }
}

/// Loads fileName, named by the include element, into the document and hands back its root,
/// leaving the document's own root as it was; warns and returns null when the file yields no
/// root.
std::unique_ptr<XMLNode> XMLPP2::Pass::loadInclude(const Frame &frame, const XMLElement *element,
                                                   const QString &fileName)
{
    std::unique_ptr<XMLNode> remembered = m_document.takeRoot();
    const LoadResult result = m_document.QXMLDocument::load(fileName);
    std::unique_ptr<XMLNode> included = m_document.takeRoot();
    m_document.setRoot(std::move(remembered));
    if (result != LoadResult::NotRead)
        m_document.fileRead(fileName);

    if (result == LoadResult::Parsed && included)
        return included;
    if (result != LoadResult::NotRead && !included) {
        warn(frame.path, element,
             QStringLiteral("XmlPP::processConditionals(): error: include file '%1' is empty")
                 .arg(fileName),
             false, QStringLiteral("the file holds no complete element, so nothing is included"));
    } else {
        warn(frame.path, element,
             QStringLiteral("XmlPP::processConditionals(): error \"")
                 + pathFromBytes(m_document.errorText())
                 + QStringLiteral("\" in include file ") + fileName + QStringLiteral(" line:")
                 + QString::number(m_document.errorLine()),
             false,
             result == LoadResult::NotRead
                 ? QStringLiteral("the file cannot be read (%1), so nothing is included; a "
                                  "relative name starts from the including file's folder")
                       .arg(QString::fromStdString(m_document.readFailure()))
                 : QStringLiteral("the file does not parse (%1 at line %2), so nothing is "
                                  "included")
                       .arg(pathFromBytes(m_document.errorText()))
                       .arg(qulonglong(m_document.errorLine()) + 1));
    }
    return nullptr;
}

// define ::= <define name="N" (value="text" | expression="expr" | hex_expression="expr")/>
void XMLPP2::Pass::handleDefine(Frame &frame, const XMLElement *element)
{
    const std::string *name = element->attribute("name");
    if (!name) {
        warn(frame.path, element,
             QStringLiteral("XmlPP::processConditionals(): missing name in <define>"), false,
             QStringLiteral("a define needs a name; nothing is defined"));
        return;
    }
    mention(fromBytes(*name));
    if (const std::string *value = element->attribute("value")) {
        frame.macros.insert(fromBytes(*name), fromBytes(*value));
        return;
    }
    const std::string *expression = element->attribute("expression");
    const std::string *hexExpression = expression ? nullptr : element->attribute("hex_expression");
    if (!expression && !hexExpression) {
        warn(frame.path, element,
             QStringLiteral(
                 "XmlPP::processConditionals(): missing value or expression in <define>"),
             false,
             QStringLiteral("a define needs value, expression or hex_expression; nothing is "
                            "defined"));
        return;
    }
    const QString text = m_document.expandWithinBudget(
        fromBytes(expression ? *expression : *hexExpression), frame.macros);
    SimpleExpressionParser parser;
    bool ok = false;
    const uint32_t result = uint32_t(evaluateNumberBits(parser, text, ok));
    if (ok)
        frame.macros.insert(fromBytes(*name),
                            expression ? QString::number(result) : upperHex(result));
}

// for ::= <for index="i" start="expr" end="expr" incr="expr" [add="expr" | sub="expr"]
//              [mul="expr"]> body </for>
void XMLPP2::Pass::handleFor(Frame &frame, const XMLElement *element)
{
    const std::string *index = element->attribute("index");
    const std::string *start = element->attribute("start");
    const std::string *end = element->attribute("end");
    const std::string *increment = element->attribute("incr");
    if (!index || !start || !end || !increment || !element->firstChild()) {
        warn(frame.path, element,
             QStringLiteral("XmlPP::processConditionals(): <for index=\"i\" start=\"0\" "
                            "end=\"32\" incr=\"1\">"),
             false,
             QStringLiteral("a for loop needs index, start, end and incr and an element inside; "
                            "this one is dropped and copies nothing"));
        return;
    }
    uint32_t add = 0;
    if (element->hasAttribute("add"))
        add = signedNumberBits(
            m_document.expandWithinBudget(attributeText(element, "add"), frame.macros));
    else if (element->hasAttribute("sub"))
        add = 0u
              - signedNumberBits(
                  m_document.expandWithinBudget(attributeText(element, "sub"), frame.macros));
    uint32_t multiplier = 1;
    if (element->hasAttribute("mul"))
        multiplier = signedNumberBits(
            m_document.expandWithinBudget(attributeText(element, "mul"), frame.macros));
    const uint32_t first = numberBits(fromBytes(*start));
    const uint32_t limit = numberBits(fromBytes(*end));
    const uint32_t step = numberBits(fromBytes(*increment));

    // The loop is run dry first, so one that would not end is refused before copying anything.
    int64_t iterations = 0;
    for (uint32_t i = first; i < limit && iterations <= kMaxLoopIterations; i += step)
        ++iterations;
    const QString name = fromBytes(*index);
    if (iterations > kMaxLoopIterations) {
        warn(frame.path, element,
             QStringLiteral("for loop \"%1\" exceeds %2 iterations; dropped")
                 .arg(name, QString::number(kMaxLoopIterations)),
             true);
        return;
    }
    const std::vector<const XMLElement *> body = loopBody(element);
    if (body.empty() || !reserveCopies(countCopies(body) * iterations, frame, element))
        return;

    // The five loop macros keep their places in one map; each iteration replaces their values.
    MacroMap loopMacros;
    const auto slot = [&](const QString &macroName) { return loopMacros.insert(macroName, {}); };
    const auto indexSlot = slot(name);
    const auto alphaSlot = slot(name + QStringLiteral("_alpha"));
    const auto hexSlot = slot(name + QStringLiteral("_hex"));
    const auto apSlot = slot(name + QStringLiteral("_ap"));
    const auto apHexSlot = slot(name + QStringLiteral("_ap_hex"));
    std::vector<std::unique_ptr<XMLNode>> copies;
    uint32_t i = first;
    for (int64_t iteration = 0; iteration < iterations; ++iteration, i += step) {
        const uint32_t progression = multiplier * i + add;
        *indexSlot = QString::number(i);
        *alphaSlot = QString(QChar(char16_t((65u + i) & 0xFFFFu)));
        *hexSlot = upperHex(i);
        *apSlot = QString::number(progression);
        *apHexSlot = upperHex(progression);
        for (const XMLElement *child : body)
            copies.push_back(m_document.cloneWithMacros(child, loopMacros));
    }
    queueCopies(frame, std::move(copies));
}

// foreach ::= <foreach VARIABLE="value,value,..." ...> body </foreach>
void XMLPP2::Pass::handleForeach(Frame &frame, const XMLElement *element)
{
    struct Variable
    {
        QString name;
        QStringList values;
    };
    std::vector<Variable> variables;
    bool anyEmpty = false;
    int64_t combinations = 1;
    for (const XMLAttribute &attribute : element->attributes()) {
        QString text = fromBytes(attribute.value);
        text.remove(u'\n');
        Variable variable{fromBytes(attribute.name), valueList(text)};
        anyEmpty = anyEmpty || variable.values.isEmpty();
        combinations
            = std::min<int64_t>(combinations * variable.values.size(), kMaxLoopIterations + 1);
        variables.push_back(std::move(variable));
    }
    // Decision: a foreach without attributes forms one combination, with no variables, and so
    // copies its body once.
    if (anyEmpty)
        return;
    if (combinations > kMaxLoopIterations) {
        warn(
            frame.path, element,
            QStringLiteral("foreach loop exceeds %1 combinations; dropped").arg(kMaxLoopIterations),
            true);
        return;
    }
    const std::vector<const XMLElement *> body = loopBody(element);
    if (body.empty() || !reserveCopies(countCopies(body) * combinations, frame, element))
        return;

    std::vector<std::unique_ptr<XMLNode>> copies;
    std::vector<qsizetype> position(variables.size(), 0);
    for (int64_t combination = 0; combination < combinations; ++combination) {
        MacroMap loopMacros;
        for (size_t k = 0; k < variables.size(); ++k)
            loopMacros.insert(variables[k].name, variables[k].values.at(position[k]));
        for (const XMLElement *child : body)
            copies.push_back(m_document.cloneWithMacros(child, loopMacros));
        // The last variable varies fastest.
        for (size_t k = variables.size(); k-- > 0;) {
            if (++position[k] < variables[k].values.size())
                break;
            position[k] = 0;
        }
    }
    queueCopies(frame, std::move(copies));
}

void XMLPP2::Pass::handleXmlDef(Frame &frame, XMLElement *element, std::unique_ptr<XMLNode> node)
{
    const std::string *name = element->attribute("name");
    if (!name) {
        keep(frame, std::move(node));
        return;
    }
    const QString key = fromBytes(*name);
    // node owns element itself: the same object changes hands with its static type.
    m_document.m_xmldefs[key]
        = std::unique_ptr<XMLElement>(static_cast<XMLElement *>(node.release()));
}

// xmlput ::= <xmlput name="D" [expand_macros] [macros="A=1;B=2"]/>
void XMLPP2::Pass::handleXmlPut(Frame &frame, XMLElement *element, std::unique_ptr<XMLNode> node)
{
    const std::string *name = element->attribute("name");
    if (!name) {
        warn(frame.path, element, QString::fromLatin1(kMissingFragmentMessage), false,
             QStringLiteral("an xmlput needs the name of an xmldef; this one is kept as an "
                            "ordinary element"));
        keep(frame, std::move(node));
        return;
    }
    const QString key = fromBytes(*name);
    const auto found = m_document.m_xmldefs.find(key);
    if (found == m_document.m_xmldefs.end()) {
        warn(frame.path, element, QString::fromLatin1(kMissingFragmentMessage) + key, false,
             QStringLiteral("no xmldef named '%1' comes before it; the xmlput is kept as an "
                            "ordinary element")
                 .arg(key));
        keep(frame, std::move(node));
        return;
    }
    if (frame.pasteDepth >= kMaxPasteDepth) {
        warn(frame.path, element,
             QStringLiteral("paste of \"%1\" nested deeper than %2 pastes; not pasted")
                 .arg(key, QString::number(kMaxPasteDepth)),
             true);
        keep(frame, std::move(node));
        return;
    }
    if (!reserveCopies(countNodes(found->second.get(), false), frame, element)) {
        keep(frame, std::move(node));
        return;
    }

    MacroMap macros;
    bool expand = frame.expand;
    const std::string *macroText = element->attribute("macros");
    if ((frame.expand || element->hasAttribute("expand_macros")) && macroText) {
        macros = mergeMacros(frame.macros, definitionsOf(fromBytes(*macroText)));
        expand = true;
    } else {
        macros = frame.macros;
    }
    std::unique_ptr<XMLNode> copy = m_document.cloneNode(found->second.get(), nullptr);
    Frame *child = pushChildren(frame, copy.get(), frame.output);
    if (child) {
        child->macros = std::move(macros);
        child->expand = expand;
        child->pasteDepth = frame.pasteDepth + 1;
    }
}

/// Counts copies against the pass's bounds; false, with a warning the first time, when they do
/// not fit.
bool XMLPP2::Pass::reserveCopies(const CopyCost &cost, const Frame &frame,
                                 const XMLElement *element)
{
    if (m_copied.nodes + cost.nodes <= kMaxCopiedNodes
        && m_copied.bytes + cost.bytes <= kMaxCopiedBytes) {
        m_copied += cost;
        return true;
    }
    if (!m_copyLimitReported) {
        m_copyLimitReported = true;
        warn(frame.path, element,
             QStringLiteral("loops and pastes would copy more than %1 nodes or %2 bytes; "
                            "\"%3\" refused")
                 .arg(QString::number(kMaxCopiedNodes), QString::number(kMaxCopiedBytes),
                      fromBytes(element->tagName())),
             true);
    }
    return false;
}

/// Makes copies, in order, the next nodes the level handles.
void XMLPP2::Pass::queueCopies(Frame &frame, std::vector<std::unique_ptr<XMLNode>> copies)
{
    for (auto it = copies.rbegin(); it != copies.rend(); ++it)
        frame.pending.push_back(std::move(*it));
}

/// Makes the stand-in's first element the document's root.
/// Decision: a document has one root, so when the root's directive left several elements (an
/// unwrapped include, a body of several elements) the first is kept and a warning names it;
/// other top-level nodes (CDATA sections) are dropped, as the parser drops them.
void XMLPP2::Pass::adoptRoot(XMLNode *holder, const QString &path)
{
    std::vector<std::unique_ptr<XMLNode>> nodes = takeChildList(holder);
    std::unique_ptr<XMLNode> root;
    while (!nodes.empty()) {
        std::unique_ptr<XMLNode> node = std::move(nodes.back());
        nodes.pop_back();
        if (!asElement(node.get()))
            continue;
        if (!root) {
            root = std::move(node);
        } else {
            warn(path, nullptr,
                 QStringLiteral("more than one root element after pre-processing; \"%1\" is kept")
                     .arg(fromBytes(asElement(root.get())->tagName())),
                 true);
            break;
        }
    }
    m_document.setRoot(std::move(root));
}

void XMLPP2::processConditionals(XMLNode *node, const QString &path, MacroMap &macros, bool expand)
{
    // Decision: a tree without directives and, when expanding, without "$" in any attribute
    // value comes out of the pass exactly as it went in, so it is not walked again; its bytes
    // still count towards the expansion bound, as every tree's do.
    bool interpreted = false;
    for (const XMLNode *sibling = node; sibling; sibling = sibling->nextSibling()) {
        m_expansionAllowance
            += kExpansionGrowthPerByte * countNodes(sibling, false, &interpreted, expand).bytes;
    }
    if (interpreted)
        Pass(*this).run(node, path, macros, expand);
}

QString XMLPP2::expandWithinBudget(const QString &text, const MacroMap &macros,
                                  ExpansionReport *report)
{
    if (!text.contains(QChar(kMacroCharacter)))
        return text;
    if (m_expansionGrowth > m_expansionAllowance) {
        if (!m_expansionBudgetReported) {
            m_expansionBudgetReported = true;
            warning(QStringLiteral("macro expansion outgrew the document; later references "
                                   "stay as written"));
        }
        if (report)
            report->stoppedAtBound = true;
        return text;
    }
    ExpansionReport ownReport;
    ExpansionReport &used = report ? *report : ownReport;
    QString expanded = expandMacros(text, macros, false, &used);
    m_expansionGrowth += std::max<qsizetype>(0, expanded.size() - text.size());
    for (const QString &name : std::as_const(used.lookedUp))
        m_mentionedMacros.insert(name);
    return expanded;
}

void XMLPP2::expandAttributes(XMLElement *element, const MacroMap &macros)
{
    const std::vector<XMLAttribute> &attributes = element->attributes();
    for (size_t i = 0; i < attributes.size(); ++i) {
        if (attributes[i].value.find('$') == std::string::npos)
            continue;
        ExpansionReport report;
        const QString text = expandWithinBudget(fromBytes(attributes[i].value), macros, &report);
        const QString name = fromBytes(attributes[i].name);
        for (const QString &undefined : std::as_const(report.undefined)) {
            // System macros are expanded later, in the file names of includes and imports.
            if (macroTable().systemMacros().contains(undefined))
                continue;
            elementNotice(*element,
                          QStringLiteral("macro '%1' is not defined, so \"$(%1)\" stays in "
                                         "attribute '%2'; define it or give a default, as in "
                                         "$(%1:value)")
                              .arg(undefined, name));
        }
        if ((report.stoppedAtBound || report.undefined.isEmpty())
            && text.contains(QStringLiteral("$("))) {
            elementNotice(*element,
                          QStringLiteral("attribute '%1' still holds a macro reference after "
                                         "expansion: a macro's value is used as it stands and "
                                         "expansion stops at its bounds; give the macros plain "
                                         "values")
                              .arg(name));
        }
        std::string expanded = toBytes(text);
        if (expanded != attributes[i].value)
            element->setAttribute(attributes[i].name, std::move(expanded));
    }
}

std::unique_ptr<XMLElement> XMLPP2::cloneWithMacros(const XMLElement *element,
                                                    const MacroMap &macros)
{
    const auto copyElement = [&](const XMLElement *source) {
        std::unique_ptr<XMLElement> copy = createElement(source->tagName());
        for (const XMLAttribute &attribute : source->attributes()) {
            // A value without "$" expands to itself.
            if (attribute.value.find('$') == std::string::npos)
                copy->setAttribute(attribute.name, attribute.value);
            else
                copy->setAttribute(attribute.name,
                                   toBytes(expandWithinBudget(fromBytes(attribute.value), macros)));
        }
        elementCopied(*source, *copy);
        return copy;
    };
    std::unique_ptr<XMLElement> result = copyElement(element);
    copyChildren(element, result.get(), [&](const XMLNode *source) -> std::unique_ptr<XMLNode> {
        const XMLElement *sourceElement = asElement(source);
        return sourceElement ? copyElement(sourceElement) : nullptr;
    });
    return result;
}

std::unique_ptr<XMLNode> XMLPP2::cloneNode(const XMLNode *node, XMLNode *parent)
{
    if (!node)
        return nullptr;
    const auto copyNode = [this](const XMLNode *source) -> std::unique_ptr<XMLNode> {
        if (const XMLElement *element = asElement(source)) {
            std::unique_ptr<XMLElement> copy = createElement(element->tagName());
            for (const XMLAttribute &attribute : element->attributes())
                copy->setAttribute(attribute.name, attribute.value);
            elementCopied(*element, *copy);
            return copy;
        }
        if (const auto *data = dynamic_cast<const XMLData *>(source))
            return std::make_unique<XMLData>(data->text());
        if (const auto *comment = dynamic_cast<const XMLComment *>(source))
            return std::make_unique<XMLComment>(comment->text());
        if (const auto *section = dynamic_cast<const XMLCDATASection *>(source))
            return std::make_unique<XMLCDATASection>(section->text());
        return std::make_unique<XMLNode>();
    };
    std::unique_ptr<XMLNode> result = copyNode(node);
    copyChildren(node, result.get(), copyNode);
    if (!parent)
        return result;
    parent->appendChild(std::move(result));
    return nullptr;
}

} // namespace ldweave
