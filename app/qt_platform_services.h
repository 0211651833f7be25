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
class qt_platform_services final : public platform_services {
  public:
    // The boxes and dialogs are modal to `owner`, which may be null and set later.
    explicit qt_platform_services(QWidget* owner = nullptr) : owner_(owner) {}
    void set_owner(QWidget* owner) { owner_ = owner; }

    message_answer show_message(message_kind kind, std::string_view text) override;
    [[nodiscard]] bool file_dialog_open(file_dialog_request& request) override;
    [[nodiscard]] bool file_dialog_save(file_dialog_request& request) override;
    [[nodiscard]] bool browse_for_folder(folder_request& request) override;
    [[nodiscard]] bool shell_open(std::string_view target) override;
    void beep() override;
    screen_extent screen_size() override;

  private:
    [[nodiscard]] bool run_file_dialog(file_dialog_request& request, bool save);

    QWidget* owner_;
};

// Sets up a dialog for the request: title, folder, filters, default extension, file mode and
// overwrite prompt.
void configure_file_dialog(QFileDialog& dialog, const file_dialog_request& request, bool save);

// Qt's name filters for the pairs: the description without its own "(...)" and the patterns
// in brackets, separated by blanks, "*.*" as "*" so that names without a dot are listed too.
QStringList qt_name_filters(const std::vector<file_filter>& filters);

// A dialog's chosen files as a request result: one path as it is; several as the deepest folder
// holding them all, then each path below that folder after a NUL.
byte_string pack_selection(const QStringList& paths);

// Message text for a Qt label: CR LF and bare CR become LF.
QString qt_message_text(std::string_view text);
