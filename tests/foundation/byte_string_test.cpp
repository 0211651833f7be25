#include "byte_string.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ByteStringTest, SetLengthIgnoresNegativeAndSameLength) {
    byte_string empty;
    empty.set_length(0);
    EXPECT_EQ(empty.data(), nullptr);
    byte_string text("abc");
    text.set_length(-1);
    EXPECT_EQ(text.view(), "abc");
}

// A view's bytes belong to someone else: a change works on a copy of its own.
TEST(ByteStringTest, ChangingAViewLeavesTheViewedBytes) {
    struct Row {
        const char* change;
        void (*apply)(byte_string&);
        std::string_view expected;
    };
    const Row rows[] = {
        {"push", [](byte_string& t) { t.push('!'); }, "bcd!"},
        {"append", [](byte_string& t) { t.append("xy"); }, "bcdxy"},
        {"index", [](byte_string& t) { t[0] = 'B'; }, "Bcd"},
        {"c_str", [](byte_string& t) { EXPECT_STREQ(t.c_str(), "bcd"); }, "bcd"},
        {"reserve", [](byte_string& t) { t.reserve(40); }, "bcd"},
        {"shorten", [](byte_string& t) { t.set_length(2); }, "bc"},
        {"widen", [](byte_string& t) { t.widen_view(1); }, "bcde"},
        {"escape", [](byte_string& t) { t.html_escape(); }, "bcd"},
        {"copy", [](byte_string& t) { byte_string(t).push('!'); }, "bcd"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.change);
        const std::string source = "abcde";
        byte_string text;
        text.view_of(std::string_view(source).substr(1, 3));
        row.apply(text);
        EXPECT_EQ(text.view(), row.expected);
        EXPECT_EQ(source, "abcde");
    }
}

TEST(ByteStringTest, CStrLeavesLengthAndKeepsNulInside) {
    byte_string text("ab", 2);
    text.push('\0');
    text.push('c');
    EXPECT_EQ(text.length(), 4);
    EXPECT_EQ(text.c_str()[4], '\0');
    EXPECT_EQ(text.length(), 4);
    EXPECT_EQ(text.view(), std::string_view("ab\0c", 4));
}

TEST(ByteStringTest, AppendOwnBytesSurvivesGrowth) {
    byte_string text("abcdef");
    for (int i = 0; i < 5; ++i)
        text.append(text.data() + 1, 2);
    EXPECT_EQ(text.view(), "abcdefbcbcbcbcbc");
    text.append(text);
    EXPECT_EQ(text.length(), 32);
}

// Small buffers live in size classes and large ones on the general heap; growing through all of
// them one byte at a time and by appends must keep every byte.
TEST(ByteStringTest, GrowthKeepsBytesAcrossStorageClasses) {
    byte_string pushed;
    byte_string appended;
    std::string expected;
    for (int i = 0; i < 3000; ++i) {
        const char byte = static_cast<char>('a' + i % 26);
        pushed.push(byte);
        appended.append(&byte, 1);
        expected += byte;
        if (i % 97 == 0) {
            ASSERT_STREQ(pushed.c_str(), expected.c_str());
        }
    }
    EXPECT_EQ(pushed.view(), expected);
    EXPECT_EQ(appended.view(), expected);
    byte_string moved;
    moved.move_from(pushed);
    EXPECT_EQ(moved.view(), expected);
    moved.assign("short");
    EXPECT_EQ(moved.view(), "short");
    moved.set_length(2000);
    EXPECT_EQ(moved.view().substr(0, 5), "short");

    // a buffer of whole huge pages, grown in place or moved, keeps its bytes too
    byte_string large;
    large.set_length(5 << 20);
    large[0] = 'a';
    large[(5 << 20) - 1] = 'z';
    large.set_length(9 << 20);
    EXPECT_EQ(large[0], 'a');
    EXPECT_EQ(large[(5 << 20) - 1], 'z');
}

TEST(ByteStringTest, Find) {
    byte_string text("abcabc");
    EXPECT_EQ(text.find("bc", 2), 4);
    EXPECT_EQ(text.find("bc", 6), -1);
    EXPECT_EQ(text.find("bc", -1), -1);
    EXPECT_EQ(text.find("", 0), -1);
    EXPECT_EQ(text.find("abcabcx", 0), -1);
    EXPECT_EQ(text.find_char('c', 3), 5);
    EXPECT_EQ(text.find_char('x', 0), -1);
    EXPECT_EQ(text.find_char('a', 6), -1);
}

TEST(ByteStringTest, ReplaceChar) {
    struct Row {
        const char* text;
        char a;
        const char* t;
        const char* expected;
    } rows[] = {
        {"a-b-c", '-', "", "abc"}, {"aa", 'a', "bab", "babbab"}, {"a.b", '.', "::", "a::b"},
        {"xyz", 'q', "r", "xyz"},  {"", 'a', "b", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        byte_string text(row.text);
        text.replace_char(row.a, row.t);
        EXPECT_EQ(text.view(), row.expected);
    }
}

TEST(ByteStringTest, TextTransforms) {
    struct Row {
        void (byte_string::*transform)();
        std::string_view input;
        std::string_view expected;
    } rows[] = {
        {&byte_string::html_escape, "a <b> & \"c\" 'd'", "a &lt;b&gt; &amp; &quot;c&quot; 'd'"},
        {&byte_string::html_escape, "\x80\xe9\x09", "&#128;&#233;\x09"},
        {&byte_string::html_escape, "plain", "plain"},
        {&byte_string::to_crlf, "a\rb\r\nc\n", "ab\r\nc\r\n"},
        {&byte_string::to_crlf, "", ""},
        {&byte_string::url_encode_path, "sub dir/a b.htm", "sub%20dir/a%20b.htm"},
        {&byte_string::url_encode_path, "../x_y-1.htm", "../x_y-1.htm"},
        {&byte_string::url_encode_path, "caf\xe9?#&", "caf%E9%3F%23%26"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.input));
        byte_string text(row.input);
        (text.*row.transform)();
        EXPECT_EQ(text.view(), row.expected);
    }
}

TEST(ByteStringTest, HexValue) {
    EXPECT_EQ(byte_string("1f").hex_value(), 31);
    EXPECT_EQ(byte_string("1F").hex_value(), 31);
    EXPECT_EQ(byte_string("1g").hex_value(), 0);
    EXPECT_EQ(byte_string("").hex_value(), 0);
    EXPECT_EQ(byte_string("ffffffff").hex_value(), -1);
}

}  // namespace
