#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "byte_string.h"

// Caption of every message box of the shell.
constexpr std::string_view message_caption = "Tocvane 2.0";

enum class message_kind { warning, error, question };
// A warning or an error is closed with OK; a question is answered Yes or No.
enum class message_answer { ok, yes, no };

// Option bits of a file dialog request.
enum file_dialog_flag : uint32_t {
    dialog_prompt_overwrite = 0x2,  // a save dialog asks before replacing an existing file
    dialog_hide_read_only = 0x4,
    dialog_allow_multiple = 0x200,    // an open dialog accepts several files
    dialog_file_must_exist = 0x1000,  // an open dialog accepts existing files only
    dialog_explorer = 0x80000,
};

// One entry of a dialog's type list: "HTML Files (*.htm; *.html)" with "*.htm;*.html".
struct file_filter {
    byte_string description;
    byte_string pattern;  // patterns separated by ';'
};

// What an open or save dialog shows and, after it closed, what the user chose.
struct file_dialog_request {
    byte_string title;
    std::vector<file_filter> filters;
    byte_string default_extension;  // added to a typed name without one; a leading '.' is ignored
    byte_string initial_file_name;
    byte_string initial_folder;  // opened as trim_dialog_folder makes it
    uint32_t flags = dialog_explorer;
    // After OK the chosen path. After a multiple selection of more than one file: the folder
    // they share, then each name after a NUL, as split_multi_selection takes it apart.
    // Empty after Cancel.
    byte_string result;
    // Where the file name starts in `result`; -1 after Cancel.
    int32_t result_name_offset = -1;

    void add_filter(std::string_view description, std::string_view pattern);
    void set_flag(file_dialog_flag flag, bool on = true);
    bool has_flag(file_dialog_flag flag) const { return (flags & flag) != 0; }
    // The pairs as "description|pattern|description|pattern", for logs and tests.
    byte_string filter_text() const;
};

// The folder picker: title and preselected folder in, the chosen folder out.
struct folder_request {
    byte_string title;
    byte_string initial_folder;  // preselected as trim_dialog_folder makes it, when not empty
    byte_string result;          // the chosen folder after OK, empty after Cancel
};

struct screen_extent {
    int32_t width = 0;
    int32_t height = 0;
};

// The one way from the shell to the platform: every modal box, dialog, shell action, beep and
// screen query goes through here, so that tests answer them from a script.
class platform_services {
  public:
    virtual ~platform_services() = default;

    // A modal box captioned message_caption, with the kind's icon; `text` is plain text, CR LF
    // or LF break lines. Returns yes or no for a question, ok otherwise.
    virtual message_answer show_message(message_kind kind, std::string_view text) = 0;
    // The modal open and save dialogs. True after OK with request.result set; false after
    // Cancel with the result emptied.
    [[nodiscard]] virtual bool file_dialog_open(file_dialog_request& request) = 0;
    [[nodiscard]] virtual bool file_dialog_save(file_dialog_request& request) = 0;
    // The modal folder picker; true after OK with request.result set.
    [[nodiscard]] virtual bool browse_for_folder(folder_request& request) = 0;
    // Opens a file with the program the desktop associates with it, or a web address
    // (anything holding "://", or "mailto:") in the browser. False when the file does not
    // exist or nothing could be started.
    [[nodiscard]] virtual bool shell_open(std::string_view target) = 0;
    virtual void beep() = 0;
    virtual screen_extent screen_size() = 0;

    void warn(std::string_view text) { show_message(message_kind::warning, text); }
    // True for Yes.
    bool ask(std::string_view text) {
        return show_message(message_kind::question, text) == message_answer::yes;
    }
};

// The folder a dialog opens in: trailing '/' removed, except that the root stays "/".
byte_string trim_dialog_folder(std::string_view folder);

// Splits the result of a multiple selection at its NULs: the folder goes to `result`, the file
// names to `names` (emptied first), and their number is returned. A single chosen file has no
// NUL: `result` stays the full path and 0 is returned, so the caller takes `result` as the file.
int32_t split_multi_selection(byte_string& result, std::vector<byte_string>& names);
