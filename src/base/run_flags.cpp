#include "base/run_flags.h"

namespace ldweave {

RunFlags &runFlags()
{
    static RunFlags flags;
    return flags;
}

} // namespace ldweave
