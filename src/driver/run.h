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

/// How the process ends after a successful run.
enum class ExitMode {
    Return,    ///< return 0, destroying everything the run built
    Immediate, ///< flush the C streams and end the process, leaving the memory to the system
};

/// The whole process: command line, run sequence, error exit. Returns the exit status; with
/// ExitMode::Immediate a successful run does not return.
int ldweaveMain(int argc, char **argv, ExitMode exitMode = ExitMode::Return);

} // namespace ldweave
