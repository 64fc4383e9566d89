// The memory report in its two forms: tables for people, in the manner of GNU ld's memory-usage
// table, and JSON for programs.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace ldweave {

struct MemoryUsage;

/// The segment table (name, used, size, percentage used; sizes in bytes and KiB) and, with
/// withSections, the table of every allocated section: name, run address, load address, size,
/// segment and load segment. Each line ends with a line feed.
QByteArray usageText(const MemoryUsage &usage, bool withSections);

/// {"segments": [{"name", "start", "size", "used", "free", "percent"}, ...], "sections":
/// [{"name", "address", "load_address", "size", "segment", "load_segment"}, ...]}, numbers as
/// integers, percent rounded down; a segment or load address that does not apply is null.
QByteArray usageJson(const MemoryUsage &usage);

/// Hundredths of a percent as a percentage with two decimals: 327 gives "3.27".
QString percentText(uint64_t hundredths);

} // namespace ldweave
