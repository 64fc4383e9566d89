// How full each memory segment is: the bytes of the segment that the sections of a linked
// program occupy where they run and, for contents loaded elsewhere, where they are loaded. Bytes
// occupied twice (a section and the reservation it runs in, a run and a load address) count once.
#pragma once

#include "size/elf_sections.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace ldweave {

class MemoryMapElement;

/// One memory segment of the memory map and the bytes of it in use.
struct SegmentUsage
{
    QString name;
    uint64_t start = 0;
    uint64_t size = 0;
    uint64_t used = 0; ///< bytes of [start, start + size) that some section occupies

    uint64_t end() const { return start + size; }
};

/// Where one section lies: indexes into MemoryUsage::segments, or kNoSegment.
struct SectionPlacement
{
    static constexpr int kNoSegment = -1;

    ElfSection section;
    int segment = kNoSegment;     ///< the segment that holds its run address
    int loadSegment = kNoSegment; ///< the segment that holds its load address (contents only)
};

struct MemoryUsage
{
    std::vector<SegmentUsage> segments;     ///< by start address
    std::vector<SectionPlacement> sections; ///< in the order of the ELF file
};

/// The memory segments of a loaded memory map, by start address (those with equal starts in
/// the order of the script's MEMORY block), each named as there; used is 0.
std::vector<SegmentUsage> memorySegments(MemoryMapElement *memoryMapRoot);

/// Fills in used for each segment and places each section.
MemoryUsage computeMemoryUsage(std::vector<SegmentUsage> segments,
                               std::vector<ElfSection> sections);

/// The share of the segment in use, in hundredths of a percent, rounded down: 10000 only when
/// the segment is full; 0 for a segment of size 0.
uint64_t usedHundredths(const SegmentUsage &segment);

/// Prints a warning on standard error for each section that occupies bytes in no segment, or
/// runs past the end of the segment it starts in.
void warnAboutPlacement(const MemoryUsage &usage);

} // namespace ldweave
