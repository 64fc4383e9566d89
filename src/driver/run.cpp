// The run sequence from settings to finished script, and the single place where a failed run
// is reported and its output file removed.
#include "driver/run.h"

#include "base/diagnostics.h"
#include "base/hexception.h"
#include "base/run_flags.h"
#include "driver/command_line.h"
#include "driver/dependency_file.h"
#include "ldscript/linker_script_writer.h"
#include "macros/property_class_list.h"
#include "placement/memory_map.h"
#include "placement/memory_map_element.h"

#include <QFile>

#include <cstdio>

namespace ldweave {

namespace {

int errorExit(const QByteArray &message, const QString &outputPath)
{
    printDiagnostic(Severity::Error, QByteArray(), message);
    // Whatever is at the output path goes, also a file left by an earlier run: a build must
    // never pick up a stale or half-written script after a failure.
    if (!outputPath.isEmpty() && QFile::exists(outputPath))
        QFile::remove(outputPath);
    return 1;
}

} // namespace

void runSequence(const RunSettings &settings)
{
    const bool verbose = runFlags().verbose;
    MemoryMap memoryMap;
    MemoryMap placement;
    memoryMap.setDiagnostics(settings.diagnostics);
    placement.setDiagnostics(settings.diagnostics);

    if (verbose && !settings.memoryMapFile.isEmpty())
        std::printf("Using memory map file %s\n", settings.memoryMapFile.toLocal8Bit().constData());
    if (!settings.memoryMapFile.isEmpty()) {
        if (!memoryMap.loadFile(settings.memoryMapFile, settings.memoryMapMacros, true))
            throw HException(std::string("cannot load memory map file"));
    } else if (!memoryMap.loadText(memoryMapTextFromSegments(settings.memoryMapSegments))) {
        // Decision: a segment list whose text does not parse (a field holding XML mark-up such
        // as "<") is an error. Treating it as a map without segments would write a script
        // that links nothing where the user asked for memory.
        throw HException(std::string("cannot load memory map segments"));
    }

    MemoryMapElement *placementRoot = nullptr;
    if (!settings.sectionPlacementFile.isEmpty()) {
        if (verbose)
            std::printf("Using section placement file %s\n",
                        settings.sectionPlacementFile.toLocal8Bit().constData());
        if (!placement.loadFile(settings.sectionPlacementFile, settings.sectionPlacementMacros,
                                true))
            throw HException(std::string("cannot load section placement file"));
        placementRoot = placement.rootElement();
    }

    writeLinkerScript(settings.outputPath, memoryMap.rootElement(), placementRoot,
                      settings.script);

    // Decision: the dependency file is written after the script, so a failed run writes none
    // and leaves an earlier one as it is (the script it describes is removed, which makes any
    // build run the tool again). It is rewritten whenever its rule changes, also when the
    // script itself did not.
    if (!settings.dependencyFile.isEmpty())
        writeDependencyFile(settings.dependencyFile, settings.outputPath,
                            memoryMap.filesRead() + placement.filesRead());
}

int ldweaveMain(int argc, char **argv)
{
    RunSettings settings;
    createMacroTable();
    try {
        QStringList arguments;
        for (int i = 1; i < argc; ++i)
            arguments.append(QString::fromLocal8Bit(argv[i]));
        if (!parseCommandLine(arguments, settings, runFlags())) {
            printUsage(stderr);
            return 1;
        }
        runSequence(settings);
    } catch (const HException &error) {
        return errorExit(QByteArray::fromStdString(error.message()), settings.outputPath);
    } catch (const QString &error) {
        return errorExit(error.toLocal8Bit(), settings.outputPath);
    }
    std::fflush(stdout);
    return 0;
}

} // namespace ldweave
