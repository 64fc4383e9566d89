// The run loads the memory map with ldweave's own loader, reads the ELF file, and writes the
// report on standard output; warnings and errors go to standard error.
#include "size/size_run.h"

#include "base/diagnostics.h"
#include "base/file_system.h"
#include "base/hexception.h"
#include "macros/property_class_list.h"
#include "placement/memory_map.h"
#include "size/memory_usage.h"
#include "size/size_command_line.h"
#include "size/usage_report.h"

#include <cerrno>
#include <cstdio>
#include <new>

namespace ldweave {

namespace {

void writeReport(const QByteArray &report)
{
    if (std::fwrite(report.constData(), 1, size_t(report.size()), stdout) != size_t(report.size())
        || std::fflush(stdout) != 0)
        throw HException(QStringLiteral("cannot write the report: ") + systemErrorText(errno));
}

// Prints an error for each segment fuller than the limit; returns whether there was none.
bool isWithinLimit(const MemoryUsage &usage, uint64_t limitHundredths, const QString &limitText)
{
    bool within = true;
    for (const SegmentUsage &segment : usage.segments) {
        // Compared exactly, not through the rounded percentage: a segment a byte above the
        // limit fails.
        if (segment.used * 10000 <= limitHundredths * segment.size)
            continue;
        printDiagnostic(Severity::Error, QString(),
                        segment.name + QStringLiteral(" is ") + percentText(usedHundredths(segment))
                            + QStringLiteral("% full (limit ") + limitText + QStringLiteral("%)"));
        within = false;
    }
    return within;
}

int run(const SizeSettings &settings)
{
    MemoryMap memoryMap;
    memoryMap.setIncludePath(settings.includePath);
    loadMemoryMap(memoryMap, settings.memoryMapFile, settings.memoryMapMacros,
                  settings.memoryMapSegments);
    const MemoryUsage usage = computeMemoryUsage(memorySegments(memoryMap.rootElement()),
                                                 readElfFile(settings.elfFile));
    warnAboutPlacement(usage);
    writeReport(settings.json ? usageJson(usage) : usageText(usage, settings.sections));
    if (settings.maxUsage && !isWithinLimit(usage, *settings.maxUsage, settings.maxUsageText))
        return 1;
    return 0;
}

} // namespace

int sizeMain(int argc, char **argv)
{
    createMacroTable();
    SizeSettings settings;
    try {
        QList<QByteArray> arguments;
        for (int i = 1; i < argc; ++i)
            arguments.append(QByteArray(argv[i]));
        const bool complete = parseSizeCommandLine(arguments, settings);
        if (settings.help || settings.version) {
            settings.help ? printSizeUsage(stdout) : printSizeVersion(stdout);
            return 0;
        }
        if (!complete) {
            printSizeUsage(stderr);
            return 1;
        }
        return run(settings);
    } catch (const HException &error) {
        // Decision: the reason a file could not be read ("path: No such file or directory")
        // always follows the error line; ldweave keeps it for -diagnostics only because its
        // error lines are fixed, and this program has no such past to keep.
        printDiagnostic(Severity::Error, QByteArray::fromStdString(error.position()),
                        QByteArray::fromStdString(error.message()));
        if (!error.detail().empty())
            printNote(QByteArray::fromStdString(error.detail()));
    } catch (const std::bad_alloc &) {
        printDiagnostic(Severity::Error, QByteArray(), QByteArrayLiteral("out of memory"));
    }
    return 1;
}

} // namespace ldweave
