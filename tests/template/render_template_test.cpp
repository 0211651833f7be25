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

TEST_F(RenderTemplateTest, FileReadWholeRendersAsItsText) {
    named_lists data;
    for (std::string_view text : {"A", "B"})
        data.add_value("text", template_value(text));
    // a directive across the first chunk boundary, a block across the second
    std::string input(template_chunk_size - 10, '.');
    input += R"(<!--#echo var="text"--><!--#for var="text"-->)";
    input += std::string(template_chunk_size, '-');
    input += "<!--#echo var=\"text\"--><!--#endfor-->\n";
    put("t.htm", input);

    byte_string read("kept");
    ASSERT_TRUE(read_template_file(path("t.htm"), read).is_ok());
    EXPECT_TRUE(read.view() == input);
    std::vector<byte_string> out(1, byte_string("kept"));
    EXPECT_EQ(render_template_text(read.view(), data, out), template_end::blocks_closed);
    EXPECT_EQ(out.front().view(), "kept");
    const std::string dashes(template_chunk_size, '-');
    EXPECT_EQ(joined(out, 1),
              std::string(template_chunk_size - 10, '.') + "A" + dashes + "A" + dashes + "B\n");
}

TEST_F(RenderTemplateTest, UnreadableFileGivesNoText) {
    put_sparse("huge.htm", largest_readable_file + 1);
    for (const std::string& missing : {path("none.htm"), dir_, path("huge.htm")}) {
        SCOPED_TRACE(missing);
        byte_string text("kept");
        const result read = read_template_file(missing, text);
        EXPECT_EQ(read.code(), status_code::template_missing);
        EXPECT_EQ(read.message().view(), "Can't open template file: " + missing);
        EXPECT_TRUE(text.is_empty());
    }
}

}  // namespace
