#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "byte_string.h"
#include "result.h"
#include "sorted_map.h"
#include "template_interpreter.h"

// How a template ended; errors inside it are reported in the output instead.
enum class template_end : uint8_t {
    blocks_closed,  // every for and if was closed
    block_open,     // it ended inside a for or if, whose body was dropped
};

// Bytes the template file is read in.
constexpr int32_t template_chunk_size = 16384;

// Renders the template text over the data, fed to the interpreter in chunks of `chunk_size`
// bytes (the output does not depend on it), and appends the output texts to `out`. Bodies
// stop being evaluated past `work_limit` bytes (see template_interpreter::default_work_limit).
[[nodiscard]] template_end render_template_text(
    std::string_view text, const named_lists& data, std::vector<byte_string>& out,
    int32_t chunk_size = template_chunk_size,
    int64_t work_limit = template_interpreter::default_work_limit);
// The same, the output handed to `out` text by text as it is made instead of kept.
[[nodiscard]] template_end render_template_text(
    std::string_view text, const named_lists& data,
    const std::function<void(std::string_view text)>& out, int32_t chunk_size = template_chunk_size,
    int64_t work_limit = template_interpreter::default_work_limit);

class template_block;

// A template read into its pieces once and rendered over new data each time, with the output
// render_template_text gives: a build that renders a TOC into every page reads its template
// once. The bodies of its blocks are kept as the renderings read them. Not for two renderings
// at once.
class prepared_template {
  public:
    explicit prepared_template(std::string_view text);
    prepared_template(const prepared_template&) = delete;
    prepared_template& operator=(const prepared_template&) = delete;
    ~prepared_template();

    std::string_view text() const { return text_.view(); }
    [[nodiscard]] template_end render(
        const named_lists& data, const std::function<void(std::string_view text)>& out,
        int64_t work_limit = template_interpreter::default_work_limit);

  private:
    byte_string text_;
    // Pieces the kept bodies may still take; outlives them.
    int64_t pieces_left_;
    // Null when the text has too many pieces to keep: each rendering then scans it.
    std::unique_ptr<template_block> whole_;
};

// Reads the template file whole into `text`, in chunks of template_chunk_size bytes, so that
// renderings through render_template_text need not read it again. When the file can't be
// opened, a read fails or it is larger than largest_readable_file, fails with
// status_code::template_missing and leaves `text` empty.
result read_template_file(std::string_view path, byte_string& text);
