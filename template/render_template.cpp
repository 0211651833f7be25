#include "render_template.h"

#include <algorithm>
#include <cstdint>

#include "files.h"
#include "template_interpreter.h"

namespace {

// Moves the texts produced so far to `out`; passes on the status of the step that made them.
scan_status take_output(scan_status status, template_interpreter& interpreter,
                        std::vector<byte_string>& out) {
    template_value piece;
    while (interpreter.output().pop_front(piece))
        out.emplace_back(piece.view());
    return status;
}

// The rendering's result for the interpreter's last step; the chunks stay far below its size
// limit, so a step never refuses its input.
int render_result(scan_status last) {
    switch (last) {
        case scan_status::finished:
            return render_finished;
        case scan_status::stopped:
            return render_open_blocks;
        case scan_status::needs_input:
            return 0;
        case scan_status::size_exceeded:
            break;
    }
    return 1;
}

}  // namespace

int render_template_text(std::string_view text, const named_lists& data,
                         std::vector<byte_string>& out, int32_t chunk_size, int64_t work_limit) {
    // far below the interpreter's size limit, so a step never refuses its input
    const size_t chunk = static_cast<size_t>(chunk_size > 0 ? std::min(chunk_size, int32_t{1} << 20)
                                                            : template_chunk_size);
    template_interpreter interpreter;
    interpreter.set_data(data);
    interpreter.set_work_limit(work_limit);
    size_t at = 0;
    scan_status status = scan_status::needs_input;
    do {
        const size_t n = std::min(chunk, text.size() - at);
        status = take_output(
            at < text.size() ? interpreter.feed(text.substr(at, n)) : interpreter.feed_end(),
            interpreter, out);
        at += n;
    } while (status == scan_status::needs_input);
    return render_result(status);
}

namespace {

// A block body is held in one text, which must stay below 2 GiB.
bool is_too_large(file_descriptor file) {
    uint32_t high = 0;
    const uint32_t low = file_handle_size(file, &high);
    const uint64_t size = static_cast<uint64_t>(high) << 32 | low;
    return size != UINT64_MAX && size > largest_readable_file;
}

}  // namespace

int render_template_file(std::string_view path, const named_lists& data,
                         std::vector<byte_string>& out) {
    const file_descriptor file = file_open(path, "r");
    if (file == invalid_handle) return render_unreadable;
    if (is_too_large(file)) {
        file_close(file);
        return render_unreadable;
    }
    const size_t kept = out.size();
    template_interpreter interpreter;
    interpreter.set_data(data);
    byte_string buffer;
    uint64_t total = 0;
    int result = 0;
    do {
        const int32_t n = file_read(buffer, template_chunk_size, file);
        total += n > 0 ? static_cast<uint64_t>(n) : 0;
        if (n < 0 || total > largest_readable_file) {
            out.resize(kept);
            result = render_unreadable;
            break;
        }
        const scan_status status = n > 0 ? interpreter.feed(buffer.view()) : interpreter.feed_end();
        result = render_result(take_output(status, interpreter, out));
    } while (result == 0);
    file_close(file);
    return result;
}

int read_template_file(std::string_view path, byte_string& text) {
    text.clear();
    const file_descriptor file = file_open(path, "r");
    if (file == invalid_handle) return render_unreadable;
    int result = is_too_large(file) ? render_unreadable : 0;
    byte_string buffer;
    while (result == 0) {
        const int32_t n = file_read(buffer, template_chunk_size, file);
        if (n < 0 || static_cast<uint64_t>(text.length()) + static_cast<uint64_t>(n) >
                         largest_readable_file) {
            result = render_unreadable;
        } else if (n == 0) {
            break;
        } else {
            text.append(buffer);
        }
    }
    file_close(file);
    if (result != 0) text.clear();
    return result;
}
