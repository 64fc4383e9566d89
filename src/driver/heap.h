// Tuning of the C heap for a run over large documents.
#pragma once

#include <cstdint>

namespace ldweave {

/// Prepares the heap of a process that reads inputBytes of documents and ends with the run.
/// Above a few hundred kilobytes of input, the heap is grown once by an estimate of what the
/// run builds from it, and that range is advised for transparent huge pages. Changes only how
/// memory is obtained, never what the run does; without huge pages in the kernel, or under an
/// allocator other than the C library's, it has no effect beyond the allocator's settings.
void prepareHeapForInput(uint64_t inputBytes);

} // namespace ldweave
