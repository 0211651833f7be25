#include "template_catalogue.h"

#include "files.h"
#include "tag_value_file.h"

namespace {

constexpr std::string_view catalogueFileName = "templates.txt";

void takeValues(const tag_value_file& file, std::string_view key, std::vector<byte_string>& out) {
    out.clear();
    if (const value_list* list = file.values.find_list(key)) {
        for (const template_value& value : *list)
            out.emplace_back(value.view());
    }
}

}  // namespace

TemplateCatalogue::TemplateCatalogue(std::string_view dataDirectory)
    : dataDirectory_(dataDirectory) {
    if (!dataDirectory_.is_empty() && !dataDirectory_.ends_with("/")) dataDirectory_.push('/');
}

void TemplateCatalogue::setCopyFolder(std::string_view folder) {
    copyFolder_ = byte_string(folder);
    if (!copyFolder_.is_empty() && !copyFolder_.ends_with("/")) copyFolder_.push('/');
}

void TemplateCatalogue::forget() {
    loaded_ = false;
    files_.clear();
    names_.clear();
    descriptions_.clear();
}

bool TemplateCatalogue::load() {
    forget();
    byte_string path(dataDirectory_);
    path.append(catalogueFileName);
    tag_value_file file;
    if (const result read = file.read(path.view()); !read.is_ok()) {
        errorText_.assign(read.message());
        return false;
    }
    std::vector<byte_string> files;
    std::vector<byte_string> names;
    std::vector<byte_string> descriptions;
    takeValues(file, "file", files);
    takeValues(file, "name", names);
    takeValues(file, "description", descriptions);
    if (files.empty()) {
        errorText_.assign("Tag <file> is missing.");
        return false;
    }
    if (names.empty()) {
        errorText_.assign("Tag <name> is missing.");
        return false;
    }
    if (descriptions.empty()) {
        errorText_.assign("Tag <description> is missing.");
        return false;
    }
    if (names.size() != files.size() || descriptions.size() != files.size()) {
        errorText_.assign(
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

byte_string TemplateCatalogue::templatePath(int32_t index) const {
    if (!holds(index)) return {};
    if (!copyFolder_.is_empty()) {
        byte_string copy(copyFolder_);
        copy.append(files_[index]);
        file_info info;
        if (file_stat(info, copy.view()) && !info.is_directory) return copy;
    }
    byte_string path(dataDirectory_);
    path.append(files_[index]);
    return path;
}

byte_string TemplateCatalogue::projectTemplateFile(int32_t index) const {
    return holds(index) ? templatePath(index) : dataDirectory_;
}

int32_t TemplateCatalogue::selectByPath(std::string_view template_file) const {
    if (template_file.empty() || !loaded_) return 0;
    const int32_t found = findByPath(template_file);
    return found < 0 ? 0 : found;
}

int32_t TemplateCatalogue::findByPath(std::string_view template_file) const {
    const size_t slash = template_file.rfind('/');
    const std::string_view name =
        slash == std::string_view::npos ? template_file : template_file.substr(slash + 1);
    for (size_t i = 0; i < files_.size(); ++i) {
        if (files_[i] == name) return static_cast<int32_t>(i);
    }
    return -1;
}

bool TemplateCatalogue::description(int32_t index, byte_string& out) const {
    if (!holds(index)) return false;
    out.assign(descriptions_[index]);
    out.to_crlf();
    return true;
}
