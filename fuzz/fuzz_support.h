// Helpers shared by the fuzz targets: splitting one input into parts, and a scratch folder that
// lives as long as the fuzzing process.
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ldweave {

/// Splits data at every NUL byte into at most maxParts parts; the last part keeps any further
/// NUL bytes. Missing parts are empty.
std::vector<std::string> splitFuzzInput(const uint8_t *data, size_t size, size_t maxParts);

/// A folder made once per process under the system's temporary folder and removed at exit.
const QString &fuzzScratchFolder();

/// Writes bytes to a file, replacing it; aborts when that fails (a broken fuzzing set-up).
void writeFuzzFile(const QString &path, const std::string &bytes);

} // namespace ldweave
