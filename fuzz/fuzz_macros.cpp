// Fuzz target: macro definition lists and expansion. The input holds a flag byte, a definition
// list and a text, separated by NUL bytes; the list is split and parsed into the user map and
// the text expanded with it (with or without the system macros).
#include "fuzz_support.h"
#include "macros/macros.h"

#include <cstddef>
#include <cstdint>

using namespace ldweave;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::vector<std::string> parts = splitFuzzInput(data, size, 3);
    const bool useSystemMacros = !parts[0].empty() && (parts[0][0] & 1);
    const QStringList items = splitMacroList(QString::fromStdString(parts[1]));
    const MacroMap macros = parseMacroDefinitions(items);
    const QString text = QString::fromStdString(parts[2]);
    const QString expanded = expandMacros(text, macros, useSystemMacros);
    if (expanded.size() > std::max(kMaxExpandedLength, text.size()) + kMaxExpandedLength)
        __builtin_trap(); // the length bound was not kept
    return 0;
}
