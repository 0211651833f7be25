#pragma once

#include <span>
#include <string_view>

#include "byte_string.h"
#include "start_mode.h"

class MainWindow;

// The graphical start of the TOC tool.

enum class StartFileKind { none, project, source };

// The file named on the command line of a graphical start.
struct StartFile {
    StartFileKind kind = StartFileKind::none;
    byte_string path;
};

// What the first argument names: a project when its name ends in ".toc" in any letter case
// (so never a name shorter than four bytes), also when it is missing or no file, so that
// opening it tells why; any other existing file as the source; else nothing. The path is made
// absolute against the current directory and keeps its letter case.
[[nodiscard]] StartFile chooseStartFile(std::span<const std::string_view> arguments);

// Opens the start file in the initialised window; without one the wizard opens at its welcome
// page.
void openStartFile(MainWindow& window, const StartFile& file);

// Runs the window until it closes. The data directory is `programDirectory` + "qvdata/". When
// the template catalogue can't be read the message is shown and the program ends at once,
// without writing the settings. Returns the exit code, 0.
int runGui(int& argc, char** argv, std::string_view programDirectory, const StartFile& file);
