// The occupied address ranges are sorted and merged once; each segment then adds up the merged
// ranges that overlap it, so a byte counts once however many sections cover it.
#include "size/memory_usage.h"

#include "base/diagnostics.h"
#include "base/file_system.h"
#include "placement/memory_map_element.h"
#include "placement/statement_text.h"

#include <algorithm>
#include <utility>

namespace ldweave {

namespace {

using Range = std::pair<uint64_t, uint64_t>; // [first, second)

// The address ranges the sections occupy, sorted and merged: no two overlap or touch.
std::vector<Range> occupiedRanges(const std::vector<ElfSection> &sections)
{
    std::vector<Range> ranges;
    for (const ElfSection &section : sections) {
        if (section.size == 0)
            continue;
        if (!section.isThreadLocalTemplate)
            ranges.emplace_back(section.address, section.address + section.size);
        if (section.isLoadedElsewhere())
            ranges.emplace_back(section.loadAddress, section.loadAddress + section.size);
    }
    std::sort(ranges.begin(), ranges.end());
    std::vector<Range> merged;
    for (const Range &range : ranges) {
        if (!merged.empty() && range.first <= merged.back().second)
            merged.back().second = std::max(merged.back().second, range.second);
        else
            merged.push_back(range);
    }
    return merged;
}

uint64_t usedBytes(const std::vector<Range> &merged, const SegmentUsage &segment)
{
    uint64_t used = 0;
    // The first range that ends after the segment starts; the ranges are disjoint and sorted,
    // so their ends are sorted too.
    auto range = std::upper_bound(merged.begin(), merged.end(), segment.start,
                                  [](uint64_t address, const Range &r) { return address < r.second; });
    for (; range != merged.end() && range->first < segment.end(); ++range)
        used += std::min(range->second, segment.end()) - std::max(range->first, segment.start);
    return used;
}

// Decision: a section belongs to the first segment, by start address, that holds its first
// byte; an empty section to one that holds its address or ends there, so an empty section
// right after the last byte of a full segment still belongs to it. Memory maps hold a handful
// of segments, and overlapping segments rule out a sorted look-up, so each section looks
// through all of them.
int segmentHolding(const std::vector<SegmentUsage> &segments, uint64_t address, uint64_t size)
{
    for (size_t index = 0; index < segments.size(); ++index) {
        const SegmentUsage &segment = segments[index];
        if (address >= segment.start
            && (address < segment.end() || (size == 0 && address == segment.end())))
            return int(index);
    }
    return SectionPlacement::kNoSegment;
}

QString quoted(const QByteArray &name)
{
    return u'\'' + pathFromBytes(name) + u'\'';
}

void warn(const QString &text)
{
    printDiagnostic(Severity::Warning, QString(), text);
}

// Warns when the range of size bytes at address, held by segment (or by none), does not fit
// in it. where is how the message names the address: "at" or "is loaded at".
void warnAboutRange(const MemoryUsage &usage, const SectionPlacement &placement, int segment,
                    uint64_t address, const char *where)
{
    const QString section = QStringLiteral("section ") + quoted(placement.section.name);
    if (segment == SectionPlacement::kNoSegment) {
        warn(section + u' ' + QLatin1String(where) + QStringLiteral(" 0x") + hex8(address)
             + QStringLiteral(", in no memory segment"));
        return;
    }
    const SegmentUsage &holder = usage.segments[size_t(segment)];
    if (address + placement.section.size > holder.end()) {
        warn(section + u' ' + QLatin1String(where) + QStringLiteral(" 0x") + hex8(address)
             + QStringLiteral(" runs past the end of memory segment '") + holder.name + u'\'');
    }
}

} // namespace

std::vector<SegmentUsage> memorySegments(MemoryMapElement *memoryMapRoot)
{
    std::vector<SegmentUsage> segments;
    if (!memoryMapRoot)
        return segments;
    const QList<MemoryMapElement *> elements
        = collectElements(memoryMapRoot, ElementKind::MemorySegment, CollectOrder::Reversed);
    for (const MemoryMapElement *element : elements)
        segments.push_back({element->symbolName(), element->start(), element->size(), 0});
    // Decision: segments are reported by start address, the order of a memory map drawn from
    // the bottom up, whatever order the file or the segment list gave them in.
    std::stable_sort(segments.begin(), segments.end(),
                     [](const SegmentUsage &a, const SegmentUsage &b) { return a.start < b.start; });
    return segments;
}

MemoryUsage computeMemoryUsage(std::vector<SegmentUsage> segments,
                               std::vector<ElfSection> sections)
{
    MemoryUsage usage;
    const std::vector<Range> merged = occupiedRanges(sections);
    for (SegmentUsage &segment : segments)
        segment.used = usedBytes(merged, segment);
    for (ElfSection &section : sections) {
        SectionPlacement placement;
        placement.segment = segmentHolding(segments, section.address, section.size);
        if (section.hasContents)
            placement.loadSegment = segmentHolding(segments, section.loadAddress, section.size);
        placement.section = std::move(section);
        usage.sections.push_back(std::move(placement));
    }
    usage.segments = std::move(segments);
    return usage;
}

uint64_t usedHundredths(const SegmentUsage &segment)
{
    // used is at most size, and size at most 2^32, so the product stays far below 2^64.
    return segment.size == 0 ? 0 : segment.used * 10000 / segment.size;
}

void warnAboutPlacement(const MemoryUsage &usage)
{
    for (const SectionPlacement &placement : usage.sections) {
        const ElfSection &section = placement.section;
        if (section.size == 0)
            continue;
        if (!section.isThreadLocalTemplate)
            warnAboutRange(usage, placement, placement.segment, section.address, "at");
        if (section.isLoadedElsewhere())
            warnAboutRange(usage, placement, placement.loadSegment, section.loadAddress,
                           "is loaded at");
    }
}

} // namespace ldweave
