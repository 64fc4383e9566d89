// The two process-wide switches that the command line sets and the layout engine and the writer
// read. Nothing else in the run is global.
#pragma once

namespace ldweave {

struct RunFlags
{
    /// -verbose: progress lines on standard output.
    bool verbose = false;
    /// Cleared by -disable-missing-runin-error: a section whose run section is missing is then
    /// discarded instead of ending the run.
    bool missingRunInIsError = true;
};

/// The flags of this process. Tests that change them restore the defaults afterwards.
RunFlags &runFlags();

} // namespace ldweave
