#include "toc_project.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "markup_dump.h"
#include "output_file.h"
#include "scratch_dir.h"

namespace {

// Every field as "name=value", numbers as the build reads them, texts quoted.
std::vector<std::string> fields(const toc_project& project) {
    std::string sources = "source=[";
    for (size_t i = 0; i < project.source.size(); ++i) {
        if (i) sources += '|';
        sources += quote_bytes(project.source[i].view());
    }
    const auto number = [](const char* name, int32_t value) {
        return std::string(name) + "=" + std::to_string(value);
    };
    const auto text = [](const char* name, const byte_string& value) {
        return std::string(name) + "=" + quote_bytes(value.view());
    };
    return {number("single", project.is_single),
            number("back", project.is_dest_as_source),
            sources + "]",
            text("destination", project.destination),
            number("from", project.range_from),
            number("to", project.range_to),
            text("anchor", project.named_anchor_attributes),
            number("ids", project.anchor_style == anchor_kind::id),
            number("titles", project.process_title),
            number("numbers", project.process_numbering),
            text("template", project.template_file),
            text("indent", project.indent),
            number("local", project.insert_local_toc)};
}

// The fields that differ from a fresh record's; "" when none does.
std::string project_dump(const toc_project& project) {
    const std::vector<std::string> defaults = fields(toc_project());
    const std::vector<std::string> values = fields(project);
    std::string dump;
    for (size_t i = 0; i < values.size(); ++i) {
        if (values[i] == defaults[i]) continue;
        if (!dump.empty()) dump += ' ';
        dump += values[i];
    }
    return dump;
}

class TocProjectTest : public ScratchDirTest {
  protected:
    // project_dump with the scratch folder left out of the paths that load took against it.
    std::string dump(const toc_project& project) const {
        std::string text = project_dump(project);
        const std::string folder = path("");
        for (size_t at; (at = text.find(folder)) != std::string::npos;)
            text.erase(at, folder.size());
        return text;
    }
};

TEST_F(TocProjectTest, LoadRules) {
    struct Row {
        std::string_view file;
        std::string_view expected;
    } rows[] = {
        // single mode, write-back, range 1 to 3, numbering on, titles off, one empty source
        {"<range_to>3</range_to>\r\n", "to=3"},
        {"", ""},
        {"<is_single>0</is_single>\r\n<source>a</source>\r\n<destination>x</destination>\r\n"
         "<source>b</source>\r\n<destination>y</destination>\r\n",
         R"(single=0 source=["a"|"b"] destination="x")"},
        {"<is_single>yes</is_single><range_from> -2x</range_from><range_to>abc</range_to>"
         "<process_numbering></process_numbering><is_dest_as_source/>",
         "single=0 back=0 source=[] from=-2 to=0"},
        {"<process_title>1</process_title><source></source>", ""},
        {"<is_single>0</is_single><process_title>1</process_title><source></source>"
         "<source>b</source><insert_local_toc>1</insert_local_toc>",
         R"(single=0 source=["b"] titles=1 local=1)"},
        {"<is_single>0</is_single><source/><source>b</source>", "single=0 source=[]"},
        {"<is_single>0</is_single><source>a</source><source/>", R"(single=0 source=["a"|""])"},
        {"<named_anchor_attributes>class=&quot;x&quot;</named_anchor_attributes>"
         "<indent>&amp;nbsp;</indent><template_file>t.htm</template_file>",
         R"(anchor=" class=\"x\"" template="t.htm" indent="&nbsp;")"},
        {"<?xml version=\"1.0\"?>\r\n<!-- saved -->\r\n<project><RANGE_TO>4</Range_To>"
         "<unknown>z</unknown></project>\r\n",
         "to=4"},
        {"<destination><![CDATA[a&amp;<b>]]></destination><indent> </indent>",
         R"(destination="a&amp;<b>" indent=" ")"},
        {"<indent><b>x</b></indent>", ""},
        // only `id` changes the classic anchors, and only a key's first value counts
        {"<anchor_style>id</anchor_style><anchor_style>name</anchor_style>", "ids=1"},
        {"<anchor_style>name</anchor_style><anchor_style>id</anchor_style>", ""},
        {"<anchor_style>ID</anchor_style>", ""},
        // one file named three ways is one source; an absolute path stays as written
        {"<is_single>0</is_single><source>a.htm</source><source>/x/b.htm</source>"
         "<source>./a.htm</source><source>sub/../a.htm</source><source>/x/./b.htm</source>",
         R"(single=0 source=["a.htm"|"/x/b.htm"])"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(quote_bytes(row.file));
        put("p.toc", std::string(row.file));
        toc_project project;
        project.destination = byte_string("stale");
        project.source.emplace_back("stale");
        const result loaded = project.load(path("p.toc"));
        ASSERT_TRUE(loaded.is_ok()) << loaded.message().view();
        EXPECT_EQ(dump(project), row.expected);
    }
}

TEST_F(TocProjectTest, FailedLoadChangesNothing) {
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
        toc_project project;
        project.is_single = false;
        project.source = {byte_string("a.htm"), byte_string("b.htm")};
        project.range_to = 3;
        const std::string before = project_dump(project);
        const result loaded = project.load(file_path);
        EXPECT_EQ(loaded.code(), status_code::failed);
        EXPECT_EQ(loaded.message().view(), row.expected);
        EXPECT_EQ(project_dump(project), before);
    }
}

TEST_F(TocProjectTest, SavedFileIsByteExact) {
    toc_project project;
    EXPECT_TRUE(project.save(path("default.toc")).is_ok());
    EXPECT_EQ(
        bytes_of("default.toc"),
        "<destination></destination>\r\n<indent></indent>\r\n"
        "<insert_local_toc>0</insert_local_toc>\r\n<is_dest_as_source>1</is_dest_as_source>\r\n"
        "<is_single>1</is_single>\r\n<named_anchor_attributes></named_anchor_attributes>\r\n"
        "<process_numbering>1</process_numbering>\r\n<process_title>0</process_title>\r\n"
        "<range_from>1</range_from>\r\n<range_to>6</range_to>\r\n<source></source>\r\n"
        "<template_file></template_file>\r\n");

    project.template_file = byte_string("qvdata/toc_list.htm");
    project.indent = byte_string("&nbsp;");
    project.source = {byte_string("b.htm"), byte_string(""), byte_string("a \"q\".htm")};
    project.is_single = false;
    project.process_title = true;
    project.named_anchor_attributes = byte_string(" class=\"x\"");
    project.range_to = 3;
    project.range_from = 2;
    project.destination = byte_string("dir/toc \xE9.htm");
    project.insert_local_toc = true;
    EXPECT_TRUE(project.save(path("p.toc")).is_ok());
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

// A project file as the program writes it loads and saves to the same bytes.
TEST_F(TocProjectTest, StoredProjectRoundTrips) {
    const std::string stored[] = {
        "<destination></destination>\r\n<indent></indent>\r\n"
        "<insert_local_toc>0</insert_local_toc>\r\n<is_dest_as_source>1</is_dest_as_source>\r\n"
        "<is_single>1</is_single>\r\n<named_anchor_attributes></named_anchor_attributes>\r\n"
        "<process_numbering>1</process_numbering>\r\n<process_title>0</process_title>\r\n"
        "<range_from>1</range_from>\r\n<range_to>6</range_to>\r\n<source></source>\r\n"
        "<template_file></template_file>\r\n",
        "<anchor_style>id</anchor_style>\r\n"
        "<destination>toc &#233;.htm</destination>\r\n<indent>&amp;nbsp;</indent>\r\n"
        "<insert_local_toc>1</insert_local_toc>\r\n<is_dest_as_source>0</is_dest_as_source>\r\n"
        "<is_single>0</is_single>\r\n"
        "<named_anchor_attributes> class=&quot;x&quot;</named_anchor_attributes>\r\n"
        "<process_numbering>0</process_numbering>\r\n<process_title>1</process_title>\r\n"
        "<range_from>2</range_from>\r\n<range_to>3</range_to>\r\n<source>b.htm</source>\r\n"
        "<template_file>qvdata/toc_list.htm</template_file>\r\n",
    };
    for (const std::string& bytes : stored) {
        SCOPED_TRACE(bytes);
        put("p.toc", bytes);
        toc_project project;
        ASSERT_TRUE(project.load(path("p.toc")).is_ok());
        ASSERT_TRUE(project.save(path("again.toc")).is_ok());
        EXPECT_EQ(bytes_of("again.toc"), bytes);
    }
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
        {"a\r\nb", "a\r\nb"},
        {"a\rb", "a\rb"},
        {"", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(quote_bytes(row.value));
        toc_project saved;
        saved.is_single = false;
        saved.source = {byte_string("first"), byte_string(row.value)};
        saved.destination = byte_string(row.value);
        saved.named_anchor_attributes = byte_string(" " + row.value);
        saved.template_file = byte_string(row.value);
        saved.indent = byte_string(row.value);
        ASSERT_TRUE(saved.save(path("p.toc")).is_ok());

        toc_project loaded;
        ASSERT_TRUE(loaded.load(path("p.toc")).is_ok());
        saved.source[1] = byte_string(row.expected);
        saved.destination = byte_string(row.expected);
        saved.named_anchor_attributes = byte_string(" " + row.expected);
        saved.template_file = byte_string(row.expected);
        saved.indent = byte_string(row.expected);
        if (row.expected.empty()) saved.source.pop_back();
        EXPECT_EQ(dump(loaded), project_dump(saved));
    }
}

// A project folder can move: files inside it are stored relative to the project file and come
// back absolute against wherever it is loaded from.
TEST_F(TocProjectTest, PathsInsideTheProjectFolderAreStoredRelative) {
    toc_project project;
    project.is_single = false;
    project.source = {byte_string(path("site/guide/a b.htm")), byte_string(path("other/c.htm")),
                      byte_string("/x/d.htm"), byte_string("e.htm")};
    project.destination = byte_string(path("site/./index.htm"));
    project.template_file = byte_string(path("site.htm"));
    std::filesystem::create_directories(path("site"));
    ASSERT_TRUE(project.save(path("site/p.toc")).is_ok());
    const std::string stored = bytes_of("site/p.toc");
    const std::string lines[] = {"<destination>index.htm<",
                                 "<source>guide/a b.htm<",
                                 "<source>" + path("other/c.htm") + "<",
                                 "<source>/x/d.htm<",
                                 "<source>e.htm<",
                                 "<template_file>" + path("site.htm") + "<"};
    for (const std::string& line : lines)
        EXPECT_NE(stored.find(line), std::string::npos) << line << "\n" << stored;

    std::filesystem::rename(path("site"), path("moved"));
    ASSERT_TRUE(project.load(path("moved/p.toc")).is_ok());
    project.make_paths_absolute();
    EXPECT_EQ(project.source[0].view(), path("moved/guide/a b.htm"));
    EXPECT_EQ(project.source[3].view(), path("moved/e.htm"));
    EXPECT_EQ(project.destination.view(), path("moved/index.htm"));
}

TEST_F(TocProjectTest, FailedSaveKeepsTheOldFile) {
    toc_project project;
    EXPECT_EQ(project.save(path("missing/p.toc")).message().view(),
              "Can't write to file: " + path("missing/p.toc"));

    put("p.toc", "old");
    set_output_fault_for_testing(30);
    const result saved = project.save(path("p.toc"));
    set_output_fault_for_testing(-1);
    EXPECT_EQ(saved.code(), status_code::failed);
    EXPECT_EQ(saved.message().view(), "Can't write to file: " + path("p.toc"));
    EXPECT_EQ(bytes_of("p.toc"), "old");
}

TEST(TocProjectNormalizeTest, ModeRules) {
    struct Row {
        int single;
        std::vector<std::string_view> source;
        std::string_view expected;
    } rows[] = {
        {1, {}, ""},
        {1, {"", "b"}, R"(source=[""|"b"])"},
        {0, {}, "single=0 source=[] titles=1"},
        {0, {"", "b"}, "single=0 source=[] titles=1"},
        {0, {"a", ""}, R"(single=0 source=["a"|""] titles=1)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.expected);
        toc_project project;
        project.is_single = row.single != 0;
        project.process_title = true;
        project.source.clear();
        for (std::string_view entry : row.source)
            project.source.emplace_back(entry);
        project.normalize();
        EXPECT_EQ(project_dump(project), row.expected);
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
        toc_project project;
        project.named_anchor_attributes = byte_string(row.text);
        project.normalize_anchor_attributes();
        EXPECT_EQ(project.named_anchor_attributes.view(), row.expected);
    }
}

TEST(TocProjectNormalizeTest, ResetRestoresDefaults) {
    toc_project project;
    const std::vector<std::string> defaults = {
        "single=1",       "back=1",       R"(source=[""])", R"(destination="")", "from=1",
        "to=6",           R"(anchor="")", "ids=0",          "titles=0",          "numbers=1",
        R"(template="")", R"(indent="")", "local=0"};
    EXPECT_EQ(fields(project), defaults);
    project.is_single = false;
    project.source = {byte_string("a")};
    project.indent = byte_string("x");
    project.anchor_style = anchor_kind::id;
    project.reset();
    EXPECT_EQ(fields(project), defaults);
}

}  // namespace
