// The command line: run settings, the option loop, the usage text and the -symbols syntax.
#pragma once

#include "ldscript/linker_script_writer.h"

#include <QMap>
#include <QStringList>

#include <cstdio>

namespace ldweave {

struct RunFlags;

/// What one run is asked to do; complete when the option loop ends, read-only afterwards.
struct RunSettings
{
    QString memoryMapFile;
    QString memoryMapMacros;   ///< joined with ";" across repeated options
    QString memoryMapSegments;
    QString sectionPlacementFile;
    QString sectionPlacementMacros; ///< joined with ";" across repeated options
    ScriptOptions script; ///< -symbols, -default-fill-pattern and the two check switches
    QStringList positionalArguments;
    QString outputPath; ///< empty until the command line has been validated
    QString dependencyFile;   ///< -dependency-file: where to write the Make rule; empty for none
    QStringList includePath;  ///< -include-path: folders searched for included files, in order
    bool diagnostics = false; ///< -diagnostics (also set by -check and -strict): run the checks
    bool checkOnly = false;   ///< -check: load, check and lay out, but write nothing
    bool strict = false;      ///< -strict: a warning fails the run
    bool help = false;        ///< --help: print the usage text on standard output, nothing else
    bool version = false;     ///< --version: print the version line, nothing else
};

/// Reads the arguments (program name excluded) into settings and flags: paths keep their bytes
/// (see pathFromBytes), every other argument is read as UTF-8 text. Returns false when the
/// command line is incomplete and the usage text is due; throws HException for a missing option
/// argument, an unknown option or a malformed symbol definition.
bool parseCommandLine(const QList<QByteArray> &arguments, RunSettings &settings,
                      RunFlags &flags);

/// Writes the banner, the notice and the usage text.
void printUsage(std::FILE *out);

/// Writes "ldweave <version>".
void printVersion(std::FILE *out);

/// Adds the definitions of one -symbols argument ("A=1;B=0x20") to the map, replacing earlier
/// values. Throws HException for a definition without both a name and a value.
void addSymbolDefinitions(const QString &argument, QMap<QString, QString> &symbols);

} // namespace ldweave
