#include "platform_services.h"

void file_dialog_request::add_filter(std::string_view description, std::string_view pattern) {
    filters.push_back({byte_string(description), byte_string(pattern)});
}

void file_dialog_request::set_flag(file_dialog_flag flag, bool on) {
    if (on) {
        flags |= flag;
    } else {
        flags &= ~static_cast<uint32_t>(flag);
    }
}

byte_string file_dialog_request::filter_text() const {
    byte_string text;
    for (const file_filter& filter : filters) {
        if (!text.is_empty()) text.push('|');
        text.append(filter.description);
        text.push('|');
        text.append(filter.pattern);
    }
    return text;
}

byte_string trim_dialog_folder(std::string_view folder) {
    const bool rooted = folder.starts_with('/');
    while (folder.ends_with('/'))
        folder.remove_suffix(1);
    if (folder.empty() && rooted) return byte_string("/");
    return byte_string(folder);
}

int32_t split_multi_selection(byte_string& result, std::vector<byte_string>& names) {
    names.clear();
    const int32_t first_nul = result.find_char('\0');
    if (first_nul < 0) return 0;
    int32_t start = first_nul + 1;
    while (start < result.length()) {
        int32_t end = result.find_char('\0', start);
        if (end < 0) end = result.length();
        // a doubled NUL ends the list
        if (end == start) break;
        names.emplace_back(result.data() + start, end - start);
        start = end + 1;
    }
    result.set_length(first_nul);
    return static_cast<int32_t>(names.size());
}
