// The command line of ldweave-size: its settings, the option loop and the usage text. The memory
// map options are those of ldweave, so a build passes both tools the same words.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <optional>

namespace ldweave {

/// What one ldweave-size run is asked to do; complete when the option loop ends.
struct SizeSettings
{
    QString memoryMapFile;
    QString memoryMapMacros; ///< joined with ";" across repeated options
    QString memoryMapSegments;
    QStringList includePath; ///< -include-path: folders searched for included files, in order
    QString elfFile;
    bool json = false;     ///< -format json
    bool sections = false; ///< -sections: add the section table to the text report
    /// -max-usage: the fullest a segment may be, in hundredths of a percent; none without it.
    std::optional<uint64_t> maxUsage;
    QString maxUsageText; ///< the -max-usage argument as given, for messages
    bool help = false;    ///< --help: print the usage text on standard output, nothing else
    bool version = false; ///< --version: print the version line, nothing else
};

/// Reads the arguments (program name excluded) into settings; paths keep their bytes. Returns
/// false when the memory map or the ELF file is missing, or more than one file is given, and the
/// usage text is due; throws HException for a missing option argument, an unknown option, a
/// format other than text or json, or a -max-usage that is not a percentage.
bool parseSizeCommandLine(const QList<QByteArray> &arguments, SizeSettings &settings);

/// Writes the banner and the usage text.
void printSizeUsage(std::FILE *out);

/// Writes "ldweave-size <version>".
void printSizeVersion(std::FILE *out);

} // namespace ldweave
