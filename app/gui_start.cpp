#include "gui_start.h"

#include <QApplication>

#include "files.h"
#include "main_window.h"
#include "paths.h"
#include "qt_platform_services.h"

StartFile chooseStartFile(std::span<const std::string_view> arguments) {
    StartFile file;
    if (arguments.empty()) return file;
    byte_string path;
    if (!normalize_path(arguments[0], path)) return file;
    const std::string_view name = path.view();
    byte_string ending(name.substr(name.size() < 4 ? 0 : name.size() - 4));
    to_lower(ending);
    file_info info;
    const bool exists = file_stat(info, arguments[0]) && info.is_directory == 0;
    // a project that can't be read is opened all the same, so that the window says why
    if (ending == ".toc") {
        file.kind = StartFileKind::project;
    } else if (exists) {
        file.kind = StartFileKind::source;
    } else {
        return file;
    }
    file.path = std::move(path);
    return file;
}

void openStartFile(MainWindow& window, const StartFile& file) {
    switch (file.kind) {
        case StartFileKind::project:
            window.startWithProject(file.path.view());
            break;
        case StartFileKind::source:
            window.startWithSource(file.path.view());
            break;
        case StartFileKind::none:
            window.showWizard(WizardPage::welcome);
            break;
    }
}

int runGui(int& argc, char** argv, std::string_view programDirectory, const StartFile& file) {
    QApplication application(argc, argv);
    // lets a Wayland desktop match the window with its launcher and icon
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.tocvane.Qtvn2"));
    QtPlatformServices services;
    MainWindow window(services);
    services.setOwner(&window);
    window.setProgramDirectory(programDirectory);
    if (!window.initialise()) return 0;
    window.show();
    openStartFile(window, file);
    QApplication::exec();
    return 0;
}
