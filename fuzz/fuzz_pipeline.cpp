// Fuzz target: the whole run. The input holds the memory map text, the section placement text
// and the placement macro definitions, separated by NUL bytes. The memory map is loaded from
// text, the placement text from a file (pre-processed), and the script written to a file.
#include "base/hexception.h"
#include "fuzz_support.h"
#include "ldscript/linker_script_writer.h"
#include "placement/memory_map.h"
#include "placement/memory_map_element.h"

#include <QDir>
#include <QFile>

#include <cstddef>
#include <cstdint>

using namespace ldweave;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::vector<std::string> parts = splitFuzzInput(data, size, 3);
    const QDir folder(fuzzScratchFolder());
    const QString placementPath = folder.filePath(QStringLiteral("placement.xml"));
    const QString outputPath = folder.filePath(QStringLiteral("out.ld"));
    writeFuzzFile(placementPath, parts[1]);

    MemoryMap memoryMap;
    MemoryMap placement;
    try {
        if (!memoryMap.loadText(
                QString::fromLocal8Bit(parts[0].data(), qsizetype(parts[0].size()))))
            return 0;
        MemoryMapElement *placementRoot = nullptr;
        if (placement.loadFile(placementPath, QString::fromLocal8Bit(parts[2].c_str()), true))
            placementRoot = placement.rootElement();
        ScriptOptions options;
        options.symbols.insert(QStringLiteral("__fuzz_symbol"), QStringLiteral("0x100"));
        options.checkSegmentOverflow = true;
        options.defaultFillPattern = QStringLiteral("0xff");
        writeLinkerScript(outputPath, memoryMap.rootElement(), placementRoot, options);
    } catch (const HException &) {
        // The run's own errors: the entry point would print them and exit with status 1.
    }
    QFile::remove(outputPath);
    return 0;
}
