#include <charconv>
#include <memory>
#include <vector>

#include "foundation/files.h"
#include "template/render_template.h"
#include "toc/toc_build.h"

namespace {

// The nine lists, one value per row; kept apart while rows are added so no row looks up a key.
struct toc_lists {
    qvarr item, text, link, open, numbering, level, indentation, children, parent_list;

    void move_into(qvhash_array& data) {
        const auto put = [&data](std::string_view key, qvarr& list) {
            data.set_list(key, std::make_unique<qvarr>(std::move(list)));
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
    explicit indentations(const qvchar& unit) : unit_(unit) {}

    const qvval& at(int32_t depth) {
        while (static_cast<int32_t>(made_.size()) <= depth) {
            qvchar text;
            for (size_t i = 0; i < made_.size(); ++i)
                text.append(unit_);
            made_.emplace_back(text);
        }
        return made_[static_cast<size_t>(depth)];
    }

  private:
    const qvchar& unit_;
    std::vector<qvval> made_;
};

void add_item_row(toc_lists& lists, toc_node& p, int32_t row, int32_t depth, indentations& indents,
                  qvchar& parents) {
    lists.item.add(qvval(row));
    lists.text.add(qvval(p.text));
    lists.link.add(qvval(p.link));
    lists.open.add(qvval(1));
    lists.numbering.add(qvval(p.numbering));
    lists.level.add(qvval(depth));
    lists.indentation.add_copy(indents.at(depth));
    lists.children.add(qvval(p.first_child() != nullptr ? 1 : 0));
    p.render_index = static_cast<uint32_t>(row);
    parents.clear();
    for (const tree_node* a = p.parent(); a; a = a->parent()) {
        if (!parents.is_empty()) parents.push(',');
        char digits[16];
        const auto end = std::to_chars(digits, digits + sizeof digits, as_toc(a)->render_index).ptr;
        parents.append(digits, static_cast<int32_t>(end - digits));
    }
    lists.parent_list.add(qvval(parents));
}

// Ends the list of children of the item just climbed back to.
void add_close_row(toc_lists& lists, int32_t row, int32_t depth, indentations& indents) {
    const qvval empty{std::string_view()};
    lists.item.add(qvval(row));
    lists.text.add_copy(empty);
    lists.link.add_copy(empty);
    lists.open.add(qvval(0));
    lists.numbering.add_copy(empty);
    lists.level.add_copy(empty);
    lists.indentation.add_copy(indents.at(depth));
    lists.children.add(qvval(1));
    lists.parent_list.add_copy(empty);
}

}  // namespace

void fill_toc_data(TocTree& tree, toc_node* start, qvhash_array& data) {
    toc_lists lists;
    indentations indents(tree.indent);
    qvchar parents;
    int32_t row = 0;
    toc_node* p = start;
    int32_t depth = p ? TocTree::depth(*p) : 0;
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

void append_toc_comment(std::vector<qvchar>& out) {
    qvchar comment("\r\n<!--\r\nTOC is created by QORV Tocvane.\r\n");
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
    const qvhandle file = file_open(path, "r");
    if (file == invalid_handle) return;
    (void)file_close(file);
    layout.opens = true;
    FileInfo info;
    if (file_stat(info, path)) {
        layout.device = info.device;
        layout.inode = info.inode;
    }
    layout.readable = read_template_file(path, layout.text) == 0;
}

int renderToc(TocTree& tree, toc_node* start, const loaded_template& layout,
              std::vector<qvchar>& out) {
    if (!layout.opens) return template_missing;
    const size_t before = out.size();
    out.emplace_back(toc_start_marker);
    append_toc_comment(out);
    if (start) {
        qvhash_array data;
        // the items get their render index before the template is read, as through the path
        fill_toc_data(tree, start, data);
        if (!layout.readable) {
            out.resize(before);
            return template_missing;
        }
        (void)render_template_text(layout.text.view(), data, out);
    }
    out.emplace_back(toc_end_marker);
    return 0;
}

int renderToc(TocTree& tree, toc_node* start, std::string_view template_path,
              std::vector<qvchar>& out) {
    loaded_template layout;
    load_template(template_path, layout);
    return renderToc(tree, start, layout, out);
}
