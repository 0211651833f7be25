#include "fake_platform_services.h"

#include <QTest>

#include "qt_text.h"

void FakePlatformServices::expectMessage(RequestKind kind) {
    script_.push_back({kind, true, {}, {}, {}});
}

void FakePlatformServices::answerQuestion(bool yes) {
    script_.push_back({RequestKind::question, yes, {}, {}, {}});
}

void FakePlatformServices::answerSaveQuestion(MessageAnswer answer) {
    script_.push_back({RequestKind::save_question, true, {}, {}, answer});
}

void FakePlatformServices::answerFile(RequestKind kind, std::string path) {
    script_.push_back({kind, true, {}, {std::move(path)}, {}});
}

void FakePlatformServices::answerFiles(std::vector<std::string> paths) {
    script_.push_back({RequestKind::open_file, true, {}, std::move(paths), {}});
}

void FakePlatformServices::cancel(RequestKind kind) {
    script_.push_back({kind, false, {}, {}, {}});
}

void FakePlatformServices::answerFolder(std::string folder) {
    script_.push_back({RequestKind::pick_folder, true, std::move(folder), {}, {}});
}

void FakePlatformServices::answerShellOpen(bool started) {
    script_.push_back({RequestKind::shell_open, started, {}, {}, {}});
}

void FakePlatformServices::answerEditor(bool started) {
    script_.push_back({RequestKind::open_editor, started, {}, {}, {}});
}

void FakePlatformServices::verifyAllAnswered() const {
    if (script_.empty()) return;
    const std::string message = "the script still holds " + std::to_string(script_.size()) +
                                " answers, the next for a " + requestKindName(script_.front().kind);
    QTest::qFail(message.c_str(), __FILE__, __LINE__);
}

std::string FakePlatformServices::log() const {
    std::string lines;
    for (const PlatformRequest& request : requests_) {
        if (!lines.empty()) lines += '\n';
        lines += requestKindName(request.kind);
        const bool titled =
            request.kind >= RequestKind::open_file && request.kind <= RequestKind::pick_folder;
        lines += " \"" + (titled ? request.title : request.text) + "\"";
        if (titled) lines += " in \"" + request.folder + "\"";
    }
    return lines;
}

FakePlatformServices::Answer FakePlatformServices::take(const PlatformRequest& request) {
    requests_.push_back(request);
    if (!script_.empty() && script_.front().kind == request.kind) {
        Answer next = std::move(script_.front());
        script_.pop_front();
        return next;
    }
    std::string message =
        std::string("unscripted ") + requestKindName(request.kind) + " \"" +
        (request.kind <= RequestKind::save_question || request.title.empty() ? request.text
                                                                             : request.title) +
        "\"";
    if (!script_.empty()) {
        message +=
            std::string(" while a ") + requestKindName(script_.front().kind) + " was scripted";
    }
    QTest::qFail(message.c_str(), __FILE__, __LINE__);
    return {request.kind, false, {}, {}, MessageAnswer::cancel};
}

MessageAnswer FakePlatformServices::showMessage(MessageKind kind, std::string_view text) {
    PlatformRequest request;
    switch (kind) {
        case MessageKind::warning:
            request.kind = RequestKind::warning;
            break;
        case MessageKind::error:
            request.kind = RequestKind::error;
            break;
        case MessageKind::question:
            request.kind = RequestKind::question;
            break;
        case MessageKind::save_question:
            request.kind = RequestKind::save_question;
            break;
    }
    request.title = messageCaption;
    request.text = text;
    const Answer reply = take(request);
    if (kind == MessageKind::save_question) return reply.answer;
    if (kind != MessageKind::question) return MessageAnswer::ok;
    return reply.accept ? MessageAnswer::yes : MessageAnswer::no;
}

bool FakePlatformServices::runFileDialog(RequestKind kind, FileDialogRequest& request) {
    PlatformRequest seen;
    seen.kind = kind;
    seen.title = request.title.view();
    seen.filter = request.filterText().view();
    seen.folder = trimDialogFolder(request.initialFolder.view()).view();
    seen.defaultExtension = request.defaultExtension.view();
    seen.openMode = request.openMode;
    const Answer reply = take(seen);
    request.chosen.clear();
    if (!reply.accept) return false;
    for (const std::string& path : reply.paths)
        request.chosen.append(qtPath(path));
    return true;
}

bool FakePlatformServices::fileDialogOpen(FileDialogRequest& request) {
    return runFileDialog(RequestKind::open_file, request);
}

bool FakePlatformServices::fileDialogSave(FileDialogRequest& request) {
    return runFileDialog(RequestKind::save_file, request);
}

bool FakePlatformServices::browseForFolder(FolderRequest& request) {
    PlatformRequest seen;
    seen.kind = RequestKind::pick_folder;
    seen.title = request.title.view();
    if (!request.initialFolder.is_empty()) {
        seen.folder = trimDialogFolder(request.initialFolder.view()).view();
    }
    const Answer reply = take(seen);
    request.result.clear();
    if (!reply.accept) return false;
    request.result = byte_string(reply.value);
    return true;
}

bool FakePlatformServices::shellOpen(std::string_view target) {
    PlatformRequest seen;
    seen.kind = RequestKind::shell_open;
    seen.text = target;
    return take(seen).accept;
}

bool FakePlatformServices::openInEditor(std::string_view path) {
    PlatformRequest seen;
    seen.kind = RequestKind::open_editor;
    seen.text = path;
    return take(seen).accept;
}

const char* requestKindName(RequestKind kind) {
    switch (kind) {
        case RequestKind::warning:
            return "warning";
        case RequestKind::error:
            return "error";
        case RequestKind::question:
            return "question";
        case RequestKind::save_question:
            return "save question";
        case RequestKind::open_file:
            return "open dialog";
        case RequestKind::save_file:
            return "save dialog";
        case RequestKind::pick_folder:
            return "folder picker";
        case RequestKind::shell_open:
            return "shell open";
        case RequestKind::open_editor:
            return "editor";
    }
    return "request";
}
