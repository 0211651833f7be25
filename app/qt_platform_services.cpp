#include "qt_platform_services.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QUrl>

#include "files.h"
#include "qt_text.h"

namespace {

// The patterns of "*.htm; *.html" as Qt lists them.
QString qt_patterns(std::string_view pattern) {
    QStringList patterns;
    for (const QString& part : qt_text(pattern).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString trimmed = part.trimmed();
        if (trimmed.isEmpty()) continue;
        patterns.append(trimmed == QLatin1String("*.*") ? QStringLiteral("*") : trimmed);
    }
    return patterns.join(QLatin1Char(' '));
}

// "/a/b" from "/a/b/c"; "/" for a file in the root.
QString folder_of(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash > 0 ? path.left(slash) : QStringLiteral("/");
}

bool lies_in(const QString& path, const QString& folder) {
    if (folder == QLatin1String("/")) return path.startsWith(folder);
    return path.startsWith(folder) && path.size() > folder.size() && path[folder.size()] == '/';
}

}  // namespace

QStringList qt_name_filters(const std::vector<file_filter>& filters) {
    QStringList list;
    for (const file_filter& filter : filters) {
        QString description = qt_text(filter.description.view()).trimmed();
        // Qt takes the patterns from a closing "(...)"; the pattern field is the one that counts
        if (description.endsWith(QLatin1Char(')'))) {
            const qsizetype open = description.lastIndexOf(QLatin1Char('('));
            if (open >= 0) description = description.left(open).trimmed();
        }
        list.append(description + QStringLiteral(" (") + qt_patterns(filter.pattern.view()) +
                    QLatin1Char(')'));
    }
    return list;
}

byte_string pack_selection(const QStringList& paths) {
    if (paths.isEmpty()) return {};
    if (paths.size() == 1) return plain_path(paths.front());
    QString folder = folder_of(paths.front());
    for (const QString& path : paths) {
        while (folder != QLatin1String("/") && !lies_in(path, folder))
            folder = folder_of(folder);
    }
    const qsizetype skip = folder.size() + (folder == QLatin1String("/") ? 0 : 1);
    byte_string result = plain_path(folder);
    for (const QString& path : paths) {
        result.push('\0');
        result.append(plain_path(path.mid(skip)));
    }
    return result;
}

QString qt_message_text(std::string_view text) {
    QString shown = qt_text(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

message_answer qt_platform_services::show_message(message_kind kind, std::string_view text) {
    QMessageBox box(owner_);
    box.setWindowTitle(qt_text(message_caption));
    // "Tag <file> is missing." would otherwise be taken for markup
    box.setTextFormat(Qt::PlainText);
    box.setText(qt_message_text(text));
    switch (kind) {
        case message_kind::warning:
            box.setIcon(QMessageBox::Warning);
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case message_kind::error:
            box.setIcon(QMessageBox::Critical);
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case message_kind::question:
            box.setIcon(QMessageBox::Question);
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::Yes);
            break;
    }
    const int pressed = box.exec();
    if (kind != message_kind::question) return message_answer::ok;
    return pressed == QMessageBox::Yes ? message_answer::yes : message_answer::no;
}

void configure_file_dialog(QFileDialog& dialog, const file_dialog_request& request, bool save) {
    dialog.setWindowTitle(qt_text(request.title.view()));
    dialog.setDirectory(qt_path(trim_dialog_folder(request.initial_folder.view()).view()));
    dialog.setNameFilters(qt_name_filters(request.filters));
    dialog.setDefaultSuffix(qt_text(request.default_extension.view()));
    if (save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite,
                         !request.has_flag(dialog_prompt_overwrite));
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        if (request.has_flag(dialog_allow_multiple)) {
            dialog.setFileMode(QFileDialog::ExistingFiles);
        } else if (request.has_flag(dialog_file_must_exist)) {
            dialog.setFileMode(QFileDialog::ExistingFile);
        } else {
            dialog.setFileMode(QFileDialog::AnyFile);
        }
    }
    if (!request.initial_file_name.is_empty()) {
        dialog.selectFile(qt_path(request.initial_file_name.view()));
    }
}

bool qt_platform_services::run_file_dialog(file_dialog_request& request, bool save) {
    request.result.clear();
    request.result_name_offset = -1;
    QFileDialog dialog(owner_);
    configure_file_dialog(dialog, request, save);
    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return false;
    request.result = pack_selection(chosen);
    const int32_t nul = request.result.find_char('\0');
    request.result_name_offset =
        nul >= 0 ? nul + 1 : static_cast<int32_t>(request.result.view().rfind('/') + 1);
    return true;
}

bool qt_platform_services::file_dialog_open(file_dialog_request& request) {
    return run_file_dialog(request, false);
}

bool qt_platform_services::file_dialog_save(file_dialog_request& request) {
    return run_file_dialog(request, true);
}

bool qt_platform_services::browse_for_folder(folder_request& request) {
    request.result.clear();
    const byte_string folder = trim_dialog_folder(request.initial_folder.view());
    const QString chosen = QFileDialog::getExistingDirectory(
        owner_, qt_text(request.title.view()), qt_path(folder.view()), QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty()) return false;
    request.result = plain_path(chosen);
    return true;
}

bool qt_platform_services::shell_open(std::string_view target) {
    if (target.find("://") != std::string_view::npos || target.starts_with("mailto:")) {
        return QDesktopServices::openUrl(QUrl(qt_text(target)));
    }
    // the desktop would start a viewer for a file that is not there and report success
    file_info info;
    if (!file_stat(info, target)) return false;
    const QString absolute = QFileInfo(qt_path(target)).absoluteFilePath();
    return QDesktopServices::openUrl(QUrl::fromLocalFile(absolute));
}

void qt_platform_services::beep() {
    QApplication::beep();
}

screen_extent qt_platform_services::screen_size() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    const QSize size = screen->size();
    return {size.width(), size.height()};
}
