#pragma once

#include <QStringList>
#include <cstdint>
#include <string_view>
#include <vector>

#include "byte_string.h"

// Caption of every message box of the shell.
constexpr std::string_view messageCaption = "Tocvane 2.0";

enum class MessageKind { warning, error, question, save_question };
// A warning or an error is closed with OK; a question is answered Yes or No; a save question
// about a changed project Save, Discard or Cancel.
enum class MessageAnswer { ok, yes, no, save, discard, cancel };

// Which files an open dialog accepts. A save dialog takes any name and asks before replacing
// an existing file.
enum class OpenMode { any_file, existing_file, existing_files };

// One entry of a dialog's type list: "HTML Files (*.htm; *.html)" with "*.htm;*.html".
struct FileFilter {
    byte_string description;
    byte_string pattern;  // patterns separated by ';'
};

// What an open or save dialog shows and, after it closed, what the user chose.
struct FileDialogRequest {
    byte_string title;
    std::vector<FileFilter> filters;
    byte_string defaultExtension;  // added to a typed name without one; a leading '.' is ignored
    byte_string initialFolder;     // opened as trimDialogFolder makes it
    OpenMode openMode = OpenMode::any_file;
    // The chosen paths after OK, several only with OpenMode::existing_files; empty after Cancel.
    QStringList chosen;

    void addFilter(std::string_view description, std::string_view pattern);
    // The first chosen path in the program's bytes; empty after Cancel.
    byte_string chosenPath() const;
    // The pairs as "description|pattern|description|pattern", for logs and tests.
    byte_string filterText() const;
};

// The folder picker: title and preselected folder in, the chosen folder out.
struct FolderRequest {
    byte_string title;
    byte_string initialFolder;  // preselected as trimDialogFolder makes it, when not empty
    byte_string result;         // the chosen folder after OK, empty after Cancel
};

struct ScreenExtent {
    int32_t width = 0;
    int32_t height = 0;
};

// The one way from the shell to the platform: every modal box, dialog, shell action, beep and
// screen query goes through here, so that tests answer them from a script.
class PlatformServices {
  public:
    virtual ~PlatformServices() = default;

    // A modal box captioned messageCaption, with the kind's icon; `text` is plain text, CR LF
    // or LF break lines. Returns yes or no for a question, save, discard or cancel for a save
    // question, ok otherwise.
    virtual MessageAnswer showMessage(MessageKind kind, std::string_view text) = 0;
    // The modal open and save dialogs. True after OK with request.chosen set; false after
    // Cancel with it emptied.
    [[nodiscard]] virtual bool fileDialogOpen(FileDialogRequest& request) = 0;
    [[nodiscard]] virtual bool fileDialogSave(FileDialogRequest& request) = 0;
    // The modal folder picker; true after OK with request.result set.
    [[nodiscard]] virtual bool browseForFolder(FolderRequest& request) = 0;
    // Opens a file with the program the desktop associates with it, or a web address
    // (anything holding "://", or "mailto:") in the browser. False when the file does not
    // exist or nothing could be started.
    [[nodiscard]] virtual bool shellOpen(std::string_view target) = 0;
    // Opens a file in the desktop's text editor (the program it starts for plain text), not in
    // the program it associates with the file's own type. False when nothing could be started.
    [[nodiscard]] virtual bool openInEditor(std::string_view path) = 0;
    virtual void beep() = 0;
    virtual ScreenExtent screenSize() = 0;

    void warn(std::string_view text) { showMessage(MessageKind::warning, text); }
    // True for Yes.
    bool ask(std::string_view text) {
        return showMessage(MessageKind::question, text) == MessageAnswer::yes;
    }
};

// The folder a dialog opens in: trailing '/' removed, except that the root stays "/".
byte_string trimDialogFolder(std::string_view folder);
