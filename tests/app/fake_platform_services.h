#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "platform_services.h"

// What the shell asked the platform for.
enum class request_kind { warning, error, question, open_file, save_file, pick_folder, shell_open };

// One request as the fake saw it.
struct platform_request {
    request_kind kind = request_kind::warning;
    std::string title;   // the dialog's title; message_caption for a message box
    std::string text;    // the message, or the target of shell_open
    std::string filter;  // file_dialog_request::filter_text()
    std::string folder;  // the initial folder as the dialog would open it
    std::string default_extension;
    uint32_t flags = 0;
};

// Platform services for tests: every request is recorded and answered from a script queue, so no
// test ever waits on a modal window. A request the script does not expect next fails the running
// test and is answered as by a user who cancels (No, Cancel, a failed shell open).
class fake_platform_services final : public platform_services {
  public:
    // A warning or an error box, closed with OK.
    void expect_message(request_kind kind);
    void answer_question(bool yes);
    // An open or save dialog closed with OK and `result` (a multiple selection written as the
    // folder, then each name after a NUL).
    void answer_file(request_kind kind, std::string result);
    // A dialog or the folder picker closed with Cancel.
    void cancel(request_kind kind);
    void answer_folder(std::string folder);
    void answer_shell_open(bool started);

    // Fails the running test when scripted answers are left over.
    void verify_all_answered() const;
    const std::vector<platform_request>& requests() const { return requests_; }
    // One line per request: kind and text or title, and the folder of a dialog:
    // `warning "Can't read settings file"`, `open dialog "Open TOC project file" in "/p"`.
    std::string log() const;
    int32_t beeps() const { return beeps_; }

    message_answer show_message(message_kind kind, std::string_view text) override;
    [[nodiscard]] bool file_dialog_open(file_dialog_request& request) override;
    [[nodiscard]] bool file_dialog_save(file_dialog_request& request) override;
    [[nodiscard]] bool browse_for_folder(folder_request& request) override;
    [[nodiscard]] bool shell_open(std::string_view target) override;
    void beep() override { ++beeps_; }
    screen_extent screen_size() override { return screen; }

    screen_extent screen = {1280, 1024};

  private:
    struct answer {
        request_kind kind;
        bool accept;
        std::string value;
    };

    // Records the request and pops its answer; an unexpected request fails the test and gets a
    // refusal.
    answer take(const platform_request& request);
    [[nodiscard]] bool run_file_dialog(request_kind kind, file_dialog_request& request);

    std::deque<answer> script_;
    std::vector<platform_request> requests_;
    int32_t beeps_ = 0;
};

const char* request_kind_name(request_kind kind);
