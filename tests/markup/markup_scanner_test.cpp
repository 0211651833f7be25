#include "markup_scanner.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "markup_dump.h"

namespace {

struct Row {
    std::string_view input;
    std::string_view expected;
};

// Every kind the scanner can report, from start_tag to unknown_markup.
construct_set every_kind() {
    construct_set kinds;
    for (int kind = 1; kind <= static_cast<int>(construct_kind::unknown_markup); ++kind)
        kinds.add(static_cast<construct_kind>(kind));
    return kinds;
}

// Every kind enabled and ended by any '>' under `rule`.
void configure_every_kind(markup_scanner& scanner, const construct_rule& rule) {
    scanner.set_enabled(every_kind());
    for (int kind = 1; kind <= static_cast<int>(construct_kind::unknown_markup); ++kind)
        scanner.set_rule(static_cast<construct_kind>(kind), rule);
}

// Shows the classification alone.
void configure_all_kinds(markup_scanner& scanner) {
    configure_every_kind(scanner, {.terminator = ">"});
}

// The default table with every kind enabled.
void configure_defaults(markup_scanner& scanner) {
    scanner.set_enabled(every_kind());
}

// Backslashes that matter to a construct whose '>' ignores quotes.
void configure_escapes_only(markup_scanner& scanner) {
    configure_every_kind(scanner, {.terminator = ">", .escapes = true});
}

void configure_for_html_without_text(markup_scanner& scanner) {
    configure_for_html(scanner);
    scanner.set_keep_text(false);
}

const Row html_rows[] = {
    {"ab<a href=x>cd</a>", R"(T"ab" C1"<a href=x>" T"cd" C2"</a>" E)"},
    // only a quoted attribute value hides a '>'
    {R"(<a title="x>y">)", R"(C1"<a title=\"x>y\">" E)"},
    {R"(<a b = 'x>y' c="">d)", R"(C1"<a b = 'x>y' c=\"\">" T"d" E)"},
    {R"(<p don't>x<b c=d"e>f">)", R"(C1"<p don't>" T"x" C1"<b c=d\"e>" T"f\">" E)"},
    {R"(<a ="x>y<a "b=">c">)", R"(C1"<a =\"x>" T"y" C1"<a \"b=\">c\">" E)"},
    {R"(<a b="x)", R"(T"<a b=\"x" E)"},
    {"a < b", R"(T"a " T"< b" E)"},
    {"<a href=", R"(T"<a href=" E)"},
    {"<a><b/></>", R"(C1"<a>" C1"<b/>" C2"</>" E)"},
    {"<:x><_y><1>", R"(T"<:x>" T"<_y>" T"<1>" E)"},
    {"<!-- x -->", R"(C5"<!-- x -->" E)"},
    {"<!-- a > b -->c", R"(C5"<!-- a > b -->" T"c" E)"},
    {"<!-->x", R"(C5"<!-->" T"x" E)"},
    {"<!--->", R"(C5"<!--->" E)"},
    {"<!-- a --!>b<!--!>c--!>", R"(C5"<!-- a --!>" T"b" C5"<!--!>c--!>" E)"},
    {"<!----!><!---!>-->", R"(C5"<!----!>" C5"<!---!>-->" E)"},
    {"<!--#echo -->", R"(C14"<!--#echo -->" E)"},
    {R"(<!--#x "-->" y-->)", R"(C14"<!--#x \"-->" T"\" y-->" E)"},
    {"<!DOCTYPE html>", R"(C7"<!DOCTYPE html>" E)"},
    {"<!doctype html>", R"(C4"<!doctype html>" E)"},
    {"<!><!x y>", R"(C4"<!>" C4"<!x y>" E)"},
    {"<>", R"(C15"<>" E)"},
    {"a <<b><<!-->", R"(T"a " T"<" C1"<b>" T"<" C5"<!-->" E)"},
    {"<![CDATA[a]]>", R"(T"<![CDATA[a]]>" E)"},
    {"<!ELEMENT e><!ENTITY e>", R"(T"<!ELEMENT e>" T"<!ENTITY e>" E)"},
    {"<?xml?><%x%><#x#>", R"(T"<?xml?>" T"<%x%>" T"<#x#>" E)"},
    {"<!-- open", R"(T"<!-- open" E)"},
    {"", "E"},
};

const Row strict_rows[] = {
    {"<k>v</k>", R"(C1"<k>" T"v" C2"</k>" E)"},
    {"<k/>", R"(C1"<k/>" E)"},
    {"<!-- c --><!-->", R"(C5"<!-- c -->" C5"<!-->" E)"},
    {"<![CDATA[a<b>c]>]]>", R"(C6"<![CDATA[a<b>c]>]]>" E)"},
    {R"(<?xml version="1.0"?>)", R"(C11"<?xml version=\"1.0\"?>" E)"},
    {R"(<?a "?>" ?>)", R"(C11"<?a \"?>\" ?>" E)"},
    {R"(<?a "\"?>" ?>)", R"(C11"<?a \"\\\"?>\" ?>" E)"},
    {R"(<?a '"?>'?>)", R"(C11"<?a '\"?>'?>" E)"},
    {R"(<?a \"?>)", R"(T"<?a \\\"?>" E)"},
    {R"(<a b="x>y">)", R"(C1"<a b=\"x>" T"y\">" E)"},
    {"<!DOCTYPE x><!x>", R"(T"<!DOCTYPE x>" T"<!x>" E)"},
    {"<!><>", R"(C4"<!>" C15"<>" E)"},
    {"<!--#x--><% a %>", R"(T"<!--#x-->" T"<% a %>" E)"},
    {"<!ELEMENT e><!ATTLIST a><!ENTITY e><#h#>",
     R"(T"<!ELEMENT e>" T"<!ATTLIST a>" T"<!ENTITY e>" T"<#h#>" E)"},
};

const Row template_rows[] = {
    {R"(<!--#echo var="x"-->)", R"(C14"<!--#echo var=\"x\"-->" E)"},
    {R"(a<!--#echo var="a-->b"-->b)", R"(T"a" C14"<!--#echo var=\"a-->b\"-->" T"b" E)"},
    {R"(<!--#echo var='te\'xt'-->)", R"(C14"<!--#echo var='te\\'xt'-->" E)"},
    {R"(<!--#a "x>y" -->)", R"(C14"<!--#a \"x>y\" -->" E)"},
    {R"(<!--#a ">" '\\' -->)", R"(C14"<!--#a \">\" '\\\\' -->" E)"},
    {"<!--#a>-->", R"(C14"<!--#a>-->" E)"},
    {R"(<!--#a \"-->)", R"(T"<!--#a \\\"-->" E)"},
    {"<!-- #echo --><!-- x -->", R"(T"<!-- #echo -->" T"<!-- x -->" E)"},
    {R"(<a href="<!--#echo var="link"-->">)",
     R"(T"<a href=\"" C14"<!--#echo var=\"link\"-->" T"\">" E)"},
    {R"(<<!--#echo var="text"-->)", R"(T"<<!--#echo var=\"text\"-->" E)"},
    {"<><!><!-->", R"(C15"<>" C4"<!>" C5"<!-->" E)"},
    {R"(<!--#echo var="x")", R"(T"<!--#echo var=\"x\"" E)"},
    {"<!DOCTYPE x><a></a><!x>", R"(T"<!DOCTYPE x>" T"<a>" T"</a>" T"<!x>" E)"},
    {"<![CDATA[c]]><!ELEMENT e><!ATTLIST a><!ENTITY e>",
     R"(T"<![CDATA[c]]>" T"<!ELEMENT e>" T"<!ATTLIST a>" T"<!ENTITY e>" E)"},
    {"<?p?><%s%><#h#>", R"(T"<?p?>" T"<%s%>" T"<#h#>" E)"},
};

const Row all_kind_rows[] = {
    {"<a>", R"(C1"<a>" E)"},
    {"</a>", R"(C2"</a>" E)"},
    {"<!x>", R"(C4"<!x>" E)"},
    {"<!-x>", R"(C4"<!-x>" E)"},
    {"<!#>", R"(C4"<!#>" E)"},
    {"<!doctype>", R"(C4"<!doctype>" E)"},
    {"<!DOCTYPX>", R"(C4"<!DOCTYPX>" E)"},
    {"<![CDATA>", R"(C4"<![CDATA>" E)"},
    {"<!-- x>", R"(C5"<!-- x>" E)"},
    {"<!--x#>", R"(C5"<!--x#>" E)"},
    {"<![CDATA[x>", R"(C6"<![CDATA[x>" E)"},
    {"<!DOCTYPE x>", R"(C7"<!DOCTYPE x>" E)"},
    {"<!ELEMENTS>", R"(C8"<!ELEMENTS>" E)"},
    {"<!ATTLIST x>", R"(C9"<!ATTLIST x>" E)"},
    {"<!ATTLISX>", R"(C4"<!ATTLISX>" E)"},
    {"<!ENTITY x>", R"(C10"<!ENTITY x>" E)"},
    {"<!ELTITY>", R"(C10"<!ELTITY>" E)"},
    {"<?x>", R"(C11"<?x>" E)"},
    {"<%x>", R"(C12"<%x>" E)"},
    {"<#x>", R"(C13"<#x>" E)"},
    {"<!--#x>", R"(C14"<!--#x>" E)"},
    {"< x>", R"(C15"< x>" E)"},
    {R"(<\x>)", R"(C15"<\\x>" E)"},
};

const Row no_text_rows[] = {
    {"a<b>c< d>e<!x>f<?y>g", R"(C1"<b>" C4"<!x>" E)"},
    {"<a href=", R"(T"<a href=" E)"},
};

struct scan_setup {
    const char* name;
    void (*configure)(markup_scanner&);
    std::span<const Row> rows;
    bool keeps_every_byte;
};

const scan_setup setups[] = {
    {"html", configure_for_html, html_rows, true},
    {"strict", configure_for_tagged_values, strict_rows, true},
    {"template", configure_for_templates, template_rows, true},
    {"all kinds", configure_all_kinds, all_kind_rows, true},
    {"html without text", configure_for_html_without_text, no_text_rows, false},
    {"defaults", configure_defaults, {}, true},
    {"escapes only", configure_escapes_only, {}, true},
};

// The dump of a run plus what the hooks were handed, for comparing two runs.
struct run_result {
    std::string dump;
    std::string concatenated;
};

run_result run(const scan_setup& setup, const piece_list& pieces, bool release = true,
               bool take_token = false) {
    scan_recorder recorder;
    setup.configure(recorder);
    recorder.with_positions = true;
    recorder.take_token = take_token;
    const scan_status status = feed_pieces(recorder, pieces, release);
    run_result out{recorder.dump(), recorder.concatenated()};
    if (status != scan_status::finished)
        out.dump += " R" + std::to_string(static_cast<int>(status));
    return out;
}

// Whole, split at every position, byte by byte, without releasing chunks and with the
// hooks taking the token: all give the same reports at the same positions.
void expect_chunk_independent(const scan_setup& setup, std::string_view input) {
    const run_result whole = run(setup, piece_list::whole(input));
    if (setup.keeps_every_byte) {
        EXPECT_EQ(whole.concatenated, input);
    }
    EXPECT_EQ(run(setup, piece_list::bytes(input)).dump, whole.dump) << "byte by byte";
    EXPECT_EQ(run(setup, piece_list::whole(input), false).dump, whole.dump) << "kept chunks";
    EXPECT_EQ(run(setup, piece_list::whole(input), true, true).dump, whole.dump) << "taken";
    for (size_t at = 0; at <= input.size(); ++at) {
        EXPECT_EQ(run(setup, piece_list::split_at(input, at)).dump, whole.dump) << "split " << at;
    }
}

TEST(MarkupScannerTest, Rows) {
    for (const scan_setup& setup : setups) {
        for (const Row& row : setup.rows) {
            SCOPED_TRACE(std::string(setup.name) + ": " + std::string(row.input));
            EXPECT_EQ(scan_dump(setup.configure, piece_list::whole(row.input)), row.expected);
            expect_chunk_independent(setup, row.input);
        }
    }
}

TEST(MarkupScannerTest, LineAndColumn) {
    const Row rows[] = {
        {"a\nb<x>", R"(T"a\nb"@2:2 C1"<x>"@2:4 E@2:4)"},
        {"a\rb\r\n<x\ny>", R"(T"a\rb\r\n"@2:1 C1"<x\ny>"@3:2 E@3:2)"},
        {"\n\n", R"(T"\n\n"@3:0 E@3:0)"},
        {"<!-- a\nb -->\nc", R"(C5"<!-- a\nb -->"@2:5 T"\nc"@3:1 E@3:1)"},
        {"line one\nline two\n\nfour<p>", R"(T"line one\nline two\n\nfour"@4:5 C1"<p>"@4:7 E@4:7)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.input);
        EXPECT_EQ(scan_dump(configure_for_html, piece_list::whole(row.input), true), row.expected);
        expect_chunk_independent(setups[0], row.input);
    }
}

// Inputs built from the bytes and openings that steer the scanner, against every setup: the
// fast paths must report exactly what the byte loop reports.
TEST(MarkupScannerTest, RandomInputsAreChunkIndependent) {
    const std::string_view alphabet = "<>!-#\"'\\/?%[]CDATEOLNYPSIMx \n\r";
    const std::string_view openings[] = {
        "<a ",   "</b", "<!--",      "<!--#",     "-->",      "<![CDATA[", "]]>",       "<?",
        "?>",    "<!",  "<!DOCTYPE", "<!ELEMENT", "<!ENTITY", "<!ATTLIST", "\\\"",      "\\>",
        "\"x\"", "'y'", "\r\n",      "text ",     "<%",       "<#",        "long run ",
    };
    std::mt19937 random(20240611);
    for (int i = 0; i < 300; ++i) {
        std::string input;
        for (size_t parts = random() % 40; parts > 0; --parts) {
            if (random() % 2) {
                input += alphabet[random() % alphabet.size()];
            } else {
                input += openings[random() % std::size(openings)];
            }
        }
        for (const scan_setup& setup : setups) {
            SCOPED_TRACE(std::string(setup.name) + ": " + quote_bytes(input));
            const run_result whole = run(setup, piece_list::whole(input));
            if (setup.keeps_every_byte) {
                EXPECT_EQ(whole.concatenated, input);
            }
            EXPECT_EQ(run(setup, piece_list::bytes(input)).dump, whole.dump);
            piece_list pieces;
            for (size_t at = 0; at < input.size();) {
                const size_t n = 1 + random() % 9;
                pieces.add(std::string_view(input).substr(at, n));
                at += n;
            }
            EXPECT_EQ(run(setup, pieces).dump, whole.dump);
        }
    }
}

TEST(MarkupScannerTest, SizeLimitCountsQueuedChunks) {
    scan_recorder recorder;
    recorder.set_size_limit(10);
    recorder.push_chunk("abcd");
    EXPECT_EQ(recorder.scan_step(), scan_status::needs_input);
    recorder.push_chunk("efghi");
    EXPECT_EQ(recorder.scan_step(), scan_status::needs_input);
    recorder.push_chunk("j");
    EXPECT_EQ(recorder.scan_step(), scan_status::size_exceeded);
    EXPECT_EQ(recorder.chars_read(), 9);

    // dropping a read-through chunk brings the queue under the limit again
    EXPECT_TRUE(recorder.release_consumed());
    EXPECT_EQ(recorder.queued_bytes(), 6);
    recorder.set_end_of_input(true);
    EXPECT_EQ(recorder.scan_step(), scan_status::finished);
    EXPECT_EQ(recorder.dump(), R"(T"abcdefghij" E)");
}

TEST(MarkupScannerTest, HtmlSizeLimitIsReachedByExactlyFourMebibytes) {
    scan_recorder recorder;
    configure_for_html(recorder);
    recorder.push_chunk(std::string(4194303, 'x'));
    EXPECT_EQ(recorder.scan_step(), scan_status::needs_input);
    recorder.push_chunk("x");
    EXPECT_EQ(recorder.scan_step(), scan_status::size_exceeded);
}

TEST(MarkupScannerTest, ReleaseDropsOnlyReadThroughChunks) {
    scan_recorder recorder;
    recorder.push_chunk("<a");
    recorder.push_chunk(">b");
    recorder.push_chunk("c");
    EXPECT_EQ(recorder.scan_step(), scan_status::needs_input);
    EXPECT_EQ(recorder.released_pending(), 2);
    EXPECT_TRUE(recorder.release_consumed());
    EXPECT_TRUE(recorder.release_consumed());
    EXPECT_FALSE(recorder.release_consumed());
    EXPECT_EQ(recorder.chunk_count(), 1);

    recorder.push_chunk("d");
    recorder.set_end_of_input(true);
    EXPECT_EQ(recorder.scan_step(), scan_status::finished);
    while (recorder.release_consumed()) {
    }
    EXPECT_EQ(recorder.chunk_count(), 0);
    EXPECT_EQ(recorder.queued_bytes(), 0);
    EXPECT_EQ(recorder.chars_read(), 6);
}

TEST(MarkupScannerTest, StepAfterTheEndDoesNotReadTheInputAgain) {
    scan_recorder recorder;
    configure_for_html(recorder);
    recorder.push_chunk("a<b>");
    recorder.set_end_of_input(true);
    EXPECT_EQ(recorder.scan_step(), scan_status::finished);
    EXPECT_EQ(recorder.scan_step(), scan_status::needs_input);
    recorder.push_chunk("c");
    recorder.set_end_of_input(true);
    EXPECT_EQ(recorder.scan_step(), scan_status::finished);
    EXPECT_EQ(recorder.dump(), R"(T"a" C1"<b>" E T"c" E)");
}

// Stops at the first end tag, as a reader does on a misplaced one.
class failing_reader : public markup_scanner {
  public:
    int64_t fail_line = 0;
    int64_t fail_column = 0;

  protected:
    bool on_construct() override {
        if (kind() != construct_kind::end_tag) return true;
        fail_line = line();
        fail_column = column();
        return false;
    }
};

TEST(MarkupScannerTest, HookErrorStopsTheStepAtItsPosition) {
    failing_reader reader;
    configure_for_tagged_values(reader);
    reader.push_chunk("<a>x</b>\n<c>");
    EXPECT_EQ(reader.scan_step(), scan_status::stopped);
    EXPECT_EQ(reader.fail_line, 1);
    EXPECT_EQ(reader.fail_column, 8);
    EXPECT_EQ(reader.line(), 1);
    EXPECT_EQ(reader.column(), 8);
}

TEST(MarkupScannerTest, EntityNamesAreCaseSensitive) {
    EXPECT_EQ(entity_char("amp"), '&');
    EXPECT_EQ(entity_char("lt"), '<');
    EXPECT_EQ(entity_char("gt"), '>');
    EXPECT_EQ(entity_char("apos"), '\'');
    EXPECT_EQ(entity_char("quot"), '"');
    EXPECT_EQ(entity_char("AMP"), -1);
    EXPECT_EQ(entity_char("nbsp"), -1);
    EXPECT_EQ(named_entities().size(), 5u);
}

}  // namespace
