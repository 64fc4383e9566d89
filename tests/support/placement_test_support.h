// Test-only helper that builds a placement element by hand, with its attributes in order.
#pragma once

#include "placement/memory_map_element.h"

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

} // namespace ldweave::test
