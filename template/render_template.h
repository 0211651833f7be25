#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "byte_string.h"
#include "sorted_map.h"
#include "template_interpreter.h"

// Results of a rendering; errors inside the template are reported in the output instead.
constexpr int render_finished = 2;      // the template ended with every block closed
constexpr int render_open_blocks = 3;   // it ended inside a for or if, whose body was dropped
constexpr int render_unreadable = 800;  // the template file could not be opened or read

// Bytes the template file is read in.
constexpr int32_t template_chunk_size = 16384;

// Renders the template text over the data, fed to the interpreter in chunks of `chunk_size`
// bytes (the output does not depend on it), and appends the output texts to `out`. Bodies
// stop being evaluated past `work_limit` bytes (see template_interpreter::default_work_limit).
[[nodiscard]] int render_template_text(
    std::string_view text, const named_lists& data, std::vector<byte_string>& out,
    int32_t chunk_size = template_chunk_size,
    int64_t work_limit = template_interpreter::default_work_limit);
// Renders the template file, streamed in chunks of template_chunk_size bytes. When the file
// can't be opened, a read fails or it is larger than largest_readable_file, returns
// render_unreadable and leaves `out` as it was.
[[nodiscard]] int render_template_file(std::string_view path, const named_lists& data,
                                       std::vector<byte_string>& out);
// Reads the template file whole into `text`, in chunks of template_chunk_size bytes, for
// renderings through render_template_text that each would read it again. 0, or
// render_unreadable with `text` empty in the cases render_template_file gives it.
[[nodiscard]] int read_template_file(std::string_view path, byte_string& text);
