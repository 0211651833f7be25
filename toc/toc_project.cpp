#include "toc_project.h"

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "paths.h"
#include "tag_value_file.h"

namespace {

// A key the file lacks leaves its field as it is; only the key's first value counts.
void take_number(const tag_value_file& file, std::string_view key, int32_t& field) {
    template_value first;
    if (file.values.first_value(key, first)) field = first.to_integer();
}

void take_flag(const tag_value_file& file, std::string_view key, bool& field) {
    template_value first;
    if (file.values.first_value(key, first)) field = first.to_integer() != 0;
}

void take_text(const tag_value_file& file, std::string_view key, byte_string& field) {
    template_value first;
    if (file.values.first_value(key, first)) field = byte_string(first.view());
}

template_value flag_value(bool flag) {
    return template_value(static_cast<int32_t>(flag ? 1 : 0));
}

// The folder of a file path with its '/', empty for a bare name.
std::string_view folder_of(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
}

// A relative path from the project file taken against the project's folder.
void join_folder(std::string_view folder, byte_string& path) {
    if (folder.empty() || path.is_empty() || path[0] == '/') return;
    byte_string joined(folder);
    joined.append(path);
    path.move_from(joined);
}

// "guide/a.htm" and "/site/guide/a.htm" name one file: the first entry stays.
void drop_repeated_sources(std::vector<byte_string>& sources) {
    const byte_string directory = current_directory();
    std::unordered_set<std::string> seen;
    std::vector<byte_string> kept;
    for (byte_string& entry : sources) {
        byte_string absolute;
        if (normalize_path(entry.view(), directory.view(), absolute) &&
            !seen.emplace(absolute.view()).second)
            continue;
        kept.push_back(std::move(entry));
    }
    sources = std::move(kept);
}

// How `path` is stored in a project file in `folder` (absolute, no trailing '/'): relative
// when the file lies inside the folder, else as it is.
byte_string stored_path(const byte_string& path, std::string_view folder) {
    byte_string absolute;
    if (path.is_empty() || path[0] != '/' || folder.empty() ||
        !normalize_path(path.view(), absolute))
        return path;
    const std::string_view inside = absolute.view();
    if (inside.size() > folder.size() + 1 && inside.starts_with(folder) &&
        inside[folder.size()] == '/')
        return byte_string(inside.substr(folder.size() + 1));
    return path;
}

void make_absolute(byte_string& path) {
    byte_string absolute;
    if (normalize_path(path.view(), absolute)) path.move_from(absolute);
}

}  // namespace

void toc_project::reset() {
    *this = toc_project();
}

void toc_project::normalize() {
    if (single()) {
        process_title = false;
        if (source.empty()) source.emplace_back();
    } else if (!source.empty() && source.front().is_empty()) {
        source.clear();
    }
}

void toc_project::normalize_anchor_attributes() {
    if (!named_anchor_attributes.is_empty() && named_anchor_attributes[0] != ' ') {
        byte_string spaced(" ");
        spaced.append(named_anchor_attributes);
        named_anchor_attributes.move_from(spaced);
    }
}

result toc_project::load(std::string_view path) {
    tag_value_file file;
    if (result read = file.read(path); !read.is_ok()) return read;
    // a key the file lacks takes its default
    toc_project loaded;
    loaded.source.clear();
    take_flag(file, "is_single", loaded.is_single);
    take_flag(file, "is_dest_as_source", loaded.is_dest_as_source);
    if (const value_list* sources = file.values.find_list("source")) {
        for (const template_value& entry : *sources)
            loaded.source.emplace_back(entry.view());
    }
    take_text(file, "destination", loaded.destination);
    take_number(file, "range_from", loaded.range_from);
    take_number(file, "range_to", loaded.range_to);
    take_text(file, "named_anchor_attributes", loaded.named_anchor_attributes);
    byte_string style;
    take_text(file, "anchor_style", style);
    // any other value keeps the classic anchors every older project has
    if (style == "id") loaded.anchor_style = anchor_kind::id;
    take_flag(file, "process_title", loaded.process_title);
    take_flag(file, "process_numbering", loaded.process_numbering);
    take_text(file, "template_file", loaded.template_file);
    take_flag(file, "insert_local_toc", loaded.insert_local_toc);
    take_text(file, "indent", loaded.indent);
    const std::string_view folder = folder_of(path);
    for (byte_string& entry : loaded.source)
        join_folder(folder, entry);
    join_folder(folder, loaded.destination);
    join_folder(folder, loaded.template_file);
    drop_repeated_sources(loaded.source);
    loaded.normalize();
    loaded.normalize_anchor_attributes();
    loaded.file_path = byte_string(path);
    *this = std::move(loaded);
    return result::success();
}

void toc_project::make_paths_absolute() {
    for (byte_string& entry : source)
        make_absolute(entry);
    make_absolute(destination);
    make_absolute(template_file);
}

result toc_project::save(std::string_view path) const {
    byte_string folder;
    const std::string_view own = folder_of(path);
    if (!own.empty() && !normalize_path(own, folder)) folder.clear();
    tag_value_file file;
    named_lists& values = file.values;
    values.add_value("is_single", flag_value(is_single));
    values.add_value("is_dest_as_source", flag_value(is_dest_as_source));
    for (const byte_string& entry : source)
        values.add_value("source", template_value(stored_path(entry, folder.view())));
    values.add_value("destination", template_value(stored_path(destination, folder.view())));
    values.add_value("range_from", template_value(range_from));
    values.add_value("range_to", template_value(range_to));
    values.add_value("named_anchor_attributes", template_value(named_anchor_attributes));
    // absent means `name`, so a project saved with classic anchors keeps its bytes
    if (anchor_style == anchor_kind::id) values.add_value("anchor_style", template_value("id"));
    values.add_value("process_title", flag_value(process_title));
    values.add_value("process_numbering", flag_value(process_numbering));
    values.add_value("template_file", template_value(stored_path(template_file, folder.view())));
    values.add_value("insert_local_toc", flag_value(insert_local_toc));
    values.add_value("indent", template_value(indent));
    return file.write(path);
}
