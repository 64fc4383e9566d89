// The run sequence from settings to finished script, the checks that keep the outputs off the
// inputs, and the single place where a failed run is reported and its output file removed.
#include "driver/run.h"

#include "base/diagnostics.h"
#include "base/file_system.h"
#include "base/hexception.h"
#include "base/run_flags.h"
#include "driver/command_line.h"
#include "driver/dependency_file.h"
#include "driver/heap.h"
#include "ldscript/linker_script_writer.h"
#include "macros/property_class_list.h"
#include "placement/document_checks.h"
#include "placement/memory_map.h"
#include "placement/memory_map_element.h"

#include <cstdio>
#include <cstdlib>
#include <new>
#include <unistd.h>

namespace ldweave {

namespace {

// Decision: an output never replaces an input, and never a file that holds XML. Before anything
// is written, a script or dependency file that is the same file (links followed) as the memory
// map, the placement file, a file they include or import, or as each other, ends the run with
// an error and stays as it is. A linker script never begins with "<", so an existing file at an
// output path that does is an XML file, most likely an input whose option was forgotten
// ("ldweave -memory-map-file map.xml placement.xml"); it is not replaced either. The error exit
// removes neither.

QString quoted(const QString &path)
{
    return u'\'' + path + u'\'';
}

// The files the run reads: those named on the command line and every file loaded so far.
QStringList inputFiles(const RunSettings &settings, const MemoryMap &memoryMap,
                       const MemoryMap &placement)
{
    QStringList inputs;
    for (const QString &path : {settings.memoryMapFile, settings.sectionPlacementFile}) {
        if (!path.isEmpty())
            inputs.append(path);
    }
    return inputs + memoryMap.filesRead() + placement.filesRead();
}

// The outputs of the run, each with its name for messages.
QList<std::pair<QString, QString>> outputFiles(const RunSettings &settings)
{
    QList<std::pair<QString, QString>> outputs{{settings.outputPath, QStringLiteral("script")}};
    if (!settings.dependencyFile.isEmpty())
        outputs.append({settings.dependencyFile, QStringLiteral("dependency file")});
    return outputs;
}

// The input that output is, or an empty text.
QString inputAt(const QString &output, const QStringList &inputs)
{
    const std::optional<FileIdentity> identity = fileIdentity(output);
    if (!identity)
        return QString();
    for (const QString &input : inputs) {
        if (fileIdentity(input) == identity)
            return input;
    }
    return QString();
}

bool sameOutput(const QString &first, const QString &second)
{
    const std::optional<FileIdentity> identity = fileIdentity(first);
    if (identity)
        return identity == fileIdentity(second);
    return pathToBytes(followLinks(first)) == pathToBytes(followLinks(second));
}

// Throws when an output would replace an input, an XML file or the other output.
void checkOutputs(const RunSettings &settings, const QStringList &inputs)
{
    const auto outputs = outputFiles(settings);
    for (const auto &[path, role] : outputs) {
        const QString input = inputAt(path, inputs);
        if (!input.isEmpty()) {
            throw HException(QStringLiteral("cannot write the ") + role + u' ' + quoted(path)
                             + QStringLiteral(": it is the input file ") + quoted(input));
        }
        if (fileKind(path) == FileKind::Regular && fileBeginsWith(path, '<')) {
            throw HException(QStringLiteral("cannot write the ") + role + u' ' + quoted(path)
                             + QStringLiteral(": it holds XML, not a ") + role
                             + QStringLiteral(" (is an option missing before it?)"));
        }
    }
    if (outputs.size() == 2 && sameOutput(outputs[0].first, outputs[1].first)) {
        throw HException(QStringLiteral("cannot write the dependency file ")
                         + quoted(settings.dependencyFile)
                         + QStringLiteral(": it is the script"));
    }
}

// Whether the error exit may remove what is at the output path: a regular file (links
// followed) that is neither an input, nor XML, nor the dependency file.
bool isRemovableOutput(const RunSettings &settings, const QStringList &inputs)
{
    const QString &path = settings.outputPath;
    if (path.isEmpty() || fileKind(path) != FileKind::Regular || fileBeginsWith(path, '<'))
        return false;
    if (!inputAt(path, inputs).isEmpty())
        return false;
    return settings.dependencyFile.isEmpty() || !sameOutput(path, settings.dependencyFile);
}

int errorExit(const RunSettings &settings, const QStringList &inputs, const QByteArray &message,
              const QByteArray &detail, const QByteArray &position)
{
    printDiagnostic(Severity::Error, settings.diagnostics ? position : QByteArray(), message);
    if (settings.diagnostics && !detail.isEmpty())
        printNote(detail);
    // Whatever is at the output path goes, also a file left by an earlier run: a build must
    // never pick up a stale or half-written script after a failure. A symbolic link stays; the
    // file it leads to goes.
    if (isRemovableOutput(settings, inputs))
        ::unlink(pathToBytes(followLinks(settings.outputPath)).constData());
    return 1;
}

// Throws when -strict is given and the run has warned.
void checkStrict(const RunSettings &settings, const Diagnostics &diagnostics)
{
    if (settings.strict && diagnostics.warningCount() > 0) {
        throw HException(QStringLiteral("%1 warning%2, and -strict makes warnings errors")
                             .arg(diagnostics.warningCount())
                             .arg(diagnostics.warningCount() == 1 ? "" : "s"));
    }
}

} // namespace

void runSequence(const RunSettings &settings, MemoryMap &memoryMap, MemoryMap &placement,
                 Diagnostics &diagnostics)
{
    const bool verbose = runFlags().verbose;
    memoryMap.setDiagnostics(&diagnostics);
    placement.setDiagnostics(&diagnostics);
    memoryMap.setIncludePath(settings.includePath);
    placement.setIncludePath(settings.includePath);
    if (!settings.checkOnly)
        checkOutputs(settings, inputFiles(settings, memoryMap, placement));

    if (verbose && !settings.memoryMapFile.isEmpty())
        std::printf("Using memory map file %s\n", pathToBytes(settings.memoryMapFile).constData());
    loadMemoryMap(memoryMap, settings.memoryMapFile, settings.memoryMapMacros,
                  settings.memoryMapSegments);

    MemoryMapElement *placementRoot = nullptr;
    if (!settings.sectionPlacementFile.isEmpty()) {
        if (verbose)
            std::printf("Using section placement file %s\n",
                        pathToBytes(settings.sectionPlacementFile).constData());
        if (!placement.loadFile(settings.sectionPlacementFile, settings.sectionPlacementMacros,
                                true))
            throw HException(QStringLiteral("cannot load section placement file"),
                             placement.fileReadFailure());
        placementRoot = placement.rootElement();
    }

    if (diagnostics.isEnabled())
        checkDocuments(memoryMap.rootElement(), placementRoot, settings.script.symbols,
                       diagnostics);
    checkStrict(settings, diagnostics);

    ScriptOptions options = settings.script;
    options.checkOnly = settings.checkOnly;
    options.diagnostics = &diagnostics;
    if (!settings.checkOnly) // the includes and imports are known now
        checkOutputs(settings, inputFiles(settings, memoryMap, placement));
    writeLinkerScript(settings.outputPath, memoryMap.rootElement(), placementRoot, options);
    checkStrict(settings, diagnostics);
    if (settings.checkOnly)
        return;

    // Decision: the dependency file is written after the script, so a failed run writes none
    // and leaves an earlier one as it is (the script it describes is removed, which makes any
    // build run the tool again). It is rewritten whenever its rule changes, also when the
    // script itself did not.
    if (!settings.dependencyFile.isEmpty())
        writeDependencyFile(settings.dependencyFile, settings.outputPath,
                            memoryMap.filesRead() + placement.filesRead());
}

int ldweaveMain(int argc, char **argv, ExitMode exitMode)
{
    RunSettings settings;
    createMacroTable();
    // The documents live as long as the run, so the error exit can tell the files they read.
    MemoryMap memoryMap;
    MemoryMap placement;
    const auto fail = [&](const QByteArray &message, const QByteArray &detail,
                          const QByteArray &position = QByteArray()) {
        return errorExit(settings, inputFiles(settings, memoryMap, placement), message, detail,
                         position);
    };
    try {
        QList<QByteArray> arguments;
        for (int i = 1; i < argc; ++i)
            arguments.append(QByteArray(argv[i]));
        const bool complete = parseCommandLine(arguments, settings, runFlags());
        if (settings.help || settings.version) {
            settings.help ? printUsage(stdout) : printVersion(stdout);
            return 0;
        }
        if (!complete) {
            printUsage(stderr);
            return 1;
        }
        Diagnostics diagnostics(settings.diagnostics);
        if (exitMode == ExitMode::Immediate) // the process ends with this run
            prepareHeapForInput(fileSize(settings.memoryMapFile)
                                + fileSize(settings.sectionPlacementFile));
        runSequence(settings, memoryMap, placement, diagnostics);
    } catch (const HException &error) {
        return fail(QByteArray::fromStdString(error.message()),
                    QByteArray::fromStdString(error.detail()),
                    QByteArray::fromStdString(error.position()));
    } catch (const std::bad_alloc &) {
        // Decision: running out of memory ends the run like any other error, with its own line
        // and no output left, rather than aborting.
        return fail(QByteArrayLiteral("out of memory"), QByteArray());
    }
    std::fflush(stdout);
    if (exitMode == ExitMode::Immediate) {
        // Every output is complete and closed by now; what is left is freeing the documents,
        // node by node, and Qt's own clean-up, which nobody observes.
        std::fflush(nullptr);
        std::_Exit(0);
    }
    return 0;
}

} // namespace ldweave
