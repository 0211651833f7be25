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
QString qtPatterns(std::string_view pattern) {
    QStringList patterns;
    for (const QString& part : qtText(pattern).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString trimmed = part.trimmed();
        if (trimmed.isEmpty()) continue;
        patterns.append(trimmed == QLatin1String("*.*") ? QStringLiteral("*") : trimmed);
    }
    return patterns.join(QLatin1Char(' '));
}

}  // namespace

QStringList qtNameFilters(const std::vector<FileFilter>& filters) {
    QStringList list;
    for (const FileFilter& filter : filters) {
        QString description = qtText(filter.description.view()).trimmed();
        // Qt takes the patterns from a closing "(...)"; the pattern field is the one that counts
        if (description.endsWith(QLatin1Char(')'))) {
            const qsizetype open = description.lastIndexOf(QLatin1Char('('));
            if (open >= 0) description = description.left(open).trimmed();
        }
        list.append(description + QStringLiteral(" (") + qtPatterns(filter.pattern.view()) +
                    QLatin1Char(')'));
    }
    return list;
}

QString qtMessageText(std::string_view text) {
    QString shown = qtText(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

MessageAnswer QtPlatformServices::showMessage(MessageKind kind, std::string_view text) {
    QMessageBox box(owner_);
    box.setWindowTitle(qtText(messageCaption));
    // "Tag <file> is missing." would otherwise be taken for markup
    box.setTextFormat(Qt::PlainText);
    box.setText(qtMessageText(text));
    switch (kind) {
        case MessageKind::warning:
            box.setIcon(QMessageBox::Warning);
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MessageKind::error:
            box.setIcon(QMessageBox::Critical);
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MessageKind::question:
            box.setIcon(QMessageBox::Question);
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::Yes);
            break;
    }
    const int pressed = box.exec();
    if (kind != MessageKind::question) return MessageAnswer::ok;
    return pressed == QMessageBox::Yes ? MessageAnswer::yes : MessageAnswer::no;
}

void configureFileDialog(QFileDialog& dialog, const FileDialogRequest& request, bool save) {
    dialog.setWindowTitle(qtText(request.title.view()));
    dialog.setDirectory(qtPath(trimDialogFolder(request.initialFolder.view()).view()));
    dialog.setNameFilters(qtNameFilters(request.filters));
    dialog.setDefaultSuffix(qtText(request.defaultExtension.view()));
    if (save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
        return;
    }
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    switch (request.openMode) {
        case OpenMode::any_file:
            dialog.setFileMode(QFileDialog::AnyFile);
            break;
        case OpenMode::existing_file:
            dialog.setFileMode(QFileDialog::ExistingFile);
            break;
        case OpenMode::existing_files:
            dialog.setFileMode(QFileDialog::ExistingFiles);
            break;
    }
}

bool QtPlatformServices::runFileDialog(FileDialogRequest& request, bool save) {
    request.chosen.clear();
    QFileDialog dialog(owner_);
    configureFileDialog(dialog, request, save);
    if (dialog.exec() != QDialog::Accepted) return false;
    request.chosen = dialog.selectedFiles();
    return !request.chosen.isEmpty();
}

bool QtPlatformServices::fileDialogOpen(FileDialogRequest& request) {
    return runFileDialog(request, false);
}

bool QtPlatformServices::fileDialogSave(FileDialogRequest& request) {
    return runFileDialog(request, true);
}

bool QtPlatformServices::browseForFolder(FolderRequest& request) {
    request.result.clear();
    const byte_string folder = trimDialogFolder(request.initialFolder.view());
    const QString chosen = QFileDialog::getExistingDirectory(
        owner_, qtText(request.title.view()), qtPath(folder.view()), QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty()) return false;
    request.result = plainPath(chosen);
    return true;
}

bool QtPlatformServices::shellOpen(std::string_view target) {
    if (target.find("://") != std::string_view::npos || target.starts_with("mailto:")) {
        return QDesktopServices::openUrl(QUrl(qtText(target)));
    }
    // the desktop would start a viewer for a file that is not there and report success
    file_info info;
    if (!file_stat(info, target)) return false;
    const QString absolute = QFileInfo(qtPath(target)).absoluteFilePath();
    return QDesktopServices::openUrl(QUrl::fromLocalFile(absolute));
}

void QtPlatformServices::beep() {
    QApplication::beep();
}

ScreenExtent QtPlatformServices::screenSize() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    const QSize size = screen->size();
    return {size.width(), size.height()};
}
