#include "toc_project.h"

#include "tag_value_file.h"

namespace {

constexpr int32_t default_is_single = 1;
constexpr int32_t default_is_dest_as_source = 1;
constexpr int32_t default_range_from = 1;
constexpr int32_t default_range_to = 6;
constexpr int32_t default_process_title = 0;
constexpr int32_t default_process_numbering = 1;
constexpr int32_t default_insert_local_toc = 0;

// The key's first value as a text, else the default.
void take_value(const tag_value_file& file, std::string_view key, template_value& field,
                const template_value& fallback) {
    template_value first;
    if (file.values.first_value(key, first)) {
        field.set_text(first.view());
    } else {
        field = fallback;
    }
}

void take_number(const tag_value_file& file, std::string_view key, template_value& field,
                 int32_t fallback) {
    take_value(file, key, field, template_value(fallback));
}

void take_text(const tag_value_file& file, std::string_view key, template_value& field) {
    take_value(file, key, field, template_value(""));
}

}  // namespace

void toc_project::reset() {
    is_single.set_integer(default_is_single);
    is_dest_as_source.set_integer(default_is_dest_as_source);
    source.clear();
    destination.set_text("");
    range_from.set_integer(default_range_from);
    range_to.set_integer(default_range_to);
    named_anchor_attributes.set_text("");
    process_title.set_integer(default_process_title);
    process_numbering.set_integer(default_process_numbering);
    template_file.set_text("");
    indent.set_text("");
    insert_local_toc.set_integer(default_insert_local_toc);
    normalize();
    error_text.clear();
}

void toc_project::normalize() {
    if (single()) {
        process_title.set_integer(0);
        if (source.empty()) source.emplace_back();
    } else if (!source.empty() && source.front().is_empty()) {
        source.clear();
    }
}

void toc_project::normalize_anchor_attributes() {
    if (named_anchor_attributes.text_length() > 0 &&
        named_anchor_attributes.view().front() != ' ') {
        template_value spaced(" ");
        spaced.append(named_anchor_attributes.view());
        named_anchor_attributes = spaced;
    }
}

int toc_project::load(std::string_view path) {
    tag_value_file file;
    if (!file.read(path)) {
        error_text.assign(file.error_text);
        return 1;
    }
    take_number(file, "is_single", is_single, default_is_single);
    take_number(file, "is_dest_as_source", is_dest_as_source, default_is_dest_as_source);
    source.clear();
    if (const value_list* sources = file.values.find_list("source")) {
        for (const template_value& entry : *sources)
            source.emplace_back(entry.view());
    }
    take_text(file, "destination", destination);
    take_number(file, "range_from", range_from, default_range_from);
    take_number(file, "range_to", range_to, default_range_to);
    take_text(file, "named_anchor_attributes", named_anchor_attributes);
    take_number(file, "process_title", process_title, default_process_title);
    take_number(file, "process_numbering", process_numbering, default_process_numbering);
    take_text(file, "template_file", template_file);
    take_number(file, "insert_local_toc", insert_local_toc, default_insert_local_toc);
    take_text(file, "indent", indent);
    normalize();
    normalize_anchor_attributes();
    return 0;
}

int toc_project::save(std::string_view path) {
    tag_value_file file;
    named_lists& values = file.values;
    values.add_value("is_single", template_value(is_single));
    values.add_value("is_dest_as_source", template_value(is_dest_as_source));
    for (const byte_string& entry : source)
        values.add_value("source", template_value(entry));
    values.add_value("destination", template_value(destination));
    values.add_value("range_from", template_value(range_from));
    values.add_value("range_to", template_value(range_to));
    values.add_value("named_anchor_attributes", template_value(named_anchor_attributes));
    values.add_value("process_title", template_value(process_title));
    values.add_value("process_numbering", template_value(process_numbering));
    values.add_value("template_file", template_value(template_file));
    values.add_value("insert_local_toc", template_value(insert_local_toc));
    values.add_value("indent", template_value(indent));
    if (!file.write(path)) {
        error_text.assign("Can't write to file: ");
        error_text.append(path);
        return 1;
    }
    return 0;
}
