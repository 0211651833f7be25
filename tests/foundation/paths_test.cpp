#include "paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// "[a][][b]": one bracketed element per part.
std::string dump(const std::vector<byte_string>& parts) {
    std::string out;
    for (const byte_string& part : parts)
        out.append("[").append(part.view()).append("]");
    return out;
}

TEST(PathsTest, ToLowerTouchesAsciiLettersOnly) {
    byte_string text(std::string_view("AbZ\0Q@[\xC4\xE4", 9));
    to_lower(text);
    EXPECT_EQ(text.view(), std::string_view("abz\0q@[\xC4\xE4", 9));
}

TEST(PathsTest, SplitText) {
    struct Row {
        const char* delimiter;
        const char* text;
        int32_t max_parts;
        const char* parts;
    } rows[] = {
        {"/", "a//b", 0, "[a][][b]"},
        {"/", "/x", 0, "[][x]"},
        {"/", "x/", 0, "[x][]"},
        {"/", "/", 0, "[][]"},
        {"/", "abc", 0, "[abc]"},
        {"/", "", 0, ""},
        {"ab", "a", 0, ""},
        {"", "abc", 0, ""},
        {"/", "a/b/c", 2, "[a][b/c]"},
        {"/", "a/b/c", 3, "[a][b][c]"},
        {"/", "a/b/c", 9, "[a][b][c]"},
        {"/", "a/b", 1, ""},
        {"/", "a/b", -1, ""},
        {"ab", "xabyab", 0, "[x][y][]"},
        {"aa", "aaa", 0, "[][a]"},
        {"aa", "aaaa", 0, "[][][]"},
        {"<br>", "a<BR>b<br>", 0, "[a<BR>b][]"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.delimiter) + " in " + row.text);
        std::vector<byte_string> parts{byte_string("stale")};
        split_text(row.delimiter, row.text, parts, row.max_parts);
        EXPECT_EQ(dump(parts), row.parts);
    }
}

TEST(PathsTest, SplitCommandLine) {
    struct Row {
        const char* text;
        const char* tokens;
    } rows[] = {
        {"a b", "[a][b]"},
        {"\"\"", "[]"},
        {"  a  ", "[a]"},
        {"x\"y z\"", "[xy][z]"},
        {"-command \"/home/me/My Files/a.toc\"", "[-command][/home/me/My Files/a.toc]"},
        {"a\tb", "[a\tb]"},
        {"a \"b  c\" d", "[a][b  c][d]"},
        {"\"a b\"c", "[a b][c]"},
        {"\"open to the end", "[open to the end]"},
        {"\"", ""},
        {"a\"\"", "[a]"},
        {"", ""},
        {"   ", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        std::vector<byte_string> tokens{byte_string("stale")};
        split_command_line(row.text, tokens);
        EXPECT_EQ(dump(tokens), row.tokens);
    }
}

TEST(PathsTest, RelativePath) {
    struct Row {
        const char* from;
        const char* to;
        bool ignore_case;
        const char* relative;
    } rows[] = {
        {"/site/docs/toc.htm", "/site/Images/a/p.htm", true, "../Images/a/p.htm"},
        {"/site/toc.htm", "/site/p.htm", true, "p.htm"},
        {"/a/b/c/toc.htm", "/a/x.htm", false, "../../x.htm"},
        {"/a/toc.htm", "/a/b/c/x.htm", false, "b/c/x.htm"},
        {"/a/toc.htm", "/z/x.htm", false, "../z/x.htm"},
        {"/a/x.htm", "/A/y.htm", true, "y.htm"},
        {"/a/x.htm", "/A/y.htm", false, "../A/y.htm"},
        {"/s/t.htm", "/s/t.htm", false, ""},
        {"/s/T.htm", "/s/t.htm", true, ""},
        {"/s/T.htm", "/s/t.htm", false, "t.htm"},
        {"/s/\xC4.htm", "/s/\xE4.htm", true, "\xE4.htm"},
        // the target is the source's own directory, or one above it
        {"/a/b/x.htm", "/a/b", false, "."},
        {"/a/b/c/x.htm", "/a/b", false, "../"},
        // the source's file name shares its name with a directory of the target
        {"/a/x", "/a/x/y", false, "x/y"},
        // a backslash is part of a name
        {"/a/b\\c.htm", "/a/d.htm", false, "d.htm"},
        {"/a/x.htm", "/a/b\\c.htm", false, "b\\c.htm"},
        {"x.htm", "y.htm", false, "y.htm"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.from) + " -> " + row.to);
        byte_string out("stale");
        relative_path(row.from, row.to, out, row.ignore_case);
        EXPECT_EQ(out.view(), row.relative);
    }
}

TEST(PathsTest, NormalizePath) {
    struct Row {
        const char* path;
        const char* normal;
    } rows[] = {
        {"/a/b/../c", "/a/c"},
        {"/a/./b//c/", "/a/b/c"},
        {"/../a", "/a"},
        {"/a/b/../../..", "/"},
        {"/", "/"},
        {"//", "/"},
        {"/a/..", "/"},
        {"/a/...", "/a/..."},
        {"/a\\..\\b", "/a\\..\\b"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        byte_string out;
        ASSERT_TRUE(normalize_path(row.path, out));
        EXPECT_EQ(out.view(), row.normal);
    }

    char* cwd = ::getcwd(nullptr, 0);
    const std::string here = cwd;
    std::free(cwd);
    byte_string out;
    ASSERT_TRUE(normalize_path("x/./../y.htm", out));
    EXPECT_EQ(out.view(), (here == "/" ? "" : here) + "/y.htm");

    EXPECT_EQ(current_directory().view(), here);
    // against a directory given once: the same folding, the current one left aside
    ASSERT_TRUE(normalize_path("x/./../y.htm", "/base/dir", out));
    EXPECT_EQ(out.view(), "/base/dir/y.htm");
    ASSERT_TRUE(normalize_path("../../../y.htm", "/base/dir", out));
    EXPECT_EQ(out.view(), "/y.htm");
    ASSERT_TRUE(normalize_path("/abs//z.htm", "", out));
    EXPECT_EQ(out.view(), "/abs/z.htm");

    out.assign("kept");
    EXPECT_FALSE(normalize_path("", out));
    EXPECT_FALSE(normalize_path(std::string_view("/a\0b", 4), out));
    EXPECT_FALSE(normalize_path("rel.htm", "", out));
    EXPECT_FALSE(normalize_path("", "/base", out));
    EXPECT_EQ(out.view(), "kept");
}

}  // namespace
