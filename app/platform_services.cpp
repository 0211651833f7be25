#include "platform_services.h"

#include "qt_text.h"

void FileDialogRequest::addFilter(std::string_view description, std::string_view pattern) {
    filters.push_back({byte_string(description), byte_string(pattern)});
}

byte_string FileDialogRequest::chosenPath() const {
    return chosen.isEmpty() ? byte_string() : plainPath(chosen.front());
}

byte_string FileDialogRequest::filterText() const {
    byte_string text;
    for (const FileFilter& filter : filters) {
        if (!text.is_empty()) text.push('|');
        text.append(filter.description);
        text.push('|');
        text.append(filter.pattern);
    }
    return text;
}

byte_string trimDialogFolder(std::string_view folder) {
    const bool rooted = folder.starts_with('/');
    while (folder.ends_with('/'))
        folder.remove_suffix(1);
    if (folder.empty() && rooted) return byte_string("/");
    return byte_string(folder);
}
