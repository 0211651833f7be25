// Runs a command many times, its output discarded, and prints the median wall time of a run in
// milliseconds and the largest peak resident memory of a run in KB. It starts each run with
// posix_spawn and times it from here, so a run costs what it costs a build script, without a
// shell's fork in the figure. With --fresh, the file `from` is copied over `to` before each run,
// outside the time, so that every run builds the page anew instead of finding it built.
//
//   spawn_time [--fresh <from> <to>] <runs> <program> [arguments...]
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

extern char** environ;

namespace {

// Copies `from` over `to`, synced, as a fresh copy of a corpus is; false when it fails.
bool copy_file(const char* from, const char* to) {
    std::FILE* in = std::fopen(from, "rb");
    if (!in) return false;
    std::FILE* out = std::fopen(to, "wb");
    char chunk[65536];
    bool copied = out != nullptr;
    for (size_t n; copied && (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;)
        copied = std::fwrite(chunk, 1, n, out) == n;
    copied = copied && std::fflush(out) == 0 && ::fsync(::fileno(out)) == 0;
    if (out && std::fclose(out) != 0) copied = false;
    std::fclose(in);
    return copied;
}

}  // namespace

int main(int argc, char** argv) {
    const char* fresh_from = nullptr;
    const char* fresh_to = nullptr;
    if (argc >= 4 && std::strcmp(argv[1], "--fresh") == 0) {
        fresh_from = argv[2];
        fresh_to = argv[3];
        argc -= 3;
        argv += 3;
    }
    const int runs = argc >= 3 ? std::atoi(argv[1]) : 0;
    if (runs < 1) {
        std::fprintf(stderr,
                     "usage: spawn_time [--fresh <from> <to>] <runs> <program> [arguments...]\n");
        return 2;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<double> walls;
    long peak_kb = 0;
    for (int i = 0; i < runs; ++i) {
        if (fresh_from && !copy_file(fresh_from, fresh_to)) {
            std::fprintf(stderr, "spawn_time: can't copy %s to %s\n", fresh_from, fresh_to);
            return 1;
        }
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
