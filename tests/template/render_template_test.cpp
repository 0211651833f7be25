#include "render_template.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files.h"
#include "scratch_dir.h"

namespace {

using RenderTemplateTest = ScratchDirTest;

std::string joined(const std::vector<byte_string>& pieces, size_t from = 0) {
    std::string all;
    for (size_t i = from; i < pieces.size(); ++i)
        all += pieces[i].view();
    return all;
}

TEST_F(RenderTemplateTest, FileRendersAsItsText) {
    named_lists data;
    for (std::string_view text : {"A", "B"})
        data.add_value("text", template_value(text));
    // a directive across the first chunk boundary, a block across the second
    std::string input(template_chunk_size - 10, '.');
    input += R"(<!--#echo var="text"--><!--#for var="text"-->)";
    input += std::string(template_chunk_size, '-');
    input += "<!--#echo var=\"text\"--><!--#endfor-->\n";
    put("t.htm", input);

    std::vector<byte_string> from_file(1, byte_string("kept"));
    EXPECT_EQ(render_template_file(path("t.htm"), data, from_file), render_finished);
    std::vector<byte_string> from_text;
    EXPECT_EQ(render_template_text(input, data, from_text), render_finished);
    EXPECT_EQ(from_file.front().view(), "kept");
    EXPECT_EQ(joined(from_file, 1), joined(from_text));
    byte_string read;
    ASSERT_EQ(read_template_file(path("t.htm"), read), 0);
    EXPECT_TRUE(read.view() == input);
    const std::string dashes(template_chunk_size, '-');
    EXPECT_EQ(joined(from_text),
              std::string(template_chunk_size - 10, '.') + "A" + dashes + "A" + dashes + "B\n");
}

TEST_F(RenderTemplateTest, UnreadableFileAddsNothing) {
    named_lists data;
    put_sparse("huge.htm", largest_readable_file + 1);
    for (const std::string& missing : {path("none.htm"), dir_, path("huge.htm")}) {
        SCOPED_TRACE(missing);
        std::vector<byte_string> out(1, byte_string("kept"));
        EXPECT_EQ(render_template_file(missing, data, out), render_unreadable);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out.front().view(), "kept");
        byte_string text("kept");
        EXPECT_EQ(read_template_file(missing, text), render_unreadable);
        EXPECT_TRUE(text.is_empty());
    }
}

}  // namespace
