// The option loop reads arguments left to right; options match the whole argument exactly.
#include "size/size_command_line.h"

#include "base/file_system.h"
#include "base/hexception.h"
#include "base/product.h"

#include <QRegularExpression>

#include <string>

namespace ldweave {

namespace {

// Decision: a limit is a percentage from 0 to 100 with at most two decimals ("90", "97.5"), the
// precision of the report; anything else is an error rather than a limit that never fails.
uint64_t readPercentage(const QString &text)
{
    static const QRegularExpression percentage(QStringLiteral("^(\\d{1,3})(?:\\.(\\d{1,2}))?$"));
    const QRegularExpressionMatch match = percentage.match(text);
    const uint64_t hundredths = match.hasMatch()
                                    ? match.captured(1).toULongLong() * 100
                                          + match.captured(2).leftJustified(2, u'0').toULongLong()
                                    : UINT64_MAX;
    if (hundredths > 10000) {
        throw HException(QStringLiteral("max usage '") + text
                         + QStringLiteral("' is not a percentage from 0 to 100"));
    }
    return hundredths;
}

} // namespace

bool parseSizeCommandLine(const QList<QByteArray> &arguments, SizeSettings &settings)
{
    QStringList files;
    for (qsizetype index = 0; index < arguments.size(); ++index) {
        const QString argument = QString::fromLocal8Bit(arguments.at(index));
        // The argument after an option, verbatim even when it starts with "-".
        const auto next = [&](const char *missingMessage) {
            if (index + 1 >= arguments.size())
                throw HException(std::string(missingMessage));
            return arguments.at(++index);
        };
        if (argument == u"-memory-map-file") {
            settings.memoryMapFile = pathFromBytes(next("file required for -memory-map-file"));
        } else if (argument == u"-memory-map-macros") {
            const QString macros = QString::fromLocal8Bit(
                next("macro definition required for -memory-map-macros"));
            settings.memoryMapMacros += (settings.memoryMapMacros.isEmpty() ? "" : ";") + macros;
        } else if (argument == u"-memory-map-segments") {
            settings.memoryMapSegments
                = QString::fromLocal8Bit(next("segment list for -memory-map-segments"));
        } else if (argument == u"-include-path") {
            settings.includePath.append(pathFromBytes(next("folder required for -include-path")));
        } else if (argument == u"-format") {
            const QString format = QString::fromLocal8Bit(next("format required for -format"));
            if (format != u"text" && format != u"json")
                throw HException(QStringLiteral("format '") + format
                                 + QStringLiteral("' is neither text nor json"));
            settings.json = format == u"json";
        } else if (argument == u"-sections") {
            settings.sections = true;
        } else if (argument == u"-max-usage") {
            settings.maxUsageText = QString::fromLocal8Bit(next("percentage required for -max-usage"));
            settings.maxUsage = readPercentage(settings.maxUsageText);
        } else if (argument == u"--help" || argument == u"--version") {
            settings.help = argument == u"--help";
            settings.version = argument == u"--version";
            return true;
        } else if (argument.startsWith(u'-') && argument.size() > 1) {
            throw HException(QStringLiteral("unknown option '") + argument + u'\'');
        } else {
            files.append(pathFromBytes(arguments.at(index)));
        }
    }
    if ((settings.memoryMapFile.isEmpty() && settings.memoryMapSegments.isEmpty())
        || files.size() != 1)
        return false;
    settings.elfFile = files.first();
    return true;
}

void printSizeUsage(std::FILE *out)
{
    const std::string release = std::string(kReleaseMajor) + kReleaseMinor;
    std::fprintf(out, "%s %s - Release %s\n", kProductTitle, "ldweave-size", release.c_str());
    std::fprintf(out, "Copyright (C) 2026 the ldweave developers.\n");
    std::fputs("\n"
               "Usage:\n"
               "\n"
               "  ldweave-size (-memory-map-file <file> | -memory-map-segments <segments>)\n"
               "               [options] <elf-file>\n"
               "\n",
               out);
    static const char *const options[][2] = {
        {"<elf-file>", "Linked program to report on"},
        {"-memory-map-file <file>", "Memory map file, as given to ldweave"},
        {"-memory-map-segments <segments>", "Memory map segments, as given to ldweave"},
        {"-memory-map-macros <macros>", "Define memory map file macros"},
        {"-include-path <folder>", "Search folder for included files"},
        {"-format text|json", "Report as tables (the default) or as JSON"},
        {"-sections", "Add a table of every allocated section"},
        {"-max-usage <percent>", "Fail when a segment is fuller than this"},
    };
    for (const auto &option : options)
        std::fprintf(out, "  %-36s%s\n", option[0], option[1]);
}

void printSizeVersion(std::FILE *out)
{
    std::fprintf(out, "ldweave-size %s%s\n", kReleaseMajor, kReleaseMinor);
}

} // namespace ldweave
