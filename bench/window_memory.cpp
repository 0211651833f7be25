// Builds and clears a project twice the way the window does, in one process, and prints its
// resident memory before the first build and after each: memory the window gives back after a large
// build. With "keep" it leaves the small-object heap on and gives nothing back, as a command-line
// build.
//
//   window_memory project.toc [keep]
#include <cstdio>
#include <fstream>
#include <string>

#include "small_heap.h"
#include "toc_build.h"
#include "toc_project.h"

namespace {

// Resident memory in MB, as the system counts it.
double resident_mb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: window_memory project.toc [keep]\n");
        return 2;
    }
    const bool gives_back = argc == 2;
    if (gives_back) small_heap::use_general_heap();
    toc_project project;
    if (!project.load(argv[1]).is_ok()) {
        std::fprintf(stderr, "window_memory: can't load %s\n", argv[1]);
        return 1;
    }
    std::printf("before %.1f MB", resident_mb());
    for (int run = 0; run < 2; ++run) {
        const bool built = build_toc(project, {}).is_ok() && clear_toc(project, {}).is_ok();
        if (gives_back) small_heap::give_back_free_memory();
        std::printf(", after build %d%s %.1f MB", run + 1, built ? "" : " (failed)", resident_mb());
    }
    std::printf("\n");
    return 0;
}
