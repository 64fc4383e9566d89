// The process floor: a program that does nothing but is linked to the same Qt library as
// ldweave. Its run time is the start-up, dynamic linking and exit that every run pays and no
// change to ldweave can remove.
#include <QString>

int main(int argc, char **argv)
{
    // One call into Qt, so the linker keeps the library even with --as-needed.
    return QString::fromLocal8Bit(argv[0]).isEmpty() ? argc : 0;
}
