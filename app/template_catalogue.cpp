#include "template_catalogue.h"

#include "tag_value_file.h"

namespace {

constexpr std::string_view catalogue_file_name = "templates.txt";

void take_values(const tag_value_file& file, std::string_view key, std::vector<byte_string>& out) {
    out.clear();
    if (const value_list* list = file.values.find_list(key)) {
        for (const template_value& value : *list)
            out.emplace_back(value.view());
    }
}

}  // namespace

template_catalogue::template_catalogue(std::string_view data_directory)
    : data_directory_(data_directory) {
    if (!data_directory_.is_empty() && !data_directory_.ends_with("/")) data_directory_.push('/');
}

void template_catalogue::forget() {
    loaded_ = false;
    files_.clear();
    names_.clear();
    descriptions_.clear();
}

bool template_catalogue::load() {
    forget();
    byte_string path(data_directory_);
    path.append(catalogue_file_name);
    tag_value_file file;
    if (const result read = file.read(path.view()); !read.is_ok()) {
        error_text_.assign(read.message());
        return false;
    }
    std::vector<byte_string> files;
    std::vector<byte_string> names;
    std::vector<byte_string> descriptions;
    take_values(file, "file", files);
    take_values(file, "name", names);
    take_values(file, "description", descriptions);
    if (files.empty()) {
        error_text_.assign("Tag <file> is missing.");
        return false;
    }
    if (names.empty()) {
        error_text_.assign("Tag <name> is missing.");
        return false;
    }
    if (descriptions.empty()) {
        error_text_.assign("Tag <description> is missing.");
        return false;
    }
    if (names.size() != files.size() || descriptions.size() != files.size()) {
        error_text_.assign(
            "Each template description must have exactly one <file>, <name> and <description> "
            "tag.");
        return false;
    }
    files_ = std::move(files);
    names_ = std::move(names);
    descriptions_ = std::move(descriptions);
    loaded_ = true;
    return true;
}

byte_string template_catalogue::template_path(int32_t index) const {
    if (!holds(index)) return {};
    byte_string path(data_directory_);
    path.append(files_[index]);
    return path;
}

byte_string template_catalogue::project_template_file(int32_t index) const {
    return holds(index) ? template_path(index) : data_directory_;
}

int32_t template_catalogue::select_by_path(std::string_view template_file) const {
    if (template_file.empty() || !loaded_) return 0;
    const size_t slash = template_file.rfind('/');
    const std::string_view name =
        slash == std::string_view::npos ? template_file : template_file.substr(slash + 1);
    for (size_t i = 0; i < files_.size(); ++i) {
        if (files_[i] == name) return static_cast<int32_t>(i);
    }
    return 0;
}

bool template_catalogue::description(int32_t index, byte_string& out) const {
    if (!holds(index)) return false;
    out.assign(descriptions_[index]);
    out.to_crlf();
    return true;
}
