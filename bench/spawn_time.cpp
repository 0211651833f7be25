// Runs a command many times, its output discarded, and prints the median wall time of a run in
// milliseconds and the largest peak resident memory of a run in KB. It starts each run with
// posix_spawn and times it from here, so a run costs what it costs a build script, without a
// shell's fork in the figure.
//
//   spawn_time <runs> <program> [arguments...]
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

extern char** environ;

int main(int argc, char** argv) {
    const int runs = argc >= 3 ? std::atoi(argv[1]) : 0;
    if (runs < 1) {
        std::fprintf(stderr, "usage: spawn_time <runs> <program> [arguments...]\n");
        return 2;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<double> walls;
    long peak_kb = 0;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        pid_t child = 0;
        if (posix_spawnp(&child, argv[2], &actions, nullptr, argv + 2, environ) != 0) {
            std::fprintf(stderr, "spawn_time: can't start %s\n", argv[2]);
            return 1;
        }
        int status = 0;
        rusage usage{};
        if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "spawn_time: %s failed\n", argv[2]);
            return 1;
        }
        const std::chrono::duration<double, std::milli> wall =
            std::chrono::steady_clock::now() - start;
        walls.push_back(wall.count());
        peak_kb = std::max(peak_kb, usage.ru_maxrss);
    }
    posix_spawn_file_actions_destroy(&actions);
    std::sort(walls.begin(), walls.end());
    const size_t middle = walls.size() / 2;
    const double median =
        walls.size() % 2 ? walls[middle] : (walls[middle - 1] + walls[middle]) / 2;
    std::printf("%.2f %ld\n", median, peak_kb);
    return 0;
}
