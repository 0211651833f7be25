#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "platform_services.h"

// What the shell asked the platform for.
enum class RequestKind {
    warning,
    error,
    question,
    save_question,
    open_file,
    save_file,
    pick_folder,
    shell_open,
    open_editor
};

// One request as the fake saw it.
struct PlatformRequest {
    RequestKind kind = RequestKind::warning;
    std::string title;   // the dialog's title; messageCaption for a message box
    std::string text;    // the message, or the target of shellOpen()
    std::string filter;  // FileDialogRequest::filterText()
    std::string folder;  // the initial folder as the dialog would open it
    std::string defaultExtension;
    OpenMode openMode = OpenMode::any_file;
};

// Platform services for tests: every request is recorded and answered from a script queue, so no
// test ever waits on a modal window. A request the script does not expect next fails the running
// test and is answered as by a user who cancels (No, Cancel, a failed shell open).
class FakePlatformServices final : public PlatformServices {
  public:
    // A warning or an error box, closed with OK.
    void expectMessage(RequestKind kind);
    void answerQuestion(bool yes);
    // A question about a changed project answered with save, discard or cancel.
    void answerSaveQuestion(MessageAnswer answer);
    // An open or save dialog closed with OK and `path` chosen.
    void answerFile(RequestKind kind, std::string path);
    // An open dialog closed with OK and `paths` chosen.
    void answerFiles(std::vector<std::string> paths);
    // A dialog or the folder picker closed with Cancel.
    void cancel(RequestKind kind);
    void answerFolder(std::string folder);
    void answerShellOpen(bool started);
    void answerEditor(bool started);

    // Fails the running test when scripted answers are left over.
    void verifyAllAnswered() const;
    const std::vector<PlatformRequest>& requests() const { return requests_; }
    // One line per request: kind and text or title, and the folder of a dialog:
    // `warning "Can't read settings file"`, `open dialog "Open TOC project file" in "/p"`.
    std::string log() const;
    int32_t beeps() const { return beeps_; }

    MessageAnswer showMessage(MessageKind kind, std::string_view text) override;
    [[nodiscard]] bool fileDialogOpen(FileDialogRequest& request) override;
    [[nodiscard]] bool fileDialogSave(FileDialogRequest& request) override;
    [[nodiscard]] bool browseForFolder(FolderRequest& request) override;
    [[nodiscard]] bool shellOpen(std::string_view target) override;
    [[nodiscard]] bool openInEditor(std::string_view path) override;
    void beep() override { ++beeps_; }
    ScreenExtent screenSize() override { return screen; }

    ScreenExtent screen = {1280, 1024};

  private:
    struct Answer {
        RequestKind kind;
        bool accept;
        std::string value;
        std::vector<std::string> paths;                // of a file dialog
        MessageAnswer answer = MessageAnswer::cancel;  // of a save question
    };

    // Records the request and pops its answer; an unexpected request fails the test and gets a
    // refusal.
    Answer take(const PlatformRequest& request);
    [[nodiscard]] bool runFileDialog(RequestKind kind, FileDialogRequest& request);

    std::deque<Answer> script_;
    std::vector<PlatformRequest> requests_;
    int32_t beeps_ = 0;
};

const char* requestKindName(RequestKind kind);
