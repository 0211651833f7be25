#include <charconv>
#include <memory>
#include <vector>

#include "files.h"
#include "render_template.h"
#include "toc_build.h"

namespace {

// The nine lists, one value per row; kept apart while rows are added so no row looks up a key.
struct toc_lists {
    value_list item, text, link, open, numbering, level, indentation, children, parent_list;

    void move_into(named_lists& data) {
        const auto put = [&data](std::string_view key, value_list& list) {
            data.set_list(key, std::make_unique<value_list>(std::move(list)));
        };
        put("item", item);
        put("text", text);
        put("link", link);
        put("open", open);
        put("numbering", numbering);
        put("level", level);
        put("indentation", indentation);
        put("children", children);
        put("parent_list", parent_list);
    }
};

// The indentation of every depth met so far, made once: rows take copies.
class indentations {
  public:
    explicit indentations(const byte_string& unit) : unit_(unit) {}

    const template_value& at(int32_t depth) {
        while (static_cast<int32_t>(made_.size()) <= depth) {
            byte_string text;
            for (size_t i = 0; i < made_.size(); ++i)
                text.append(unit_);
            made_.emplace_back(text);
        }
        return made_[static_cast<size_t>(depth)];
    }

  private:
    const byte_string& unit_;
    std::vector<template_value> made_;
};

void add_item_row(toc_lists& lists, toc_node& p, int32_t row, int32_t depth, indentations& indents,
                  byte_string& parents) {
    lists.item.add(template_value(row));
    // the items outlive the lists: a heading's texts are not copied
    lists.text.add(template_value::viewing(p.text));
    lists.link.add(template_value::viewing(p.link));
    lists.open.add(template_value(1));
    lists.numbering.add(template_value::viewing(p.numbering));
    lists.level.add(template_value(depth));
    lists.indentation.add(indents.at(depth));
    lists.children.add(template_value(p.first_child() != nullptr ? 1 : 0));
    p.render_index = static_cast<uint32_t>(row);
    parents.clear();
    for (const tree_node* a = p.parent(); a; a = a->parent()) {
        if (!parents.is_empty()) parents.push(',');
        char digits[16];
        const auto end = std::to_chars(digits, digits + sizeof digits, as_toc(a)->render_index).ptr;
        parents.append(digits, static_cast<int32_t>(end - digits));
    }
    lists.parent_list.add(template_value(parents));
}

// Ends the list of children of the item just climbed back to.
void add_close_row(toc_lists& lists, int32_t row, int32_t depth, indentations& indents) {
    const template_value empty{std::string_view()};
    lists.item.add(template_value(row));
    lists.text.add(empty);
    lists.link.add(empty);
    lists.open.add(template_value(0));
    lists.numbering.add(empty);
    lists.level.add(empty);
    lists.indentation.add(indents.at(depth));
    lists.children.add(template_value(1));
    lists.parent_list.add(empty);
}

}  // namespace

void fill_toc_data(toc_tree& tree, toc_node* start, named_lists& data) {
    toc_lists lists;
    indentations indents(tree.indent);
    byte_string parents;
    int32_t row = 0;
    toc_node* p = start;
    int32_t depth = p ? toc_tree::depth(*p) : 0;
    while (p) {
        add_item_row(lists, *p, ++row, depth, indents, parents);
        if (p->first_child()) {
            ++depth;
            p = as_toc(p->first_child());
            continue;
        }
        // climb until a next sibling, closing every list of children left on the way up
        while (!p->next()) {
            p = as_toc(p->parent());
            if (!p || depth == 0) {
                p = nullptr;
                break;
            }
            --depth;
            add_close_row(lists, ++row, depth, indents);
        }
        if (p) p = as_toc(p->next());
    }
    lists.move_into(data);
}

namespace {

void append_toc_comment(std::vector<byte_string>& out) {
    byte_string comment("\r\n<!--\r\nTOC is created by QORV Tocvane.\r\n");
    comment.append(maker_address);
    comment.append(
        "\r\n*Do not edit or delete* start and end tags wrapped within HTML comments.\r\n"
        "If you need to edit TOC, just regenerate it using the same project.\r\n-->\r\n");
    out.push_back(std::move(comment));
}

}  // namespace

void load_template(std::string_view path, loaded_template& layout) {
    layout.opens = false;
    layout.readable = false;
    layout.text.clear();
    layout.device = 0;
    layout.inode = 0;
    const file_descriptor file = file_open(path);
    if (file == invalid_handle) return;
    (void)file_close(file);
    layout.opens = true;
    file_info info;
    if (file_stat(info, path)) {
        layout.device = info.device;
        layout.inode = info.inode;
    }
    layout.readable = read_template_file(path, layout.text).is_ok();
}

namespace {

result no_template() {
    return {status_code::template_missing, std::string_view()};
}

}  // namespace

result render_toc(toc_tree& tree, toc_node* start, const loaded_template& layout,
                  std::vector<byte_string>& out) {
    if (!layout.opens) return no_template();
    const size_t before = out.size();
    out.emplace_back(toc_start_marker);
    append_toc_comment(out);
    if (start) {
        named_lists data;
        // the items get their render index before the template is read, as through the path
        fill_toc_data(tree, start, data);
        if (!layout.readable) {
            out.resize(before);
            return no_template();
        }
        (void)render_template_text(layout.text.view(), data, out);
    }
    out.emplace_back(toc_end_marker);
    return result::success();
}

result render_toc(toc_tree& tree, toc_node* start, std::string_view template_path,
                  std::vector<byte_string>& out) {
    loaded_template layout;
    load_template(template_path, layout);
    return render_toc(tree, start, layout, out);
}
