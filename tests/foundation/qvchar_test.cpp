#include "foundation/qvchar.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int sign(int v) {
    return (v > 0) - (v < 0);
}

TEST(QvcharTest, SetLengthIgnoresNegativeAndSameLength) {
    qvchar empty;
    empty.set_length(0);
    EXPECT_EQ(empty.data(), nullptr);
    qvchar text("abc");
    text.set_length(-1);
    EXPECT_EQ(text.view(), "abc");
}

TEST(QvcharTest, CStrLeavesLengthAndKeepsNulInside) {
    qvchar text("ab", 2);
    text.push('\0');
    text.push('c');
    EXPECT_EQ(text.length(), 4);
    EXPECT_EQ(text.c_str()[4], '\0');
    EXPECT_EQ(text.length(), 4);
    EXPECT_EQ(text.view(), std::string_view("ab\0c", 4));
}

TEST(QvcharTest, AppendOwnBytesSurvivesGrowth) {
    qvchar text("abcdef");
    for (int i = 0; i < 5; ++i)
        text.append(text.data() + 1, 2);
    EXPECT_EQ(text.view(), "abcdefbcbcbcbcbc");
    text.append(text);
    EXPECT_EQ(text.length(), 32);
}

// Small buffers live in size classes and large ones on the general heap; growing through all of
// them one byte at a time and by appends must keep every byte.
TEST(QvcharTest, GrowthKeepsBytesAcrossStorageClasses) {
    qvchar pushed;
    qvchar appended;
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
    qvchar moved;
    moved.move_from(pushed);
    EXPECT_EQ(moved.view(), expected);
    moved.assign("short");
    EXPECT_EQ(moved.view(), "short");
    moved.set_length(2000);
    EXPECT_EQ(moved.view().substr(0, 5), "short");
}

TEST(QvcharTest, Compare) {
    struct Row {
        const char* a;
        const char* b;
        int sign;
    } rows[] = {
        {"", "a", -1},     {"ab", "abc", -1}, {"b", "ab", 1},   {"a", "A", 1},
        {"abc", "abc", 0}, {"", "", 0},       {"\xe9", "z", 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.a) + " vs " + row.b);
        EXPECT_EQ(sign(qvchar::compare(qvchar(row.a), qvchar(row.b))), row.sign);
    }
}

TEST(QvcharTest, Find) {
    qvchar text("abcabc");
    EXPECT_EQ(text.find("bc", 2), 4);
    EXPECT_EQ(text.find("bc", 6), -1);
    EXPECT_EQ(text.find("bc", -1), -1);
    EXPECT_EQ(text.find("", 0), -1);
    EXPECT_EQ(text.find("abcabcx", 0), -1);
    EXPECT_EQ(text.find_last("bc"), 4);
    EXPECT_EQ(text.find_last(""), -1);
    EXPECT_EQ(text.find_char('c', 3), 5);
    EXPECT_EQ(text.find_char('x', 0), -1);
    EXPECT_EQ(text.find_char('a', 6), -1);
}

TEST(QvcharTest, Replace) {
    struct Row {
        const char* text;
        const char* s;
        const char* t;
        const char* expected;
    } rows[] = {
        {"aaaa", "aa", "b", "bb"}, {"aaa", "aa", "b", "ba"},           {"a-b-c", "-", "", "abc"},
        {"abc", "", "x", "abc"},   {"abab", "ab", "abab", "abababab"}, {"xyz", "q", "r", "xyz"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        qvchar text(row.text);
        text.replace_text(row.s, row.t);
        EXPECT_EQ(text.view(), row.expected);
    }
    qvchar text("a.b.c");
    text.replace_char('.', '/');
    EXPECT_EQ(text.view(), "a/b/c");
    text.replace_char('/', "::");
    EXPECT_EQ(text.view(), "a::b::c");
}

TEST(QvcharTest, TextTransforms) {
    struct Row {
        void (qvchar::*transform)();
        std::string_view input;
        std::string_view expected;
    } rows[] = {
        {&qvchar::html_escape, "a <b> & \"c\" 'd'", "a &lt;b&gt; &amp; &quot;c&quot; 'd'"},
        {&qvchar::html_escape, "\x80\xe9\x09", "&#128;&#233;\x09"},
        {&qvchar::html_escape, "plain", "plain"},
        {&qvchar::to_crlf, "a\rb\r\nc\n", "ab\r\nc\r\n"},
        {&qvchar::to_crlf, "", ""},
        {&qvchar::url_encode_path, "sub dir/a b.htm", "sub%20dir/a%20b.htm"},
        {&qvchar::url_encode_path, "../x_y-1.htm", "../x_y-1.htm"},
        {&qvchar::url_encode_path, "caf\xe9?#&", "caf%E9%3F%23%26"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.input));
        qvchar text(row.input);
        (text.*row.transform)();
        EXPECT_EQ(text.view(), row.expected);
    }
}

TEST(QvcharTest, HexValue) {
    EXPECT_EQ(qvchar("1f").hex_value(), 31);
    EXPECT_EQ(qvchar("1F").hex_value(), 31);
    EXPECT_EQ(qvchar("1g").hex_value(), 0);
    EXPECT_EQ(qvchar("").hex_value(), 0);
    EXPECT_EQ(qvchar("ffffffff").hex_value(), -1);
}

}  // namespace
