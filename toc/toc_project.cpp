#include "toc/toc_project.h"

#include "toc/tag_value_file.h"

namespace {

constexpr int32_t default_is_single = 1;
constexpr int32_t default_is_dest_as_source = 1;
constexpr int32_t default_range_from = 1;
constexpr int32_t default_range_to = 6;
constexpr int32_t default_process_title = 0;
constexpr int32_t default_process_numbering = 1;
constexpr int32_t default_insert_local_toc = 0;

// The key's first value as a text, else the default.
void take_value(const TagValueFile& file, std::string_view key, qvval& field,
                const qvval& fallback) {
    qvval first;
    if (file.values.first_value(key, first)) {
        field.set_text(first.view());
    } else {
        field = fallback;
    }
}

void take_number(const TagValueFile& file, std::string_view key, qvval& field, int32_t fallback) {
    take_value(file, key, field, qvval(fallback));
}

void take_text(const TagValueFile& file, std::string_view key, qvval& field) {
    take_value(file, key, field, qvval(""));
}

}  // namespace

void TocProject::reset() {
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

void TocProject::normalize() {
    if (single()) {
        process_title.set_integer(0);
        if (source.empty()) source.emplace_back();
    } else if (!source.empty() && source.front().is_empty()) {
        source.clear();
    }
}

void TocProject::normalizeAnchorAttributes() {
    if (named_anchor_attributes.text_length() > 0 && named_anchor_attributes.first_char() != ' ') {
        qvval spaced(" ");
        spaced.append(named_anchor_attributes);
        named_anchor_attributes = spaced;
    }
}

int TocProject::load(std::string_view path) {
    TagValueFile file;
    if (!file.read(path)) {
        error_text.assign(file.error_text);
        return 1;
    }
    take_number(file, "is_single", is_single, default_is_single);
    take_number(file, "is_dest_as_source", is_dest_as_source, default_is_dest_as_source);
    source.clear();
    if (const qvarr* sources = file.values.find_list("source")) {
        for (const qvval& entry : *sources)
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
    normalizeAnchorAttributes();
    return 0;
}

int TocProject::save(std::string_view path) {
    TagValueFile file;
    qvhash_array& values = file.values;
    values.add_value("is_single", qvval(is_single));
    values.add_value("is_dest_as_source", qvval(is_dest_as_source));
    for (const qvchar& entry : source)
        values.add_value("source", qvval(entry));
    values.add_value("destination", qvval(destination));
    values.add_value("range_from", qvval(range_from));
    values.add_value("range_to", qvval(range_to));
    values.add_value("named_anchor_attributes", qvval(named_anchor_attributes));
    values.add_value("process_title", qvval(process_title));
    values.add_value("process_numbering", qvval(process_numbering));
    values.add_value("template_file", qvval(template_file));
    values.add_value("insert_local_toc", qvval(insert_local_toc));
    values.add_value("indent", qvval(indent));
    if (!file.write(path)) {
        error_text.assign("Can't write to file: ");
        error_text.append(path);
        return 1;
    }
    return 0;
}
