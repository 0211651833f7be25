#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "byte_string.h"
#include "platform_services.h"

class QFileDialog;
class QWidget;

// The platform services on Qt: QMessageBox, QFileDialog and QDesktopServices are reached from
// here and nowhere else.
class QtPlatformServices final : public PlatformServices {
  public:
    // The boxes and dialogs are modal to `owner`, which may be null and set later.
    explicit QtPlatformServices(QWidget* owner = nullptr) : owner_(owner) {}
    void setOwner(QWidget* owner) { owner_ = owner; }

    MessageAnswer showMessage(MessageKind kind, std::string_view text) override;
    [[nodiscard]] bool fileDialogOpen(FileDialogRequest& request) override;
    [[nodiscard]] bool fileDialogSave(FileDialogRequest& request) override;
    [[nodiscard]] bool browseForFolder(FolderRequest& request) override;
    [[nodiscard]] bool shellOpen(std::string_view target) override;
    [[nodiscard]] bool openInEditor(std::string_view path) override;
    void beep() override;
    ScreenExtent screenSize() override;

  private:
    [[nodiscard]] bool runFileDialog(FileDialogRequest& request, bool save);

    QWidget* owner_;
};

// Sets up a dialog for the request: title, folder, filters, default extension and which files
// it accepts.
void configureFileDialog(QFileDialog& dialog, const FileDialogRequest& request, bool save);

// Qt's name filters for the pairs: the description without its own "(...)" and the patterns
// in brackets, separated by blanks, "*.*" as "*" so that names without a dot are listed too.
QStringList qtNameFilters(const std::vector<FileFilter>& filters);

// The command line that a launcher's "Exec" value gives for one local file: "%f" and "%F" become
// the path, "%u" and "%U" its URL, "%%" a '%', other field codes go; the path is added at the end
// when no field code takes it. Empty for an empty value.
QStringList launcherCommand(const QString& exec, const QString& path);

// Message text for a Qt label: CR LF and bare CR become LF.
QString qtMessageText(std::string_view text);
