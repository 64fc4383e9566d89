// Renders an XML tree compactly for tests, by walking it (never through code under test):
//   element   tag[name="value" ...]@line{children}
//   data      "text"@line     comment  !"text"@line     CDATA  C"text"@line
// The line part is left out when withLines is false; children are separated by blanks.
#pragma once

#include "xml/xml_node.h"

#include <string>

namespace ldweave::test {

inline std::string treeText(const XMLNode *node, bool withLines = false)
{
    if (!node)
        return "(none)";
    std::string out;
    const std::string line = withLines ? "@" + std::to_string(node->line()) : std::string();
    if (const XMLElement *element = asElement(node)) {
        out += element->tagName();
        if (!element->attributes().empty()) {
            out += '[';
            bool first = true;
            for (const XMLAttribute &attribute : element->attributes()) {
                if (!first)
                    out += ' ';
                first = false;
                out += attribute.name + "=\"" + attribute.value + "\"";
            }
            out += ']';
        }
        out += line;
        if (node->firstChild()) {
            out += '{';
            for (const XMLNode *child = node->firstChild(); child; child = child->nextSibling()) {
                if (child != node->firstChild())
                    out += ' ';
                out += treeText(child, withLines);
                if (child->parent() != node)
                    out += "(!parent)";
            }
            out += '}';
        }
        return out;
    }
    const auto *text = dynamic_cast<const XMLTextNode *>(node);
    if (dynamic_cast<const XMLComment *>(node))
        out += '!';
    else if (dynamic_cast<const XMLCDATASection *>(node))
        out += 'C';
    out += '"' + (text ? text->text() : std::string("?")) + '"' + line;
    return out;
}

} // namespace ldweave::test
