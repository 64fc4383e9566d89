// Entry point of ldweave; everything else lives in ldweave_core.
#include "driver/run.h"

int main(int argc, char **argv)
{
    // Decision: the tool ends a successful run without freeing the document trees: for 100k
    // sections that is a walk over every node, a tenth of the run, that changes nothing. A
    // build with AddressSanitizer frees everything, so its leak check still covers the run.
#if defined(__SANITIZE_ADDRESS__)
    constexpr ldweave::ExitMode exitMode = ldweave::ExitMode::Return;
#else
    constexpr ldweave::ExitMode exitMode = ldweave::ExitMode::Immediate;
#endif
    return ldweave::ldweaveMain(argc, argv, exitMode);
}
