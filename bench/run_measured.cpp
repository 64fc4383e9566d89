// Runs one command and prints "wall-seconds processor-seconds peak-rss-KiB" on standard output;
// the command's standard output is discarded, its standard error passed on, and its exit status
// becomes this program's. The peak resident set of a child counts the memory of the process it
// was forked from, so the benchmark script starts commands through this small program rather
// than forking its own, much larger, interpreter.
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double seconds(const timespec &time)
{
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) * 1e-9;
}

double seconds(const timeval &time)
{
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) * 1e-6;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s command [argument...]\n", argv[0]);
        return 2;
    }
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    const pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        return 2;
    }
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0)
            dup2(null, STDOUT_FILENO);
        execvp(argv[1], argv + 1);
        std::perror(argv[1]);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) < 0) {
        std::perror("wait4");
        return 2;
    }
    timespec end;
    clock_gettime(CLOCK_MONOTONIC, &end);
    std::printf("%.6f %.6f %ld\n", seconds(end) - seconds(start),
                seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
