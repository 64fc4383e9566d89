// Fuzz target: the XML parser. Parses the input (the first byte chooses whether text nodes are
// kept), walks the tree reading every node, and destroys it.
#include "xml/xml_document.h"
#include "xml/xml_node.h"

#include <cstddef>
#include <cstdint>
#include <string>

using namespace ldweave;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const bool keepText = (data[0] & 1) != 0;
    const std::string text(reinterpret_cast<const char *>(data + 1), size - 1);

    XMLDocument document(keepText);
    const bool parsed = document.parse(text.c_str());
    if (!parsed && std::string(document.errorText()).size() > XMLDocument::kMaxErrorTextLength)
        __builtin_trap();

    // Walk in document order without recursion, touching every name, value and text.
    size_t bytes = 0;
    for (XMLNode *node = document.root(); node;) {
        if (const XMLElement *element = asElement(node)) {
            bytes += element->tagName().size();
            for (const XMLAttribute &attribute : element->attributes())
                bytes += attribute.name.size() + attribute.value.size();
        } else if (const auto *textNode = dynamic_cast<const XMLTextNode *>(node)) {
            bytes += textNode->text().size();
        }
        if (node->firstChild()) {
            if (node->firstChild()->parent() != node)
                __builtin_trap();
            node = node->firstChild();
            continue;
        }
        while (node && node != document.root() && !node->nextSibling())
            node = node->parent();
        node = (node && node != document.root()) ? node->nextSibling() : nullptr;
    }
    if (bytes > text.size() * 4 + 64)
        __builtin_trap(); // the tree cannot hold much more text than the input had
    return 0;
}
