#include "window_module.h"

#include <string_view>
#include <vector>

#include "gui_start.h"
#include "small_heap.h"

extern "C" __attribute__((visibility("default"))) int qtvn2_run_window(
    int* argc, char** argv, const char* programDirectory) {
    // the window lives on after a large build: its memory must go back to the system
    small_heap::use_general_heap();
    const std::vector<std::string_view> arguments(argv + (*argc > 0 ? 1 : 0), argv + *argc);
    return runGui(*argc, argv, programDirectory, chooseStartFile(arguments));
}
