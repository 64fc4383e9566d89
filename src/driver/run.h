// The run sequence and the process entry with its error exit.
#pragma once

namespace ldweave {

class Diagnostics;
class MemoryMap;
struct RunSettings;

/// Loads the documents named by the settings into memoryMap and placement, checks them when
/// diagnostics are enabled, and writes the linker script and the dependency file (with -check,
/// lays the script out but writes nothing). Throws HException on failure, also before anything is written when an output is an input, and
/// on a warning with -strict.
void runSequence(const RunSettings &settings, MemoryMap &memoryMap, MemoryMap &placement,
                 Diagnostics &diagnostics);

/// The whole process: command line, run sequence, error exit. Returns the exit status.
int ldweaveMain(int argc, char **argv);

} // namespace ldweave
