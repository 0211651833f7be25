#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "files.h"
#ifdef TOCVANE_HTML5_REFERENCE
#include "html5_reference.h"
#endif
#include "output_file.h"
#include "scratch_dir.h"
#include "toc_build.h"

namespace {

const std::string toc_comment =
    "\r\n<!--\r\nTOC is created by QORV Tocvane.\r\nhttps://tocvane.example.org/\r\n"
    "*Do not edit or delete* start and end tags wrapped within HTML comments.\r\n"
    "If you need to edit TOC, just regenerate it using the same project.\r\n-->\r\n";

// One line per item: depth, link, numbering and text; close rows write nothing.
const std::string test_template =
    "<ul><!--#for var=\"item\"--><!--#if var=\"open\"--><li>[<!--#echo var=\"level\"-->]"
    "<a href=\"<!--#echo var=\"link\"-->\"><!--#echo var=\"numbering\"--><!--#echo "
    "var=\"text\"--></a>\n<!--#endif--><!--#endfor--></ul>";

std::string toc_of(const std::string& rows) {
    return "<!--QORV_HTML_TOC_START-->" + toc_comment + "<ul>" + rows +
           "</ul><!--QORV_HTML_TOC_END-->";
}

std::string row(int level, const std::string& link, const std::string& text) {
    return "<li>[" + std::to_string(level) + "]<a href=\"" + link + "\">" + text + "</a>\n";
}

const std::string page =
    "<html><body>\n<!-- toc -->\n<h1>Alpha</h1>\n<h2>Beta</h2>\n<h1>Gamma</h1>\n</body></html>";

const std::string page_built =
    "<html><body>\n<!-- toc -->" +
    toc_of(row(0, "#qorv_link_1_1000", "1. Alpha") + row(1, "#qorv_link_2_1000", "1.1. Beta") +
           row(0, "#qorv_link_3_1000", "2. Gamma")) +
    "\n<h1>1. <a name=\"qorv_link_1_1000\">Alpha</a></h1>\n"
    "<h2>1.1. <a name=\"qorv_link_2_1000\">Beta</a></h2>\n"
    "<h1>2. <a name=\"qorv_link_3_1000\">Gamma</a></h1>\n</body></html>";

const std::string page_a = "<html><body><h1>A1</h1><h2>A2</h2></body></html>";
const std::string page_b = "<html><body><h1>B1</h1></body></html>";

size_t count_of(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

progress_function record_into(std::vector<int32_t>& percents) {
    return [&percents](int32_t percent) { percents.push_back(percent); };
}

// "ok", or the status code's number and the message.
std::string outcome(const result& r) {
    if (r.is_ok()) return "ok";
    return std::to_string(static_cast<int>(r.code())) + " " + std::string(r.message().view());
}

std::string outcome(status_code code, const std::string& message) {
    return outcome(result(code, message));
}

// A page, what a build makes of it, and whether numbering is on.
struct built_row {
    const char* name;
    std::string document;
    std::string built;
    bool numbering = false;
};

class TocBuildTest : public ScratchDirTest {
  protected:
    void SetUp() override {
        ScratchDirTest::SetUp();
        ::setenv("SOURCE_DATE_EPOCH", "1000", 1);
        put("t.tpl", test_template);
    }
    void TearDown() override {
        set_output_fault_for_testing(-1);
        set_output_commit_fault_for_testing("", "");
        ::unsetenv("SOURCE_DATE_EPOCH");
        ScratchDirTest::TearDown();
    }

    toc_project single(const std::string& source) const {
        toc_project project;
        project.is_single = true;
        project.is_dest_as_source = true;
        project.source = {byte_string(path(source))};
        project.template_file = byte_string(path("t.tpl"));
        project.process_numbering = true;
        return project;
    }

    toc_project multi(const std::vector<std::string>& sources, const std::string& destination) {
        toc_project project;
        project.is_single = false;
        project.source.clear();
        for (const std::string& source : sources)
            project.source.emplace_back(path(source));
        project.destination = byte_string(path(destination));
        project.template_file = byte_string(path("t.tpl"));
        project.process_numbering = true;
        return project;
    }

    void put_sub(const std::string& name, const std::string& bytes) const {
        std::filesystem::create_directories(std::filesystem::path(path(name)).parent_path());
        put(name, bytes);
    }
};

TEST_F(TocBuildTest, WriteDocumentDropsOldTocBetweenBothMarkers) {
    struct Row {
        std::vector<std::string> nodes;
        int start, end, insertion;
        bool with_toc;
        const char* expected;
    } rows[] = {
        {{"a", "s", "old", "e", "b"}, 1, 3, 0, true, "a[TOC]b"},
        {{"a", "s", "old", "e", "b"}, 1, 3, 0, false, "ab"},
        // a lone start marker stays, a lone end marker goes
        {{"a", "s", "old", "b"}, 1, -1, 3, true, "a<S>oldb[TOC]"},
        {{"a", "old", "e", "b"}, -1, 2, 0, true, "a[TOC]oldb"},
        // an element: the TOC follows its start tag
        {{"a", "p", "b"}, -1, -1, 1, true, "a<p>[TOC]x</p>b"},
        {{"a", "p", "b"}, -1, -1, -1, true, "a<p>x</p>b"},
        // an end marker located before its start marker loses no text
        {{"a", "e", "b", "s", "c"}, 3, 1, 0, false, "ab<S>c"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.expected);
        // top-level nodes: "s" start marker, "e" end marker, "p" an element holding "x", else text
        node_tree document;
        std::vector<xml_node*> nodes;
        for (const std::string& text : r.nodes) {
            xml_node* node = nullptr;
            if (text == "s") {
                node = new xml_node(construct_kind::comment, "<S>");
            } else if (text == "e") {
                node = new xml_node(construct_kind::comment, "<E>");
            } else if (text == "p") {
                node = new xml_node(construct_kind::start_tag, "<p>");
                tree_append_child(document, new xml_node(construct_kind::text, "x"), node);
                tree_append_child(document, new xml_node(construct_kind::end_tag, "</p>"), node);
            } else {
                node = new xml_node(construct_kind::text, text);
            }
            tree_insert(document, node, nullptr, nullptr);
            nodes.push_back(node);
        }
        const auto at = [&nodes](int i) { return i < 0 ? nullptr : nodes[i]; };
        located_nodes located;
        located.start_marker = at(r.start);
        located.end_marker = at(r.end);
        located.insertion = at(r.insertion);
        const toc_writer toc = [](const byte_sink& bytes) {
            for (const std::string_view piece : {"[TOC", "", "]"})
                bytes(piece);
        };
        std::string written;
        write_document(document, located, nullptr, r.with_toc ? &toc : nullptr,
                       [&written](std::string_view bytes) { written += bytes; });
        EXPECT_EQ(written, r.expected);
    }
}

TEST_F(TocBuildTest, SingleInPlace) {
    put("p.htm", page);
    toc_project project = single("p.htm");
    std::vector<int32_t> percents;
    ASSERT_EQ(outcome(build_toc(project, record_into(percents))), "ok");
    EXPECT_EQ(bytes_of("p.htm"), page_built);
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.back(), 100);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
}

TEST_F(TocBuildTest, SingleToDestinationLeavesSource) {
    put("p.htm", page);
    toc_project project = single("p.htm");
    project.is_dest_as_source = false;
    project.destination = byte_string(path("out.htm"));
    ASSERT_EQ(outcome(build_toc(project, {})), "ok");
    EXPECT_EQ(bytes_of("p.htm"), page);
    EXPECT_EQ(bytes_of("out.htm"), page_built);
}

TEST_F(TocBuildTest, RebuildKeepsAnchorsAndBytes) {
    put("p.htm", page);
    toc_project project = single("p.htm");
    ASSERT_EQ(outcome(build_toc(project, {})), "ok");
    ::setenv("SOURCE_DATE_EPOCH", "2000", 1);
    for (int build = 2; build <= 3; ++build) {
        SCOPED_TRACE(build);
        ASSERT_EQ(outcome(build_toc(project, {})), "ok");
        EXPECT_EQ(bytes_of("p.htm"), page_built);
    }
}

TEST_F(TocBuildTest, RebuildWithoutBodyKeepsOneTocBeforeTheHeading) {
    put("p.htm", "<script>x</script><h1>A</h1>");
    toc_project project = single("p.htm");
    project.process_numbering = false;
    const std::string built = "<script>x</script>" + toc_of(row(0, "#qorv_link_1_1000", "A")) +
                              "<h1><a name=\"qorv_link_1_1000\">A</a></h1>";
    for (int build = 1; build <= 3; ++build) {
        SCOPED_TRACE(build);
        ASSERT_EQ(outcome(build_toc(project, {})), "ok");
        EXPECT_EQ(bytes_of("p.htm"), built);
    }
}

TEST_F(TocBuildTest, TemplateMissingInSingleMode) {
    put("p.htm", page);
    toc_project project = single("p.htm");
    ASSERT_EQ(outcome(build_toc(project, {})), "ok");
    const std::string built = bytes_of("p.htm");
    project.template_file = byte_string(path("none.tpl"));
    ASSERT_EQ(outcome(build_toc(project, {})), "ok");
    // the old TOC stays; anchors and numbers are written anew
    EXPECT_EQ(bytes_of("p.htm").find(toc_of(row(0, "#qorv_link_1_1000", "1. Alpha"))),
              built.find(toc_of(row(0, "#qorv_link_1_1000", "1. Alpha"))));

    put("q.htm", "<h1>A</h1>");
    project = single("q.htm");
    project.template_file = byte_string(path("none.tpl"));
    ASSERT_EQ(outcome(build_toc(project, {})), "ok");
    EXPECT_EQ(bytes_of("q.htm"), "<h1>1. <a name=\"qorv_link_1_1000\">A</a></h1>");
}

TEST_F(TocBuildTest, ClearRestoresHeadings) {
    put("p.htm", page);
    toc_project project = single("p.htm");
    ASSERT_EQ(outcome(build_toc(project, {})), "ok");
    ASSERT_EQ(outcome(clear_toc(project, {})), "ok");
    EXPECT_EQ(bytes_of("p.htm"), page);
    ASSERT_EQ(outcome(build_toc(project, {})), "ok");
    project.process_numbering = false;
    ASSERT_EQ(outcome(clear_toc(project, {})), "ok");
    EXPECT_EQ(bytes_of("p.htm"),
              "<html><body>\n<!-- toc -->\n<h1>1. Alpha</h1>\n<h2>1.1. Beta</h2>\n"
              "<h1>2. Gamma</h1>\n</body></html>");
    // earlier versions left two blanks after each number on every rebuild
    put("q.htm", "<h1>1.  <a name=\"qorv_link_1_5\">A</a></h1>");
    ASSERT_EQ(outcome(clear_toc(single("q.htm"), {})), "ok");
    EXPECT_EQ(bytes_of("q.htm"), "<h1>A</h1>");
}

// Each row is built three times, checked after the first build, and then cleared: a second
// build changes no byte and the clear gives the page back.
TEST_F(TocBuildTest, BuildsNeverDamageThePage) {
    const std::string toc_a = toc_of(row(0, "#qorv_link_1_1000", "A"));
    const built_row rows[] = {
        {"a lone start marker in the head stays where it is",
         "<head><!--QORV_HTML_TOC_START--><meta x></head><body><h1>A</h1></body>",
         "<head><!--QORV_HTML_TOC_START--><meta x></head><body>" + toc_a +
             "<h1><a name=\"qorv_link_1_1000\">A</a></h1></body>"},
        {"a heading holding a link gets an empty anchor",
         "<body><h1><a href=\"#x\">A</a></h1></body>",
         "<body>" + toc_of(row(0, "#qorv_link_1_1000", "1. A")) +
             "<h1>1. <a name=\"qorv_link_1_1000\"></a><a href=\"#x\">A</a></h1></body>",
         true},
        {"a line break before the text stays", "<body><h1>\n  A</h1>",
         "<body>" + toc_of(row(0, "#qorv_link_1_1000", "1. A")) +
             "<h1>1. <a name=\"qorv_link_1_1000\">\n  A</a></h1>",
         true},
        {"a byte order mark stays first", "\xEF\xBB\xBFx",
         "\xEF\xBB\xBF<!--QORV_HTML_TOC_START-->" + toc_comment + "<!--QORV_HTML_TOC_END-->x"},
    };
    for (const built_row& r : rows) {
        SCOPED_TRACE(r.name);
        put("p.htm", r.document);
        toc_project project = single("p.htm");
        project.process_numbering = r.numbering;
        for (int build = 1; build <= 3; ++build) {
            ASSERT_EQ(outcome(build_toc(project, {})), "ok");
            EXPECT_EQ(bytes_of("p.htm"), r.built) << "build " << build;
        }
        ASSERT_EQ(outcome(clear_toc(project, {})), "ok");
        EXPECT_EQ(bytes_of("p.htm"), r.document);
    }
}

// A comment left open in a heading, copied into the TOC, would swallow the end marker.
TEST_F(TocBuildTest, TocEntryNeverBreaksTheToc) {
    put("p.htm", "<body><h1>A</h1><h2>B<!--");
    toc_project project = single("p.htm");
    std::string second;
    for (int build = 1; build <= 3; ++build) {
        SCOPED_TRACE(build);
        ASSERT_EQ(outcome(build_toc(project, {})), "ok");
        const std::string built = bytes_of("p.htm");
        EXPECT_EQ(count_of(built, "QORV_HTML_TOC_START"), 1u);
        if (build == 2) second = built;
        if (build == 3) {
            EXPECT_EQ(built, second);
        }
    }
}

#ifdef TOCVANE_HTML5_REFERENCE
// An HTML5 parser keeps every anchor a build inserts as written: none nests in a link.
TEST_F(TocBuildTest, InsertedAnchorsNestInNoLink) {
    for (const char* document : {
             "<body><h1><a href=\"#x\">A</a></h1><h2>B</h2></body>",
             "<h2>A <b><a href=\"x\">B</a> C</b></h2>",
             "<h3><a href=\"x\">A</h3><p>b",
             "<h1><a name=\"\" href=\"x\">A</a><a href=\"y\">B</a></h1>",
             "<h1><i>A</i><a href=\"x\"><img src=\"i\"></a></h1><h1>B</h1>",
             "<h2><p>A</pX><h2>B</h2>",
             "<h2><p>x<p/>y</pX><h2>B</h2>",
         }) {
        SCOPED_TRACE(document);
        put("p.htm", document);
        ASSERT_EQ(outcome(build_toc(single("p.htm"), {})), "ok");
        EXPECT_EQ(broken_links(bytes_of("p.htm"), "qorv_link_"), 0u);
    }
}
#endif

// With `id` anchors a build adds an id only where a heading has none, keeps it over rebuilds,
// trades it for a classic anchor and back when the style changes, and a clear gives the page
// back.
TEST_F(TocBuildTest, IdAnchorsRoundTrip) {
    const built_row rows[] = {
        {"headings without ids", page,
         "<html><body>\n<!-- toc -->" +
             toc_of(row(0, "#alpha", "1. Alpha") + row(1, "#beta", "1.1. Beta") +
                    row(0, "#gamma", "2. Gamma")) +
             "\n<h1 id=\"alpha\" data-qorv-id>1. Alpha</h1>\n<h2 id=\"beta\" data-qorv-id>1.1. "
             "Beta</h2>\n<h1 id=\"gamma\" data-qorv-id>2. Gamma</h1>\n</body></html>",
         true},
        {"an author's ids",
         "<body><h1 id=top>A</h1><h2><a id=\"b\"></a>B</h2><p id=\"a-2\"><h2>A</h2>"
         "<h2 class=\"x\" >A</h2><h3><a href=\"#top\">&Eacute;t&eacute; &amp; co</a></h3>",
         "<body>" +
             toc_of(row(0, "#top", "A") + row(1, "#b", "B") + row(1, "#a", "A") +
                    row(1, "#a-3", "A") +
                    row(2, "#%C3%A9t%C3%A9-co", "&Eacute;t&eacute; &amp; co")) +
             "<h1 id=top>A</h1><h2><a id=\"b\"></a>B</h2><p id=\"a-2\"><h2 id=\"a\" data-qorv-id>A"
             "</h2><h2 class=\"x\"  id=\"a-3\" data-qorv-id>A</h2><h3 id=\"\xC3\xA9t\xC3\xA9-co\" "
             "data-qorv-id><a href=\"#top\">&Eacute;t&eacute; &amp; co</a></h3>"},
        {"a page cut off in a heading", "<h1 title='x'>A<b",
         toc_of(row(0, "#a-b", "A&lt;b")) + "<h1 title='x' id=\"a-b\" data-qorv-id>A<b"},
        // put before the '>', the id would be read as that attribute's value
        {"an attribute waiting for its value", "<h1 a=>A</h1><h1 b= >B</h1><h1 =c=>C</h1>",
         toc_of(row(0, "#a", "A") + row(0, "#b", "B") + row(0, "#c", "C")) +
             "<h1 data-qorv-id id=\"a\" a=>A</h1><h1 data-qorv-id id=\"b\" b= >B</h1>"
             "<h1 data-qorv-id id=\"c\" =c=>C</h1>"},
    };
    for (const built_row& r : rows) {
        SCOPED_TRACE(r.name);
        put("p.htm", r.document);
        toc_project project = single("p.htm");
        project.process_numbering = r.numbering;
        ASSERT_EQ(outcome(build_toc(project, {})), "ok");
        const std::string classic = bytes_of("p.htm");
        put("p.htm", r.document);
        project.anchor_style = anchor_kind::id;
        for (int build = 1; build <= 2; ++build) {
            ASSERT_EQ(outcome(build_toc(project, {})), "ok");
            EXPECT_EQ(bytes_of("p.htm"), r.built) << "build " << build;
        }
#ifdef TOCVANE_HTML5_REFERENCE
        // no anchor name added, no link nested, no id twice
        const std::vector<std::string> before = html5_link_targets(r.document);
        std::vector<std::string> after = html5_link_targets(r.built);
        EXPECT_EQ(count_of(r.built, "name="), count_of(r.document, "name="));
        EXPECT_EQ(broken_links(r.built, ""), broken_links(r.document, ""));
        for (std::string& target : after)
            target.erase(0, target.find('=') + 1);
        std::sort(after.begin(), after.end());
        EXPECT_EQ(std::adjacent_find(after.begin(), after.end()), after.end());
        EXPECT_GE(after.size(), before.size());
#endif
        project.anchor_style = anchor_kind::name;
        ASSERT_EQ(outcome(build_toc(project, {})), "ok");
        EXPECT_EQ(bytes_of("p.htm"), classic);
        project.anchor_style = anchor_kind::id;
        ASSERT_EQ(outcome(build_toc(project, {})), "ok");
        EXPECT_EQ(bytes_of("p.htm"), r.built);
        ASSERT_EQ(outcome(clear_toc(project, {})), "ok");
        EXPECT_EQ(bytes_of("p.htm"), r.document);
    }
}

TEST_F(TocBuildTest, ClearLeavesAnUnbuiltPageAlone) {
    for (const char* document : {
             "<body><h1>1. Introduction</h1><h2>2024. A year in review</h2></body>",
             "<h1>\n  A</h1><!--QORV_HTML_TOC_END-->",
             "<!--QORV_HTML_TOC_START--><h1>1. A</h1>",
         }) {
        SCOPED_TRACE(document);
        put("p.htm", document);
        ASSERT_EQ(outcome(clear_toc(single("p.htm"), {})), "ok");
        EXPECT_EQ(bytes_of("p.htm"), document);
    }
}

TEST_F(TocBuildTest, UnsupportedEncodingTouchesNothing) {
    using namespace std::string_literals;
    const std::pair<std::string, std::string> rows[] = {
        {"\xFF\xFE<\0h\0\x31\0>\0"s, "UTF-16LE"},
        {"\xFE\xFF\0<\0h"s, "UTF-16BE"},
        {"\xFF\xFE\0\0<\0\0\0"s, "UTF-32LE"},
    };
    for (const auto& [document, encoding] : rows) {
        SCOPED_TRACE(encoding);
        put("p.htm", document);
        put("a.htm", page_a);
        const std::string expected = outcome(
            status_code::failed, "Unsupported encoding " + encoding + " in file: " + path("p.htm"));
        EXPECT_EQ(outcome(build_toc(single("p.htm"), {})), expected);
        EXPECT_EQ(outcome(clear_toc(single("p.htm"), {})), expected);
        EXPECT_EQ(outcome(build_toc(multi({"a.htm", "p.htm"}, "toc.htm"), {})), expected);
        EXPECT_EQ(bytes_of("p.htm"), document);
        EXPECT_EQ(bytes_of("a.htm"), page_a);
        EXPECT_EQ(bytes_of("toc.htm"), "<missing>");
    }
}

// Each step is linear in the headings: quadratic cost anywhere would run into the test timeout.
TEST_F(TocBuildTest, HundredThousandHeadingsUnderOneBuildAndClear) {
    constexpr int headings = 100000;
    std::string html = "<body><h1>A</h1>";
    for (int i = 0; i < headings; ++i)
        html += "<h2>B</h2>";
    html += "</body>";
    put("p.htm", html);
    toc_project project = single("p.htm");
    ASSERT_EQ(outcome(build_toc(project, {})), "ok");
    const std::string built = bytes_of("p.htm");
    const std::string last = std::to_string(headings + 1);
    EXPECT_NE(
        built.find(row(1, "#qorv_link_" + last + "_1000", "1." + std::to_string(headings) + ". B")),
        std::string::npos);
    EXPECT_NE(built.find("<h2>1." + std::to_string(headings) + ". <a name=\"qorv_link_" + last +
                         "_1000\">B</a></h2></body>"),
              std::string::npos);

    ASSERT_EQ(outcome(clear_toc(project, {})), "ok");
    ASSERT_EQ(outcome(clear_toc(project, {})), "ok");
    EXPECT_EQ(bytes_of("p.htm"), html);
}

// No step may recurse over the nesting: 200000 unclosed elements would overflow the stack.
TEST_F(TocBuildTest, DeeplyNestedHeadingsBuildAndClear) {
    constexpr int depth = 200000;
    std::string html = "<body>";
    for (int i = 0; i < depth; ++i)
        html += i % 1000 == 0 ? "<div><h2>B</h2>" : "<div>";
    put("p.htm", html);
    toc_project project = single("p.htm");
    ASSERT_EQ(outcome(build_toc(project, {})), "ok");
    EXPECT_NE(bytes_of("p.htm").find(row(0, "#qorv_link_200_1000", "200. B")), std::string::npos);
    ASSERT_EQ(outcome(clear_toc(project, {})), "ok");
    ASSERT_EQ(outcome(clear_toc(project, {})), "ok");
    EXPECT_EQ(bytes_of("p.htm"), html);
}

TEST_F(TocBuildTest, SourcePastTwoGigabytesFailsUntouched) {
    const uintmax_t size = largest_readable_file + 1;
    put_sparse("huge.htm", size);
    toc_project project = single("huge.htm");
    EXPECT_EQ(outcome(build_toc(project, {})),
              outcome(status_code::failed, "Source file is too large: " + path("huge.htm")));
    EXPECT_EQ(std::filesystem::file_size(path("huge.htm")), size);
    EXPECT_EQ(names_in(), (std::vector<std::string>{"huge.htm", "t.tpl"}));
}

// Without numbering a clear undoes a build, but where a listed heading's own markup pairs up
// with the inserted anchor tags when the built file is read again.
TEST_F(TocBuildTest, BuildThenClearGivesTheDocumentBack) {
    struct Row {
        std::string document;
        std::string cleared;
    } rows[] = {
        {"<h1>A</h1><h2><a href=\"#y\">B</a></h2>", "<h1>A</h1><h2><a href=\"#y\">B</a></h2>"},
        {"<body><h1><a>x</a> y<h1>z</body>", "<body><h1><a>x</a> y<h1>z</body>"},
        // a heading holding an `a` gets an empty anchor, whatever the `a` holds
        {"<h1>x<a>y</h1>z", "<h1>x<a>y</h1>z"},
        // a stray `</a>` closes the inserted anchor and goes with it; the inserted end tag stays
        {"<h1></a >x</h1>", "<h1>x</a></h1>"},
        // the document ends inside a tag, which an inserted end tag would complete
        {"<h1>A<b", "<h1>A<b"},
        // a clear cleans the outer heading, and of its anchors only the first
        {"<h2>x<body><h1>A</h1><h1>B</h1></h2>",
         "<h2>x<body><h1>A</h1><h1><a name=\"qorv_link_2_1000\">B</a></h1></h2>"},
        // the TOC's list closes the paragraph it is put in, so the second paragraph and heading
        // move into the first heading
        {"<p>x<h7>A<p>y<h7>B", "<p>x<h7>A<p>y<h7><a name=\"qorv_link_2_1000\">B</a>"},
        // or inside a comment
        {"<h1>x<!--</h1>", "<h1>x<!--</h1>"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.document);
        put("p.htm", r.document);
        toc_project project = single("p.htm");
        project.process_numbering = false;
        // h7, unknown to the reader, does not close a paragraph
        project.range_to = 7;
        ASSERT_EQ(outcome(build_toc(project, {})), "ok");
        ASSERT_EQ(outcome(clear_toc(project, {})), "ok");
        EXPECT_EQ(bytes_of("p.htm"), r.cleared);
    }
}

TEST_F(TocBuildTest, FailedWriteLeavesOldBytes) {
    put("p.htm", page);
    toc_project project = single("p.htm");
    set_output_fault_for_testing(100);
    EXPECT_EQ(outcome(build_toc(project, {})),
              outcome(status_code::failed, "Can't write to file: " + path("p.htm")));
    EXPECT_EQ(bytes_of("p.htm"), page);
    EXPECT_EQ(names_in(), (std::vector<std::string>{"p.htm", "t.tpl"}));
}

TEST_F(TocBuildTest, SingleSourceMissingOrNoRegularFile) {
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    const std::pair<std::string, std::string> rows[] = {
        {"none.htm", "Can't open source file: "},
        {"fifo", "Not a regular file: "},
    };
    for (const auto& [name, message] : rows) {
        SCOPED_TRACE(name);
        toc_project project = single(name);
        const std::string expected = outcome(status_code::failed, message + path(name));
        EXPECT_EQ(outcome(build_toc(project, {})), expected);
        EXPECT_EQ(outcome(clear_toc(project, {})), expected);
    }
}

TEST_F(TocBuildTest, ProjectFileIsNeverWrittenOver) {
    const std::string page = "<html><body><h1>A</h1></body></html>";
    const std::string stored = "<is_single>1</is_single>\r\n";
    put("a.htm", page);
    put("p.toc", stored);
    std::filesystem::create_directory(path("dir"));
    toc_project into_project = single("a.htm");
    into_project.is_dest_as_source = false;
    into_project.destination = byte_string(path("p.toc"));
    const std::pair<toc_project, std::string> rows[] = {
        {into_project, "p.toc"},
        {multi({"a.htm", "p.toc"}, "toc.htm"), "p.toc"},
        {multi({"a.htm"}, "dir/../p.toc"), "dir/../p.toc"},
    };
    for (const auto& [row_project, written] : rows) {
        SCOPED_TRACE(written);
        toc_project project = row_project;
        project.file_path = byte_string(path("p.toc"));
        EXPECT_EQ(
            outcome(build_toc(project, {})),
            outcome(status_code::failed, "Can't write over the project file: " + path(written)));
        EXPECT_EQ(bytes_of("p.toc"), stored);
        EXPECT_EQ(bytes_of("a.htm"), page);
    }
}

TEST_F(TocBuildTest, MultiLinksAreRelativeAndEncoded) {
    put("a.htm", page_a);
    put_sub("sub/b b.htm", page_b);
    put("toc.htm", "<html><body><p>See:</p></body></html>");
    toc_project project = multi({"a.htm", "sub/b b.htm"}, "toc.htm");
    std::vector<int32_t> percents;
    ASSERT_EQ(outcome(build_toc(project, record_into(percents))), "ok");
    // the sources fill 80 percent of the bar, the destination 5, then the end
    ASSERT_GE(percents.size(), 3u);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(percents[percents.size() - 2], 85);
    EXPECT_EQ(percents.back(), 100);
    EXPECT_EQ(bytes_of("toc.htm"), "<html><body>" +
                                       toc_of(row(0, "a.htm#qorv_link_1_1000", "1. A1") +
                                              row(1, "a.htm#qorv_link_2_1000", "1.1. A2") +
                                              row(0, "sub/b%20b.htm#qorv_link_1_1000", "2. B1")) +
                                       "<p>See:</p></body></html>");
    // without local TOCs the sources get anchors and numbers only
    EXPECT_EQ(bytes_of("sub/b b.htm"),
              "<html><body><h1>2. <a name=\"qorv_link_1_1000\">B1</a></h1></body></html>");

    project.anchor_style = anchor_kind::id;
    ASSERT_EQ(outcome(build_toc(project, {})), "ok");
    EXPECT_EQ(bytes_of("toc.htm"),
              "<html><body>" +
                  toc_of(row(0, "a.htm#a1", "1. A1") + row(1, "a.htm#a2", "1.1. A2") +
                         row(0, "sub/b%20b.htm#b1", "2. B1")) +
                  "<p>See:</p></body></html>");
}

TEST_F(TocBuildTest, MultiTitlesAndLocalTocs) {
    put("a.htm", "<html><head><title>Page A</title></head><body><h1>A1</h1></body></html>");
    put("b.htm", "<html><head><title>Page B</title></head><body><h1>B1</h1></body></html>");
    toc_project project = multi({"a.htm", "b.htm"}, "toc.htm");
    project.process_title = true;
    project.insert_local_toc = true;
    ASSERT_EQ(outcome(build_toc(project, {})), "ok");
    // a destination that did not exist holds only the TOC
    EXPECT_EQ(bytes_of("toc.htm"),
              toc_of(row(0, "a.htm", "1. Page A") + row(1, "a.htm#qorv_link_2_1000", "1.1. A1") +
                     row(0, "b.htm", "2. Page B") + row(1, "b.htm#qorv_link_2_1000", "2.1. B1")));
    // a local TOC lists the file's headings without its title, with bare links
    EXPECT_EQ(bytes_of("b.htm"),
              "<html><head><title>Page B</title></head><body>" +
                  toc_of(row(1, "#qorv_link_2_1000", "2.1. B1")) +
                  "<h1>2.1. <a name=\"qorv_link_2_1000\">B1</a></h1></body></html>");
}

// 100 times "a.htm", then `last`.
std::vector<std::string> many_then(std::vector<std::string> last) {
    std::vector<std::string> sources(100, "a.htm");
    sources.insert(sources.end(), last.begin(), last.end());
    return sources;
}

TEST_F(TocBuildTest, MultiChecksTouchNothing) {
    put("a.htm", page_a);
    std::filesystem::create_directory(path("dir"));
    // reading either would block or never end
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", path("zero.htm"));
    struct Row {
        const char* name;
        std::vector<std::string> sources;
        std::string destination;
        std::string template_file;
        std::string message;
    } rows[] = {
        {"no destination", {"a.htm"}, "", "t.tpl", "Destination file must be specified"},
        // looked at on workers, many sources still tell their first failure
        {"many sources", many_then({"fifo", "x.htm"}), "toc.htm", "t.tpl",
         "Not a regular file: " + path("fifo")},
        {"no source", {}, "toc.htm", "t.tpl", "At least one source file must be specified"},
        {"missing source",
         {"a.htm", "x.htm"},
         "toc.htm",
         "t.tpl",
         "File doesn't exist: " + path("x.htm")},
        {"directory source", {"dir"}, "toc.htm", "t.tpl", "File doesn't exist: " + path("dir")},
        {"missing template",
         {"a.htm"},
         "toc.htm",
         "none.tpl",
         "Can't open template file: " + path("none.tpl")},
        {"fifo source",
         {"a.htm", "fifo"},
         "toc.htm",
         "t.tpl",
         "Not a regular file: " + path("fifo")},
        {"device source",
         {"zero.htm"},
         "toc.htm",
         "t.tpl",
         "Not a regular file: " + path("zero.htm")},
        {"fifo template", {"a.htm"}, "toc.htm", "fifo", "Not a regular file: " + path("fifo")},
        {"fifo destination", {"a.htm"}, "fifo", "t.tpl", "Not a regular file: " + path("fifo")},
        {"source as destination",
         {"a.htm"},
         "dir/../a.htm",
         "t.tpl",
         "Destination file is one of the sources: " + path("dir/../a.htm")},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        toc_project project = multi(r.sources, r.destination);
        if (r.destination.empty()) project.destination = byte_string("");
        project.template_file = byte_string(path(r.template_file));
        EXPECT_EQ(outcome(build_toc(project, {})), outcome(status_code::failed, r.message));
        EXPECT_EQ(bytes_of("a.htm"), page_a);
        EXPECT_EQ(bytes_of("toc.htm"), "<missing>");
    }
}

TEST_F(TocBuildTest, MultiFailingSource) {
    put("a.htm", page_a);
    put("b.htm", page_b);
    // a source in a directory that takes no new files can be read but not replaced
    std::filesystem::create_symlink("/proc/version", path("ro.htm"));
    // a source that fails stops the build with the files before it rewritten
    toc_project project = multi({"a.htm", "ro.htm", "b.htm"}, "toc.htm");
    EXPECT_EQ(
        outcome(build_toc(project, {})),
        outcome(status_code::source_failed, "Can't open file for writing: " + path("ro.htm")));
    EXPECT_NE(bytes_of("a.htm"), page_a);
    EXPECT_EQ(bytes_of("b.htm"), page_b);
    EXPECT_EQ(bytes_of("toc.htm"), "<missing>");

    project = multi({"a.htm", "b.htm"}, "toc.htm");
    ASSERT_EQ(outcome(build_toc(project, {})), "ok");
    ASSERT_NE(bytes_of("toc.htm").find("QORV_HTML_TOC_START"), std::string::npos);

    project = multi({"ro.htm", "a.htm", "b.htm"}, "toc.htm");
    EXPECT_EQ(outcome(clear_toc(project, {})),
              outcome(status_code::failed, "Can't open file for writing: " + path("ro.htm")));
    EXPECT_EQ(bytes_of("a.htm"), page_a);
    EXPECT_EQ(bytes_of("b.htm"), page_b);
    EXPECT_EQ(bytes_of("toc.htm"), "");
}

// A source whose name reaches another file by the time it is read is never written: the other
// file's bytes would go into it.
TEST_F(TocBuildTest, SourceReplacedBeforeItsReadFails) {
    put("a.htm", page_a);
    put("b.htm", page_b);
    put("other.htm", page_a);
    bool swapped = false;
    const auto swap_b = [this, &swapped](int) {
        if (std::exchange(swapped, true)) return;
        std::filesystem::remove(path("b.htm"));
        std::filesystem::create_symlink(path("other.htm"), path("b.htm"));
    };
    EXPECT_EQ(outcome(build_toc(multi({"a.htm", "b.htm"}, "toc.htm"), swap_b, {}, 1)),
              outcome(status_code::source_failed,
                      "File was replaced during the build: " + path("b.htm")));
    EXPECT_EQ(bytes_of("other.htm"), page_a);
    EXPECT_EQ(bytes_of("toc.htm"), "<missing>");
}

const std::string page_a_rows =
    row(0, "a.htm#qorv_link_1_1000", "1. A1") + row(1, "a.htm#qorv_link_2_1000", "1.1. A2");

TEST_F(TocBuildTest, MultiReadsWhatEarlierFilesWrote) {
    // a second reading of a file finds its numbers and numbers it anew
    const std::string page_a_twice =
        "<html><body><h1>2. <a name=\"qorv_link_1_1000\">A1</a></h1>"
        "<h2>2.1. <a name=\"qorv_link_2_1000\">A2</a></h2></body></html>";
    const auto second_rows = [](const std::string& file) {
        return row(0, file + "#qorv_link_1_1000", "2. A1") +
               row(1, file + "#qorv_link_2_1000", "2.1. A2");
    };
    struct Row {
        const char* name;
        std::vector<std::string> sources;
        std::vector<std::pair<std::string, std::string>> expected;
    } rows[] = {
        {"listed twice",
         {"a.htm", "a.htm"},
         {{"a.htm", page_a_twice}, {"toc.htm", toc_of(page_a_rows + second_rows("a.htm"))}}},
        {"through a link",
         {"a.htm", "link.htm"},
         {{"a.htm", page_a_twice}, {"toc.htm", toc_of(page_a_rows + second_rows("link.htm"))}}},
        {"through another path",
         {"a.htm", "sub/../a.htm"},
         {{"a.htm", page_a_twice}, {"toc.htm", toc_of(page_a_rows + second_rows("a.htm"))}}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        put("a.htm", page_a);
        std::filesystem::remove(path("toc.htm"));
        std::filesystem::create_directories(path("sub"));
        std::filesystem::remove(path("link.htm"));
        std::filesystem::create_symlink("a.htm", path("link.htm"));
        toc_project project = multi(r.sources, "toc.htm");
        ASSERT_EQ(outcome(build_toc(project, {})), "ok");
        for (const auto& [file, bytes] : r.expected)
            EXPECT_EQ(bytes_of(file), bytes) << file;
        EXPECT_EQ(names_in(),
                  (std::vector<std::string>{"a.htm", "link.htm", "sub", "t.tpl", "toc.htm"}));
    }
}

TEST_F(TocBuildTest, MultiRendersWithATemplateItRewrote) {
    put("a.htm", page_a);
    put("b.htm", page_b);
    put("tl.tpl", "<!-- toc -->" + test_template);
    toc_project project = multi({"a.htm", "tl.tpl", "b.htm"}, "toc.htm");
    project.insert_local_toc = true;
    project.template_file = byte_string(path("tl.tpl"));
    ASSERT_EQ(outcome(build_toc(project, {})), "ok");
    // the template gains an empty TOC at its placeholder, which the files after it repeat
    const std::string empty_toc =
        "<!--QORV_HTML_TOC_START-->" + toc_comment + "<!--QORV_HTML_TOC_END-->";
    EXPECT_EQ(bytes_of("tl.tpl"), "<!-- toc -->" + empty_toc + test_template);
    const std::string a = bytes_of("a.htm");
    const std::string b = bytes_of("b.htm");
    EXPECT_EQ(count_of(a, "QORV_HTML_TOC_START"), 1u);
    EXPECT_NE(b.find("<!-- toc -->" + empty_toc + "<ul>" + row(0, "#qorv_link_1_1000", "2. B1")),
              std::string::npos);
    EXPECT_EQ(count_of(bytes_of("toc.htm"), "QORV_HTML_TOC_START"), 2u);
}

TEST_F(TocBuildTest, DryBuildForeseesTheBuild) {
    struct Row {
        const char* name;
        toc_project project;
        std::vector<std::string> files;  // every file of the site; the last gets the TOC
        bool settles;                    // a second build changes nothing
    };
    std::vector<Row> rows;
    rows.push_back({"single in place", single("p.htm"), {"p.htm"}, true});
    toc_project separate = single("p.htm");
    separate.is_dest_as_source = false;
    separate.destination = byte_string(path("out.htm"));
    rows.push_back({"single to a new file", separate, {"p.htm", "out.htm"}, true});
    toc_project local = multi({"a.htm", "b.htm"}, "toc.htm");
    local.process_title = true;
    local.insert_local_toc = true;
    rows.push_back({"multi, titles and local TOCs", local, {"a.htm", "b.htm", "toc.htm"}, true});
    rows.push_back({"multi, listed twice",
                    multi({"b.htm", "a.htm", "b.htm"}, "toc.htm"),
                    {"a.htm", "b.htm", "toc.htm"},
                    true});
    toc_project rewritten = multi({"a.htm", "tl.tpl", "b.htm"}, "toc.htm");
    rewritten.template_file = byte_string(path("tl.tpl"));
    rows.push_back(
        {"multi, the template a source", rewritten, {"a.htm", "tl.tpl", "b.htm", "toc.htm"}, true});
    // the template's own TOC goes into every TOC rendered with it
    rewritten.insert_local_toc = true;
    rows.push_back(
        {"the same with local TOCs", rewritten, {"a.htm", "tl.tpl", "b.htm", "toc.htm"}, false});
    const auto by_path = [](const byte_string& x, const byte_string& y) {
        return x.view() < y.view();
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        put("p.htm", page);
        put("a.htm", "<html><head><title>Page A</title></head><body><h1>A1</h1></body></html>");
        put("b.htm", page_b + "<h2>Built before</h2>");
        put("tl.tpl", "<h1>T</h1><!-- toc -->" + test_template);
        std::filesystem::remove(path("out.htm"));
        put("toc.htm", "<p>Contents</p>");
        for (int round = 1; round <= 2; ++round) {
            SCOPED_TRACE(round);
            std::vector<std::string> before;
            for (const std::string& file : r.files)
                before.push_back(bytes_of(file));
            const std::vector<std::string> names = names_in();
            dry_build foreseen;
            ASSERT_EQ(outcome(dry_build_toc(r.project, foreseen)), "ok");
            EXPECT_EQ(names_in(), names);
            ASSERT_EQ(outcome(build_toc(r.project, {})), "ok");
            std::vector<byte_string> changed;
            for (size_t i = 0; i < r.files.size(); ++i) {
                if (bytes_of(r.files[i]) != before[i]) changed.emplace_back(path(r.files[i]));
            }
            EXPECT_EQ(changed.empty(), round == 2 && r.settles);
            // the order is the build's
            std::sort(foreseen.changed.begin(), foreseen.changed.end(), by_path);
            std::sort(changed.begin(), changed.end(), by_path);
            EXPECT_EQ(foreseen.changed, changed);
            std::string toc;
            for (const byte_string& piece : foreseen.toc)
                toc += piece.view();
            EXPECT_NE(toc, "");
            EXPECT_NE(bytes_of(r.files.back()).find(toc), std::string::npos);
        }
    }
}

TEST_F(TocBuildTest, MultiFailedCommitStopsTheBuild) {
    enum class fault { sync, rename };
    struct Row {
        const char* name;
        fault kind;
        std::string failing;
        status_code code;
        std::vector<std::string> rewritten;
    } rows[] = {
        {"sync of a source", fault::sync, "b.htm", status_code::source_failed, {"a.htm"}},
        {"rename of the first source", fault::rename, "a.htm", status_code::source_failed, {}},
        {"rename of the last source",
         fault::rename,
         "c.htm",
         status_code::source_failed,
         {"a.htm", "b.htm"}},
        {"rename of the destination",
         fault::rename,
         "toc.htm",
         status_code::failed,
         {"a.htm", "b.htm", "c.htm"}},
    };
    const std::vector<std::string> files = {"a.htm", "b.htm", "c.htm"};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        put("a.htm", page_a);
        put("b.htm", page_b);
        put("c.htm", page_b);
        toc_project project = multi(files, "toc.htm");
        project.insert_local_toc = true;
        const std::string failing = path(r.failing);
        set_output_commit_fault_for_testing(r.kind == fault::sync ? failing : "",
                                            r.kind == fault::rename ? failing : "");
        EXPECT_EQ(outcome(build_toc(project, {})),
                  outcome(r.code, "Can't write to file: " + failing));
        set_output_commit_fault_for_testing("", "");
        for (const std::string& file : files) {
            const bool rewritten =
                std::find(r.rewritten.begin(), r.rewritten.end(), file) != r.rewritten.end();
            EXPECT_EQ(bytes_of(file) != (file == "a.htm" ? page_a : page_b), rewritten) << file;
        }
        EXPECT_EQ(bytes_of("toc.htm"), "<missing>");
        EXPECT_EQ(names_in(), (std::vector<std::string>{"a.htm", "b.htm", "c.htm", "t.tpl"}));
    }
}

TEST_F(TocBuildTest, MultiClearGoesOnPastAFailedCommit) {
    put("a.htm", page_a);
    put("b.htm", page_b);
    put("c.htm", "<html><body><h1>C1</h1></body></html>");
    toc_project project = multi({"a.htm", "b.htm", "c.htm"}, "toc.htm");
    ASSERT_EQ(outcome(build_toc(project, {})), "ok");
    const std::string b_built = bytes_of("b.htm");
    // a later file that can't be replaced does not hide the earlier failed commit
    std::filesystem::create_symlink("/proc/version", path("ro.htm"));
    project = multi({"a.htm", "b.htm", "ro.htm", "c.htm"}, "toc.htm");
    set_output_commit_fault_for_testing(path("b.htm"), "");
    EXPECT_EQ(outcome(clear_toc(project, {})),
              outcome(status_code::failed, "Can't write to file: " + path("b.htm")));
    set_output_commit_fault_for_testing("", "");
    EXPECT_EQ(bytes_of("a.htm"), page_a);
    EXPECT_EQ(bytes_of("b.htm"), b_built);
    EXPECT_EQ(bytes_of("c.htm"), "<html><body><h1>C1</h1></body></html>");
    EXPECT_EQ(bytes_of("toc.htm"), "");
    EXPECT_EQ(names_in(),
              (std::vector<std::string>{"a.htm", "b.htm", "c.htm", "ro.htm", "t.tpl", "toc.htm"}));
}

TEST_F(TocBuildTest, MultiBuildWithinFewDescriptors) {
    // more sources than descriptors: the waiting files must be put in place as they pile up
    struct rlimit saved;
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    std::vector<std::string> sources;
    for (int i = 0; i < 80; ++i) {
        sources.push_back(std::string("p").append(std::to_string(i)).append(".htm"));
        put(sources.back(), page_b);
    }
    toc_project project = multi(sources, "toc.htm");
    struct rlimit low = saved;
    low.rlim_cur = 48;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    const std::string built = outcome(build_toc(project, {}));
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    ASSERT_EQ(built, "ok");
    for (int i = 0; i < 80; ++i) {
        EXPECT_EQ(bytes_of(sources[i]),
                  "<html><body><h1>" + std::to_string(i + 1) +
                      ". <a name=\"qorv_link_1_1000\">B1</a></h1></body></html>");
    }
    EXPECT_EQ(names_in().size(), 82u);
}

TEST_F(TocBuildTest, ParallelBuildMatchesOneThread) {
    // a seeded site: titles, old TOCs, headings at every level; one row fails half-way
    std::mt19937 random(7);
    std::vector<std::string> names;
    std::vector<std::string> pages;
    for (int i = 0; i < 40; ++i) {
        names.push_back("d" + std::to_string(i % 3) + "/p" + std::to_string(i) + ".htm");
        std::string page = "<html><head><title>T" + std::to_string(i) + "</title></head><body>";
        if (random() % 2) page += "<!--QORV_HTML_TOC_START-->old<!--QORV_HTML_TOC_END-->";
        for (unsigned h = random() % 9; h > 0; --h) {
            const std::string level = std::to_string(1 + random() % 4);
            page += "<h" + level + " id=\"h" + std::to_string(h) + "\">H" + std::to_string(h) +
                    "</h" + level + "><p>" + std::string(random() % 3000, 'x') + "</p>";
        }
        pages.push_back(page + "</body></html>");
    }
    std::filesystem::create_directories(path("d0"));
    std::filesystem::create_symlink("/proc/version", path("d0/ro.htm"));
    struct Row {
        const char* name;
        anchor_kind anchors;
        bool failing;
    } rows[] = {{"name anchors", anchor_kind::name, false},
                {"failing source", anchor_kind::id, true}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        std::vector<std::string> sources = names;
        if (r.failing) sources.insert(sources.begin() + 25, "d0/ro.htm");
        toc_project project = multi(sources, "toc.htm");
        project.process_title = true;
        project.insert_local_toc = true;
        project.anchor_style = r.anchors;
        std::vector<std::string> built[2];
        for (int threads : {1, 4}) {
            for (size_t i = 0; i < names.size(); ++i)
                put_sub(names[i], pages[i]);
            std::filesystem::remove(path("toc.htm"));
            std::vector<int32_t> percents;
            std::vector<std::string>& files = built[threads == 1 ? 0 : 1];
            files.push_back(outcome(build_toc(project, record_into(percents), {}, threads)));
            files.push_back(percents.empty() ? "none" : std::to_string(percents.back()));
            for (const std::string& name : names)
                files.push_back(bytes_of(name));
            files.push_back(bytes_of("toc.htm"));
        }
        EXPECT_EQ(built[0][0], r.failing
                                   ? outcome(status_code::source_failed,
                                             "Can't open file for writing: " + path("d0/ro.htm"))
                                   : "ok");
        EXPECT_EQ(built[0], built[1]);
        if (r.failing) continue;
        // a multi-file clear reads ahead on workers too: it must leave each page as clearing the
        // untouched page does
        std::vector<std::string> cleared[2];
        for (int built_first : {0, 1}) {
            for (size_t i = 0; i < names.size(); ++i)
                put_sub(names[i], pages[i]);
            if (built_first) {
                ASSERT_TRUE(build_toc(project, {}).is_ok());
            }
            ASSERT_TRUE(clear_toc(project, {}).is_ok());
            for (const std::string& name : names)
                cleared[built_first].push_back(bytes_of(name));
        }
        EXPECT_EQ(cleared[0], cleared[1]);
    }
}

}  // namespace
