// Writes the benchmark corpus: the same seed gives the same bytes on every machine.
//
//   make_corpus <folder> [seed]
//
// <folder>/large/large.htm   about 64 MiB of one document, project large.toc
// <folder>/medium/medium.htm about 4 MiB of the same kind of document, project medium.toc
// <folder>/site/...          500 files of about 20 KiB in a few subfolders (some names with
//                            blanks), a destination index.htm, project site.toc
// <folder>/<shape>_<n>/...   the adversarial shapes at n and 2n, project <shape>_<n>.toc:
//                            headings  n headings under one <h1>
//                            wide      one element with n children
//                            deep      n nested unclosed <div>s, a heading at the bottom
//                            entries   n headings in a row, a TOC loop of n entries
//                            ids       n headings of one text, built with `id` anchors, between
//                                      author ids their new ids must skip
//
// The project files name their files relative to <folder> and use the template toc_list.htm
// there, so a build runs in a copy of the folder as its current directory.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "corpus_writer.h"

namespace {

using corpus::document_writer;
using corpus::random_source;

bool write_file(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

std::string project_text(bool single, const std::vector<std::string>& sources,
                         std::string_view destination, bool ids = false) {
    std::string text;
    const auto line = [&text](std::string_view key, std::string_view value) {
        text += '<';
        text += key;
        text += '>';
        text += value;
        text += "</";
        text += key;
        text += ">\r\n";
    };
    if (ids) line("anchor_style", "id");
    line("destination", destination);
    line("indent", "  ");
    line("insert_local_toc", single ? "0" : "1");
    line("is_dest_as_source", "1");
    line("is_single", single ? "1" : "0");
    line("named_anchor_attributes", "");
    line("process_numbering", "1");
    line("process_title", single ? "0" : "1");
    line("range_from", "1");
    line("range_to", "6");
    for (const std::string& source : sources)
        line("source", source);
    line("template_file", "toc_list.htm");
    return text;
}

bool write_single(const std::filesystem::path& root, std::string_view name, size_t size,
                  uint64_t seed) {
    random_source random(seed);
    document_writer writer(random);
    writer.document("Station handbook", size);
    const std::string file = std::string(name) + "/" + std::string(name) + ".htm";
    return write_file(root / file, writer.out()) &&
           write_file(root / (std::string(name) + ".toc"), project_text(true, {file}, ""));
}

bool write_site(const std::filesystem::path& root, uint64_t seed) {
    constexpr std::string_view folders[] = {"guide", "reference/signal codes", "log books",
                                            "stations/north coast", "stations/south coast"};
    constexpr size_t file_count = 500;
    random_source random(seed + 1);
    std::vector<std::string> sources;
    for (size_t i = 0; i < file_count; ++i) {
        const std::string folder(folders[i % std::size(folders)]);
        const std::string number = std::to_string(1000 + i).substr(1);
        const std::string name = folder + (i % 3 == 0 ? "/page " : "/page_") + number + ".htm";
        document_writer writer(random);
        writer.document("Page " + number, 19 * 1024);
        if (!write_file(root / "site" / name, writer.out())) return false;
        sources.push_back("site/" + name);
    }
    document_writer index(random);
    index.out() =
        "<!DOCTYPE html>\n<html>\n<head>\n<title>Contents</title>\n</head>\n<body>\n"
        "<h1>Contents</h1>\n<!-- toc -->\n</body>\n</html>\n";
    return write_file(root / "site/index.htm", index.out()) &&
           write_file(root / "site.toc", project_text(false, sources, "site/index.htm"));
}

// One document of a shape whose cost should grow with n and no faster.
std::string shape_document(std::string_view shape, size_t n) {
    std::string text = "<!DOCTYPE html>\n<html>\n<head><title>Shape</title></head>\n<body>\n";
    if (shape == "headings") {
        text += "<h1>Top ";
        for (size_t i = 0; i < n; ++i)
            text += "<h2>Part " + std::to_string(i) + "</h2>\n";
        text += "</h1>\n";
    } else if (shape == "wide") {
        text += "<h1>Wide</h1>\n<div>";
        for (size_t i = 0; i < n; ++i)
            text += "<br>";
        text += "</div>\n";
    } else if (shape == "deep") {
        for (size_t i = 0; i < n; ++i)
            text += "<div>";
        text += "<h1>Bottom</h1>\n<p>text</p>\n";
    } else if (shape == "ids") {
        // every heading's slug is taken n times over; every tenth number also by an author
        for (size_t i = 0; i < n; ++i) {
            text += "<h2>Example</h2>\n";
            if (i % 10 == 0) text += "<p id=\"example-" + std::to_string(i + 2) + "\">x</p>\n";
        }
    } else {
        for (size_t i = 0; i < n; ++i)
            text += "<h" + std::to_string(1 + i % 3) + ">Entry " + std::to_string(i) + "</h" +
                    std::to_string(1 + i % 3) + ">\n<p>Text " + std::to_string(i) + ".</p>\n";
    }
    text += "</body>\n</html>\n";
    return text;
}

bool write_shapes(const std::filesystem::path& root) {
    constexpr std::pair<std::string_view, size_t> shapes[] = {{"headings", 100000},
                                                              {"wide", 1000000},
                                                              {"deep", 200000},
                                                              {"entries", 100000},
                                                              {"ids", 100000}};
    for (const auto& [shape, n] : shapes) {
        for (const size_t size : {n, 2 * n}) {
            const std::string name = std::string(shape) + "_" + std::to_string(size);
            const std::string file = name + "/" + name + ".htm";
            if (!write_file(root / file, shape_document(shape, size)) ||
                !write_file(root / (name + ".toc"), project_text(true, {file}, "", shape == "ids")))
                return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: make_corpus <folder> [seed]\n", stderr);
        return 2;
    }
    const std::filesystem::path root(argv[1]);
    const uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 20240601;
    const bool written = write_single(root, "large", 64u << 20, seed) &&
                         write_single(root, "medium", 4u << 20, seed) && write_site(root, seed) &&
                         write_shapes(root);
    if (!written) {
        std::fprintf(stderr, "make_corpus: can't write below %s\n", argv[1]);
        return 1;
    }
    return 0;
}
