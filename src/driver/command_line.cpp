// The option loop reads arguments left to right; options match the whole argument exactly.
#include "driver/command_line.h"

#include "base/file_system.h"
#include "base/hexception.h"
#include "base/product.h"
#include "base/run_flags.h"
#include "macros/macros.h"

#include <QRegularExpression>

#include <string>

namespace ldweave {

namespace {

// Hands out the argument that follows an option, verbatim even when it starts with "-". Paths
// keep their bytes; every other argument is text.
class ArgumentCursor
{
public:
    explicit ArgumentCursor(const QList<QByteArray> &arguments) : m_arguments(arguments) {}

    bool atEnd() const { return m_index >= m_arguments.size(); }
    QString current() const { return QString::fromLocal8Bit(m_arguments.at(m_index)); }
    QString currentPath() const { return pathFromBytes(m_arguments.at(m_index)); }
    void advance() { ++m_index; }

    QString nextArgument(const char *missingMessage)
    {
        next(missingMessage);
        return current();
    }
    QString nextPath(const char *missingMessage)
    {
        next(missingMessage);
        return currentPath();
    }

private:
    void next(const char *missingMessage)
    {
        if (m_index + 1 >= m_arguments.size())
            throw HException(std::string(missingMessage));
        ++m_index;
    }

    const QList<QByteArray> &m_arguments;
    qsizetype m_index = 0;
};

void appendMacros(QString &setting, const QString &macros)
{
    if (!setting.isEmpty())
        setting += u';';
    setting += macros;
}

// Decision: an -entry symbol that is empty or holds a blank, a line break or a parenthesis is an
// error: ENTRY takes one symbol name, and anything else would make GNU ld fail on the script or
// read a command of the user's making from it.
void checkEntrySymbol(const QString &symbol)
{
    static const QRegularExpression unfit(QStringLiteral("[\\s()]"));
    if (symbol.isEmpty() || symbol.contains(unfit)) {
        QString shown = symbol;
        shown.replace(u'\n', QStringLiteral("\\n")).replace(u'\r', QStringLiteral("\\r"));
        throw HException(QStringLiteral("entry symbol '") + shown
                         + QStringLiteral("' is not a symbol name"));
    }
}

} // namespace

bool parseCommandLine(const QList<QByteArray> &arguments, RunSettings &settings,
                      RunFlags &flags)
{
    settings.script.checkUnplacedSections = true;
    settings.script.checkSegmentOverflow = false;

    for (ArgumentCursor cursor(arguments); !cursor.atEnd(); cursor.advance()) {
        const QString argument = cursor.current();
        if (argument == u"-memory-map-file") {
            settings.memoryMapFile = cursor.nextPath("file required for -memory-map-file");
        } else if (argument == u"-memory-map-macros") {
            appendMacros(settings.memoryMapMacros,
                         cursor.nextArgument("macro definition required for -memory-map-macros"));
        } else if (argument == u"-memory-map-segments") {
            settings.memoryMapSegments =
                cursor.nextArgument("segment list for -memory-map-segments");
        } else if (argument == u"-section-placement-file") {
            settings.sectionPlacementFile
                = cursor.nextPath("file required for -section-placement-file");
        } else if (argument == u"-section-placement-macros"
                   || argument == u"-section-placment-macros") {
            // The misspelt form is an accepted alias, kept for existing build scripts.
            appendMacros(
                settings.sectionPlacementMacros,
                cursor.nextArgument("macro definition required for -section-placement-macros"));
        } else if (argument == u"-symbols") {
            addSymbolDefinitions(cursor.nextArgument("symbol definition required for -symbol"),
                                 settings.script.symbols);
        } else if (argument == u"-default-fill-pattern") {
            settings.script.defaultFillPattern =
                cursor.nextArgument("pattern required for -default-fill-pattern");
        } else if (argument == u"-check-segment-overflow") {
            settings.script.checkSegmentOverflow = true;
        } else if (argument == u"-no-check-unplaced-sections") {
            settings.script.checkUnplacedSections = false;
        } else if (argument == u"-disable-missing-runin-error") {
            flags.missingRunInIsError = false;
        } else if (argument == u"-verbose") {
            flags.verbose = true;
        } else if (argument == u"-dependency-file") {
            // Decision: the extension options are not in the usage text, which stays as it has
            // always been for scripts that read it; the manual page and the README list them.
            settings.dependencyFile = cursor.nextPath("file required for -dependency-file");
        } else if (argument == u"-entry") {
            settings.script.entry = cursor.nextArgument("symbol required for -entry");
            checkEntrySymbol(settings.script.entry);
        } else if (argument == u"-include-path") {
            settings.includePath.append(cursor.nextPath("folder required for -include-path"));
        } else if (argument == u"-diagnostics") {
            settings.diagnostics = true;
        } else if (argument == u"-check") {
            settings.checkOnly = true;
            settings.diagnostics = true;
        } else if (argument == u"-strict") {
            settings.strict = true;
            settings.diagnostics = true;
        } else if (argument == u"--help" || argument == u"--version") {
            // Decision: the two long forms are answered as soon as they are met, whatever else
            // the command line holds, as other tools do; every other "--" argument is still an
            // unknown option.
            settings.help = argument == u"--help";
            settings.version = argument == u"--version";
            return true;
        } else if (argument.startsWith(u'-')) {
            throw HException(QStringLiteral("unknown option option ") + argument);
        } else {
            settings.positionalArguments.append(cursor.currentPath());
        }
    }

    // Decision: -check writes nothing, so it needs no output path; one given is still checked
    // the way a real run would check it.
    const qsizetype outputs = settings.positionalArguments.size();
    if ((settings.memoryMapFile.isEmpty() && settings.memoryMapSegments.isEmpty())
        || !(outputs == 1 || (outputs == 0 && settings.checkOnly)))
        return false;
    if (outputs == 1)
        settings.outputPath = settings.positionalArguments.first();
    return true;
}

void printUsage(std::FILE *out)
{
    const std::string release = std::string(kReleaseMajor) + kReleaseMinor;
    std::fprintf(out, "%s %s - Release %s\n", kProductTitle, "ldweave", release.c_str());
    std::fprintf(out, "Copyright (C) 2026 the ldweave developers.\n");
    std::fflush(out);
    std::fputs("\n"
               "Usage:\n"
               "\n"
               "  ldweave -memory-map-file <memory-map> [options] <ld-script>\n"
               "\n",
               out);
    static const char *const options[][2] = {
        {"<ld-script>", "ld script output file"},
        {"<memory-map>", "Memory map file"},
        {"-check-segment-overflow", "Add checks for segment overflow"},
        {"-no-check-unplaced-sections", "Remove checks for unplaced sections"},
        {"-disable-missing-runin-error", "Discard any sections with a missing run in section"},
        {"-default-fill-pattern <pattern>",
         "Specifies the default fill pattern for unspecified regions of memory"},
        {"-memory-map-file <file>", "Generate ld script from memory map file"},
        {"-memory-map-macros <macros>", "Define memory map file macros"},
        {"-memory-map-segments <segments>", "Define memory map segments"},
        {"-section-placement-file <file>", "Use section placement file"},
        {"-section-placement-macros <macros>", "Define section placement file macros"},
        {"-symbols <symbol-definitions>", "Add symbol definitions to ld script"},
        {"-verbose", "Enable verbose output"},
    };
    for (const auto &option : options)
        std::fprintf(out, "  %-36s%s\n", option[0], option[1]);
}

void printVersion(std::FILE *out)
{
    std::fprintf(out, "ldweave %s%s\n", kReleaseMajor, kReleaseMinor);
}

void addSymbolDefinitions(const QString &argument, QMap<QString, QString> &symbols)
{
    for (const QString &definition : splitMacroList(argument)) {
        const QStringList pieces = definition.split(u'=', Qt::SkipEmptyParts);
        // Decision: a definition that yields no name or no value ("A=", "=1", "A") is an error.
        // Ignoring it would leave the symbol undefined and the mistake would only surface later
        // as an undefined reference at link time, far from the command line that caused it.
        if (pieces.size() < 2)
            throw HException(QStringLiteral("symbol definition '") + definition
                             + QStringLiteral("' needs a name and a value"));
        // Decision: a line break in a name or value is an error. The script takes both as
        // written, so a line break would start a line of the user's making in the script, where
        // GNU ld would read it as a command of its own (an INCLUDE of any file, say).
        const auto hasLineBreak = [](const QString &text) {
            return text.contains(u'\n') || text.contains(u'\r');
        };
        if (hasLineBreak(pieces.at(0)) || hasLineBreak(pieces.at(1))) {
            QString shown = definition;
            shown.replace(u'\n', QStringLiteral("\\n")).replace(u'\r', QStringLiteral("\\r"));
            throw HException(QStringLiteral("symbol definition '") + shown
                             + QStringLiteral("' holds a line break"));
        }
        symbols.insert(pieces.at(0), pieces.at(1));
    }
}

} // namespace ldweave
