// The XML document tree: elements, character data, comments and CDATA sections. A node owns its
// first child and its next sibling, so a parent owns its whole child list; detaching hands the
// node back as a unique_ptr and attaching takes one, so every move of a subtree is visible.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace ldweave {

class XMLNode
{
public:
    /// The class of a node, so that the as...() casts below need no run-time type look-up.
    enum class Type : uint8_t {
        Plain,           ///< a bare XMLNode: a holder of a child list
        Element,         ///< an XMLElement
        DerivedElement,  ///< an element of the one class derived from XMLElement
        Data,
        Comment,
        CDATASection,
    };

    XMLNode() = default;
    XMLNode(const XMLNode &) = delete;
    XMLNode &operator=(const XMLNode &) = delete;
    /// Destroys the node's child list and the chain of siblings it owns, without recursion, so
    /// a tree nested a million deep is freed as safely as a flat one.
    virtual ~XMLNode();

    XMLNode *parent() const { return m_parent; }
    XMLNode *nextSibling() const { return m_nextSibling.get(); }
    XMLNode *firstChild() const { return m_firstChild.get(); }
    XMLNode *lastChild() const { return m_lastChild; }

    /// The parser's line counter when the node was read; 0 for nodes made by copying.
    uint32_t line() const { return m_line; }
    void setLine(uint32_t line) { m_line = line; }

    /// Links the node, with any followers it owns, after the last child.
    virtual void appendChild(std::unique_ptr<XMLNode> node);
    /// Makes a single node the first child; returns it.
    virtual XMLNode *prependChild(std::unique_ptr<XMLNode> node);
    /// Unlinks a child and hands it back with no parent and no next sibling (its following
    /// siblings stay in the list). Returns null when the node is not a child.
    virtual std::unique_ptr<XMLNode> removeChild(XMLNode *node);
    /// Puts a single node in the place of a child and hands the child back, detached.
    /// Returns null (and drops nothing) when old is not a child.
    virtual std::unique_ptr<XMLNode> replaceChild(XMLNode *old, std::unique_ptr<XMLNode> replacement);
    /// Splices a chain (a node and the siblings it owns) in after ref; appends it when ref is
    /// not a child. Every node of the chain gets this node as parent.
    virtual void insertChildrenAfter(XMLNode *ref, std::unique_ptr<XMLNode> chain);
    /// Detaches the whole child list and hands it back as one chain (null when empty).
    std::unique_ptr<XMLNode> takeChildren();

    Type type() const { return m_type; }

protected:
    explicit XMLNode(Type type) : m_type(type) {}

private:
    XMLNode *findPredecessor(const XMLNode *child) const;
    void linkChain(XMLNode *predecessor, std::unique_ptr<XMLNode> chain);

    XMLNode *m_parent = nullptr;     ///< not owned: the node whose child list holds this one
    XMLNode *m_lastChild = nullptr;  ///< not owned: the tail of m_firstChild's chain, for O(1) appends
    std::unique_ptr<XMLNode> m_nextSibling;
    std::unique_ptr<XMLNode> m_firstChild;
    uint32_t m_line = 0;
    Type m_type = Type::Plain;
};

struct XMLAttribute
{
    std::string name;
    std::string value;
};

class XMLElement : public XMLNode
{
public:
    explicit XMLElement(std::string tagName = std::string())
        : XMLNode(Type::Element)
        , m_tagName(std::move(tagName))
    {}

    virtual XMLElement *setTagName(std::string name);
    virtual const std::string &tagName() const { return m_tagName; }
    /// Replaces the value of an existing attribute in its position, or appends a new one.
    virtual void setAttribute(std::string name, std::string value);
    /// Replaces every attribute by the given ones, whose names must be distinct; the parser
    /// hands over a start tag's attributes so, in a vector of their exact number.
    void setAttributes(std::vector<XMLAttribute> attributes);
    /// Removes the first attribute of that name, if any.
    virtual void removeAttribute(const std::string &name);
    virtual bool hasAttribute(const std::string &name) const;
    /// The value of the first attribute of that name, or null when there is none.
    virtual const std::string *attribute(const std::string &name) const;
    /// The attributes in order of first appearance.
    virtual const std::vector<XMLAttribute> &attributes() const { return m_attributes; }

protected:
    /// For the derived element class, which tells its type.
    XMLElement(std::string tagName, Type type)
        : XMLNode(type)
        , m_tagName(std::move(tagName))
    {}

private:
    void indexAttributes();

    std::string m_tagName;
    std::vector<XMLAttribute> m_attributes;
    /// Position of each attribute by name, built once an element holds many attributes so that
    /// setting n attributes stays linear overall; null for the usual few, and dropped by
    /// removeAttribute (positions shift) until the next setAttribute rebuilds it.
    std::unique_ptr<std::unordered_map<std::string, size_t>> m_attributeIndex;
};

/// Shared body of the three kinds of text node; they differ only in their type.
class XMLTextNode : public XMLNode
{
public:
    XMLTextNode(std::string text, Type type)
        : XMLNode(type)
        , m_text(std::move(text))
    {}

    virtual XMLTextNode *setText(std::string text);
    virtual const std::string &text() const { return m_text; }

private:
    std::string m_text;
};

/// Character data between tags.
class XMLData final : public XMLTextNode
{
public:
    explicit XMLData(std::string text) : XMLTextNode(std::move(text), Type::Data) {}
};

class XMLComment final : public XMLTextNode
{
public:
    explicit XMLComment(std::string text) : XMLTextNode(std::move(text), Type::Comment) {}
};

class XMLCDATASection final : public XMLTextNode
{
public:
    explicit XMLCDATASection(std::string text) : XMLTextNode(std::move(text), Type::CDATASection) {}
};

inline bool isElement(const XMLNode *node)
{
    return node
           && (node->type() == XMLNode::Type::Element
               || node->type() == XMLNode::Type::DerivedElement);
}
inline XMLElement *asElement(XMLNode *node)
{
    return isElement(node) ? static_cast<XMLElement *>(node) : nullptr;
}
inline const XMLElement *asElement(const XMLNode *node)
{
    return isElement(node) ? static_cast<const XMLElement *>(node) : nullptr;
}
inline const XMLTextNode *asTextNode(const XMLNode *node)
{
    return node
                   && (node->type() == XMLNode::Type::Data
                       || node->type() == XMLNode::Type::Comment
                       || node->type() == XMLNode::Type::CDATASection)
               ? static_cast<const XMLTextNode *>(node)
               : nullptr;
}
inline XMLData *asData(XMLNode *node)
{
    return node && node->type() == XMLNode::Type::Data ? static_cast<XMLData *>(node) : nullptr;
}
inline XMLComment *asComment(XMLNode *node)
{
    return node && node->type() == XMLNode::Type::Comment ? static_cast<XMLComment *>(node)
                                                          : nullptr;
}
inline XMLCDATASection *asCDATASection(XMLNode *node)
{
    return node && node->type() == XMLNode::Type::CDATASection
               ? static_cast<XMLCDATASection *>(node)
               : nullptr;
}

} // namespace ldweave
