// The run of ldweave-size, from its command line to the report and its exit status.
#pragma once

namespace ldweave {

/// The whole process: command line, memory map, ELF file, report, limit check. Returns the exit
/// status: 0, or 1 after the usage text, an error, or a segment fuller than -max-usage.
int sizeMain(int argc, char **argv);

} // namespace ldweave
