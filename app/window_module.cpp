#include "window_module.h"

#include <string_view>
#include <vector>

#include "gui_start.h"

extern "C" __attribute__((visibility("default"))) int qtvn2_run_window(
    int* argc, char** argv, const char* programDirectory) {
    const std::vector<std::string_view> arguments(argv + (*argc > 0 ? 1 : 0), argv + *argc);
    return runGui(*argc, argv, programDirectory, chooseStartFile(arguments));
}
