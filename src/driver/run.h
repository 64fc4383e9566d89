// The run sequence and the process entry with its error exit.
#pragma once

namespace ldweave {

class MemoryMap;
struct RunSettings;

/// Loads the documents named by the settings into memoryMap and placement and writes the linker
/// script and the dependency file. Throws HException (or a bare QString from the layout engine)
/// on failure, also before anything is written when an output is an input.
void runSequence(const RunSettings &settings, MemoryMap &memoryMap, MemoryMap &placement);

/// The whole process: command line, run sequence, error exit. Returns the exit status.
int ldweaveMain(int argc, char **argv);

} // namespace ldweave
