// Fuzz target: the pre-processor on a parsed document. The input holds a definition list and
// the document text, separated by a NUL byte. The text is stored as a file, so that an include
// of "self.xml" reads it again.
#include "fuzz_support.h"
#include "macros/macros.h"
#include "xml/preprocessor.h"

#include <QDir>

#include <cstddef>
#include <cstdint>

using namespace ldweave;

namespace {

class FuzzDocument final : public XMLPP2
{
public:
    FuzzDocument()
        : XMLPP2(true)
    {}
    void warning(const QString &) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::vector<std::string> parts = splitFuzzInput(data, size, 2);
    const QString path = QDir(fuzzScratchFolder()).filePath(QStringLiteral("self.xml"));
    writeFuzzFile(path, parts[1]);

    FuzzDocument document;
    if (document.load(path) != LoadResult::Parsed || !document.root())
        return 0;
    MacroMap macros = parseMacroDefinitions(splitMacroList(QString::fromStdString(parts[0])));
    document.processConditionals(document.root(), path, macros, true);
    return 0;
}
