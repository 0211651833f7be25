#pragma once

#include <cstdint>
#include <functional>
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
// Reads the template file whole into `text`, in chunks of template_chunk_size bytes, so that
// renderings through render_template_text need not read it again. When the file can't be
// opened, a read fails or it is larger than largest_readable_file, fails with
// status_code::template_missing and leaves `text` empty.
result read_template_file(std::string_view path, byte_string& text);
