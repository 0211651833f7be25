// The window program, which `qtvn2` runs in its own process for a graphical start: only it maps
// the Qt libraries, so that a command-line build starts without them.

#include <filesystem>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "command_line.h"
#include "files.h"
#include "gui_start.h"
#include "out_of_memory.h"
#include "small_heap.h"

int main(int argc, char** argv) {
    std::set_new_handler(out_of_memory);
    // the window lives on after a large build: its memory must go back to the system
    small_heap::use_general_heap();
    // the data and help sit where they sit for qtvn2, whose place is known from this one's
    const std::filesystem::path self(std::string(module_path().view()));
    const std::string program =
        (self.parent_path() / WINDOW_TO_PROGRAM_PATH).lexically_normal().string();
    const std::string programDirectory = programDirectoryOf(program);
    const std::vector<std::string_view> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    return runGui(argc, argv, programDirectory, chooseStartFile(arguments));
}
