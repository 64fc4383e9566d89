// Entry point of ldweave-size; everything else lives in ldweave_size_core.
#include "size/size_run.h"

int main(int argc, char **argv)
{
    return ldweave::sizeMain(argc, argv);
}
