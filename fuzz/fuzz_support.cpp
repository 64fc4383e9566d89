// Helpers shared by the fuzz targets.
#include "fuzz_support.h"

#include "macros/property_class_list.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

// Runs once before the first input: the run sequence creates the macro table before anything
// is loaded, and so does every target that uses these helpers.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    ldweave::createMacroTable();
    return 0;
}

namespace ldweave {

std::vector<std::string> splitFuzzInput(const uint8_t *data, size_t size, size_t maxParts)
{
    std::vector<std::string> parts;
    const char *text = reinterpret_cast<const char *>(data);
    size_t start = 0;
    for (size_t i = 0; i < size && parts.size() + 1 < maxParts; ++i) {
        if (text[i] == '\0') {
            parts.emplace_back(text + start, i - start);
            start = i + 1;
        }
    }
    parts.emplace_back(text + start, size - start);
    parts.resize(maxParts);
    return parts;
}

const QString &fuzzScratchFolder()
{
    // Destroyed at exit, which removes the folder and whatever the targets left in it.
    static QTemporaryDir folder;
    static const QString path = folder.isValid() ? folder.path() : QString();
    if (path.isEmpty())
        std::abort();
    return path;
}

void writeFuzzFile(const QString &path, const std::string &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()))
        std::abort();
}

} // namespace ldweave
