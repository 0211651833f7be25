#include "fake_platform_services.h"

#include <QTest>

void fake_platform_services::expect_message(request_kind kind) {
    script_.push_back({kind, true, {}});
}

void fake_platform_services::answer_question(bool yes) {
    script_.push_back({request_kind::question, yes, {}});
}

void fake_platform_services::answer_file(request_kind kind, std::string result) {
    script_.push_back({kind, true, std::move(result)});
}

void fake_platform_services::cancel(request_kind kind) {
    script_.push_back({kind, false, {}});
}

void fake_platform_services::answer_folder(std::string folder) {
    script_.push_back({request_kind::pick_folder, true, std::move(folder)});
}

void fake_platform_services::answer_shell_open(bool started) {
    script_.push_back({request_kind::shell_open, started, {}});
}

void fake_platform_services::verify_all_answered() const {
    if (script_.empty()) return;
    const std::string message = "the script still holds " + std::to_string(script_.size()) +
                                " answers, the next for a " +
                                request_kind_name(script_.front().kind);
    QTest::qFail(message.c_str(), __FILE__, __LINE__);
}

std::string fake_platform_services::log() const {
    std::string lines;
    for (const platform_request& request : requests_) {
        if (!lines.empty()) lines += '\n';
        lines += request_kind_name(request.kind);
        const bool titled =
            request.kind >= request_kind::open_file && request.kind <= request_kind::pick_folder;
        lines += " \"" + (titled ? request.title : request.text) + "\"";
        if (titled) lines += " in \"" + request.folder + "\"";
    }
    return lines;
}

fake_platform_services::answer fake_platform_services::take(const platform_request& request) {
    requests_.push_back(request);
    if (!script_.empty() && script_.front().kind == request.kind) {
        answer next = std::move(script_.front());
        script_.pop_front();
        return next;
    }
    std::string message =
        std::string("unscripted ") + request_kind_name(request.kind) + " \"" +
        (request.kind <= request_kind::question || request.title.empty() ? request.text
                                                                         : request.title) +
        "\"";
    if (!script_.empty()) {
        message +=
            std::string(" while a ") + request_kind_name(script_.front().kind) + " was scripted";
    }
    QTest::qFail(message.c_str(), __FILE__, __LINE__);
    return {request.kind, false, {}};
}

message_answer fake_platform_services::show_message(message_kind kind, std::string_view text) {
    platform_request request;
    request.kind = kind == message_kind::warning ? request_kind::warning
                   : kind == message_kind::error ? request_kind::error
                                                 : request_kind::question;
    request.title = message_caption;
    request.text = text;
    const answer reply = take(request);
    if (kind != message_kind::question) return message_answer::ok;
    return reply.accept ? message_answer::yes : message_answer::no;
}

bool fake_platform_services::run_file_dialog(request_kind kind, file_dialog_request& request) {
    platform_request seen;
    seen.kind = kind;
    seen.title = request.title.view();
    seen.filter = request.filter_text().view();
    seen.folder = trim_dialog_folder(request.initial_folder.view()).view();
    seen.default_extension = request.default_extension.view();
    seen.flags = request.flags;
    const answer reply = take(seen);
    request.result.clear();
    request.result_name_offset = -1;
    if (!reply.accept) return false;
    request.result = byte_string(reply.value);
    const size_t nul = reply.value.find('\0');
    const size_t slash = reply.value.rfind('/');
    request.result_name_offset = static_cast<int32_t>(nul != std::string::npos     ? nul + 1
                                                      : slash == std::string::npos ? 0
                                                                                   : slash + 1);
    return true;
}

bool fake_platform_services::file_dialog_open(file_dialog_request& request) {
    return run_file_dialog(request_kind::open_file, request);
}

bool fake_platform_services::file_dialog_save(file_dialog_request& request) {
    return run_file_dialog(request_kind::save_file, request);
}

bool fake_platform_services::browse_for_folder(folder_request& request) {
    platform_request seen;
    seen.kind = request_kind::pick_folder;
    seen.title = request.title.view();
    if (!request.initial_folder.is_empty()) {
        seen.folder = trim_dialog_folder(request.initial_folder.view()).view();
    }
    const answer reply = take(seen);
    request.result.clear();
    if (!reply.accept) return false;
    request.result = byte_string(reply.value);
    return true;
}

bool fake_platform_services::shell_open(std::string_view target) {
    platform_request seen;
    seen.kind = request_kind::shell_open;
    seen.text = target;
    return take(seen).accept;
}

const char* request_kind_name(request_kind kind) {
    switch (kind) {
        case request_kind::warning:
            return "warning";
        case request_kind::error:
            return "error";
        case request_kind::question:
            return "question";
        case request_kind::open_file:
            return "open dialog";
        case request_kind::save_file:
            return "save dialog";
        case request_kind::pick_folder:
            return "folder picker";
        case request_kind::shell_open:
            return "shell open";
    }
    return "request";
}
