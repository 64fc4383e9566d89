// Child lists are singly linked through owning next-sibling pointers; each parent also keeps a
// non-owning pointer to its last child so that appending is constant time.
#include "xml/xml_node.h"

namespace ldweave {

XMLNode::~XMLNode()
{
    // A unique_ptr chain destroys recursively; move every descendant and follower onto a work
    // list instead, so each node is destroyed with no links left and the stack stays flat.
    std::vector<std::unique_ptr<XMLNode>> pending;
    if (m_firstChild)
        pending.push_back(std::move(m_firstChild));
    if (m_nextSibling)
        pending.push_back(std::move(m_nextSibling));
    while (!pending.empty()) {
        std::unique_ptr<XMLNode> node = std::move(pending.back());
        pending.pop_back();
        if (node->m_nextSibling)
            pending.push_back(std::move(node->m_nextSibling));
        if (node->m_firstChild)
            pending.push_back(std::move(node->m_firstChild));
    }
}

XMLNode *XMLNode::findPredecessor(const XMLNode *child) const
{
    XMLNode *predecessor = nullptr;
    for (XMLNode *node = m_firstChild.get(); node; node = node->m_nextSibling.get()) {
        if (node == child)
            return predecessor;
        predecessor = node;
    }
    return nullptr;
}

// Links chain after predecessor (or at the front when predecessor is null); the chain's last
// node takes over the link that followed the insertion point.
void XMLNode::linkChain(XMLNode *predecessor, std::unique_ptr<XMLNode> chain)
{
    if (!chain)
        return;
    XMLNode *last = chain.get();
    for (XMLNode *node = chain.get(); node; node = node->m_nextSibling.get()) {
        node->m_parent = this;
        last = node;
    }
    std::unique_ptr<XMLNode> &link = predecessor ? predecessor->m_nextSibling : m_firstChild;
    last->m_nextSibling = std::move(link);
    if (!last->m_nextSibling)
        m_lastChild = last;
    link = std::move(chain);
}

void XMLNode::appendChild(std::unique_ptr<XMLNode> node)
{
    linkChain(m_lastChild, std::move(node));
}

XMLNode *XMLNode::prependChild(std::unique_ptr<XMLNode> node)
{
    XMLNode *result = node.get();
    // A prepended node is taken alone: followers it might own are dropped with the old links.
    if (node)
        node->m_nextSibling.reset();
    linkChain(nullptr, std::move(node));
    return result;
}

std::unique_ptr<XMLNode> XMLNode::removeChild(XMLNode *node)
{
    if (!node || node->m_parent != this)
        return nullptr;
    XMLNode *predecessor = findPredecessor(node);
    std::unique_ptr<XMLNode> &link = predecessor ? predecessor->m_nextSibling : m_firstChild;
    if (link.get() != node)
        return nullptr;
    std::unique_ptr<XMLNode> detached = std::move(link);
    link = std::move(detached->m_nextSibling);
    if (m_lastChild == node)
        m_lastChild = predecessor;
    detached->m_parent = nullptr;
    return detached;
}

std::unique_ptr<XMLNode> XMLNode::replaceChild(XMLNode *old, std::unique_ptr<XMLNode> replacement)
{
    if (!old || old->m_parent != this || !replacement)
        return nullptr;
    XMLNode *predecessor = findPredecessor(old);
    std::unique_ptr<XMLNode> detached = removeChild(old);
    if (!detached)
        return nullptr;
    replacement->m_nextSibling.reset();
    linkChain(predecessor, std::move(replacement));
    return detached;
}

void XMLNode::insertChildrenAfter(XMLNode *ref, std::unique_ptr<XMLNode> chain)
{
    if (ref && ref->m_parent == this)
        linkChain(ref, std::move(chain));
    else
        linkChain(m_lastChild, std::move(chain));
}

std::unique_ptr<XMLNode> XMLNode::takeChildren()
{
    for (XMLNode *node = m_firstChild.get(); node; node = node->m_nextSibling.get())
        node->m_parent = nullptr;
    m_lastChild = nullptr;
    return std::move(m_firstChild);
}

XMLElement *XMLElement::setTagName(std::string name)
{
    m_tagName = std::move(name);
    return this;
}

// Up to this many attributes a linear search is cheapest; an element with more (only crafted
// input has them) gets a name index, so a parse of many attributes is not quadratic.
static constexpr size_t kMaxUnindexedAttributes = 16;

void XMLElement::indexAttributes()
{
    m_attributeIndex = std::make_unique<std::unordered_map<std::string, size_t>>();
    m_attributeIndex->reserve(m_attributes.size() * 2);
    for (size_t i = 0; i < m_attributes.size(); ++i)
        m_attributeIndex->try_emplace(m_attributes[i].name, i);
}

void XMLElement::setAttribute(std::string name, std::string value)
{
    if (!m_attributeIndex && m_attributes.size() >= kMaxUnindexedAttributes)
        indexAttributes();
    if (m_attributeIndex) {
        auto [position, inserted] = m_attributeIndex->try_emplace(name, m_attributes.size());
        if (inserted)
            m_attributes.push_back({std::move(name), std::move(value)});
        else
            m_attributes[position->second].value = std::move(value);
        return;
    }
    for (XMLAttribute &attribute : m_attributes) {
        if (attribute.name == name) {
            attribute.value = std::move(value);
            return;
        }
    }
    m_attributes.push_back({std::move(name), std::move(value)});
}

void XMLElement::setAttributes(std::vector<XMLAttribute> attributes)
{
    m_attributes = std::move(attributes);
    m_attributeIndex.reset(); // setAttribute builds it anew when there are many
}

void XMLElement::removeAttribute(const std::string &name)
{
    for (auto it = m_attributes.begin(); it != m_attributes.end(); ++it) {
        if (it->name == name) {
            m_attributes.erase(it);
            m_attributeIndex.reset();
            return;
        }
    }
}

bool XMLElement::hasAttribute(const std::string &name) const
{
    return attribute(name) != nullptr;
}

const std::string *XMLElement::attribute(const std::string &name) const
{
    for (const XMLAttribute &attribute : m_attributes) {
        if (attribute.name == name)
            return &attribute.value;
    }
    return nullptr;
}

XMLTextNode *XMLTextNode::setText(std::string text)
{
    m_text = std::move(text);
    return this;
}

} // namespace ldweave
