// The copy and zero tables that table-driven start-up code reads: an output section the writer
// adds to the end of one segment when the placement file asks for it with StartupTables.
#pragma once

#include <QList>

#include <memory>

namespace ldweave {

class MemoryMapElement;
class SectionList;

/// When the placement document holds StartupTables elements (requests, in document order),
/// appends a record for the table section to the chain of the segment the first one names and
/// returns the section element the record points to, which the caller keeps alive while the
/// records live; returns null otherwise. Throws HException when the segment is not in the
/// memory map.
std::unique_ptr<MemoryMapElement> addStartupTables(SectionList &sections,
                                                   MemoryMapElement *memoryMapRoot,
                                                   const QList<MemoryMapElement *> &requests);

} // namespace ldweave
