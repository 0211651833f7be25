#include "tagged_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "markup_dump.h"

namespace {

// One node and its subtree: S(name attrs) start tag, Y(name) empty tag, E(name) end tag,
// T"text" decoded text, C comment, P processing instruction, K<n> any other kind; '*' marks a
// node that is not closed, children follow in brackets.
std::string node_dump(const xml_node& node, bool lower_case) {
    std::string dump;
    switch (node.kind) {
        case construct_kind::start_tag:
        case construct_kind::empty_tag:
        case construct_kind::end_tag:
            dump += node.kind == construct_kind::start_tag ? "S("
                    : node.kind == construct_kind::end_tag ? "E("
                                                           : "Y(";
            {
                dump += tagged_name(node, lower_case).view();
                const sorted_map attributes = tagged_attributes(node, lower_case);
                for (const auto& [key, value] : attributes.entries())
                    dump.append(" ")
                        .append(key.view())
                        .append("=")
                        .append(quote_bytes(value.view()));
                dump += ")";
                break;
            }
        case construct_kind::text:
            dump += "T";
            dump += quote_bytes(tagged_text(node).view());
            break;
        case construct_kind::comment:
            dump += "C";
            break;
        case construct_kind::processing_instruction:
            dump += "P";
            break;
        default:
            dump += "K";
            dump += std::to_string(static_cast<int>(node.kind));
            break;
    }
    if (!node.closed) dump += "*";
    if (node.first_child()) {
        dump += "[";
        for (const tree_node* child = node.first_child(); child; child = child->next()) {
            if (child != node.first_child()) dump += " ";
            dump += node_dump(*as_xml(child), lower_case);
        }
        dump += "]";
    }
    return dump;
}

// The tree, then !<reason>@line:column when the read failed, the reason as its report words it.
std::string read_dump(const piece_list& pieces, bool lower_case = true) {
    node_tree tree;
    tagged_reader reader(tree, lower_case);
    const result read = reader.read_result(feed_pieces(reader, pieces));
    std::string dump;
    for (const tree_node* node = tree.first(); node; node = node->next()) {
        if (!dump.empty()) dump += " ";
        dump += node_dump(*as_xml(node), lower_case);
    }
    if (!read.is_ok()) {
        const std::string_view report = read.message().view();
        const std::string_view reason = report.substr(report.find("Error: ") + 7);
        dump += " !" + std::string(reason.substr(0, reason.find(".\r\n"))) + "@" +
                std::to_string(reader.line()) + ":" + std::to_string(reader.column());
    }
    return dump;
}

struct Row {
    std::string_view input;
    std::string_view expected;
    bool lower_case = true;
};

const Row rows[] = {
    {"<key>value</key>", R"(S(key)[T"value" E(key)])"},
    {"<key></key>", "Y(key)"},
    {"<key/>", "Y(key)"},
    {"<Key>x</KEY >", R"(S(key)[T"x" E(key)])"},
    {"<Key>x</KEY>", R"(S(Key)*[T"x"] !misplaced end tag@1:12)", false},
    {"<a>x</b>", R"(S(a)*[T"x"] !misplaced end tag@1:8)"},
    {"<a>", "S(a)* !unclosed tag@1:3"},
    {"<a>x", R"(S(a)*[T"x"] !unclosed tag@1:4)"},
    {"<k>v</k", R"(S(k)*[T"v" T"</k"] !unclosed tag@1:7)"},
    {"", ""},
    {"just text", R"(T"just text")"},
    {"<a>a&lt;b &#65;&#x41; &AMP; &#38;lt; &amp;lt;</a>", R"(S(a)[T"a<b AA ! < &lt;" E(a)])"},
    {"<k>\xE9&#233;&quot;</k>", R"(S(k)[T"\xE9\xE9\"" E(k)])"},
    {"<a><![CDATA[a<b&amp;]]></a>", R"(S(a)[T"a<b&amp;" E(a)])"},
    {"<a x='1&amp;2' Y=\"&#65;\" z=&lt;>t</a>", R"(S(a x="1&2" y="A" z="<")[T"t" E(a)])"},
    {R"(<?xml version="1.0"?><!-- c --><k>v</k>)", R"(P C S(k)[T"v" E(k)])"},
    {"<k>a<!-- c -->b</k>", R"(S(k)[T"a" C T"b" E(k)])"},
    {"<a>x</a><a>y</a>", R"(S(a)[T"x" E(a)] S(a)[T"y" E(a)])"},
    {"</a>", "E(a)*"},
    {"</a><b/>", "E(a)* Y(b)"},
    // a parent closed by its end tag no longer hides the end tag of the grandparent
    {"<w><k>v</k></w>", R"(S(w)[S(k)[T"v" E(k)] E(w)])"},
    {"<x><w><k>v</k></w></x>", R"(S(x)[S(w)[S(k)[T"v" E(k)] E(w)] E(x)])"},
    {"<w><k>v</k><k/></w>", R"(S(w)[S(k)[T"v" E(k)] Y(k) E(w)])"},
    {"<w><k>v</k>\n</w>", R"(S(w)[S(k)[T"v" E(k)] T"\n" E(w)])"},
    {"<w><k>v</k></x>", R"(S(w)*[S(k)[T"v" E(k)]] !misplaced end tag@1:15)"},
    {"<a><b>x</b></a></a>", R"(S(a)[S(b)[T"x" E(b)] E(a)] !misplaced end tag@1:19)"},
    {"<a><b></a>", "S(a)[S(b)*[E(a)]] !unclosed tag@1:10"},
    {"<w>\r\n<k>v</k>\r\n</w>", R"(S(w)[T"\n" S(k)[T"v" E(k)] T"\n" E(w)])"},
    {"<a>\r\n\r\nx</b>", R"(S(a)*[T"\n\nx"] !misplaced end tag@3:5)"},
    {"<a>\r\rx</b>", R"(S(a)*[T"\n\nx"] !misplaced end tag@3:5)"},
    {"<a>\n\rx</b>", R"(S(a)*[T"\n\nx"] !misplaced end tag@3:5)"},
    {"<a>\r\n\r", R"(S(a)*[T"\n\n"] !unclosed tag@3:0)"},
};

TEST(TaggedReaderTest, ReadsTreeOrReportsError) {
    for (const Row& row : rows) {
        SCOPED_TRACE(quote_bytes(row.input));
        EXPECT_EQ(read_dump(piece_list::whole(row.input), row.lower_case), row.expected);
    }
}

TEST(TaggedReaderTest, SameTreeWhereverTheInputIsSplit) {
    for (const Row& row : rows) {
        SCOPED_TRACE(quote_bytes(row.input));
        for (size_t at = 0; at <= row.input.size(); ++at) {
            SCOPED_TRACE(at);
            EXPECT_EQ(read_dump(piece_list::split_at(row.input, at), row.lower_case), row.expected);
        }
        EXPECT_EQ(read_dump(piece_list::bytes(row.input), row.lower_case), row.expected);
    }
}

TEST(TaggedReaderTest, RawKeepsWhatTextDecodes) {
    node_tree tree;
    tagged_reader reader(tree, true);
    const scan_status status = feed_pieces(reader, piece_list::whole("<K a='&lt;'>a&lt;b</K>"));
    ASSERT_EQ(status, scan_status::finished);
    const xml_node* key = as_xml(tree.first());
    EXPECT_EQ(key->raw.view(), "<K a='&lt;'>");
    const xml_node* text = as_xml(key->first_child());
    EXPECT_EQ(text->raw.view(), "a&lt;b");
    EXPECT_EQ(tagged_text(*text).view(), "a<b");
    EXPECT_EQ(as_xml(text->next())->raw.view(), "</K>");
}

// Every prefix of a document ends either finished or unclosed, with the position at its end.
TEST(TaggedReaderTest, TruncatedDocumentReportsItsEnd) {
    const std::string_view document = "<w>\r\n <k a=\"1\">v&amp;</k>\r<k/></w>\n";
    for (size_t n = 0; n <= document.size(); ++n) {
        const std::string_view prefix = document.substr(0, n);
        SCOPED_TRACE(quote_bytes(prefix));
        int64_t line = 1;
        int64_t column = 0;
        for (size_t i = 0; i < n; ++i) {
            if (prefix[i] == '\r' && i + 1 < n && prefix[i + 1] == '\n') continue;
            if (prefix[i] == '\r' || prefix[i] == '\n') {
                ++line;
                column = 0;
            } else {
                ++column;
            }
        }
        node_tree tree;
        tagged_reader reader(tree, true);
        const result read = reader.read_result(feed_pieces(reader, piece_list::whole(prefix)));
        const bool complete = n < 3 || n >= document.size() - 1;
        EXPECT_EQ(read.is_ok(), complete);
        EXPECT_EQ(read.message().view().ends_with("unclosed tag.\r\n"), !complete);
        EXPECT_EQ(reader.line(), line);
        EXPECT_EQ(reader.column(), column);
    }
}

TEST(TaggedReaderTest, SizeLimitCoversTheWholeInput) {
    node_tree tree;
    tagged_reader reader(tree, true);
    reader.set_size_limit(12);
    reader.push_chunk("<k>v</k>\n");
    EXPECT_EQ(reader.scan_step(), scan_status::needs_input);
    reader.push_chunk("<k>");
    EXPECT_EQ(reader.scan_step(), scan_status::size_exceeded);
    EXPECT_EQ(reader.read_result(scan_status::size_exceeded).message().view(),
              "Line: 2, column: 0\r\nError: size exceeded.\r\n");
}

TEST(TaggedReaderTest, ErrorReportNamesTheReason) {
    struct ReportRow {
        scan_status last;
        std::string_view expected;
    } report_rows[] = {
        {scan_status::size_exceeded, "Line: 1, column: 8\r\nError: size exceeded.\r\n"},
        {scan_status::stopped, "Line: 1, column: 8\r\nError: misplaced end tag.\r\n"},
        {scan_status::needs_input, "Line: 1, column: 8\r\nError: "},
        {scan_status::finished, ""},
    };
    node_tree tree;
    tagged_reader reader(tree, true);
    ASSERT_EQ(feed_pieces(reader, piece_list::whole("<a>x</b>")), scan_status::stopped);
    for (const ReportRow& row : report_rows) {
        SCOPED_TRACE(static_cast<int>(row.last));
        const result read = reader.read_result(row.last);
        EXPECT_EQ(read.is_ok(), row.expected.empty());
        EXPECT_EQ(read.message().view(), row.expected);
    }
}

}  // namespace
