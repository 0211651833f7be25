#include "toc/toc_project.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/output_file.h"
#include "tests/foundation/scratch_dir.h"
#include "tests/support/markup_dump.h"

namespace {

class TocProjectTest : public ScratchDirTest {};

// Every field; numbers as the build reads them, texts quoted.
std::string project_dump(const TocProject& project) {
    std::string dump = "single=" + std::to_string(project.is_single.to_integer());
    dump += " back=" + std::to_string(project.is_dest_as_source.to_integer());
    dump += " source=[";
    for (size_t i = 0; i < project.source.size(); ++i)
        dump += (i ? "|" : "") + quote_bytes(project.source[i].view());
    dump += "] destination=" + quote_bytes(project.destination.view());
    dump += " range=" + std::to_string(project.range_from.to_integer()) + ".." +
            std::to_string(project.range_to.to_integer());
    dump += " anchor=" + quote_bytes(project.named_anchor_attributes.view());
    dump += " titles=" + std::to_string(project.process_title.to_integer());
    dump += " numbers=" + std::to_string(project.process_numbering.to_integer());
    dump += " template=" + quote_bytes(project.template_file.view());
    dump += " indent=" + quote_bytes(project.indent.view());
    dump += " local=" + std::to_string(project.insert_local_toc.to_integer());
    return dump;
}

constexpr std::string_view defaults =
    R"(single=1 back=1 source=[""] destination="" range=1..6 anchor="" titles=0 numbers=1 )"
    R"(template="" indent="" local=0)";

TEST_F(TocProjectTest, LoadRules) {
    struct Row {
        std::string_view file;
        std::string_view expected;
    } rows[] = {
        {"<range_to>3</range_to>\r\n",
         R"(single=1 back=1 source=[""] destination="" range=1..3 anchor="" titles=0 numbers=1 )"
         R"(template="" indent="" local=0)"},
        {"", defaults},
        {"<is_single>0</is_single>\r\n<source>a</source>\r\n<destination>x</destination>\r\n"
         "<source>b</source>\r\n<destination>y</destination>\r\n",
         R"(single=0 back=1 source=["a"|"b"] destination="x" range=1..6 anchor="" titles=0 )"
         R"(numbers=1 template="" indent="" local=0)"},
        {"<is_single>yes</is_single><range_from> -2x</range_from><range_to>abc</range_to>"
         "<process_numbering></process_numbering><is_dest_as_source/>",
         R"(single=0 back=0 source=[] destination="" range=-2..0 anchor="" titles=0 numbers=1 )"
         R"(template="" indent="" local=0)"},
        {"<process_title>1</process_title><source></source>", defaults},
        {"<is_single>0</is_single><process_title>1</process_title><source></source>"
         "<source>b</source><insert_local_toc>1</insert_local_toc>",
         R"(single=0 back=1 source=["b"] destination="" range=1..6 anchor="" titles=1 numbers=1 )"
         R"(template="" indent="" local=1)"},
        {"<is_single>0</is_single><source/><source>b</source>",
         R"(single=0 back=1 source=[] destination="" range=1..6 anchor="" titles=0 numbers=1 )"
         R"(template="" indent="" local=0)"},
        {"<is_single>0</is_single><source>a</source><source/>",
         R"(single=0 back=1 source=["a"|""] destination="" range=1..6 anchor="" titles=0 )"
         R"(numbers=1 template="" indent="" local=0)"},
        {"<named_anchor_attributes>class=&quot;x&quot;</named_anchor_attributes>"
         "<indent>&amp;nbsp;</indent><template_file>t.htm</template_file>",
         R"(single=1 back=1 source=[""] destination="" range=1..6 anchor=" class=\"x\"" )"
         R"(titles=0 numbers=1 template="t.htm" indent="&nbsp;" local=0)"},
        {"<?xml version=\"1.0\"?>\r\n<!-- saved -->\r\n<project><RANGE_TO>4</Range_To>"
         "<unknown>z</unknown></project>\r\n",
         R"(single=1 back=1 source=[""] destination="" range=1..4 anchor="" titles=0 numbers=1 )"
         R"(template="" indent="" local=0)"},
        {"<destination><![CDATA[a&amp;<b>]]></destination><indent> </indent>",
         R"(single=1 back=1 source=[""] destination="a&amp;<b>" range=1..6 anchor="" titles=0 )"
         R"(numbers=1 template="" indent=" " local=0)"},
        {"<indent><b>x</b></indent>", defaults},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(quote_bytes(row.file));
        put("p.toc", std::string(row.file));
        TocProject project;
        project.destination.set_text("stale");
        project.source.emplace_back("stale");
        ASSERT_EQ(project.load(path("p.toc")), 0) << project.error_text.view();
        EXPECT_EQ(project_dump(project), row.expected);
    }
}

TEST_F(TocProjectTest, FailedLoadChangesOnlyTheErrorText) {
    struct Row {
        std::string file;
        std::string expected;
    } rows[] = {
        {"<a>x</b>", "Line: 1, column: 8\r\nError: misplaced end tag.\r\n"},
        {"<range_to>2</range_to>\r\n<destination>x",
         "Line: 2, column: 14\r\nError: unclosed tag.\r\n"},
        {"", "Can't open file " + path("none.toc")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        std::string file_path = path("none.toc");
        if (!row.file.empty()) {
            put("p.toc", row.file);
            file_path = path("p.toc");
        }
        TocProject project;
        project.is_single.set_integer(0);
        project.source = {qvchar("a.htm"), qvchar("b.htm")};
        project.range_to.set_integer(3);
        const std::string before = project_dump(project);
        EXPECT_EQ(project.load(file_path), 1);
        EXPECT_EQ(project.error_text.view(), row.expected);
        EXPECT_EQ(project_dump(project), before);
    }
}

TEST_F(TocProjectTest, SavedFileIsByteExact) {
    TocProject project;
    EXPECT_EQ(project.save(path("default.toc")), 0);
    EXPECT_EQ(
        bytes_of("default.toc"),
        "<destination></destination>\r\n<indent></indent>\r\n"
        "<insert_local_toc>0</insert_local_toc>\r\n<is_dest_as_source>1</is_dest_as_source>\r\n"
        "<is_single>1</is_single>\r\n<named_anchor_attributes></named_anchor_attributes>\r\n"
        "<process_numbering>1</process_numbering>\r\n<process_title>0</process_title>\r\n"
        "<range_from>1</range_from>\r\n<range_to>6</range_to>\r\n<source></source>\r\n"
        "<template_file></template_file>\r\n");

    project.template_file.set_text("qvdata/toc_list.htm");
    project.indent.set_text("&nbsp;");
    project.source = {qvchar("b.htm"), qvchar(""), qvchar("a \"q\".htm")};
    project.is_single.set_integer(0);
    project.process_title.set_bool(true);
    project.named_anchor_attributes.set_text(" class=\"x\"");
    project.range_to.set_text("3");
    project.range_from.set_integer(2);
    project.destination.set_text("dir/toc \xE9.htm");
    project.insert_local_toc.set_integer(1);
    EXPECT_EQ(project.save(path("p.toc")), 0);
    EXPECT_EQ(
        bytes_of("p.toc"),
        "<destination>dir/toc &#233;.htm</destination>\r\n<indent>&amp;nbsp;</indent>\r\n"
        "<insert_local_toc>1</insert_local_toc>\r\n<is_dest_as_source>1</is_dest_as_source>\r\n"
        "<is_single>0</is_single>\r\n"
        "<named_anchor_attributes> class=&quot;x&quot;</named_anchor_attributes>\r\n"
        "<process_numbering>1</process_numbering>\r\n<process_title>1</process_title>\r\n"
        "<range_from>2</range_from>\r\n<range_to>3</range_to>\r\n<source>b.htm</source>\r\n"
        "<source></source>\r\n<source>a &quot;q&quot;.htm</source>\r\n"
        "<template_file>qvdata/toc_list.htm</template_file>\r\n");
}

// Every text field and source entry holding the value survives a save and a load. The file
// keeps CR and LF as they are and the reader turns CR LF and a lone CR into LF, so a CR inside
// a value comes back as LF.
TEST_F(TocProjectTest, ValuesSurviveSaveAndLoad) {
    struct Row {
        std::string value;
        std::string expected;
    } rows[] = {
        {"a\"b", "a\"b"},
        {"x&y", "x&y"},
        {"<b>&lt;", "<b>&lt;"},
        {"it's", "it's"},
        {"\xE9\x80\xFF", "\xE9\x80\xFF"},
        {"&#65;&amp;&#x41", "&#65;&amp;&#x41"},
        {"  lead and trail  ", "  lead and trail  "},
        {"]]><!--<![CDATA[", "]]><!--<![CDATA["},
        {"a\nb", "a\nb"},
        {"a\r\nb", "a\nb"},
        {"a\rb", "a\nb"},
        {"", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(quote_bytes(row.value));
        TocProject saved;
        saved.is_single.set_integer(0);
        saved.source = {qvchar("first"), qvchar(row.value)};
        saved.destination.set_text(row.value);
        saved.named_anchor_attributes.set_text(" " + row.value);
        saved.template_file.set_text(row.value);
        saved.indent.set_text(row.value);
        ASSERT_EQ(saved.save(path("p.toc")), 0);

        TocProject loaded;
        ASSERT_EQ(loaded.load(path("p.toc")), 0) << loaded.error_text.view();
        saved.source[1] = qvchar(row.expected);
        saved.destination.set_text(row.expected);
        saved.named_anchor_attributes.set_text(" " + row.expected);
        saved.template_file.set_text(row.expected);
        saved.indent.set_text(row.expected);
        if (row.expected.empty()) saved.source.pop_back();
        EXPECT_EQ(project_dump(loaded), project_dump(saved));
    }
}

TEST_F(TocProjectTest, FailedSaveKeepsTheOldFile) {
    TocProject project;
    EXPECT_EQ(project.save(path("missing/p.toc")), 1);
    EXPECT_EQ(project.error_text.view(), "Can't write to file: " + path("missing/p.toc"));

    put("p.toc", "old");
    project.error_text.clear();
    set_output_fault_for_testing(30);
    const int result = project.save(path("p.toc"));
    set_output_fault_for_testing(-1);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(project.error_text.view(), "Can't write to file: " + path("p.toc"));
    EXPECT_EQ(bytes_of("p.toc"), "old");
}

TEST(TocProjectNormalizeTest, ModeRules) {
    struct Row {
        int single;
        std::vector<std::string_view> source;
        std::string_view expected;
    } rows[] = {
        {1, {}, R"([""] titles=0)"},
        {1, {"", "b"}, R"([""|"b"] titles=0)"},
        {0, {}, "[] titles=1"},
        {0, {"", "b"}, "[] titles=1"},
        {0, {"a", ""}, R"(["a"|""] titles=1)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.expected);
        TocProject project;
        project.is_single.set_integer(row.single);
        project.process_title.set_integer(1);
        project.source.clear();
        for (std::string_view entry : row.source)
            project.source.emplace_back(entry);
        project.normalize();
        std::string dump = "[";
        for (size_t i = 0; i < project.source.size(); ++i)
            dump += (i ? "|" : "") + quote_bytes(project.source[i].view());
        dump += "] titles=" + std::to_string(project.process_title.to_integer());
        EXPECT_EQ(dump, row.expected);
    }
}

TEST(TocProjectNormalizeTest, AnchorAttributesStartWithOneBlank) {
    struct Row {
        std::string_view text;
        std::string_view expected;
    } rows[] = {
        {"class=x", " class=x"},
        {" class=x", " class=x"},
        {"  x", "  x"},
        {"\tx", " \tx"},
        {"", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        TocProject project;
        project.named_anchor_attributes.set_text(row.text);
        project.normalizeAnchorAttributes();
        EXPECT_EQ(project.named_anchor_attributes.view(), row.expected);
    }
}

TEST(TocProjectNormalizeTest, ResetRestoresDefaults) {
    TocProject project;
    EXPECT_EQ(project_dump(project), defaults);
    project.is_single.set_integer(0);
    project.source = {qvchar("a")};
    project.indent.set_text("x");
    project.error_text.assign("old error");
    project.reset();
    EXPECT_EQ(project_dump(project), defaults);
    EXPECT_TRUE(project.error_text.is_empty());
}

}  // namespace
