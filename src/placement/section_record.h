// SectionRecord: one program section placed in one memory segment, chained to the section before
// it in that segment. SectionList owns the records in creation order and keeps the look-ups the
// layout engine and the writer need, so no step scans every record.
#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <cstdint>
#include <deque>

namespace ldweave {

class MemoryMapElement;

struct SectionRecord
{
    /// Fills the fields from the section and clears prev's lastInSegment.
    SectionRecord(SectionRecord *prev, MemoryMapElement *section, MemoryMapElement *segment);
    SectionRecord(const SectionRecord &) = delete;
    SectionRecord &operator=(const SectionRecord &) = delete;

    /// Not owned (the same SectionList owns it): the section before this one in its segment.
    SectionRecord *prev;
    /// Not owned: the program section element, owned by its document.
    MemoryMapElement *section;
    /// Not owned: the memory map segment the section is placed in, owned by the memory map.
    MemoryMapElement *segment;
    /// The section's "name" with spaces replaced by "_": the output section name.
    QString symbolName;
    /// The segment's symbol name, shared with prev when it is of the same segment, so a chain
    /// of records converts the segment name once instead of at every use.
    QString segmentSymbolName;
    bool laidOut = false;
    /// The layout engine is inside this record; meeting it again is a cyclic dependency.
    bool visiting = false;
    /// Dropped because none of its run sections exists; laidOut is set as well.
    bool discarded = false;
    /// No later record of the same segment exists.
    bool lastInSegment = true;
    /// The section has "runin" or "runoffset": it is loaded here but runs elsewhere.
    bool loadedElsewhere = false;
    bool placeFromSegmentEnd = false;
    /// Bytes from the segment end to this section's start, when placeFromSegmentEnd is set.
    uint32_t offsetFromSegmentEnd = 0;
    /// Not owned. Set when the record is discarded: its nearest non-discarded record along prev
    /// (null if none). The chain before a discarded record is finished, so this never changes,
    /// and later look-ups jump over a run of discarded records in one step.
    SectionRecord *livePredecessor = nullptr;
};

/// The nearest record that is not discarded, starting at record itself and going along prev.
SectionRecord *liveRecordFrom(SectionRecord *record);

class SectionList
{
public:
    SectionList() = default;
    SectionList(const SectionList &) = delete;
    SectionList &operator=(const SectionList &) = delete;

    /// Creates the record that follows prev (null for the first of a segment) and appends it.
    SectionRecord *append(SectionRecord *prev, MemoryMapElement *section,
                          MemoryMapElement *segment);

    /// Makes room in the look-ups for count more records, so appending them moves no entry.
    void reserve(qsizetype count);

    /// The records in the order they were appended; a record never moves.
    std::deque<SectionRecord> &records() { return m_records; }
    const std::deque<SectionRecord> &records() const { return m_records; }

    /// The first record whose symbolName is name, or null.
    SectionRecord *findBySymbolName(const QString &name) const;
    /// The record named by the first part of a "runin" text (parts separated by ";") that names
    /// one; null when none does.
    SectionRecord *findRunSection(const QString &runIn) const;
    /// The records whose section's whole "runin" text is name, in list order.
    QList<SectionRecord *> runningIn(const QString &name) const;
    /// The last record whose segment has this segment symbol name, or null.
    SectionRecord *lastInSegmentNamed(const QString &segmentSymbolName) const;

private:
    std::deque<SectionRecord> m_records;
    QHash<QString, SectionRecord *> m_firstBySymbolName;
    QHash<QString, QList<SectionRecord *>> m_byRunInText;
    QHash<QString, SectionRecord *> m_lastBySegmentName;
    /// Not owned: the record appended last, and its value slot in m_lastBySegmentName.
    SectionRecord *m_lastSegmentRecord = nullptr;
    SectionRecord **m_lastSegmentSlot = nullptr;
};

} // namespace ldweave
