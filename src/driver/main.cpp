// Entry point of ldweave; everything else lives in ldweave_core.
#include "driver/run.h"

int main(int argc, char **argv)
{
    return ldweave::ldweaveMain(argc, argv);
}
