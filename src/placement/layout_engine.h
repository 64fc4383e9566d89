// The section layout engine: decides the order of the output-section statements, their load and
// run address expressions, resolves run-in sections, drops sections whose run section is missing
// and detects cyclic dependencies.
#pragma once

#include <QString>

#include <functional>

namespace ldweave {

class ScriptStream;
class SectionList;
struct SectionRecord;

/// Writes the statement of every record of sections to stream, in the order of the list, each
/// after whatever it depends on: its predecessors in the segment, its run section's predecessor,
/// the sections that run in it. A record already done writes nothing. afterEach is called after
/// each record of the list. Reads runFlags() (verbose lines on standard output, missing run
/// section is an error). Throws HException (with the section's position) for a cyclic dependency,
/// a run section with run-in sections, or a missing run section.
void layoutSections(ScriptStream &stream, SectionList &sections, bool checkSegmentOverflow,
                    const QString &defaultFillPattern, const std::function<void()> &afterEach);

} // namespace ldweave
