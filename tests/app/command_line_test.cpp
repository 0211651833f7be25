#include "command_line.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "output_file.h"
#include "site_fixture.h"

namespace {

const std::string parameter_error =
    "Tocvane 2.0\r\nParameter error.\r\nCommand line syntax is:\r\nqtvn1.exe -command "
    "project_filename";

struct outcome {
    int code = -1;
    std::string out;
    std::string err;
};

outcome run(const std::vector<std::string>& arguments, bool show_progress = false) {
    const std::vector<std::string_view> views(arguments.begin(), arguments.end());
    outcome result;
    result.code = runCommandLine(
        views, result.out, [&result](std::string_view text) { result.err += text; }, show_progress);
    return result;
}

TEST(CommandLineTest, RoleByFileName) {
    const struct {
        const char* path;
        bool is_tool;
    } rows[] = {
        {"/usr/bin/qtvn2", true},      {"/opt/Some Dir/QTVN2", true},
        {"/x/Qtvn2.EXE", true},        {"qtvn2", true},
        {"/x/qtvn2.exe.exe", false},   {"/x/qtvn2-copy", false},
        {"/x/setup.exe", false},       {"/x/qtvn", false},
        {"/x/qtvn2/", false},          {"", false},
        {"/x/qtvn2.exe/other", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(isTocTool(row.path), row.is_tool);
    }
}

class ProgramDirectoryTest : public SiteTest {};

TEST_F(ProgramDirectoryTest, BuildTreeThenInstalledTree) {
    put_file("build/bin/qvdata/templates.txt", "");
    EXPECT_EQ(programDirectoryOf(path("build/bin/qtvn2")), path("build/bin/"));
    // a file named qvdata is no data directory
    put_file("usr/bin/qvdata", "");
    EXPECT_EQ(programDirectoryOf(path("usr/bin/qtvn2")), path("usr/share/qtvn2/"));
    EXPECT_EQ(programDirectoryOf("/qtvn2"), "/share/qtvn2/");
}

class CommandLineRunTest : public SiteTest {};

TEST_F(CommandLineRunTest, OptionsAndParameterErrors) {
    put_file("folder.toc/x", "");
    const std::string usage_start = "Usage: qtvn2 -command PROJECT.toc";
    const struct {
        std::vector<std::string> arguments;
        std::string out;  // "usage" stands for the usage text
        int code;
        bool usage_on_err;
    } rows[] = {
        {{}, "", 2, true},
        {{"page.htm"}, "", 2, true},
        {{"--help"}, "usage", 0, false},
        {{"-H"}, "usage", 0, false},
        {{"--VERSION"}, "Tocvane 2.0\n", 0, false},
        {{"-command"}, parameter_error, 2, false},
        {{"-Clear"}, parameter_error, 2, false},
        {{"-command", ""}, parameter_error, 2, false},
        {{"-command", path("missing.toc")}, parameter_error, 2, false},
        {{"-command", path("folder.toc")}, parameter_error, 2, false},
        {{"-clear", path("folder.toc/")}, parameter_error, 2, false},
        {{"-CHECK"}, parameter_error, 2, false},
        {{"-check", path("missing.toc")}, parameter_error, 2, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.arguments));
        const outcome result = run(row.arguments);
        EXPECT_EQ(result.code, row.code);
        if (row.out == "usage") {
            EXPECT_TRUE(result.out.starts_with(usage_start)) << result.out;
        } else {
            EXPECT_EQ(result.out, row.out);
        }
        EXPECT_EQ(result.err.starts_with(usage_start), row.usage_on_err) << result.err;
        if (!row.usage_on_err) {
            EXPECT_EQ(result.err, "");
        }
    }
}

TEST_F(CommandLineRunTest, ProgressOnlyForTerminalAndErasedAtEnd) {
    put_template("t.htm");
    put_file("page.htm", page("P", "<h1>One</h1>\r\n<h2>Two</h2>\r\n"));
    put_project("p.toc", {{"source", path("page.htm")}, {"template_file", path("t.htm")}});

    const outcome quiet = run({"-command", path("p.toc")});
    EXPECT_EQ(quiet.out, "Tocvane 2.0\r\nBuild is complete.\r\n");
    EXPECT_EQ(quiet.err, "");

    const struct {
        const char* keyword;
        const char* verb;
    } rows[] = {{"-command", "Building"}, {"-check", "Checking"}, {"-clear", "Clearing"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.keyword);
        const outcome shown = run({row.keyword, path("p.toc")}, true);
        EXPECT_EQ(shown.code, 0);
        const std::string last = std::string(row.verb) + " 100%";
        EXPECT_TRUE(shown.err.starts_with("\r")) << shown.err;
        EXPECT_NE(shown.err.find("\r" + last), std::string::npos) << shown.err;
        const std::string erased = std::string("\r").append(last.size(), ' ').append("\r");
        EXPECT_TRUE(shown.err.ends_with(erased)) << shown.err;
    }
}

TEST_F(CommandLineRunTest, WriteFailureMidBuildKeepsOldBytes) {
    put_template("t.htm");
    std::string body;
    for (int i = 0; i < 200; ++i)
        body += "<h2>Section " + std::to_string(i) + "</h2>\r\n";
    const std::string original = page("P", body);
    put_file("page.htm", original);
    put_project("p.toc", {{"source", path("page.htm")}, {"template_file", path("t.htm")}});

    set_output_fault_for_testing(original.size() / 2);
    const outcome failed = run({"-command", path("p.toc")});
    set_output_fault_for_testing(-1);

    EXPECT_EQ(failed.code, 1);
    EXPECT_EQ(failed.out,
              "Tocvane 2.0\r\nError occurred: Can't write to file: " + path("page.htm"));
    EXPECT_EQ(bytes_of("page.htm"), original);
    EXPECT_EQ(names_in(), (std::vector<std::string>{"p.toc", "page.htm", "t.htm"}));
}

// Every file below the scratch folder with its bytes and modification time.
std::vector<std::string> snapshot(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        struct stat info {};
        ::stat(entry.path().c_str(), &info);
        std::ifstream in(entry.path(), std::ios::binary);
        files.push_back(entry.path().string() + " " + std::to_string(info.st_mtim.tv_sec) + "." +
                        std::to_string(info.st_mtim.tv_nsec) + " " +
                        std::string(std::istreambuf_iterator<char>(in), {}));
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST_F(CommandLineRunTest, CheckTellsWhatABuildWouldChangeAndWritesNothing) {
    const std::string a = page("A", "<h1>Alpha</h1>\r\n<h2>Beta</h2>\r\n");
    const std::string b = page("B", "<h1>Gamma</h1>\r\n");
    const std::vector<std::pair<std::string, std::string>> fields = {
        {"is_single", "0"},       {"destination", "index.htm"}, {"source", "a.htm"},
        {"source", "sub/b.htm"},  {"template_file", "t.htm"},   {"process_title", "1"},
        {"insert_local_toc", "1"}};
    // after the build: in `file`, the last `find` becomes `replace`; an empty `find` puts
    // `replace` as the whole file, an empty `replace` too removes it
    struct edit {
        std::string file, find, replace;
    };
    const struct {
        const char* change;
        std::vector<edit> edits;
        std::vector<std::pair<std::string, std::string>> more_fields;
        std::vector<std::string> stale;  // out of date, in the project's order
    } rows[] = {
        {"none", {}, {}, {}},
        {"pages as before the build",
         {{"a.htm", "", a}, {"sub/b.htm", "", b}},
         {},
         {"a.htm", "sub/b.htm"}},
        {"heading edited",
         {{"sub/b.htm", "Gamma", "Gamma, renamed"}},
         {},
         {"sub/b.htm", "index.htm"}},
        {"heading added",
         {{"a.htm", "</body>", "<h2>Delta</h2></body>"}},
         {},
         {"a.htm", "index.htm"}},
        {"heading removed",
         {{"a.htm", "<h2>", "<p>"}, {"a.htm", "</h2>", "</p>"}},
         {},
         {"a.htm", "index.htm"}},
        {"destination gone", {{"index.htm", "", ""}}, {}, {"index.htm"}},
        {"option changed", {}, {{"range_to", "1"}}, {"a.htm", "index.htm"}},
        {"template changed",
         {{"t.htm", "", "<!--#echo var=\"indent\"-->"}},
         {},
         {"a.htm", "sub/b.htm", "index.htm"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.change);
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        put_template("t.htm");
        put_file("a.htm", a);
        put_file("sub/b.htm", b);
        put_project("p.toc", fields);
        ASSERT_EQ(run({"-command", path("p.toc")}).code, 0);
        for (const edit& e : row.edits) {
            std::string text = bytes_of(e.file);
            if (!e.find.empty()) {
                text.replace(text.rfind(e.find), e.find.size(), e.replace);
            } else if (e.replace.empty()) {
                std::filesystem::remove(path(e.file));
                continue;
            } else {
                text = e.replace;
            }
            put_file(e.file, text);
        }
        std::vector<std::pair<std::string, std::string>> project = fields;
        project.insert(project.end(), row.more_fields.begin(), row.more_fields.end());
        put_project("p.toc", project);

        const std::vector<std::string> before = snapshot(dir_);
        const outcome checked = run({"-check", path("p.toc")});
        std::string expected = "Tocvane 2.0\r\n";
        for (const std::string& file : row.stale)
            expected += "Out of date: " + path(file) + "\r\n";
        expected += row.stale.empty() ? "TOC is up to date.\r\n" : "TOC is out of date.\r\n";
        EXPECT_EQ(checked.out, expected);
        EXPECT_EQ(checked.code, row.stale.empty() ? 0 : 1);
        EXPECT_EQ(snapshot(dir_), before);
    }

    std::filesystem::remove(path("sub/b.htm"));
    const outcome failed = run({"-check", path("p.toc")});
    EXPECT_EQ(failed.out,
              "Tocvane 2.0\r\nError occurred: File doesn't exist: " + path("sub/b.htm"));
    EXPECT_EQ(failed.code, 1);
}

}  // namespace
