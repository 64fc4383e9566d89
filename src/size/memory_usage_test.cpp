#include "size/memory_usage.h"

#include <gtest/gtest.h>

namespace ldweave {
namespace {

// Builds a section: contents when load is given (the load address), else none.
ElfSection section(const char *name, uint64_t address, uint64_t size,
                   std::optional<uint64_t> load = std::nullopt, bool threadLocal = false)
{
    return ElfSection{name, address, load.value_or(address), size, load.has_value(),
                      threadLocal && !load};
}

TEST(ComputeMemoryUsage, CountsEachOccupiedByteOnceAndPlacesEverySection)
{
    constexpr int none = SectionPlacement::kNoSegment;
    const struct
    {
        const char *what;
        std::vector<ElfSection> sections;
        uint64_t usedFlash, usedRam;
        std::vector<std::pair<int, int>> placements; // segment, load segment per section
    } rows[] = {
        {"run area reserved and copied: load bytes in FLASH, run bytes in RAM once",
         {section(".text", 0x0, 0x100, 0x0), section(".data", 0x2000, 0x10, 0x100),
          section(".data_run", 0x2000, 0x10)},
         0x110, 0x10, {{0, 0}, {1, 0}, {1, none}}},
        {"clipped at the segment end; the part beyond it counts nowhere",
         {section(".big", 0xF00, 0x200, 0xF00)}, 0x100, 0, {{0, 0}}},
        {"a thread-local template takes no bytes where it runs",
         {section(".tbss", 0x2100, 0x20, std::nullopt, true)}, 0, 0, {{1, none}}},
        {"outside every segment, loaded outside, empty at a segment's end",
         {section(".orphan", 0x5000, 4), section(".data", 0x2000, 8, 0x8000),
          section(".empty", 0x1000, 0, 0x1000)},
         0, 8, {{none, none}, {1, none}, {0, 0}}},
        {"overlapping run and load ranges of one section",
         {section(".shifted", 0x10, 0x20, 0x20)}, 0x30, 0, {{0, 0}}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        const MemoryUsage usage
            = computeMemoryUsage({{"FLASH", 0x0, 0x1000, 0}, {"RAM", 0x2000, 0x1000, 0}},
                                 row.sections);
        EXPECT_EQ(usage.segments[0].used, row.usedFlash);
        EXPECT_EQ(usage.segments[1].used, row.usedRam);
        ASSERT_EQ(usage.sections.size(), row.placements.size());
        for (size_t index = 0; index < row.placements.size(); ++index) {
            EXPECT_EQ(usage.sections[index].segment, row.placements[index].first) << index;
            EXPECT_EQ(usage.sections[index].loadSegment, row.placements[index].second) << index;
        }
    }
}

} // namespace
} // namespace ldweave
