// The run sequence from settings to finished script, and the single place where a failed run
// is reported and its output file removed.
#include "driver/run.h"

#include "driver/command_line.h"
#include "macros/property_class_list.h"
#include "placement/run_flags.h"
#include "xml/hexception.h"

#include <QFile>

#include <cstdio>

namespace ldweave {

namespace {

int errorExit(const QByteArray &message, const QString &outputPath)
{
    std::fflush(stdout);
    std::fprintf(stderr, "error: %s\n", message.constData());
    // Whatever is at the output path goes, also a file left by an earlier run: a build must
    // never pick up a stale or half-written script after a failure.
    if (!outputPath.isEmpty() && QFile::exists(outputPath))
        QFile::remove(outputPath);
    return 1;
}

} // namespace

void runSequence(const RunSettings &settings)
{
    if (runFlags().verbose && !settings.memoryMapFile.isEmpty())
        std::printf("Using memory map file %s\n", settings.memoryMapFile.toLocal8Bit().constData());
    // TODO(#5): load the documents and call the writer.
    throw HException(std::string("cannot write the linker script: the writer is not built yet"));
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
