#include "paths.h"

#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace {

char ascii_lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same_text(std::string_view a, std::string_view b, bool ignore_case) {
    if (a.size() != b.size()) return false;
    if (!ignore_case) return a == b;
    for (size_t i = 0; i < a.size(); ++i) {
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    }
    return true;
}

// Components between '/' bytes, empty ones included; nothing for the empty text.
void split_components(std::string_view path, std::vector<std::string_view>& parts) {
    parts.clear();
    if (path.empty()) return;
    size_t start = 0;
    for (size_t slash = path.find('/'); slash != std::string_view::npos;
         slash = path.find('/', start)) {
        parts.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    parts.push_back(path.substr(start));
}

}  // namespace

void to_lower(byte_string& text) {
    char* bytes = text.data();
    for (int32_t i = 0; i < text.length(); ++i)
        bytes[i] = ascii_lower(bytes[i]);
}

void relative_path(std::string_view from_file, std::string_view to_file, byte_string& out,
                   bool ignore_case) {
    out.clear();
    if (same_text(from_file, to_file, ignore_case)) return;
    std::vector<std::string_view> from;
    std::vector<std::string_view> to;
    split_components(from_file, from);
    split_components(to_file, to);
    // the source's file name is never a shared directory, even when the target has a
    // component of that name at that depth
    if (!from.empty()) from.pop_back();
    size_t common = 0;
    while (common < from.size() && common < to.size() &&
           same_text(from[common], to[common], ignore_case)) {
        ++common;
    }
    for (size_t i = common; i < from.size(); ++i)
        out.append("../");
    for (size_t i = common; i < to.size(); ++i) {
        if (i > common) out.push('/');
        out.append(to[i]);
    }
    if (out.is_empty()) out.append(".");
}

byte_string current_directory() {
    byte_string directory;
    if (char* cwd = ::getcwd(nullptr, 0)) {
        directory.append(cwd);
        std::free(cwd);
    }
    return directory;
}

bool normalize_path(std::string_view path, byte_string& out) {
    if (path.empty() || path.find('\0') != std::string_view::npos) return false;
    if (path.front() == '/') return normalize_path(path, std::string_view(), out);
    return normalize_path(path, current_directory().view(), out);
}

bool normalize_path(std::string_view path, std::string_view directory, byte_string& out) {
    if (path.empty() || path.find('\0') != std::string_view::npos) return false;
    byte_string joined;
    if (path.front() != '/') {
        if (directory.empty()) return false;
        joined.append(directory);
        joined.push('/');
    }
    joined.append(path);
    std::vector<std::string_view> parts;
    split_components(joined.view(), parts);
    size_t kept = 0;
    for (const std::string_view part : parts) {
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (kept > 0) --kept;
            continue;
        }
        parts[kept++] = part;
    }
    byte_string folded;
    for (size_t i = 0; i < kept; ++i) {
        folded.push('/');
        folded.append(parts[i]);
    }
    if (folded.is_empty()) folded.push('/');
    out.move_from(folded);
    return true;
}
