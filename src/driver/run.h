// The run sequence and the process entry with its error exit.
#pragma once

namespace ldweave {

struct RunSettings;

/// Loads the documents named by the settings and writes the linker script. Throws HException
/// (or a bare QString from the layout engine) on failure.
void runSequence(const RunSettings &settings);

/// The whole process: command line, run sequence, error exit. Returns the exit status.
int ldweaveMain(int argc, char **argv);

} // namespace ldweave
