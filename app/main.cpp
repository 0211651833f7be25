#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "command_line.h"
#include "files.h"
#include "out_of_memory.h"
#include "start_mode.h"

namespace {

// Becomes the window program, which sits at its place relative to this one: only that process
// maps the Qt libraries, and this one starts as a program of the C library alone.
int runWindow(char** argv, std::string_view programPath) {
    const std::string window =
        std::string(programPath.substr(0, programPath.rfind('/') + 1)) + WINDOW_PROGRAM_PATH;
    char* fallback[] = {const_cast<char*>(window.c_str()), nullptr};
    ::execv(window.c_str(), argv[0] ? argv : fallback);
    write_stderr("Can't load the window: " + window + ": " + std::strerror(errno) + '\n');
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    // a plain new that fails anywhere in the command line ends the program as the core does
    std::set_new_handler(out_of_memory);
    // The running file's own path, so that a link to it takes the role of its target.
    const byte_string program = module_path();
    const std::string_view programPath =
        !program.is_empty() ? program.view() : std::string_view(argc > 0 ? argv[0] : "");
    if (!isTocTool(programPath)) return 0;

    const std::vector<std::string_view> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    // Without a display the usage is shown instead, as for any other argument it can't take.
    if (startsGui(arguments) && hasDisplay()) return runWindow(argv, programPath);
    std::string out;
    const int code = runCommandLine(arguments, out, write_stderr, ::isatty(STDERR_FILENO) == 1);
    if (!out.empty()) write_stdout(out);
    return code;
}
