// The section layout engine: decides the order of the output-section statements, their load and
// run address expressions, resolves run-in sections, drops sections whose run section is missing
// and detects cyclic dependencies.
#pragma once

#include <QString>

namespace ldweave {

class ScriptStream;
class SectionList;
struct SectionRecord;

/// Writes the statement of record to stream, laying out first whatever it depends on: its
/// predecessors in the segment, its run section's predecessor, the sections that run in it.
/// A record already done writes nothing. Reads runFlags() (verbose lines on standard output,
/// missing run section is an error). Throws HException (with the section's position) for a cyclic
/// dependency, a run section with run-in sections, or a missing run section.
void layoutSection(ScriptStream &stream, const SectionList &sections, SectionRecord *record,
                   bool checkSegmentOverflow, const QString &defaultFillPattern);

} // namespace ldweave
