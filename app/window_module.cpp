#include "window_module.h"

#include <new>
#include <string_view>
#include <vector>

#include "gui_start.h"
#include "out_of_memory.h"
#include "small_heap.h"

extern "C" __attribute__((visibility("default"))) int qtvn2_run_window(
    int* argc, char** argv, const char* programDirectory) {
    // the module has a C++ runtime of its own: a new that fails in it, Qt's included, must end
    // the program as the core does too
    std::set_new_handler(out_of_memory);
    // the window lives on after a large build: its memory must go back to the system
    small_heap::use_general_heap();
    const std::vector<std::string_view> arguments(argv + (*argc > 0 ? 1 : 0), argv + *argc);
    return runGui(*argc, argv, programDirectory, chooseStartFile(arguments));
}
