#include <dlfcn.h>
#include <unistd.h>

#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "command_line.h"
#include "files.h"
#include "out_of_memory.h"
#include "start_mode.h"
#include "window_module.h"

namespace {

// Loads the window module from its place relative to the program and runs the window.
int runWindow(int argc, char** argv, std::string_view programPath) {
    const std::string module =
        std::string(programPath.substr(0, programPath.rfind('/') + 1)) + WINDOW_MODULE_PATH;
    void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    const auto run =
        handle ? reinterpret_cast<run_window_function>(::dlsym(handle, runWindowSymbol)) : nullptr;
    if (!run) {
        const char* reason = ::dlerror();
        write_stderr("Can't load the window: " + (reason ? std::string(reason) : module) + '\n');
        return 1;
    }
    const std::string programDirectory = programDirectoryOf(programPath);
    return run(&argc, argv, programDirectory.c_str());
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
    if (startsGui(arguments) && hasDisplay()) return runWindow(argc, argv, programPath);
    std::string out;
    const int code = runCommandLine(arguments, out, write_stderr, ::isatty(STDERR_FILENO) == 1);
    if (!out.empty()) write_stdout(out);
    return code;
}
