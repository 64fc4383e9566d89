// Synthetic input documents for the micro-benchmarks, built in memory: the same shape as the
// whole-program inputs of generate_inputs.py (segments, a mix of section attributes, run-in
// pairs, one section per segment placed from the segment end), without the randomness.
#pragma once

#include <string>

namespace ldweave {

/// A memory map document with `segments` segments, half read-only, half writable.
std::string syntheticMemoryMap(int segments);
/// A section placement document with `sections` program sections over `segments` segments.
std::string syntheticPlacement(int sections, int segments);

} // namespace ldweave
