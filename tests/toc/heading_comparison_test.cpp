#include "heading_comparison.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

// Pages that mix the constructs browsers read differently from older lenient readers.
TEST(HeadingComparisonTest, ScanListsWhatAnHtml5ParserSees) {
    const char* const pages[] = {
        R"(<h2 title="Step 1 -> Step 2">Install</h2><p title='<h1>x</h1>'>y</p>)",
        R"(<p don't>a</p><h1 a=b"c>d">T</h1><img alt="<h2>no</h2>">)",
        "<script>for(i=0;i<n;i++){}</script><h1>A</h1><script><!--<script></script>"
        "<h2>no</h2></script>--></script><h3>B</h3>",
        "<style>h1>b{}</style><textarea><h1>no</h1></textarea><xmp><h2>no</h2></xmp>"
        "<title><h3>no</h3></title><iframe><h4>no</h4></iframe><noembed><h5>x</h5></noembed>"
        "<noframes><h6>x</h6></noframes><h1>A</h1>",
        "<template><h1>no</h1><template><h2>no</h2></template><h3>no</h3></template><h4>A</h4>",
        "<!-- a --!><h1>A</h1><!--><h2>B</h2><!---><h3>C</h3><!-- <h4>no</h4> -- --><h5>D</h5>",
        "<h5>a</h3><p>b</p><h1>c<h2>d</h2>e</h1><h3><b>f<h4>g</h4>h</b></h3>",
        "<h1>A &amp; B &lt;C&gt; &quot;D&quot;&nbsp;E</h1><h2>\n  spaced\t out </h2>",
        "<table><tr><td><h3>c</td></tr></table><p>x<h4>d</h4>a <<h5>b</h5>",
        "<h1>a<script>x</script></h1><h2>b<style>y</style>c</h2>",
        "<plaintext><h1>no</h1>",
        // found by fuzzing: tag names, a second '<', "<>", void elements
        "<h5>a</h3<>b<:h1>c<h2>d<embed>e<h1>f</h1>g <<h3>h<>i</h3>",
        "<h1><a name=n>A</a></h1><h2><a href='#x'>B</a> C</h2>",
    };
    for (const char* page : pages) {
        SCOPED_TRACE(page);
        EXPECT_EQ(heading_differences(page), "");
    }
}

// Random mixes of the same pieces: every page the comparison does not skip must agree.
TEST(HeadingComparisonTest, MixedPagesAgree) {
    static const char* const pieces[] = {
        "<h1>",        "</h1>",       "<h2>",      "</h2>",    "<h3 title=\"a>b\">",
        "</h5>",       "<script>",    "</script>", "<style>",  "</style>",
        "<textarea>",  "</textarea>", "<title>",   "</title>", "<template>",
        "</template>", "<!--",        "-->",       "--!>",     "<!-->",
        "<p>",         "</p>",        "<b>",       "</b>",     "<div>",
        "</div>",      "<a href='",   "'>",        "\"",       "'",
        ">",           "<",           "=",         " ",        "\n",
        "text",        "&amp;",       "<xmp>",     "</xmp>",   "<table><td>",
        "</table>",
    };
    std::mt19937 random(20261209);
    std::uniform_int_distribution<size_t> piece(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> count(1, 30);
    int compared = 0;
    for (int i = 0; i < 3000; ++i) {
        std::string page;
        for (int n = count(random); n > 0; --n)
            page += pieces[piece(random)];
        const std::string differences = heading_differences(page);
        if (differences.starts_with("skipped")) continue;
        ++compared;
        ASSERT_EQ(differences, "") << page;
    }
    EXPECT_GT(compared, 1500);
}

}  // namespace
