// Checks of the loaded documents for what they accept without complaint but is almost surely a
// mistake: unknown element and attribute names, yes/no values that are neither, numbers that do
// not read whole, placement segments the memory map lacks, names given twice, overlapping
// segments, and section settings GNU ld or start-up code cannot honour. Each finding is one
// warning naming the element's file and line and saying what to change; nothing here changes
// the documents or the script.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

namespace ldweave {

class Diagnostics;
class MemoryMapElement;

/// Reports every finding in the two documents on diagnostics. placementRoot may be null;
/// symbols are the -symbols definitions, which a section's size may name.
void checkDocuments(MemoryMapElement *memoryMapRoot, MemoryMapElement *placementRoot,
                    const QMap<QString, QString> &symbols, Diagnostics &diagnostics);

/// The name of candidates nearest to word (differing in letter case, or by at most two edits
/// for names of five or more characters, one for shorter ones); empty when none is that near.
QString nearestName(const QString &word, const QStringList &candidates);

} // namespace ldweave
