#include "render_template.h"

#include <algorithm>
#include <cstdint>

#include "files.h"
#include "template_block.h"
#include "template_interpreter.h"

template_end render_template_text(std::string_view text, const named_lists& data,
                                  const std::function<void(std::string_view text)>& out,
                                  int32_t chunk_size, int64_t work_limit) {
    // far below the interpreter's size limit, so a step never refuses its input
    const size_t chunk = static_cast<size_t>(chunk_size > 0 ? std::min(chunk_size, int32_t{1} << 20)
                                                            : template_chunk_size);
    template_interpreter interpreter;
    interpreter.set_data(data);
    interpreter.set_work_limit(work_limit);
    interpreter.set_output_drain(&out);
    size_t at = 0;
    scan_status status = scan_status::needs_input;
    while (status == scan_status::needs_input) {
        const size_t n = std::min(chunk, text.size() - at);
        status = at < text.size() ? interpreter.feed(text.substr(at, n)) : interpreter.feed_end();
        at += n;
        for (template_value piece; interpreter.output().pop_front(piece);)
            out(piece.view());
    }
    return interpreter.has_open_block() ? template_end::block_open : template_end::blocks_closed;
}

prepared_template::prepared_template(std::string_view text)
    : text_(text), pieces_left_(template_block::pieces_per_rendering) {
    auto whole = std::make_unique<template_block>();
    if (whole->read(text_.view(), nullptr, pieces_left_)) whole_ = std::move(whole);
}

prepared_template::~prepared_template() = default;

template_end prepared_template::render(const named_lists& data,
                                       const std::function<void(std::string_view text)>& out,
                                       int64_t work_limit) {
    if (!whole_)
        return render_template_text(text_.view(), data, out, template_chunk_size, work_limit);
    whole_->bind(&data);
    template_interpreter interpreter;
    interpreter.set_data(data);
    interpreter.set_work_limit(work_limit);
    interpreter.set_output_drain(&out);
    interpreter.replay_template(*whole_, pieces_left_);
    for (template_value piece; interpreter.output().pop_front(piece);)
        out(piece.view());
    return interpreter.has_open_block() ? template_end::block_open : template_end::blocks_closed;
}

template_end render_template_text(std::string_view text, const named_lists& data,
                                  std::vector<byte_string>& out, int32_t chunk_size,
                                  int64_t work_limit) {
    return render_template_text(
        text, data, [&out](std::string_view piece) { out.emplace_back(piece); }, chunk_size,
        work_limit);
}

namespace {

// A block body is held in one text, which must stay below 2 GiB.
bool is_too_large(file_descriptor file) {
    const uint64_t size = file_descriptor_size(file);
    return size != unknown_file_size && size > largest_readable_file;
}

// Appends the rest of the file to `text`; false when a read fails or the text grows past
// largest_readable_file.
bool read_rest(file_descriptor file, byte_string& text) {
    byte_string buffer;
    for (;;) {
        if (!file_read(buffer, template_chunk_size, file).is_ok()) return false;
        const auto n = static_cast<uint64_t>(buffer.length());
        if (static_cast<uint64_t>(text.length()) + n > largest_readable_file) return false;
        if (n == 0) return true;
        text.append(buffer);
    }
}

}  // namespace

result read_template_file(std::string_view path, byte_string& text) {
    text.clear();
    const file_descriptor file = file_open(path);
    bool is_read = false;
    if (file != invalid_handle) {
        is_read = !is_too_large(file) && read_rest(file, text);
        file_close(file);
    }
    if (is_read) return result::success();
    text.clear();
    byte_string message("Can't open template file: ");
    message.append(path);
    return {status_code::template_missing, std::move(message)};
}
