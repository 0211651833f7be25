#include "qt_platform_services.h"

#include <QApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLocale>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTreeView>
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

// The "Exec" value of the launcher `id` (such as "org.gnome.TextEditor.desktop"); empty when
// it can't be found.
QString launcherExec(const QString& id) {
    const QString launcher = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, id);
    QFile file(launcher);
    if (launcher.isEmpty() || !file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
    bool inEntry = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
        } else if (inEntry && line.startsWith(QLatin1String("Exec="))) {
            return line.mid(5);
        }
    }
    return {};
}

// The launcher the desktop starts for plain text, as xdg-mime names it.
QString textEditorLauncher() {
    QProcess query;
    query.start(QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/plain")});
    if (!query.waitForFinished(3000)) return {};
    return QString::fromUtf8(query.readAllStandardOutput()).trimmed();
}

// Editors found on most desktops, for a system without a plain-text default.
constexpr const char* knownEditors[] = {"gnome-text-editor", "gedit", "kate", "kwrite",
                                        "mousepad",          "pluma", "xed",  "featherpad",
                                        "leafpad",           "geany"};

// The dialog's folder: one that exists, else the home folder; never Qt's list of drives.
QString existingFolder(std::string_view folder) {
    const QString path = qtPath(trimDialogFolder(folder).view());
    file_info info;
    if (!path.isEmpty() && file_stat(info, folder) && info.is_directory) return path;
    return QDir::homePath();
}

}  // namespace

QStringList launcherCommand(const QString& exec, const QString& path) {
    QStringList command;
    bool taken = false;
    for (const QString& part : QProcess::splitCommand(exec)) {
        if (part == QLatin1String("%f") || part == QLatin1String("%F")) {
            command.append(path);
            taken = true;
        } else if (part == QLatin1String("%u") || part == QLatin1String("%U")) {
            command.append(QUrl::fromLocalFile(path).toString());
            taken = true;
        } else if (part.size() == 2 && part.startsWith(QLatin1Char('%')) &&
                   part != QLatin1String("%%")) {
            continue;
        } else {
            command.append(QString(part).replace(QLatin1String("%%"), QLatin1String("%")));
        }
    }
    if (!command.isEmpty() && !taken) command.append(path);
    return command;
}

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
        case MessageKind::save_question:
            box.setIcon(QMessageBox::Warning);
            box.setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
            box.setDefaultButton(QMessageBox::Save);
            break;
    }
    const int pressed = box.exec();
    if (kind == MessageKind::save_question) {
        return pressed == QMessageBox::Save      ? MessageAnswer::save
               : pressed == QMessageBox::Discard ? MessageAnswer::discard
                                                 : MessageAnswer::cancel;
    }
    if (kind != MessageKind::question) return MessageAnswer::ok;
    return pressed == QMessageBox::Yes ? MessageAnswer::yes : MessageAnswer::no;
}

void configureFileDialog(QFileDialog& dialog, const FileDialogRequest& request, bool save) {
    dialog.setWindowTitle(qtText(request.title.view()));
    dialog.setDirectory(existingFolder(request.initialFolder.view()));
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
    // Qt's own dialog opens narrow, with its name column cut short
    dialog.resize(dialog.sizeHint().expandedTo(QSize(760, 480)));
    for (QTreeView* view : dialog.findChildren<QTreeView*>()) {
        const QFontMetrics metrics = view->fontMetrics();
        const QString date = QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
        view->header()->resizeSection(0, metrics.averageCharWidth() * 40);
        view->header()->resizeSection(
            3, metrics.horizontalAdvance(date) + metrics.averageCharWidth() * 4);
    }
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
    const QString chosen =
        QFileDialog::getExistingDirectory(owner_, qtText(request.title.view()),
                                          existingFolder(folder.view()), QFileDialog::ShowDirsOnly);
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

bool QtPlatformServices::openInEditor(std::string_view path) {
    file_info info;
    if (!file_stat(info, path)) return false;
    const QString file = QFileInfo(qtPath(path)).absoluteFilePath();
    QStringList command = launcherCommand(launcherExec(textEditorLauncher()), file);
    for (const char* editor : knownEditors) {
        if (!command.isEmpty()) break;
        const QString program = QStandardPaths::findExecutable(QString::fromLatin1(editor));
        if (!program.isEmpty()) command = {program, file};
    }
    if (command.isEmpty()) return false;
    const QString program = command.takeFirst();
    return QProcess::startDetached(program, command);
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
