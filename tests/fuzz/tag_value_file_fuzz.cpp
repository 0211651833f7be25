// Tagged-file reader, through a real file as in use. A failed read leaves the values as they
// were and reports a well-formed "Line: N, column: M" text; a good one survives writing and
// reading again, but for values with no text (written as "<key></key>", which reads as nothing)
// and values holding a NUL byte (references after it are not decoded, so one written escaped
// reads back escaped).
//
// The first input byte with its high bit set puts 8092 minus its low seven bits of blanks before
// the document, so that the document's first bytes straddle the boundary of the 8092-byte
// reads; the rest is the document.

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "sorted_map.h"
#include "tag_value_file.h"

namespace {

constexpr size_t read_size = 8092;

// Never freed: the exit handler that removes it runs after static destructors.
const std::string& scratch_dir() {
    static const std::string* dir = [] {
        // memory-backed where there is one: every write of a build ends in a sync
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string pattern = (base / "tvfuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) __builtin_trap();
        std::atexit([] { std::filesystem::remove_all(*dir); });
        return new std::string(pattern);
    }();
    return *dir;
}

void fail(const char* what) {
    std::fprintf(stderr, "tag_value_file_fuzz: %s\n", what);
    __builtin_trap();
}

void put(const std::string& path, std::string_view bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
        fail("can't write the scratch file");
    std::fclose(file);
}

// Values joined per key; with `comparable`, those that can't survive a round trip left out.
std::string dump(const named_lists& values, bool comparable) {
    std::string out;
    for (const auto& [key, list] : values.entries()) {
        std::string line;
        for (const template_value& value : *list) {
            const std::string_view text = value.view();
            if (comparable && (text.empty() || text.find('\0') != std::string_view::npos)) continue;
            line += value.view();
            line += '\x01';
        }
        if (line.empty() && comparable) continue;
        out += key.view();
        out += '=';
        out += line;
        out += '\x02';
    }
    return out;
}

// Reads digits from the front of `text` into n; false when there are none.
bool take_number(std::string_view& text, int64_t& n) {
    size_t i = 0;
    n = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i < 18)
        n = n * 10 + (text[i++] - '0');
    text.remove_prefix(i);
    return i > 0;
}

bool take(std::string_view& text, std::string_view prefix) {
    if (!text.starts_with(prefix)) return false;
    text.remove_prefix(prefix.size());
    return true;
}

void check_report(std::string_view report, std::string_view document) {
    int64_t line = 0;
    int64_t column = 0;
    if (!take(report, "Line: ") || !take_number(report, line) || !take(report, ", column: ") ||
        !take_number(report, column) || !take(report, "\r\nError: ")) {
        fail("the failure report is malformed");
    }
    if (report != "size exceeded.\r\n" && report != "misplaced end tag.\r\n" &&
        report != "unclosed tag.\r\n" && report != "unknown error.\r\n") {
        fail("the failure report names no known reason");
    }
    int64_t lines = 1;
    for (const char c : document)
        lines += c == '\n' || c == '\r';
    if (line < 1 || line > lines || column < 0 ||
        column > static_cast<int64_t>(document.size()) + 1) {
        fail("the failure report points outside the document");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::string document;
    if (data[0] & 0x80) document.assign(read_size - (data[0] & 0x7f), ' ');
    document.append(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string path = scratch_dir() + "/t.txt";
    put(path, document);

    tag_value_file file;
    file.values.add_value("kept", template_value("kept"));
    const std::string before = dump(file.values, false);
    const result read = file.read(path);
    if (!read.is_ok()) {
        if (dump(file.values, false) != before) fail("a failed read changed the values");
        check_report(read.message().view(), document);
        return 0;
    }
    if (!read.message().is_empty()) fail("a good read gave a message");

    const std::string copy = scratch_dir() + "/copy.txt";
    if (!file.write(copy).is_ok()) fail("writing the values failed");
    tag_value_file again;
    if (!again.read(copy).is_ok()) fail("the written file does not read");
    if (dump(again.values, true) != dump(file.values, true))
        fail("the values changed through writing and reading");
    return 0;
}
