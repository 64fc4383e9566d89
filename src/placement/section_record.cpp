// The look-ups of SectionList are filled as records are appended; records never change the texts
// they are indexed by, and none is removed while the list lives.
#include "placement/section_record.h"

#include "placement/memory_map_element.h"

#include <QStringList>

namespace ldweave {

SectionRecord::SectionRecord(SectionRecord *prev, MemoryMapElement *section,
                             MemoryMapElement *segment)
    : prev(prev)
    , section(section)
    , segment(segment)
    , symbolName(section->symbolName())
    , segmentSymbolName(prev && prev->segment == segment ? prev->segmentSymbolName
                                                         : segment->symbolName())
    , loadedElsewhere(section->isLoadedElsewhere())
{
    if (prev)
        prev->lastInSegment = false;
}

SectionRecord *liveRecordFrom(SectionRecord *record)
{
    while (record && record->discarded)
        record = record->livePredecessor;
    return record;
}

SectionRecord *SectionList::append(SectionRecord *prev, MemoryMapElement *section,
                                   MemoryMapElement *segment)
{
    SectionRecord *record = &m_records.emplace_back(prev, section, segment);
    // One hash look-up: a new slot starts null and only the first record fills it.
    SectionRecord *&first = m_firstBySymbolName[record->symbolName];
    if (!first)
        first = record;
    if (section->hasRunIn())
        m_byRunInText[section->runIn()].append(record);
    // A record that continues the chain of the record appended just before it takes over that
    // record's slot; no key has been added since, so the slot has not moved.
    if (prev && prev == m_lastSegmentRecord && prev->segment == segment) {
        *m_lastSegmentSlot = record;
    } else {
        m_lastSegmentSlot = &m_lastBySegmentName[record->segmentSymbolName];
        *m_lastSegmentSlot = record;
    }
    m_lastSegmentRecord = record;
    return record;
}

void SectionList::reserve(qsizetype count)
{
    m_firstBySymbolName.reserve(m_firstBySymbolName.size() + count);
}

SectionRecord *SectionList::findBySymbolName(const QString &name) const
{
    return m_firstBySymbolName.value(name, nullptr);
}

SectionRecord *SectionList::findRunSection(const QString &runIn) const
{
    const QStringList parts = runIn.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        if (SectionRecord *runSection = findBySymbolName(part))
            return runSection;
    }
    return nullptr;
}

QList<SectionRecord *> SectionList::runningIn(const QString &name) const
{
    return m_byRunInText.value(name);
}

SectionRecord *SectionList::lastInSegmentNamed(const QString &segmentSymbolName) const
{
    return m_lastBySegmentName.value(segmentSymbolName, nullptr);
}

} // namespace ldweave
