#include "gui_start.h"

#include <QApplication>
#include <cstdlib>

#include "files.h"
#include "main_window.h"
#include "paths.h"
#include "qt_platform_services.h"

namespace {

bool is_set(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value;
}

}  // namespace

bool starts_gui(std::span<const std::string_view> arguments) {
    if (arguments.empty()) return true;
    byte_string keyword(arguments[0]);
    to_lower(keyword);
    for (std::string_view option : {"-command", "-clear", "--help", "-h", "--version"}) {
        if (keyword == option) return false;
    }
    return true;
}

bool has_display() {
    return is_set("QT_QPA_PLATFORM") || is_set("DISPLAY") || is_set("WAYLAND_DISPLAY");
}

start_file choose_start_file(std::span<const std::string_view> arguments) {
    start_file file;
    if (arguments.empty()) return file;
    file_info info;
    if (!file_stat(info, arguments[0]) || info.is_directory != 0) return file;
    if (!normalize_path(arguments[0], file.path)) return file;
    const std::string_view name = file.path.view();
    byte_string ending(name.substr(name.size() < 4 ? 0 : name.size() - 4));
    to_lower(ending);
    file.kind = ending == ".toc" ? start_file_kind::project : start_file_kind::source;
    return file;
}

void open_start_file(MainWindow& window, const start_file& file) {
    switch (file.kind) {
        case start_file_kind::project:
            window.start_with_project(file.path.view());
            break;
        case start_file_kind::source:
            window.start_with_source(file.path.view());
            break;
        case start_file_kind::none:
            window.show_wizard(wizard_page::welcome);
            break;
    }
}

int run_gui(int& argc, char** argv, std::string_view program_directory, const start_file& file) {
    QApplication application(argc, argv);
    qt_platform_services services;
    MainWindow window(services);
    services.set_owner(&window);
    window.set_program_directory(program_directory);
    if (!window.initialise()) return 0;
    window.show();
    open_start_file(window, file);
    QApplication::exec();
    return 0;
}
