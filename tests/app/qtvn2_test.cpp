// Runs the built qtvn2 executable as a user would, in scratch folders.

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "site_fixture.h"

namespace {

const std::string build_complete = "Tocvane 2.0\r\nBuild is complete.\r\n";
const std::string clearance_done = "Tocvane 2.0\r\nClearance is done.\r\n";
const std::string error_occurred = "Tocvane 2.0\r\nError occurred: ";
const std::string parameter_error =
    "Tocvane 2.0\r\nParameter error.\r\nCommand line syntax is:\r\nqtvn1.exe -command "
    "project_filename";

struct process_result {
    int code = -1;  // the exit code, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs `program` with `arguments` in the directory `cwd`, its standard output and standard
// error caught through pipes (so neither is a terminal). `on_error` sees the standard error caught
// so far whenever more arrives.
process_result run_program(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& cwd,
                           const std::function<void(const std::string&)>& on_error = {}) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    process_result result;
    int out_pipe[2];
    int err_pipe[2];
    if (::pipe2(out_pipe, O_CLOEXEC) != 0) return result;
    if (::pipe2(err_pipe, O_CLOEXEC) != 0) return result;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out_pipe[1], STDOUT_FILENO);
        ::dup2(err_pipe[1], STDERR_FILENO);
        if (::chdir(cwd.c_str()) != 0) ::_exit(126);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open_count = 2;
    while (open_count > 0 && ::poll(fds, 2, 60000) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char chunk[4096];
            const ssize_t n = ::read(fds[i].fd, chunk, sizeof chunk);
            if (n > 0) {
                sinks[i]->append(chunk, static_cast<size_t>(n));
                if (i == 1 && on_error) on_error(result.err);
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open_count;
            }
        }
    }
    for (const pollfd& fd : fds) {
        if (fd.fd >= 0) ::close(fd.fd);
    }
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        result.code = WEXITSTATUS(status);
    }
    return result;
}

class Qtvn2Test : public SiteTest {
  protected:
    void SetUp() override {
        SiteTest::SetUp();
        // without a display qtvn2 answers every argument on the command line, the window too
        for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            ::unsetenv(variable);
    }

    process_result qtvn2(const std::vector<std::string>& arguments) const {
        return run_program(QTVN2_PATH, arguments, dir_);
    }

    // Runs qtvn2 and expects the given report and exit code, with nothing on standard error.
    void expect_run(const std::vector<std::string>& arguments, const std::string& report,
                    int code) const {
        SCOPED_TRACE(testing::PrintToString(arguments));
        const process_result result = qtvn2(arguments);
        EXPECT_EQ(result.out, report);
        EXPECT_EQ(result.code, code);
        EXPECT_EQ(result.err, "");
    }

    static bool holds(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    }
};

TEST_F(Qtvn2Test, ReportsAndExitCodes) {
    put_template("t.htm");
    put_file("page.htm", page("P", "<h1>One</h1>\r\n"));
    put_file("folder/x.htm", "");
    put_project("p.toc", {{"source", "page.htm"}, {"template_file", "t.htm"}});
    put_project("no source.toc", {{"source", "nothing.htm"}, {"template_file", "t.htm"}});
    put_project("multi.toc", {{"is_single", "0"}, {"source", "page.htm"}});
    put_project("gone.toc", {{"is_single", "0"},
                             {"destination", "index.htm"},
                             {"source", "page.htm"},
                             {"source", "gone.htm"}});
    put_file("broken.toc", "<is_single>1</source>\r\n");

    const struct {
        std::vector<std::string> arguments;
        std::string report;
        int code;
    } rows[] = {
        {{"-command", "p.toc"}, build_complete, 0},
        {{"-COMMAND", "p.toc", "ignored", "tokens"}, build_complete, 0},
        {{"-Check", "p.toc"}, "Tocvane 2.0\r\nTOC is up to date.\r\n", 0},
        {{"-check", "folder"}, parameter_error, 2},
        {{"-clear", "p.toc"}, clearance_done, 0},
        {{"-CLEAR", "p.toc"}, clearance_done, 0},
        {{"-command", "P.TOC"}, parameter_error, 2},
        {{"-command"}, parameter_error, 2},
        {{"-command", "missing.toc"}, parameter_error, 2},
        {{"-command", "folder"}, parameter_error, 2},
        {{"-clear", "folder"}, parameter_error, 2},
        {{"-command", "multi.toc"}, error_occurred + "Destination file must be specified", 1},
        {{"-command", "gone.toc"}, error_occurred + "File doesn't exist: gone.htm", 1},
        {{"-clear", "gone.toc"}, error_occurred + "File doesn't exist: gone.htm", 1},
        {{"--version"}, "Tocvane 2.0\n", 0},
    };
    for (const auto& row : rows)
        expect_run(row.arguments, row.report, row.code);

    // The engine's wording of these is its own; the report frames it.
    for (const char* project : {"no source.toc", "broken.toc"}) {
        SCOPED_TRACE(project);
        const process_result result = qtvn2({"-command", project});
        EXPECT_TRUE(result.out.starts_with(error_occurred)) << result.out;
        EXPECT_GT(result.out.size(), error_occurred.size());
        EXPECT_EQ(result.code, 1);
        EXPECT_EQ(result.err, "");
    }
    const process_result missing_source = qtvn2({"-command", "no source.toc"});
    EXPECT_TRUE(holds(missing_source.out, "nothing.htm")) << missing_source.out;

    const process_result help = qtvn2({"--help"});
    EXPECT_TRUE(help.out.starts_with("Usage: qtvn2")) << help.out;
    EXPECT_EQ(help.code, 0);
    const process_result bare = qtvn2({});
    EXPECT_EQ(bare.out, "");
    EXPECT_TRUE(bare.err.starts_with("Usage: qtvn2")) << bare.err;
    EXPECT_EQ(bare.code, 2);
}

TEST_F(Qtvn2Test, SingleModeInPlaceAndToDestination) {
    put_template("t.htm");
    const std::string original = page("P", "<h1>One</h1>\r\n<!-- toc -->\r\n<h2>Two</h2>\r\n");
    put_file("in place.htm", original);
    put_file("kept.htm", original);
    put_project(
        "in place.toc",
        {{"source", "in place.htm"}, {"template_file", "t.htm"}, {"process_numbering", "0"}});
    put_project("to dest.toc", {{"source", "kept.htm"},
                                {"is_dest_as_source", "0"},
                                {"destination", "out/result.htm"},
                                {"template_file", "t.htm"},
                                {"process_numbering", "0"}});
    put_file("out/.keep", "");

    expect_run({"-command", "in place.toc"}, build_complete, 0);
    const std::string built = bytes_of("in place.htm");
    // a heading before the placeholder is neither anchored nor listed
    EXPECT_TRUE(holds(built, "<h1>One</h1>")) << built;
    EXPECT_TRUE(holds(built, "<!-- toc --><!--QORV_HTML_TOC_START-->")) << built;
    EXPECT_TRUE(holds(built, "<h2><a name=\"" + anchor(1) + "\">Two</a></h2>")) << built;
    EXPECT_TRUE(holds(built, "Two=#" + anchor(1) + ";")) << built;
    EXPECT_FALSE(holds(built, "One=#")) << built;

    expect_run({"-command", "to dest.toc"}, build_complete, 0);
    EXPECT_EQ(bytes_of("kept.htm"), original);
    EXPECT_EQ(bytes_of("out/result.htm"), built);
}

TEST_F(Qtvn2Test, QuotedPathWithBlanksIsOneArgument) {
    put_template("my docs/t t.htm");
    put_file("my docs/page one.htm", page("P", "<h1>One</h1>\r\n"));
    put_project("my docs/site project.toc",
                {{"source", "page one.htm"}, {"template_file", "t t.htm"}});

    expect_run({"-command", "my docs/site project.toc"}, build_complete, 0);
    EXPECT_TRUE(holds(bytes_of("my docs/page one.htm"), "1. One=#" + anchor(1) + ";"));
}

TEST_F(Qtvn2Test, MultiModeLinksAreRelativeAndEncoded) {
    put_template("t.htm");
    put_file("a.htm", page("A", "<h1>Alpha</h1>\r\n<h2>Alpha two</h2>\r\n"));
    put_file("sub/b b.htm", page("B", "<h1>Beta</h1>\r\n"));
    put_project("site.toc", {{"is_single", "0"},
                             {"destination", "index.htm"},
                             {"source", "a.htm"},
                             {"source", "sub/b b.htm"},
                             {"template_file", "t.htm"}});
    put_project("no template.toc", {{"is_single", "0"},
                                    {"destination", "index.htm"},
                                    {"source", "a.htm"},
                                    {"source", "sub/b b.htm"},
                                    {"template_file", "none.htm"}});

    // a template that can't be opened stops the build before any source is rewritten
    const std::string a_before = bytes_of("a.htm");
    expect_run({"-command", "no template.toc"},
               error_occurred + "Can't open template file: none.htm", 1);
    EXPECT_EQ(bytes_of("a.htm"), a_before);
    EXPECT_EQ(bytes_of("index.htm"), "<missing>");

    expect_run({"-command", "site.toc"}, build_complete, 0);
    // a destination that did not exist holds only the TOC
    const std::string index = bytes_of("index.htm");
    EXPECT_TRUE(index.starts_with("<!--QORV_HTML_TOC_START-->")) << index;
    EXPECT_TRUE(index.ends_with("<!--QORV_HTML_TOC_END-->")) << index;
    EXPECT_TRUE(holds(index, "1. Alpha=a.htm#" + anchor(1) + ";")) << index;
    EXPECT_TRUE(holds(index, "1.1. Alpha two=a.htm#" + anchor(2) + ";")) << index;
    EXPECT_TRUE(holds(index, "2. Beta=sub/b%20b.htm#" + anchor(1) + ";")) << index;
    // no local TOC asked for
    EXPECT_FALSE(holds(bytes_of("a.htm"), "QORV_HTML_TOC_START"));
}

TEST_F(Qtvn2Test, ClearAfterBuildRestoresTheFile) {
    put_template("t.htm");
    const std::string original = page("P", "<h1>One</h1>\r\n<p>text</p>\r\n<h2>Two</h2>\r\n");
    for (const char* numbering : {"0", "1"}) {
        SCOPED_TRACE(numbering);
        put_file("page.htm", original);
        put_project(
            "p.toc",
            {{"source", "page.htm"}, {"template_file", "t.htm"}, {"process_numbering", numbering}});
        expect_run({"-command", "p.toc"}, build_complete, 0);
        ASSERT_NE(bytes_of("page.htm"), original);
        expect_run({"-clear", "p.toc"}, clearance_done, 0);
        EXPECT_EQ(bytes_of("page.htm"), original);
    }
}

TEST_F(Qtvn2Test, RebuildsAfterTheSecondAreByteIdentical) {
    put_template("t.htm");
    put_file("page.htm", page("P", "<h1>One</h1>\r\n<h2>Two</h2>\r\n"));
    put_file("a.htm", page("A", "<h1>Alpha</h1>\r\n"));
    put_file("sub/b b.htm", page("B", "<h2>Beta</h2>\r\n"));
    put_project("single.toc", {{"source", "page.htm"}, {"template_file", "t.htm"}});
    put_project("multi.toc", {{"is_single", "0"},
                              {"destination", "index.htm"},
                              {"source", "a.htm"},
                              {"source", "sub/b b.htm"},
                              {"template_file", "t.htm"},
                              {"process_title", "1"},
                              {"insert_local_toc", "1"}});
    const std::vector<std::string> outputs = {"page.htm", "a.htm", "sub/b b.htm", "index.htm"};

    std::vector<std::string> second;
    for (int round = 1; round <= 4; ++round) {
        SCOPED_TRACE(round);
        expect_run({"-command", "single.toc"}, build_complete, 0);
        expect_run({"-command", "multi.toc"}, build_complete, 0);
        std::vector<std::string> now;
        for (const std::string& name : outputs)
            now.push_back(bytes_of(name));
        if (round == 2) second = now;
        if (round > 2) {
            EXPECT_EQ(now, second);
        }
    }
    EXPECT_TRUE(holds(second[0], "<h1>1. <a name=\"" + anchor(1) + "\">")) << second[0];
}

TEST_F(Qtvn2Test, OtherProgramNamesDoNothing) {
    put_template("t.htm");
    const std::string original = page("P", "<h1>One</h1>\r\n");
    put_file("page.htm", original);
    put_project("p.toc", {{"source", "page.htm"}, {"template_file", "t.htm"}});

    const struct {
        const char* name;
        std::string report;
    } rows[] = {
        {"tocvane", ""},
        {"qtvn2-old", ""},
        {"setup.exe", ""},
        {"QTVN2.EXE", build_complete},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        put_file("page.htm", original);
        const std::string copy = path(std::string("bin/") + row.name);
        std::filesystem::create_directories(path("bin"));
        std::filesystem::copy_file(QTVN2_PATH, copy,
                                   std::filesystem::copy_options::overwrite_existing);
        const process_result result = run_program(copy, {"-command", "p.toc"}, dir_);
        EXPECT_EQ(result.out, row.report);
        EXPECT_EQ(result.code, 0);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(bytes_of("page.htm") == original, row.report.empty());
    }
}

// Only the window program maps Qt; the program itself needs no Qt library, and the copies above
// build without the window program beside them. Linked whole, it has no loader to list any.
TEST_F(Qtvn2Test, ProgramNeedsNoQtLibrary) {
    ::setenv("LD_TRACE_LOADED_OBJECTS", "1", 1);
    const process_result result = qtvn2({"--version"});
    ::unsetenv("LD_TRACE_LOADED_OBJECTS");
    EXPECT_FALSE(holds(result.out, "libQt")) << result.out;
    if (!holds(result.out, "libc.so")) {
        EXPECT_EQ(result.out, qtvn2({"--version"}).out);
    }
}

// The bundled example, built as the README tells, and from other folders: its relative paths
// belong to the project file, so every run writes the same bytes.
TEST_F(Qtvn2Test, BundledExampleBuildsFromAnyFolder) {
    struct Row {
        std::string copy;
        std::string project;
        std::string cwd;
    } rows[] = {
        {"a", "manual.toc", "a/manual"},
        {"b", "b/manual/manual.toc", ""},
        {"c", path("c/manual/manual.toc"), "/"},
        {"d", "../d/manual/manual.toc", "a"},
    };
    std::string first_index;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.project);
        std::filesystem::create_directories(path(row.copy));
        std::filesystem::copy(EXAMPLES_DIR "/manual", path(row.copy + "/manual"),
                              std::filesystem::copy_options::recursive);
        const std::string cwd = row.cwd.starts_with('/') ? row.cwd : path(row.cwd);
        const process_result result = run_program(QTVN2_PATH, {"-command", row.project}, cwd);
        EXPECT_EQ(result.out, build_complete);
        EXPECT_EQ(result.code, 0);
        const std::string index = bytes_of(row.copy + "/manual/index.htm");
        EXPECT_TRUE(holds(index, "href=\"guide/getting%20started.htm#")) << index;
        EXPECT_TRUE(holds(index, "href=\"reference/signal%20codes.htm#")) << index;
        EXPECT_TRUE(holds(bytes_of(row.copy + "/manual/guide/maintenance.htm"),
                          "QORV_HTML_TOC_START"));
        if (first_index.empty()) first_index = index;
        EXPECT_EQ(index, first_index);
    }
}

// The example's copy with HTML5 ids and the nav template, built from the folder above it: the
// links read path#slug, an author's id is kept, no named anchor is added.
TEST_F(Qtvn2Test, BundledHtml5ExampleLinksByIds) {
    std::filesystem::copy(EXAMPLES_DIR "/manual-html5", path("manual-html5"),
                          std::filesystem::copy_options::recursive);
    const process_result result = qtvn2({"-command", "manual-html5/manual-html5.toc"});
    EXPECT_EQ(result.out, build_complete);
    EXPECT_EQ(result.code, 0);
    const std::string index = bytes_of("manual-html5/index.htm");
    EXPECT_TRUE(holds(index, "<nav class=\"toc\" aria-label=\"Table of contents\">")) << index;
    EXPECT_TRUE(holds(index, "href=\"guide/getting%20started.htm#keys-and-log-book\"")) << index;
    EXPECT_TRUE(holds(index, "href=\"reference/signal%20codes.htm#fog\"")) << index;
    const std::string page = bytes_of("manual-html5/guide/getting started.htm");
    EXPECT_TRUE(holds(page, "<h2 id=\"keys-and-log-book\" data-qorv-id>Keys and log book</h2>"))
        << page;
    EXPECT_FALSE(holds(page + index, "<a name=")) << page;
}

}  // namespace

// A second build of the same files waits for the first, saying so, and then goes on.
TEST_F(Qtvn2Test, BuildWaitsForAnotherBuildOfItsFiles) {
    put_template("t.htm");
    put_file("page.htm", page("P", "<h1>One</h1>\r\n<!-- toc -->\r\n<h2>Two</h2>\r\n"));
    put_project("site.toc", {{"source", "page.htm"}, {"template_file", "t.htm"}});
    // this process is the first build: it holds the lock of the folder the page is written in
    const int folder = ::open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(folder, LOCK_EX), 0);
    const process_result result =
        run_program(QTVN2_PATH, {"-command", "site.toc"}, dir_, [folder](const std::string& err) {
            if (err.find("...\n") != std::string::npos) ::flock(folder, LOCK_UN);
        });
    ::close(folder);
    EXPECT_TRUE(result.err.starts_with("Waiting for another build of ")) << result.err;
    EXPECT_TRUE(result.err.ends_with("page.htm...\n")) << result.err;
    EXPECT_EQ(result.out, build_complete);
    EXPECT_EQ(result.code, 0);
    EXPECT_TRUE(holds(bytes_of("page.htm"), "<!--QORV_HTML_TOC_START-->"));
}
