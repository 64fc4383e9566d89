// The linker script writer: the MEMORY block, the segment and user symbols, the section records
// of both documents, placement from the segment end, and the SECTIONS statements through the
// layout engine.
#pragma once

#include <QMap>
#include <QString>

namespace ldweave {

class Diagnostics;
class MemoryMapElement;

/// What the command line asks of the script beyond its two documents.
struct ScriptOptions
{
    QMap<QString, QString> symbols; ///< -symbols: name to value, written in name order
    bool checkSegmentOverflow = false; ///< ASSERTs for segment overflow and overlapping sections
    bool checkUnplacedSections = true; ///< the UNPLACED_SECTIONS memory region
    QString defaultFillPattern;        ///< fill of sections without a "fill"; empty for none
    QString entry; ///< -entry: the symbol of the ENTRY command; empty writes none
    bool checkOnly = false;            ///< lay everything out but write no file (-check)
    /// The run's diagnostics, which count the writer's warnings; null prints them directly.
    Diagnostics *diagnostics = nullptr;
};

/// Writes the whole script to outputPath. memoryMapRoot is the memory map's root element;
/// placementRoot the section placement file's, or null without one. Throws HException when the
/// file cannot be opened and passes on the layout engine's errors. The script goes to a
/// temporary file that replaces outputPath only when complete and different from what is there,
/// so a failure leaves outputPath as it was (for the caller to remove) and an unchanged script
/// keeps the file's modification time.
void writeLinkerScript(const QString &outputPath, MemoryMapElement *memoryMapRoot,
                       MemoryMapElement *placementRoot, const ScriptOptions &options);

} // namespace ldweave
