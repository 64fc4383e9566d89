// Test-only helpers that build placement documents by hand (elements with attributes in order,
// appended under a parent that owns them) and pick lines out of a written script.
#pragma once

#include "placement/memory_map_element.h"
#include "xml/xml_document.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace ldweave::test {

using Attributes = std::vector<std::pair<std::string, std::string>>;

inline std::unique_ptr<MemoryMapElement> makeElement(const std::string &tagName,
                                                     const Attributes &attributes = {})
{
    auto element = std::make_unique<MemoryMapElement>(tagName, false);
    for (const auto &[name, value] : attributes)
        element->setAttribute(name, value);
    return element;
}

/// Parses XML text into a tree of MemoryMapElements, as the tool's document builds it; null
/// when the text has no root element.
inline std::unique_ptr<MemoryMapElement> parseElements(const char *text)
{
    struct Document : XMLDocument
    {
        Document()
            : XMLDocument(false)
        {}
        std::unique_ptr<XMLElement> createElement(std::string tagName) override
        {
            return std::make_unique<MemoryMapElement>(std::move(tagName), false);
        }
    } document;
    document.parse(text);
    std::unique_ptr<XMLNode> root = document.takeRoot();
    if (!asMemoryMapElement(root.get()))
        return nullptr;
    return std::unique_ptr<MemoryMapElement>(static_cast<MemoryMapElement *>(root.release()));
}

/// Appends a new element to parent and returns it; parent owns it.
inline MemoryMapElement *addElement(XMLNode *parent, const std::string &tagName,
                                    const Attributes &attributes = {})
{
    std::unique_ptr<MemoryMapElement> element = makeElement(tagName, attributes);
    MemoryMapElement *result = element.get();
    parent->appendChild(std::move(element));
    return result;
}

inline MemoryMapElement *addSegment(XMLNode *parent, const std::string &name,
                                    Attributes attributes = {})
{
    attributes.insert(attributes.begin(), {"name", name});
    return addElement(parent, "MemorySegment", attributes);
}

/// The lines of text that start with prefix, each with its line feed.
inline std::string linesStartingWith(const std::string &text, const std::string &prefix)
{
    std::string lines;
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find('\n', begin);
        end = end == std::string::npos ? text.size() : end + 1;
        if (text.compare(begin, prefix.size(), prefix) == 0)
            lines += text.substr(begin, end - begin);
        begin = end;
    }
    return lines;
}

inline MemoryMapElement *addSection(XMLNode *parent, const std::string &name,
                                    Attributes attributes = {})
{
    attributes.insert(attributes.begin(), {"name", name});
    return addElement(parent, "ProgramSection", attributes);
}

} // namespace ldweave::test
