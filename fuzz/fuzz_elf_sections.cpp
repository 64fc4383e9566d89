// Fuzz target: the ELF reading of ldweave-size on one file's bytes, then the usage computed from
// its sections and both reports, as a run does after reading a file.
#include "base/hexception.h"
#include "size/elf_sections.h"
#include "size/memory_usage.h"
#include "size/usage_report.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

using namespace ldweave;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<ElfSection> sections;
    try {
        sections = readElfSections(
            QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)),
            QStringLiteral("fuzz.elf"));
    } catch (const HException &) {
        return 0; // a rejected file ends in one error, which is all a run prints
    }
    // The segments of the example boards: the seeds' sections land in them.
    const MemoryUsage usage = computeMemoryUsage(
        {{QStringLiteral("FLASH"), 0x0, 0x40000, 0},
         {QStringLiteral("SRAM"), 0x20000000, 0x10000, 0},
         {QStringLiteral("DRAM"), 0x80000000, 0x50000, 0}},
        std::move(sections));
    usageText(usage, true);
    usageJson(usage);
    return 0;
}
