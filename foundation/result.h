#pragma once

#include <cstdint>
#include <string_view>
#include <utility>

#include "byte_string.h"

// What a fallible call came to. A call documents which of these it may give.
enum class status_code : uint8_t {
    ok,
    failed,            // nothing was done; the message says why
    open_failed,       // no temporary file could be made beside the target: nothing was written
    write_failed,      // a write, sync or rename failed: the target is untouched
    template_missing,  // the TOC template can't be opened: no TOC was rendered
    source_failed,     // a multi-file build: a source failed, the files after it were still tried
};

// The outcome of a fallible call in the core: a status and, on failure, the message a user
// reads. The caller decides where the message goes.
class [[nodiscard]] result {
  public:
    result() = default;
    result(status_code code, std::string_view message) : code_(code), message_(message) {}
    result(status_code code, byte_string message) : code_(code), message_(std::move(message)) {}

    static result success() { return {}; }
    static result failure(std::string_view message) { return {status_code::failed, message}; }

    bool is_ok() const { return code_ == status_code::ok; }
    status_code code() const { return code_; }
    // Empty on success; what went wrong, worded for the user, otherwise.
    const byte_string& message() const { return message_; }

  private:
    status_code code_ = status_code::ok;
    byte_string message_;
};
