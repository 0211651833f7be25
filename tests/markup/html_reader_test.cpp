#include "html_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "files.h"
#include "markup_dump.h"
#include "scratch_dir.h"
#include "tree_dump.h"

namespace {

using namespace std::literals;

// A tree as the document reader's callers hand it over: one placeholder node.
struct document {
    node_tree tree;
    document() { tree_insert(tree, new xml_node(), nullptr, nullptr); }
};

// Any heading's end tag closes a heading.
bool closes(const xml_node& end_tag, const xml_node& element) {
    return html_name(end_tag) == html_name(element) ||
           (is_heading(end_tag.element) && is_heading(element.element));
}

// Where every end tag sits relative to the element it closes, and what may hold children.
void check_links(const node_tree& tree) {
    for (const tree_node* node = tree.first(); node; node = tree_next(node)) {
        const xml_node& x = *as_xml(node);
        int32_t children = 0;
        for (const tree_node* child = node->first_child(); child; child = child->next())
            ++children;
        ASSERT_EQ(children, tree_child_count(*node));
        if (children > 0) {
            ASSERT_EQ(x.kind, construct_kind::start_tag) << x.raw.view();
        }
        if (x.kind == construct_kind::start_tag && x.closed) {
            const xml_node* last = as_xml(node->last_child());
            ASSERT_TRUE(last && last->kind == construct_kind::end_tag && last->closed &&
                        closes(*last, x))
                << x.raw.view();
        }
        if (x.kind == construct_kind::end_tag && x.closed) {
            const xml_node* parent = as_xml(node->parent());
            ASSERT_TRUE(parent && parent->closed && closes(x, *parent) &&
                        parent->last_child() == node)
                << x.raw.view();
        }
    }
}

struct outcome {
    scan_status status = scan_status::finished;
    std::string dump;
    std::string raw;
};

outcome read_pieces(const piece_list& pieces) {
    document doc;
    html_reader reader(doc.tree);
    outcome out;
    out.status = scan_status::needs_input;
    for (size_t i = 0; i < pieces.size() && out.status == scan_status::needs_input; ++i)
        out.status = reader.feed(pieces[i]);
    if (out.status == scan_status::needs_input) out.status = reader.feed_end();
    check_links(doc.tree);
    out.dump = tree_dump(doc.tree);
    out.raw = tree_raw(doc.tree);
    return out;
}

// The dump of the input read whole, after checking that every split, and byte by byte, gives
// the same tree and gives back the input.
std::string read_every_way(std::string_view input) {
    const outcome whole = read_pieces(piece_list::whole(input));
    EXPECT_EQ(whole.status, scan_status::finished);
    EXPECT_EQ(whole.raw, input);
    for (size_t at = 1; at < input.size(); ++at) {
        const outcome split = read_pieces(piece_list::split_at(input, at));
        EXPECT_EQ(split.dump, whole.dump) << "split at " << at;
        EXPECT_EQ(split.raw, input) << "split at " << at;
    }
    const outcome bytes = read_pieces(piece_list::bytes(input));
    EXPECT_EQ(bytes.dump, whole.dump) << "byte by byte";
    EXPECT_EQ(bytes.raw, input) << "byte by byte";
    // read from one buffer the tree keeps, the nodes view it
    for (const int32_t chunk : {1, html_chunk_size}) {
        document viewing;
        EXPECT_TRUE(parse_html_text(input, viewing.tree, {}, chunk).is_ok());
        EXPECT_EQ(tree_dump(viewing.tree), whole.dump) << "viewing, chunks of " << chunk;
        EXPECT_EQ(tree_raw(viewing.tree), input) << "viewing, chunks of " << chunk;
    }
    return whole.dump;
}

struct Row {
    std::string_view input;
    std::string_view expected;
};

void check_rows(std::initializer_list<Row> rows) {
    for (const Row& row : rows) {
        SCOPED_TRACE(quote_bytes(row.input));
        EXPECT_EQ(read_every_way(row.input), row.expected);
    }
}

TEST(HtmlReaderTest, ImpliedEndTags) {
    check_rows({
        {"<P>one<P>two", R"(p(T"one" /p) p?(T"two"))"},
        {"<ul><li>a<li>b</ul>", R"(ul(li(T"a" /li) li?(T"b") </ul>))"},
        {"<ul><li>a<ul><li>b</ul><li>c</ul>",
         R"(ul(li(T"a" ul(li?(T"b") </ul>) /li) li?(T"c") </ul>))"},
        {"<dl><dt>a<dd>b<dt>c</dl>", R"(dl(dt(T"a" /dt) dd(T"b" /dd) dt?(T"c") </dl>))"},
        {"<select><option>a<option>b</select>",
         R"(select(option(T"a" /option) option?(T"b") </select>))"},
        {"<p>a<h1>b</h1>", R"(p(T"a" /p) h1(T"b" </h1>))"},
        {"<p>a<hr>b", R"(p(T"a" /p) <hr/> T"b")"},
        // HTML5's blocks outside the element table end a paragraph too
        {"<p>a<Section>b", R"(p(T"a" /p) section?(T"b"))"},
        {"<p>a<xmp><b></xmp>", R"(p(T"a" /p) xmp(T"<b>" </xmp>))"},
        {"<p>a<b>x<div>", R"(p(T"a" b?(T"x") /p) div?)"},
        {"<td><p>a<p>b", R"(td?(p(T"a" /p) p?(T"b")))"},
        {"<p>a<td><div>", R"(p?(T"a" td?(div?)))"},
        {"<table><tr><td>a<td>b</table>", R"(table(tr?(td(T"a" /td) td?(T"b")) </table>))"},
        {"<td>a<table><tr><td>b", R"(td?(T"a" table?(tr?(td?(T"b")))))"},
        {"<table><tr><td><table><td>", R"(table?(tr?(td?(table?(td?)))))"},
        // one element closed per start tag: the old row stays open around the new one
        {"<table><tr><td>a<tr><td>b", R"(table?(tr?(td(T"a" /td) tr?(td?(T"b")))))"},
        {"<table><colgroup><col><tbody><tr>", R"(table?(colgroup(<col/> /colgroup) tbody?(tr?)))"},
        {"<head><title>t</title><body>", R"(head?(title(T"t" </title>) body?))"},
    });
}

TEST(HtmlReaderTest, EndTags) {
    check_rows({
        {"</b>", "</b>?"},
        {"<i></b></i>", "i(</b>? </i>)"},
        {"<div><p>a</div>b", R"(div(p?(T"a") </div>) T"b")"},
        {"<X><y>a</x>b", R"(x(y?(T"a") </x>) T"b")"},
        {"<x><x>a</x></x></x>", R"(x(x(T"a" </x>) </x>) </x>?)"},
        {"<b><i>x</B  junk>", R"(b(i?(T"x") </b>))"},
        {"</>", "</>?"},
        {"<a></a ></ a>", "a(</a>) </>?"},
    });
}

TEST(HtmlReaderTest, EmptyTags) {
    check_rows({
        {"<br>", "<br/>"},
        {"<BR>", "<br/>"},
        {"<br/>", "<br/>"},
        {"<foo/>", "<foo/>"},
        {"<p/>x", R"(<p/> T"x")"},
        {"<img src=a.gif><input>", "<img/> <input/>"},
        {"<embed><source><track><wbr>x", R"(<embed/> <source/> <track/> <wbr/> T"x")"},
    });
}

TEST(HtmlReaderTest, RawTextEndsOnlyAtItsOwnEndTag) {
    check_rows({
        {R"(<script>x="</p>";</script>)", R"(script(T"x=\"</p>\";" </script>))"},
        {"<script>for(i=0;i<n;i++)</script><h1>A</h1>",
         R"-(script(T"for(i=0;i<n;i++)" </script>) h1(T"A" </h1>))-"},
        {"<script><!-- x --></script>", R"(script(T"<!-- x -->" </script>))"},
        {"<SCRIPT>a<b></scripts></script\t/>", R"(script(T"a<b></scripts>" </script>))"},
        {"<script/><b>x", R"(<script/> b?(T"x"))"},
        // a "<script" inside "<!--" hides the next end tag, as browsers read it
        {"<script><!--<script>x</script>--></script>a",
         R"(script(T"<!--<script>x</script>-->" </script>) T"a")"},
        {"<script><!--</script>a", R"(script(T"<!--" </script>) T"a")"},
        {"<script><!--<script>--><h1></script>", R"(script(T"<!--<script>--><h1>" </script>))"},
        {"<style>h1>p{}</STYLE ><textarea><h1>x</h1></textarea>",
         R"(style(T"h1>p{}" </style>) textarea(T"<h1>x</h1>" </textarea>))"},
        {"<title>a<b>&amp;</title><xmp><!--</xmp>-->",
         R"(title(T"a<b>&amp;" </title>) xmp(T"<!--" </xmp>) T"-->")"},
        {"<iframe><p></iframe><noembed><p></noembed><noframes><p></noframes>",
         R"(iframe(T"<p>" </iframe>) noembed(T"<p>" </noembed>) noframes(T"<p>" </noframes>))"},
        {"<plaintext></plaintext><h1>", R"(plaintext?(T"</plaintext><h1>"))"},
        // a template's content is text: nothing in it is a heading
        {"<template><h1>A</h1><template></template></template><h1>B",
         R"(template(T"<h1>" T"A" T"</h1>" T"<template>" T"</template>" </template>) h1?(T"B"))"},
        {"<template><script></template></script></template>",
         R"(template(T"<script>" T"</template>" T"</script>" </template>))"},
    });
}

TEST(HtmlReaderTest, HeadingsCloseEachOther) {
    check_rows({
        {"<h5>a</h3>b", R"(h5(T"a" </h3>) T"b")"},
        {"<h1>a<h2>b</h2>c", R"(h1(T"a" /h1) h2(T"b" </h2>) T"c")"},
        {"<h1><p>a<h2>b", R"(h1(p(T"a" /p) /h1) h2?(T"b"))"},
        // only an innermost heading is closed by a start tag
        {"<h1><b>a<h2>b</h4>c", R"(h1?(b?(T"a" h2(T"b" </h4>) T"c")))"},
        {"</h2><h1 title=\"x>y\">A</h1>", R"(</h2>? h1(T"A" </h1>))"},
        // a name runs to white space or '/', as browsers read it
        {"<h5>a</h3<>b</ h5>c<h1<>", R"(h5?(T"a" </h3<>? T"b" </>? T"c" h1<?))"},
    });
}

TEST(HtmlReaderTest, OtherConstructsAndBytes) {
    check_rows({
        {"a &amp; b", R"(T"a &amp; b")"},
        {R"(<!DOCTYPE html><!-- c --><!--#echo var="x"--><?php x ?>)",
         R"(K7"<!DOCTYPE html>" K5"<!-- c -->" K14"<!--#echo var=\"x\"-->" T"<?php x ?>")"},
        {"<![CDATA[x]]><%y%>", R"(T"<![CDATA[x]]>" T"<%y%>")"},
        {R"(<a href="x>y">)", "a?"},
        {"a < b", R"(T"a " T"< b")"},
        {"<>a <<h1>b", R"(T"<>" T"a " T"<" h1?(T"b"))"},
        {"<p>a<b", R"(p?(T"a" T"<b"))"},
        {"<!-- x", R"(T"<!-- x")"},
        {"<!-- x --!><!-->", R"(K5"<!-- x --!>" K5"<!-->")"},
        {"a\r\nb\rc\0\x80\xFF"s, R"(T"a\r\nb\rc\x00\x80\xFF")"},
        {"<p\0 a=\x80>"s, "p\0?"sv},
        {"", ""},
    });
}

TEST(HtmlReaderTest, TagsKnowTheirElement) {
    document doc;
    ASSERT_TRUE(
        parse_html_text(R"(<A HREF=x.htm Title="T 1" nowrap><foo/><br><h1 id=a></X><H7>)", doc.tree)
            .is_ok());
    std::vector<const xml_node*> nodes;
    for (const tree_node* node = doc.tree.first()->next(); node; node = tree_next(node))
        nodes.push_back(as_xml(node));
    ASSERT_EQ(nodes.size(), 6u);
    EXPECT_EQ(nodes[0]->element, 0);
    EXPECT_EQ(nodes[1]->element, no_heading_outside_table);
    EXPECT_EQ(nodes[2]->element, element_index("br"));
    EXPECT_EQ(nodes[3]->element, 33);
    EXPECT_EQ(nodes[4]->kind, construct_kind::end_tag);
    EXPECT_EQ(nodes[4]->element, no_heading_outside_table);
    EXPECT_EQ(nodes[4]->written_name(), "X");
    // a heading's name outside the table is looked at by its bytes
    EXPECT_EQ(nodes[5]->element, -1);
}

TEST(HtmlReaderTest, ReadsAfterTheExistingNodes) {
    document doc;
    ASSERT_TRUE(parse_html_text("<p>a", doc.tree).is_ok());
    EXPECT_EQ(as_xml(doc.tree.first())->kind, construct_kind::placeholder);
    EXPECT_EQ(doc.tree.top_count(), 2);

    node_tree empty;
    ASSERT_TRUE(parse_html_text("x<p>", empty).is_ok());
    EXPECT_EQ(tree_dump(empty), R"(T"x" p?)");
}

// Markup fragments that stress the scanner and the reader, with bytes of every sort.
std::string hostile_document(std::mt19937& random) {
    static const std::string_view pieces[] = {
        "<",         ">",         "</",        "/>",       "<!--",       "-->",        "<!",
        "<!DOCTYPE", "<![CDATA[", "]]>",       "<?",       "?>",         "<%",         "%>",
        "<!--#",     "\"",        "'",         "=",        "&amp;",      "&",          "\r",
        "\n",        "\r\n",      " ",         "\t",       "\0"sv,       "\x80",       "\xFF",
        "<script>",  "</script>", "<script/>", "<SCRIPT>", "<p>",        "</p>",       "<P>",
        "<li>",      "<ul>",      "</ul>",     "<td>",     "<tr>",       "<table>",    "</table>",
        "<div>",     "</div>",    "<br>",      "<br/>",    "<head>",     "<body>",     "<title>",
        "<b>",       "</b>",      "<x:y a=1>", "</x:y>",   "<a href=\"", "text",       "<h1>",
        "</h1>",     "<dl><dt>",  "<dd>",      "<option>", "<select>",   "<colgroup>", "<tbody>",
        "<hr>",      "</>",       "<>",
    };
    std::uniform_int_distribution<size_t> piece(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> count(0, 40);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string doc;
    for (int n = count(random); n > 0; --n) {
        if (byte(random) < 32) {
            doc += static_cast<char>(byte(random));
        } else {
            doc += pieces[piece(random)];
        }
    }
    return doc;
}

TEST(HtmlReaderTest, HostileDocumentsComeBackByteForByte) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<size_t> chunk(1, 64);
    for (int i = 0; i < 3000; ++i) {
        const std::string doc = hostile_document(random);
        SCOPED_TRACE(quote_bytes(doc));
        if (i < 200) {
            read_every_way(doc);
        } else {
            const outcome whole = read_pieces(piece_list::whole(doc));
            ASSERT_EQ(whole.status, scan_status::finished);
            ASSERT_EQ(whole.raw, doc);
            piece_list pieces;
            for (size_t at = 0; at < doc.size();) {
                const size_t n = std::min(chunk(random), doc.size() - at);
                pieces.add(std::string_view(doc).substr(at, n));
                at += n;
            }
            const outcome chunked = read_pieces(pieces);
            ASSERT_EQ(chunked.dump, whole.dump);
            ASSERT_EQ(chunked.raw, doc);
        }
        if (HasFatalFailure() || HasNonfatalFailure()) return;
    }
}

// Folding keeps every landmark as the plain reading has it and writes back the same bytes.
void check_folding(const std::string& doc) {
    document plain;
    ASSERT_TRUE(parse_html_text(doc, plain.tree).is_ok());
    for (const int32_t chunk : {1, 7, html_chunk_size}) {
        SCOPED_TRACE(chunk);
        document folded;
        ASSERT_TRUE(parse_html_text(doc, folded.tree, {}, chunk, fold_test_role).is_ok());
        ASSERT_EQ(tree_raw(folded.tree), doc);
        ASSERT_EQ(fold_landmarks(folded.tree), fold_landmarks(plain.tree));
    }
}

TEST(HtmlReaderTest, FoldingKeepsLandmarksAndBytes) {
    const char* const rows[] = {
        "<p>a</p><p>b</p><h1>A<b>1.</b></h1><p>c<i>d</i></p>text",
        "<html><head><title>T</title></head><body><div><p>x</p><h1>A</h1><p>y</p></div></body>",
        "<div><div><p>deep</p></div><table><tr><td>1<td>2</table><!--c--></div><p>after",
        "<ul><li>a<li>b</ul><x:y a=1><p>in</p></x:y><p>x<h1>implied close</h1>",
        "<h1>open heading<p>para in heading<div>more",
        "<script><h1>not a tag</h1></script><h1>A</h1><br><hr><img src=x>",
        "<b><p>a</b></p><h1>A</h1></i></b><p>unclosed",
        "<body><body><h1>A</h1></body>",
        "",
    };
    for (const char* row : rows) {
        SCOPED_TRACE(row);
        check_folding(row);
    }
    std::mt19937 random(20261208);
    for (int i = 0; i < 2000; ++i) {
        const std::string doc = hostile_document(random);
        SCOPED_TRACE(quote_bytes(doc));
        check_folding(doc);
        if (HasFatalFailure() || HasNonfatalFailure()) return;
    }
}

TEST(HtmlReaderTest, FoldingLeavesFewNodes) {
    std::string doc = "<body>";
    for (int i = 0; i < 1000; ++i)
        doc += "<h1>Head</h1><p>a <b>b</b> c</p><table><tr><td>1</td></tr></table>\n";
    document folded;
    ASSERT_TRUE(parse_html_text(doc, folded.tree, {}, html_chunk_size, fold_test_role).is_ok());
    int64_t nodes = 0;
    for (const tree_node* n = folded.tree.first(); n; n = tree_next(n))
        ++nodes;
    // body, then per heading its start tag, text and end tag, which takes what follows
    EXPECT_EQ(nodes, 2 + 1000 * 3);
    EXPECT_EQ(tree_raw(folded.tree), doc);
}

TEST(HtmlReaderTest, FoldingDeepNestingStaysLinear) {
    // a region as deep as the document, unfolded by a landmark at its bottom, then a second
    // one left open at the end
    std::string doc;
    for (int i = 0; i < 100000; ++i)
        doc += "<div>x";
    doc += "<h1>A</h1>";
    for (int i = 0; i < 100000; ++i)
        doc += "<p><b>y";
    document folded;
    ASSERT_TRUE(parse_html_text(doc, folded.tree, {}, html_chunk_size, fold_test_role).is_ok());
    EXPECT_EQ(tree_raw(folded.tree), doc);
}

TEST(HtmlReaderTest, DeepNestingReadsAndFrees) {
    std::string doc;
    for (int i = 0; i < 200000; ++i)
        doc += "<div>";
    // lookups that find nothing across the whole depth
    for (int i = 0; i < 100000; ++i)
        doc += "<b><h1></x></i>";
    document reading;
    ASSERT_TRUE(parse_html_text(doc, reading.tree).is_ok());
    EXPECT_EQ(reading.tree.top_count(), 2);
    EXPECT_EQ(tree_raw(reading.tree), doc);
}

TEST(HtmlReaderTest, WideElementReadsInLinearTime) {
    std::string doc = "<div>";
    for (int i = 0; i < 1000000; ++i)
        doc += "<br>";
    document reading;
    ASSERT_TRUE(parse_html_text(doc, reading.tree).is_ok());
    EXPECT_EQ(tree_child_count(*reading.tree.last_top()), 1000000);
}

progress_function record_into(std::vector<int32_t>& seen) {
    return [&seen](int32_t percent) { seen.push_back(percent); };
}

TEST(HtmlReaderTest, TextInChunksReportsProgress) {
    document doc;
    std::vector<int32_t> seen;
    ASSERT_TRUE(parse_html_text("<p>0123456789", doc.tree, record_into(seen), 4).is_ok());
    EXPECT_EQ(seen, (std::vector<int32_t>{30, 61, 92, 100, 100}));
    EXPECT_EQ(tree_dump(doc.tree), R"(p?(T"0123456789"))");
}

class HtmlReaderFileTest : public ScratchDirTest {};

TEST_F(HtmlReaderFileTest, ReadsInChunksWithProgress) {
    std::string bytes;
    while (bytes.size() < 40000)
        bytes += "<p>para\r\n<li>item\r";
    bytes.resize(40000);
    put("a.html", bytes);
    document doc;
    std::vector<int32_t> seen;
    ASSERT_TRUE(parse_html_file(path("a.html"), doc.tree, record_into(seen)).is_ok());
    EXPECT_EQ(tree_raw(doc.tree), bytes);
    EXPECT_EQ(seen, (std::vector<int32_t>{40, 81, 100, 100}));
}

TEST(HtmlReaderTest, LongTextPiecesDoNotDependOnTheChunks) {
    const std::string bytes = "<p>" + std::string(200000, 'x') + "</p>";
    std::string first;
    for (const int32_t chunk : {7, html_chunk_size, 100000}) {
        document doc;
        ASSERT_TRUE(parse_html_text(bytes, doc.tree, {}, chunk).is_ok());
        EXPECT_EQ(tree_raw(doc.tree), bytes);
        const std::string dump = tree_dump(doc.tree);
        if (first.empty()) first = dump;
        EXPECT_EQ(dump, first) << "chunks of " << chunk;
    }
    // several pieces, not one
    EXPECT_GT(std::count(first.begin(), first.end(), 'T'), 2);
}

TEST_F(HtmlReaderFileTest, EmptyFileSucceedsWithFullProgress) {
    put("empty.html", "");
    document doc;
    std::vector<int32_t> seen;
    ASSERT_TRUE(parse_html_file(path("empty.html"), doc.tree, record_into(seen)).is_ok());
    EXPECT_EQ(doc.tree.top_count(), 1);
    EXPECT_EQ(seen, std::vector<int32_t>{100});
}

TEST_F(HtmlReaderFileTest, ProgressGoesThroughAScale) {
    put("a.html", std::string(32768, 'x'));
    std::vector<int32_t> seen;
    progress_scale scale{65536, 32768, 0.8, 10,
                         [&seen](int32_t percent) { seen.push_back(percent); }};
    document doc;
    ASSERT_TRUE(parse_html_file(path("a.html"), doc.tree, scaled_progress(scale)).is_ok());
    EXPECT_EQ(seen, (std::vector<int32_t>{30, 50, 50}));
}

TEST_F(HtmlReaderFileTest, MissingFileNamesThePath) {
    document doc;
    std::vector<int32_t> seen;
    EXPECT_EQ(parse_html_file(path("none.html"), doc.tree, record_into(seen)).message(),
              "Can't open source file: " + path("none.html"));
    EXPECT_EQ(doc.tree.top_count(), 1);
    EXPECT_TRUE(seen.empty());
}

// Its texts could not hold it: refused before a byte is read.
TEST_F(HtmlReaderFileTest, FilePastTwoGigabytesIsRefusedUnread) {
    put_sparse("huge.html", largest_readable_file + 1);
    document doc;
    std::vector<int32_t> seen;
    EXPECT_EQ(parse_html_file(path("huge.html"), doc.tree, record_into(seen)).message(),
              "Source file is too large: " + path("huge.html"));
    EXPECT_EQ(doc.tree.top_count(), 1);
    EXPECT_TRUE(seen.empty());
}

// A system file that claims more bytes than a read gives stands in for a read failing half way.
TEST_F(HtmlReaderFileTest, ShortReadIsAFailure) {
    const std::string short_file = "/sys/kernel/mm/transparent_hugepage/enabled";
    const file_descriptor probe = file_open(short_file);
    byte_string bytes;
    const bool read = file_read(bytes, 65536, probe).is_ok();
    const uint64_t claimed = file_descriptor_size(probe);
    file_close(probe);
    if (probe == invalid_handle || !read || bytes.is_empty() ||
        static_cast<uint64_t>(bytes.length()) >= claimed)
        GTEST_SKIP() << "no file that reads short";

    document doc;
    EXPECT_EQ(parse_html_file(short_file, doc.tree).message(),
              "Can't read source file: " + short_file);
    EXPECT_EQ(tree_raw(doc.tree), bytes.view());
}

TEST_F(HtmlReaderFileTest, FailedFirstReadIsNoEmptyFile) {
    document doc;
    EXPECT_EQ(parse_html_file("/proc/self/mem", doc.tree).message(),
              "Can't read source file: /proc/self/mem");
}

}  // namespace
