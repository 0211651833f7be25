#include "heading_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "html_reader.h"
#include "toc_build.h"

namespace {

constexpr std::string_view rebuilt_toc = "<!--QORV_HTML_TOC_START-->[TOC]<!--QORV_HTML_TOC_END-->";

struct options {
    int32_t from = 1;
    int32_t to = 6;
    bool numbering = false;
    bool titles = false;
    anchor_kind anchors = anchor_kind::name;
};

struct row {
    const char* html;
    const char* written;
    const char* items;
    options opt = {};
};

// Reads a document as the build does, after one empty leading node, and scans it.
class HeadingScanTest : public testing::Test {
  protected:
    void SetUp() override { setenv("SOURCE_DATE_EPOCH", "7", 1); }
    void TearDown() override { unsetenv("SOURCE_DATE_EPOCH"); }

    // The document as the build writes it: the old TOC dropped when both markers are there,
    // `toc` right after the insertion node's own raw text.
    // `fold` reads the document folded, as the build reads it.
    std::string scan(std::string_view html, const options& opt = {}, std::string_view toc = "[TOC]",
                     bool fold = false) {
        // kept with the items, whose links may view it
        document = std::make_unique<node_tree>();
        tree_insert(*document, new xml_node(), nullptr, nullptr);
        const listed_levels levels{opt.from, opt.to};
        const node_classifier role(opt.anchors == anchor_kind::id ? id_scan_role : scan_role,
                                   &levels);
        EXPECT_TRUE(
            parse_html_text(html, *document, {}, html_chunk_size, fold ? role : node_classifier())
                .is_ok());
        heading_scan scan;
        scan.range_from = opt.from;
        scan.range_to = opt.to;
        scan.numbering = opt.numbering;
        scan.titles = opt.titles;
        scan.anchors = opt.anchors;
        scan.anchor_attributes = anchor_attributes;
        tree = std::make_unique<toc_tree>();
        scan.run(*document, *tree);
        EXPECT_EQ(scan.current, last_item());

        const toc_writer writes_toc = [toc](const byte_sink& bytes) { bytes(toc); };
        std::string out;
        write_document(*document, scan.located, &scan.openings, &writes_toc,
                       [&out](std::string_view bytes) { out += bytes; });
        return out;
    }

    // "level numbering|text|link" per item in document order.
    std::string items() const {
        std::string dump;
        for (toc_node* item = tree->first(); item; item = toc_tree::next(item)) {
            if (!dump.empty()) dump += " ; ";
            byte_string number;
            toc_tree::append_numbering(*item, number);
            byte_string link;
            tree->append_link(*item, link);
            dump += std::to_string(item->level) + " " + std::string(number.view()) + "|" +
                    std::string(item->text.view()) + "|" + std::string(link.view());
        }
        return dump;
    }

    toc_node* last_item() const {
        toc_node* last = nullptr;
        for (toc_node* item = tree->first(); item; item = toc_tree::next(item))
            last = item;
        return last;
    }

    void check(const std::vector<row>& rows) {
        for (const row& r : rows) {
            SCOPED_TRACE(r.html);
            for (const bool fold : {false, true}) {
                SCOPED_TRACE(fold ? "folded" : "plain");
                EXPECT_EQ(scan(r.html, r.opt, "[TOC]", fold), r.written);
                EXPECT_EQ(items(), r.items);
            }
        }
    }

    byte_string anchor_attributes;
    std::unique_ptr<node_tree> document;
    std::unique_ptr<toc_tree> tree;
};

TEST_F(HeadingScanTest, PlacesTheToc) {
    check({
        {R"(<h1>A</h1><!-- TOC --><h2>B</h2>)",
         R"(<h1>A</h1><!-- TOC -->[TOC]<h2><a name="qorv_link_1_7">B</a></h2>)",
         "2 |B|#qorv_link_1_7"},
        {"<body><p>x</p><!--\ttoc\r\n--><h1>A</h1>",
         "<body><p>x</p><!--\ttoc\r\n-->[TOC]<h1><a name=\"qorv_link_1_7\">A</a></h1>",
         "1 |A|#qorv_link_1_7"},
        {"<!--\n ToC \t--><h1>A</h1>",
         "<!--\n ToC \t-->[TOC]<h1><a name=\"qorv_link_1_7\">A</a></h1>", "1 |A|#qorv_link_1_7"},
        {R"(<!-- toc: x --><html><body class="x"><h1>A</h1></body></html>)",
         R"(<!-- toc: x --><html><body class="x">[TOC]<h1><a name="qorv_link_1_7">A</a></h1></body></html>)",
         "1 |A|#qorv_link_1_7"},
        // Without body: before the first heading, after the previous sibling's whole subtree.
        {"<h1>A</h1><p>x</p>", R"([TOC]<h1><a name="qorv_link_1_7">A</a></h1><p>x</p>)",
         "1 |A|#qorv_link_1_7"},
        {"<script>x</script><h1>A</h1>",
         R"(<script>x</script>[TOC]<h1><a name="qorv_link_1_7">A</a></h1>)", "1 |A|#qorv_link_1_7"},
        {"<p>x<h1>A</h1>", R"(<p>x[TOC]<h1><a name="qorv_link_1_7">A</a></h1>)",
         "1 |A|#qorv_link_1_7"},
        // A folded run goes on past the end of the element holding it; the TOC stays put.
        {"<div><h1>T</h1>x</div>\n<p>y</p>\n<h2>B</h2>",
         "<div><h1>T</h1>x</div>\n<p>y</p>\n[TOC]<h2><a name=\"qorv_link_1_7\">B</a></h2>",
         "2 |B|#qorv_link_1_7",
         {.from = 2}},
        // Headings out of range fold, yet one ended by the next heading's start still goes
        // after the TOC: written inside it, the TOC would be read as part of it.
        {"<h4>intro<p>x<h2>B</h2>",
         R"([TOC]<h4>intro<p>x<h2><a name="qorv_link_1_7">B</a></h2>)",
         "2 |B|#qorv_link_1_7",
         {.to = 2}},
        {"<h4>a<h5>b<h2>B</h2>",
         R"([TOC]<h4>a<h5>b<h2><a name="qorv_link_1_7">B</a></h2>)",
         "2 |B|#qorv_link_1_7",
         {.to = 2}},
        {"<table><tr><td>x</td></tr></table><div><h1>A</h1></div>",
         R"(<table><tr><td>x</td></tr></table>[TOC]<div><h1><a name="qorv_link_1_7">A</a></h1></div>)",
         "1 |A|#qorv_link_1_7"},
        // An empty heading is neither the first heading nor listed.
        {"<h2></h2><p>x</p><h2>B</h2>",
         R"(<h2></h2><p>x</p>[TOC]<h2><a name="qorv_link_1_7">B</a></h2>)", "2 |B|#qorv_link_1_7"},
        {"<p>no headings</p>", "[TOC]<p>no headings</p>", ""},
        {"", "[TOC]", ""},
    });
}

TEST_F(HeadingScanTest, ListsAndAnchorsHeadings) {
    check({
        {"<body><h1>A</h1><h2>B</h2><h3>C</h3><h4>D</h4>",
         R"(<body>[TOC]<h1>A</h1><h2><a name="qorv_link_1_7">B</a></h2><h3><a name="qorv_link_2_7">C</a></h3><h4>D</h4>)",
         "2 |B|#qorv_link_1_7 ; 3 |C|#qorv_link_2_7",
         {.from = 2, .to = 3}},
        {R"(<body><h1><a name="intro">A</a></h1><h2>B</h2>)",
         R"(<body>[TOC]<h1><a name="intro">A</a></h1><h2><a name="qorv_link_2_7">B</a></h2>)",
         "1 |A|#intro ; 2 |B|#qorv_link_2_7"},
        {R"(<body><h1><a href="#x">A</a> <a name="n">B</a></h1>)",
         R"(<body>[TOC]<h1><a href="#x">A</a> <a name="n">B</a></h1>)", "1 |A B|#n"},
        // A heading holding a link gets an empty anchor, not one wrapped around the link.
        {R"(<body><h1><a name="">A &amp; B</a></h1>)",
         R"(<body>[TOC]<h1><a name="qorv_link_1_7"></a><a name="">A &amp; B</a></h1>)",
         "1 |A &amp; B|#qorv_link_1_7"},
        {R"(<body><h1>A <b><a href="#x">B</a></b></h1>)",
         R"(<body>[TOC]<h1>1. <a name="qorv_link_1_7"></a>A <b><a href="#x">B</a></b></h1>)",
         "1 1. |A B|#qorv_link_1_7",
         {.numbering = true}},
        // A TOC entry holds no script or style and opens no comment.
        {"<body><h1>A<script>s</script><style>p{}</style></h1><h2>B<!--",
         "<body>[TOC]<h1><a name=\"qorv_link_1_7\">A<script>s</script><style>p{}</style>"
         "</a></h1><h2><a name=\"qorv_link_2_7\"></a>B<!--",
         "1 |A|#qorv_link_1_7 ; 2 |B&lt;!--|#qorv_link_2_7"},
        // ... nor does an end tag put where the page ends inside a title's text.
        {"<body><h1>A<title>t", "<body>[TOC]<h1><a name=\"qorv_link_1_7\"></a>A<title>t",
         "1 |At|#qorv_link_1_7"},
        // The TOC never follows a heading closed by the next one's start tag: it would be
        // read inside it.
        {"<h1><h1>A</h1>", "[TOC]<h1><h1><a name=\"qorv_link_1_7\">A</a></h1>",
         "1 |A|#qorv_link_1_7"},
        // A block left open in a heading would split an anchor wrapped around it.
        {"<body><h1>A<p>B</h1>", "<body>[TOC]<h1><a name=\"qorv_link_1_7\"></a>A<p>B</h1>",
         "1 |AB|#qorv_link_1_7"},
        // ... as is one closed only by the next heading's start tag (`</pX>` closes nothing).
        {"<h1><p>A</pX><h1>B</h1>",
         R"([TOC]<h1><a name="qorv_link_1_7"></a><p>A</pX><h1><a name="qorv_link_2_7">B</a></h1>)",
         "1 |A|#qorv_link_1_7 ; 1 |B|#qorv_link_2_7"},
        // ... and one written as empty, which a browser opens all the same.
        {"<h1><p/>A</h1>", R"([TOC]<h1><a name="qorv_link_1_7"></a><p/>A</h1>)",
         "1 |A|#qorv_link_1_7"},
        // A heading nested inside another element of a heading is part of its text.
        {"<body><h1><b>A<h2>B</h2></b></h1>",
         R"(<body>[TOC]<h1><a name="qorv_link_1_7"><b>A<h2>B</h2></b></a></h1>)",
         "1 |AB|#qorv_link_1_7"},
        // After content ending in a tag or comment the anchor's end stands alone.
        {"<body><h1>A<br></h1>x<h2>B<!--c--></h2>y",
         "<body>[TOC]<h1><a name=\"qorv_link_1_7\">A<br></a></h1>x"
         "<h2><a name=\"qorv_link_2_7\">B<!--c--></a></h2>y",
         "1 |A|#qorv_link_1_7 ; 2 |B|#qorv_link_2_7"},
        // Without its end tag the anchor closes after the last child.
        {"<body><h1>A", R"(<body>[TOC]<h1><a name="qorv_link_1_7">A</a>)", "1 |A|#qorv_link_1_7"},
        {"<body><h1>A</h1><h3>B</h3><h2>C</h2>",
         R"(<body>[TOC]<h1>1. <a name="qorv_link_1_7">A</a></h1><h3>1.1. <a name="qorv_link_2_7">B</a></h3><h2>1.2. <a name="qorv_link_3_7">C</a></h2>)",
         "1 1. |A|#qorv_link_1_7 ; 3 1.1. |B|#qorv_link_2_7 ; 2 1.2. |C|#qorv_link_3_7",
         {.numbering = true}},
    });
}

TEST_F(HeadingScanTest, AnchorsById) {
    const options ids{.anchors = anchor_kind::id};
    options numbered_ids = ids;
    numbered_ids.numbering = true;
    check({
        // the heading's own id, or the one its content starts with; else a new one
        {R"(<body><h1>Intro</h1><h2 id="setup">Set up</h2><h2> <a id="x"></a>More</h2><h2><a name="n"></a>Old</h2><h2>B <a id="y"></a></h2><h2>Intro</h2>)",
         R"(<body>[TOC]<h1 id="intro" data-qorv-id>Intro</h1><h2 id="setup">Set up</h2><h2> <a id="x"></a>More</h2><h2><a name="n"></a>Old</h2><h2 id="b" data-qorv-id>B <a id="y"></a></h2><h2 id="intro-2" data-qorv-id>Intro</h2>)",
         "1 |Intro|#intro ; 2 |Set up|#setup ; 2 | More|#x ; 2 |Old|#n ; 2 |B |#b ; "
         "2 |Intro|#intro-2",
         ids},
        // unique against every id of the page, before the TOC too, but not the old TOC's
        {R"(<h1 id="t" data-qorv-id>T</h1><p id="a">x</p><!-- toc --><!--QORV_HTML_TOC_START--><b id="t-2"></b><!--QORV_HTML_TOC_END--><h2>T</h2><h2>A</h2>)",
         R"(<h1 id="t" data-qorv-id>T</h1><p id="a">x</p><!-- toc -->[TOC]<h2 id="t-2" data-qorv-id>T</h2><h2 id="a-2" data-qorv-id>A</h2>)",
         "2 |T|#t-2 ; 2 |A|#a-2", ids},
        // a build's id is kept once and while no author's element has it; a lone marker goes;
        // a program's anchor gives way to an id
        {R"(<body><h1 id="old" data-qorv-id>1. New text</h1><h1 id="old" data-qorv-id>Copy</h1><h1>2. <a name="qorv_link_2_5">Classic</a></h1><h2 data-qorv-id>Lone</h2><p><a name="dup">d</a></p><h2 id="dup" data-qorv-id>D</h2>)",
         R"(<body>[TOC]<h1 id="old" data-qorv-id>1. New text</h1><h1 id="copy" data-qorv-id>2. Copy</h1><h1 id="classic" data-qorv-id>3. Classic</h1><h2 id="lone" data-qorv-id>3.1. Lone</h2><p><a name="dup">d</a></p><h2 id="d" data-qorv-id>3.2. D</h2>)",
         "1 1. |New text|#old ; 1 2. |Copy|#copy ; 1 3. |Classic|#classic ; "
         "2 3.1. |Lone|#lone ; 2 3.2. |D|#d",
         numbered_ids},
        // the tag takes the id's own bytes, the link their escapes
        {"<body><h1>Ωμέγα</h1>", R"(<body>[TOC]<h1 id="ωμέγα" data-qorv-id>Ωμέγα</h1>)",
         "1 |Ωμέγα|#%CF%89%CE%BC%CE%AD%CE%B3%CE%B1", ids},
        // classic anchors take the place of a build's id, never of an author's
        {R"(<body><h1 id="a" data-qorv-id>A</h1><h1 id="b">B</h1>)",
         R"(<body>[TOC]<h1><a name="qorv_link_1_7">A</a></h1><h1 id="b"><a name="qorv_link_2_7">B</a></h1>)",
         "1 |A|#qorv_link_1_7 ; 1 |B|#qorv_link_2_7"},
    });
}

TEST_F(HeadingScanTest, AnchorAttributes) {
    anchor_attributes = R"( class="toc")";
    EXPECT_EQ(scan("<h1>A</h1>"), R"([TOC]<h1><a name="qorv_link_1_7" class="toc">A</a></h1>)");
}

TEST_F(HeadingScanTest, ReplacesOnlyTheProgramsNumbers) {
    options on{.numbering = true};
    check({
        {"<body><h1>3. Results</h1>",
         R"(<body>[TOC]<h1>1. <a name="qorv_link_1_7">Results</a></h1>)",
         "1 1. |Results|#qorv_link_1_7", on},
        {"<body><h1> 1.4.2.\tIntro</h1>",
         "<body>[TOC]<h1>1. <a name=\"qorv_link_1_7\"> Intro</a></h1>",
         "1 1. |Intro|#qorv_link_1_7", on},
        {"<body><h1>\n Intro</h1>", "<body>[TOC]<h1>1. <a name=\"qorv_link_1_7\">\n Intro</a></h1>",
         "1 1. |Intro|#qorv_link_1_7", on},
        {"<body><h1>1984</h1><h1>3D graphics</h1><h1>2001results</h1><h1>2.0 Release</h1>",
         R"(<body>[TOC]<h1>1. <a name="qorv_link_1_7">1984</a></h1><h1>2. <a name="qorv_link_2_7">3D graphics</a></h1><h1>3. <a name="qorv_link_3_7">2001results</a></h1><h1>4. <a name="qorv_link_4_7">2.0 Release</a></h1>)",
         "1 1. |1984|#qorv_link_1_7 ; 1 2. |3D graphics|#qorv_link_2_7 ; "
         "1 3. |2001results|#qorv_link_3_7 ; 1 4. |2.0 Release|#qorv_link_4_7",
         on},
        {"<body><h1><b>1.</b> Intro</h1>",
         R"(<body>[TOC]<h1>1. <a name="qorv_link_1_7"><b></b>Intro</a></h1>)",
         "1 1. |Intro|#qorv_link_1_7", on},
        // A previous build's number and its blank are replaced as one; before the program's
        // anchor every blank is a build's.
        {R"(<body><h1>4. <a name="qorv_link_1_5">A</a></h1><h1>5.  <a name="qorv_link_2_5"> B</a></h1>)",
         R"(<body>[TOC]<h1>1. <a name="qorv_link_1_5">A</a></h1><h1>2. <a name="qorv_link_2_5"> B</a></h1>)",
         "1 1. |A|#qorv_link_1_5 ; 1 2. |B|#qorv_link_2_5", on},
        {"<body><h1>3. Results</h1>",
         R"(<body>[TOC]<h1><a name="qorv_link_1_7">3. Results</a></h1>)",
         "1 |3. Results|#qorv_link_1_7"},
    });
}

TEST_F(HeadingScanTest, TitleItems) {
    options titles{.titles = true};
    check({
        {"<html><head><title>My &amp; Page</title></head><body><h1>A</h1><h2>B</h2>",
         R"(<html><head><title>My &amp; Page</title></head><body>[TOC]<h1>1.1. <a name="qorv_link_2_7">A</a></h1><h2>1.1.1. <a name="qorv_link_3_7">B</a></h2>)",
         "0 1. |My &amp; Page| ; 1 1.1. |A|#qorv_link_2_7 ; 2 1.1.1. |B|#qorv_link_3_7",
         {.numbering = true, .titles = true}},
        {"<title></title><body><h1>A</h1>",
         R"(<title></title><body>[TOC]<h1><a name="qorv_link_2_7">A</a></h1>)",
         "0 || ; 1 |A|#qorv_link_2_7", titles},
        // Without a title the whole document is scanned.
        {"<h1>A</h1><!-- toc --><h2>B</h2>",
         R"(<h1><a name="qorv_link_1_7">A</a></h1><!-- toc -->[TOC]<h2><a name="qorv_link_2_7">B</a></h2>)",
         "1 |A|#qorv_link_1_7 ; 2 |B|#qorv_link_2_7", titles},
        // Headings before the title are listed; the visit goes on at the insertion point.
        {"<h1>Z</h1><title>T</title><!-- toc --><h1>A</h1>",
         R"(<h1><a name="qorv_link_1_7">Z</a></h1><title>T</title><!-- toc -->[TOC]<h1><a name="qorv_link_3_7">A</a></h1>)",
         "1 |Z|#qorv_link_1_7 ; 0 |T| ; 1 |A|#qorv_link_3_7", titles},
        // A heading holding the insertion point gets an empty anchor, which holds no TOC.
        {"<h2>A<body>B</h2>", R"(<h2><a name="qorv_link_1_7"></a>A<body>[TOC]B</h2>)",
         "2 |AB|#qorv_link_1_7", titles},
        // A title after the insertion point: no heading is visited twice.
        {"<body><h1>A</h1><svg><title>T</title></svg><h2>B</h2>",
         R"(<body>[TOC]<h1><a name="qorv_link_1_7">A</a></h1><svg><title>T</title></svg><h2><a name="qorv_link_3_7">B</a></h2>)",
         "1 |A|#qorv_link_1_7 ; 0 |T| ; 2 |B|#qorv_link_3_7", titles},
    });
}

TEST_F(HeadingScanTest, OldTocMarkers) {
    check({
        // An end marker before the start marker is an ordinary comment and stays.
        {"<body><!--QORV_HTML_TOC_END--><p>keep</p><!--QORV_HTML_TOC_START-->old"
         "<!--QORV_HTML_TOC_END--><h1>A</h1>",
         R"(<body>[TOC]<!--QORV_HTML_TOC_END--><p>keep</p><h1><a name="qorv_link_1_7">A</a></h1>)",
         "1 |A|#qorv_link_1_7"},
        {"<body><p>a</p><!--QORV_HTML_TOC_END--><h1>A</h1>",
         R"(<body>[TOC]<p>a</p><h1><a name="qorv_link_1_7">A</a></h1>)", "1 |A|#qorv_link_1_7"},
        {"<body><!--QORV_HTML_TOC_START-->old<h1>A</h1>",
         R"(<body>[TOC]<!--QORV_HTML_TOC_START-->old<h1><a name="qorv_link_1_7">A</a></h1>)",
         "1 |A|#qorv_link_1_7"},
        // The old TOC opens at the start marker nearest its end marker; one before is kept.
        {"<head><!--QORV_HTML_TOC_START--><meta x></head><body><!--QORV_HTML_TOC_START-->old"
         "<!--QORV_HTML_TOC_END--><h1>A</h1>",
         R"(<head><!--QORV_HTML_TOC_START--><meta x></head><body>[TOC]<h1><a name="qorv_link_1_7">A</a></h1>)",
         "1 |A|#qorv_link_1_7"},
        // Headings inside the old TOC are dropped with it, not listed.
        {"<body><!--QORV_HTML_TOC_START--><h2>Contents</h2><!--QORV_HTML_TOC_END--><h1>A</h1>",
         R"(<body>[TOC]<h1><a name="qorv_link_1_7">A</a></h1>)", "1 |A|#qorv_link_1_7"},
        // Where the insertion would be dropped with the old TOC, the new one takes its place.
        {"<!--QORV_HTML_TOC_START--><h2>Contents</h2><!--QORV_HTML_TOC_END--><h1>A</h1>",
         R"([TOC]<h1><a name="qorv_link_1_7">A</a></h1>)", "1 |A|#qorv_link_1_7"},
        {"<p>x</p><!--QORV_HTML_TOC_START-->old<!--QORV_HTML_TOC_END--><h1>A</h1>",
         R"(<p>x</p>[TOC]<h1><a name="qorv_link_1_7">A</a></h1>)", "1 |A|#qorv_link_1_7"},
        {"<div><!--QORV_HTML_TOC_START-->old<!--QORV_HTML_TOC_END--><h1>A</h1></div>",
         R"(<div>[TOC]<h1><a name="qorv_link_1_7">A</a></h1></div>)", "1 |A|#qorv_link_1_7"},
        {"<p>x</p><!--QORV_HTML_TOC_START--><!-- toc --><!--QORV_HTML_TOC_END--><h1>A</h1>",
         R"(<p>x</p>[TOC]<h1><a name="qorv_link_1_7">A</a></h1>)", "1 |A|#qorv_link_1_7"},
    });
}

// Pages read as browsers read them: quoted values, raw text, templates, comments, headings.
TEST_F(HeadingScanTest, ReadsPagesAsBrowsersDo) {
    check({
        {R"(<body><h2 title="Step 1 -> Step 2">Install</h2><p title="<h1>x</h1>">)",
         R"(<body>[TOC]<h2 title="Step 1 -> Step 2"><a name="qorv_link_1_7">Install</a></h2><p title="<h1>x</h1>">)",
         "2 |Install|#qorv_link_1_7"},
        {"<body><script>for(i=0;i<n;i++)</script><h1>A</h1>",
         R"(<body>[TOC]<script>for(i=0;i<n;i++)</script><h1><a name="qorv_link_1_7">A</a></h1>)",
         "1 |A|#qorv_link_1_7"},
        {"<body><style>h1>p{}</style><textarea><h1>x</h1></textarea><xmp><h2>y</h2></xmp>"
         "<template><h3>z</h3></template><!-- <h4>w</h4> --!><h5>v</h5>",
         "<body>[TOC]<style>h1>p{}</style><textarea><h1>x</h1></textarea><xmp><h2>y</h2></xmp>"
         R"(<template><h3>z</h3></template><!-- <h4>w</h4> --!><h5><a name="qorv_link_1_7">v</a></h5>)",
         "5 |v|#qorv_link_1_7"},
        {"<body><h5>A</h3><p>x</p><h1>B<h2>C</h2>",
         R"(<body>[TOC]<h5><a name="qorv_link_1_7">A</a></h3><p>x</p><h1><a name="qorv_link_2_7">B</a><h2><a name="qorv_link_3_7">C</a></h2>)",
         "5 |A|#qorv_link_1_7 ; 1 |B|#qorv_link_2_7 ; 2 |C|#qorv_link_3_7"},
        {"<title>a<b>c</title><body><h1>A</h1>",
         R"(<title>a<b>c</title><body>[TOC]<h1><a name="qorv_link_2_7">A</a></h1>)",
         "0 |a&lt;b>c| ; 1 |A|#qorv_link_2_7",
         {.titles = true}},
    });
}

// Each build reads the previous one's output: one TOC every time, always at the same place.
TEST_F(HeadingScanTest, RebuildKeepsOneTocInPlace) {
    struct rebuild_row {
        const char* html;
        options opt;
        const char* settled;
    } rows[] = {
        {"<script>x</script><h1>A</h1>",
         {},
         R"(<script>x</script><!--QORV_HTML_TOC_START-->[TOC]<!--QORV_HTML_TOC_END--><h1><a name="qorv_link_1_7">A</a></h1>)"},
        {"<h1>A</h1><p>x</p>",
         {.numbering = true},
         R"(<!--QORV_HTML_TOC_START-->[TOC]<!--QORV_HTML_TOC_END--><h1>1. <a name="qorv_link_1_7">A</a></h1><p>x</p>)"},
        {"<div><p>x</p><h1>A</h1></div>",
         {},
         R"(<div><p>x</p><!--QORV_HTML_TOC_START-->[TOC]<!--QORV_HTML_TOC_END--><h1><a name="qorv_link_1_7">A</a></h1></div>)"},
        {"<body>\n<h1>A</h1>",
         {},
         "<body><!--QORV_HTML_TOC_START-->[TOC]<!--QORV_HTML_TOC_END-->\n<h1><a "
         "name=\"qorv_link_1_7\">A</a></h1>"},
    };
    for (const rebuild_row& r : rows) {
        SCOPED_TRACE(r.html);
        std::string text = r.html;
        for (int build = 1; build <= 3; ++build) {
            text = scan(text, r.opt, rebuilt_toc);
            EXPECT_EQ(text.find(rebuilt_toc), text.rfind(rebuilt_toc));
        }
        EXPECT_EQ(text, r.settled);
    }
}

TEST_F(HeadingScanTest, ManyHeadingsUnderOneHeading) {
    std::string html = "<body><h1>A</h1>";
    for (int i = 0; i < 100000; ++i)
        html += "<h2>B</h2>";
    scan(html, {.numbering = true});
    EXPECT_EQ(tree_child_count(*tree->first()), 100000);
    byte_string number;
    toc_tree::append_numbering(*last_item(), number);
    EXPECT_EQ(number, "1.100000. ");
}

// Documents built from the constructs the scan looks at, mixed with ordinary markup.
std::string mixed_document(std::mt19937& random) {
    static const std::string_view pieces[] = {
        "<h1>",
        "</h1>",
        "<h2>",
        "</h2>",
        "<h3>A</h3>",
        "<H4>1.2. B",
        "</H4>",
        "<h7>x</h7>",
        "<h2></h2>",
        "<title>",
        "</title>",
        "<body>",
        "</body>",
        "<!-- toc -->",
        "<!--x-->",
        "<!--QORV_HTML_TOC_START-->",
        "<!--QORV_HTML_TOC_END-->",
        "<p>",
        "</p>",
        "<div>",
        "</div>",
        "<table><tr><td>",
        "</td></tr></table>",
        "<ul><li>",
        "<li>",
        "</ul>",
        "<b>",
        "</b>",
        "<a name=\"n\">",
        "<a name=\"qorv_link_3_7\">",
        "</a>",
        "<script>",
        "</script>",
        "<br>",
        "3. ",
        "1984 ",
        "text ",
        "\n",
        "<svg><title>s</title></svg>",
        "<head>",
        "</head>",
    };
    std::uniform_int_distribution<size_t> piece(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> count(0, 60);
    std::string doc;
    for (int n = count(random); n > 0; --n)
        doc += pieces[piece(random)];
    return doc;
}

TEST_F(HeadingScanTest, FoldedReadingScansAlike) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> flag(0, 1);
    std::uniform_int_distribution<int32_t> level(1, 6);
    for (int i = 0; i < 3000; ++i) {
        const std::string doc = mixed_document(random);
        options opt;
        opt.numbering = flag(random) != 0;
        opt.titles = flag(random) != 0;
        opt.from = level(random);
        opt.to = std::max(opt.from, level(random));
        SCOPED_TRACE(doc + " range " + std::to_string(opt.from) + "-" + std::to_string(opt.to));
        const std::string plain = scan(doc, opt);
        const std::string plain_items = items();
        ASSERT_EQ(scan(doc, opt, "[TOC]", true), plain);
        ASSERT_EQ(items(), plain_items);
    }
}

TEST(StripStateTest, StripsOnlyTheProgramsNumberShape) {
    struct strip_row {
        std::vector<const char*> nodes;  // the heading's text nodes
        const char* stripped;            // joined by '|'
    } rows[] = {
        {{"1.4.2. Intro"}, "Intro"},
        {{"3. Results"}, "Results"},
        {{"1.  A"}, " A"},
        {{"12. 3. x"}, "3. x"},
        {{"1.\tA  B"}, "A  B"},
        {{"1."}, ""},
        {{"1", ". A"}, "|A"},
        {{"  ", "1.", " Intro"}, "  ||Intro"},
        {{" 2. Intro"}, " Intro"},
        {{" Intro"}, " Intro"},
        {{"Intro 2"}, "Intro 2"},
        {{"1984"}, "1984"},
        {{"3D graphics"}, "3D graphics"},
        {{"2001results"}, "2001results"},
        {{"2.0 Release"}, "2.0 Release"},
        {{"1.2.Intro"}, "1.2.Intro"},
        {{"1", "984"}, "1|984"},
        {{" ", "1984"}, " |1984"},
        {{".5 x"}, ".5 x"},
    };
    for (const strip_row& r : rows) {
        SCOPED_TRACE(r.stripped);
        node_tree document;
        auto* heading = new xml_node(construct_kind::start_tag, "<h1>");
        tree_insert(document, heading, nullptr, nullptr);
        for (const char* text : r.nodes)
            tree_append_child(document, new xml_node(construct_kind::text, text), heading);
        tree_append_child(document, new xml_node(construct_kind::end_tag, "</h1>"), heading);
        strip_state state;
        state.start(*heading);
        std::string joined;
        for (tree_node* n = heading->first_child(); n != heading->last_child(); n = n->next()) {
            state.strip(*as_xml(n));
            if (n != heading->first_child()) joined += '|';
            joined += as_xml(n)->raw.view();
        }
        EXPECT_EQ(joined, r.stripped);
    }
}

TEST(HeadingLevelTest, NamesAndContent) {
    struct level_row {
        construct_kind kind;
        const char* name;
        int32_t level;
    } rows[] = {
        {construct_kind::start_tag, "h1", 1}, {construct_kind::start_tag, "H6", 6},
        {construct_kind::empty_tag, "h2", 2}, {construct_kind::start_tag, "h9", 9},
        {construct_kind::start_tag, "hr", 0}, {construct_kind::start_tag, "h10", 0},
        {construct_kind::start_tag, "x1", 0}, {construct_kind::end_tag, "h1", 0},
    };
    for (const level_row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string raw =
            (r.kind == construct_kind::end_tag ? "</" : "<") + std::string(r.name) + ">";
        xml_node node(r.kind, raw);
        EXPECT_EQ(heading_level(node), r.level);
    }

    node_tree document;
    auto* heading = new xml_node(construct_kind::start_tag, "<h2>");
    tree_insert(document, heading, nullptr, nullptr);
    EXPECT_FALSE(has_content(*heading));
    auto* end = new xml_node(construct_kind::end_tag, "</h2>");
    tree_append_child(document, end, heading);
    EXPECT_FALSE(has_content(*heading));
    end->closed = false;  // a stray end tag is content
    EXPECT_TRUE(has_content(*heading));
}

}  // namespace
