// The linker-script text of one output section: the four statement forms, the closing part with
// the section symbols, the segment usage symbols and the overflow and overlap checks. The layout
// engine decides every piece; this file only spells them out.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <utility>

namespace ldweave {

class ScriptStream;

enum class StatementForm {
    Plain,       ///< loaded and run at LOC
    RunIn,       ///< loaded at LOC, runs at RUNLOC
    RunOffset,   ///< loaded at LOC, runs at its load start plus OFFSET
    Reservation, ///< reserves room for the sections that run in it; no input sections
};

/// Everything the statement of one section depends on.
struct SectionStatement
{
    StatementForm form = StatementForm::Plain;
    QString name;        ///< NAME: the output section name
    QString segmentName; ///< SEG: the segment symbol name
    QString location;    ///< LOC: the load address expression
    QString runLocation; ///< RUNLOC, run-in form only
    QString runOffset;   ///< OFFSET, run-offset form only
    bool isLoaded = false;
    QString input; ///< INPUT, KEEP( ) applied; not written by the reservation form
    std::optional<QString> minimumSize;    ///< non-empty "size" text
    std::optional<uint32_t> sizeAlignment; ///< non-empty "alignment", for the minimum size
    std::optional<QString> addressSymbol;
    std::optional<QString> endSymbol;
    std::optional<QString> sizeSymbol;
    /// The "symbols" assignments, name and expression, in the order written.
    QList<std::pair<QString, QString>> extraSymbols;
    std::optional<QString> fill;    ///< text after "} =", the default already applied
    QStringList runInNames;         ///< reservation form: who runs in this section
    bool isLoadedElsewhere = false; ///< has "runin" or "runoffset"
    bool isLastInSegment = false;
    bool checkSegmentOverflow = false;
    /// Set when the overlap check is due: the live predecessor's name and whether it is loaded
    /// elsewhere.
    std::optional<QString> overlappedName;
    bool overlappedIsLoadedElsewhere = false;
};

/// Writes the statement, its symbols, the segment usage symbols and the checks.
void writeSectionStatement(ScriptStream &stream, const SectionStatement &statement);

/// Writes the statement of a section that takes no memory (debug information, notes): at
/// address 0, with its input sections and nothing else.
void writeNonAllocatedStatement(ScriptStream &stream, const QString &name, const QString &input);

/// The input-section description used when a section names none.
QString defaultInputSections(const QString &name);
/// The same inside "KEEP( )".
QString keptDefaultInputSections(const QString &name);

/// The unsigned value in lower-case hexadecimal, padded with "0" to at least 8 digits.
QString hex8(uint64_t value);

} // namespace ldweave
