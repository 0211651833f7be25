#pragma once

// The entry point of the window module. The executable loads the module only for a graphical
// start, so that a command-line build never maps the Qt libraries.

// Runs the window with the program's arguments until it closes; returns the exit code.
using run_window_function = int (*)(int* argc, char** argv, const char* programDirectory);

inline constexpr const char* runWindowSymbol = "qtvn2_run_window";
