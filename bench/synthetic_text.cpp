#include "synthetic_text.h"

namespace ldweave {

namespace {

std::string segmentName(int index, int segments)
{
    const int half = segments / 2;
    return index < half ? "FLASH" + std::to_string(index) : "RAM" + std::to_string(index - half);
}

// Attributes of the i-th ordinary section; every tenth pair of sections is a run-in pair.
std::string sectionAttributes(int i)
{
    static const char *const kAlignments[] = {"4", "8", "0x100", "1", "4", "16", "010"};
    const std::string name = ".sec" + std::to_string(i);
    std::string text = "name=\"" + name + "\" alignment=\"" + kAlignments[i % 7] + '"';
    if (i % 2 == 0)
        text += " load=\"Yes\"";
    if (i % 7 == 3)
        text += " size=\"0x100\"";
    if (i % 10 == 1)
        text += " fill=\"0xFF\"";
    if (i % 5 == 2)
        text += " inputsections=\"*(" + name + ' ' + name + ".*)\"";
    if (i % 10 == 4)
        text += " address_symbol=\"" + name.substr(1) + "_address\"";
    return text;
}

} // namespace

std::string syntheticMemoryMap(int segments)
{
    std::string text = "<!DOCTYPE Board_Memory_Definition_File>\n<Root name=\"Board\">\n";
    for (int k = 0; k < segments; ++k) {
        const bool flash = k < segments / 2;
        text += "  <MemorySegment name=\"" + segmentName(k, segments) + "\" start=\""
                + (flash ? "0x08000000 + " : "0x20000000 + ") + std::to_string(k) + " * 0x1000000"
                + "\" size=\"4 * 1024 * 1024\" access=\"" + (flash ? "ReadOnly" : "ReadWrite")
                + "\"/>\n";
    }
    return text + "</Root>\n";
}

std::string syntheticPlacement(int sections, int segments)
{
    const int half = segments / 2;
    std::string text = "<!DOCTYPE Linker_Placement_File>\n<Root name=\"Placement\">\n";
    for (int k = 0; k < segments; ++k) {
        text += "  <MemorySegment name=\"" + segmentName(k, segments) + "\">\n";
        for (int i = k; i < sections; i += segments) {
            // Load section i in flash runs in the RAM section that the index i + half places
            // in the paired RAM segment, in the same order on both sides.
            if (i % 20 == 0 && k < half && i + half < sections) {
                text += "    <ProgramSection name=\".load" + std::to_string(i)
                        + "\" load=\"Yes\" alignment=\"4\" runin=\".run" + std::to_string(i)
                        + "\"/>\n";
            } else if ((i - half) % 20 == 0 && k >= half) {
                text += "    <ProgramSection name=\".run" + std::to_string(i - half)
                        + "\" alignment=\"4\"/>\n";
            } else {
                text += "    <ProgramSection " + sectionAttributes(i) + "/>\n";
            }
        }
        text += "    <ProgramSection name=\".tail" + std::to_string(k)
                + "\" size=\"0x400\" place_from_segment_end=\"Yes\"/>\n  </MemorySegment>\n";
    }
    return text + "</Root>\n";
}

} // namespace ldweave
