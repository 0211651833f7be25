#include "command_line.h"

#include <cstdint>
#include <string>

#include "byte_string.h"
#include "files.h"
#include "paths.h"
#include "toc_build.h"
#include "toc_project.h"

namespace {

constexpr std::string_view product_name = "Tocvane 2.0";
constexpr std::string_view build_complete = "\r\nBuild is complete.\r\n";
constexpr std::string_view clearance_done = "\r\nClearance is done.\r\n";
constexpr std::string_view error_occurred = "\r\nError occurred: ";
constexpr std::string_view up_to_date = "\r\nTOC is up to date.\r\n";
constexpr std::string_view out_of_date_file = "\r\nOut of date: ";
constexpr std::string_view out_of_date = "\r\nTOC is out of date.\r\n";
// The syntax line names the older program file; the report keeps it byte for byte.
constexpr std::string_view parameter_error =
    "\r\nParameter error.\r\nCommand line syntax is:\r\nqtvn1.exe -command project_filename";

constexpr std::string_view usage =
    "Usage: qtvn2 -command PROJECT.toc   build the table of contents of a project\n"
    "       qtvn2 -clear PROJECT.toc     remove the TOC, anchors and numbers it inserted\n"
    "       qtvn2 -check PROJECT.toc     tell whether a build would change any file, writing none\n"
    "       qtvn2 --help | -h            show this text\n"
    "       qtvn2 --version              show the version\n"
    "Relative paths in a project resolve against the project file's folder.\n"
    "Exit status: 0 done, 1 error occurred, 2 parameter error; -check gives 0 when the TOC is\n"
    "up to date and 1 when it is out of date.\n";

// The percentage of a running build or clear on one terminal line. Writes only when the number
// changes, as the engine reports far more often than a person can read.
class ProgressLine {
  public:
    ProgressLine(const text_sink& stream, std::string_view verb) : stream_(stream), verb_(verb) {}

    void show(int32_t percent) {
        if (percent < 0) percent = 0;
        if (percent > 100) percent = 100;
        if (percent == shown_) return;
        shown_ = percent;
        const std::string text = std::string(verb_) + " " + std::to_string(percent) + "%";
        stream_("\r" + text);
        width_ = text.size();
    }

    void erase() {
        if (shown_ < 0) return;
        std::string blank(width_ + 2, ' ');
        blank.front() = blank.back() = '\r';
        stream_(blank);
        shown_ = -1;
    }

  private:
    const text_sink& stream_;
    std::string_view verb_;
    int32_t shown_ = -1;
    size_t width_ = 0;
};

int report(std::string& out, std::string_view outcome, std::string_view detail, int code) {
    out.append(product_name);
    out.append(outcome);
    out.append(detail);
    return code;
}

// What a keyword followed by a project file does.
enum class ProjectCommand { build, clear, check };

// The files a build would change, from a build in memory.
int checkProject(const toc_project& project, const progress_function& progress, ProgressLine& line,
                 std::string& out) {
    dry_build found;
    const result done = dry_build_toc(project, found, progress);
    line.erase();
    if (!done.is_ok()) {
        return report(out, error_occurred, done.message().view(), exit_error_occurred);
    }
    if (found.changed.empty()) return report(out, up_to_date, {}, exit_done);
    out.append(product_name);
    for (const byte_string& file : found.changed) {
        out.append(out_of_date_file);
        out.append(file.view());
    }
    out.append(out_of_date);
    return exit_out_of_date;
}

// "-command", "-clear" or "-check" with the project file as the token after the keyword;
// further tokens are ignored.
int runProject(std::span<const std::string_view> arguments, ProjectCommand command,
               std::string& out, const text_sink& err, bool show_progress) {
    // A keyword without a file is a parameter error even when a file named like the keyword
    // happens to exist in the current directory.
    if (arguments.size() < 2) return report(out, parameter_error, {}, exit_parameter_error);
    const std::string_view path = arguments[1];
    file_info info;
    if (!file_stat(info, path) || info.is_directory) {
        return report(out, parameter_error, {}, exit_parameter_error);
    }

    toc_project project;
    if (const result loaded = project.load(path); !loaded.is_ok()) {
        return report(out, error_occurred, loaded.message().view(), exit_error_occurred);
    }
    constexpr std::string_view verbs[] = {"Building", "Clearing", "Checking"};
    ProgressLine line(err, verbs[static_cast<int>(command)]);
    progress_function progress;
    if (show_progress) progress = [&line](int32_t percent) { line.show(percent); };
    if (command == ProjectCommand::check) return checkProject(project, progress, line, out);
    const bool clear = command == ProjectCommand::clear;
    // a terminal user sees why nothing happens and may stop the wait
    lock_wait wait;
    wait.timeout_ms = -1;
    wait.notice = [&err](std::string_view busy) {
        err("Waiting for another build of " + std::string(busy) + "...\n");
    };
    const result done =
        clear ? clear_toc(project, progress, wait) : build_toc(project, progress, wait);
    line.erase();
    // a multi-file build whose source failed is an error like any other here
    if (!done.is_ok()) {
        return report(out, error_occurred, done.message().view(), exit_error_occurred);
    }
    return report(out, clear ? clearance_done : build_complete, {}, exit_done);
}

std::string_view fileNameOf(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view directoryOf(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
}

}  // namespace

bool isTocTool(std::string_view program_path) {
    byte_string name(fileNameOf(program_path));
    to_lower(name);
    std::string_view stem = name.view();
    if (stem.ends_with(".exe")) stem.remove_suffix(4);
    return stem == "qtvn2";
}

std::string programDirectoryOf(std::string_view program_path) {
    const std::string own(directoryOf(program_path));
    file_info info;
    if (file_stat(info, own + "qvdata") && info.is_directory) return own;
    // <prefix>/bin/ gives <prefix>/share/qtvn2/; a program in "/" counts "/" as its prefix.
    std::string_view bin = own;
    if (bin.size() > 1 && bin.ends_with('/')) bin.remove_suffix(1);
    return std::string(directoryOf(bin)) + "share/qtvn2/";
}

int runCommandLine(std::span<const std::string_view> arguments, std::string& out,
                   const text_sink& err, bool show_progress) {
    if (arguments.empty()) {
        err(usage);
        return exit_parameter_error;
    }
    // Only the keyword is lower-cased; a file name keeps its case.
    byte_string keyword(arguments[0]);
    to_lower(keyword);
    const struct {
        std::string_view keyword;
        ProjectCommand command;
    } commands[] = {{"-command", ProjectCommand::build},
                    {"-clear", ProjectCommand::clear},
                    {"-check", ProjectCommand::check}};
    for (const auto& entry : commands) {
        if (keyword == entry.keyword)
            return runProject(arguments, entry.command, out, err, show_progress);
    }
    if (keyword == "--help" || keyword == "-h") {
        out.append(usage);
        return exit_done;
    }
    if (keyword == "--version") {
        out.append(product_name);
        out.push_back('\n');
        return exit_done;
    }
    err(usage);
    return exit_parameter_error;
}
