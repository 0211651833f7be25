#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>

// The start-up decisions and the command-line role of the TOC tool, kept apart from main() so
// that they run in-process under test.

// Exit codes of the command line.
constexpr int exit_done = 0;             // "Build is complete.", "Clearance is done.", help,
                                         // "TOC is up to date."
constexpr int exit_error_occurred = 1;   // "Error occurred: " and the engine's message
constexpr int exit_out_of_date = 1;      // -check: "TOC is out of date."
constexpr int exit_parameter_error = 2;  // "Parameter error", or nothing to do

// Where the command line writes what is not its report. A stream would cost every run the set-up
// of the C++ locale, a good part of a build of a small page.
using text_sink = std::function<void(std::string_view)>;

// True when the program file is the TOC tool: its file name, lower-cased and without a trailing
// ".exe", is "qtvn2". The path itself keeps its case: only the name is compared.
[[nodiscard]] bool isTocTool(std::string_view program_path);

// The directory, with a trailing '/', that holds the data directory "qvdata/": the program's own
// directory when "qvdata" is there (a build tree or an unpacked folder), else
// "<prefix>/share/qtvn2/" of an installed tree whose executable lies in "<prefix>/bin/".
[[nodiscard]] std::string programDirectoryOf(std::string_view program_path);

// Runs the TOC tool on its arguments (the program name left out), each argument one token, and
// returns the exit code. Everything meant for standard output is appended to `out`, which the
// caller writes in one piece: the report of a build or clear, the help or version text. `err`
// is given at once, piece by piece, the usage when there is nothing to do and, only with
// `show_progress`, the percentage line of a build or clear, overwritten as it grows and erased
// at the end.
// Relative paths resolve against the current directory, which is left as it is.
[[nodiscard]] int runCommandLine(std::span<const std::string_view> arguments, std::string& out,
                                 const text_sink& err, bool show_progress);
