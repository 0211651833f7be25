#include <charconv>
#include <memory>
#include <vector>

#include "files.h"
#include "render_template.h"
#include "small_heap.h"
#include "toc_build.h"

namespace {

// The rows of one rendering: an item, or the end of the list of children of the item climbed
// back to. The nine lists are worked out from them as the template reads them, so a TOC of a
// million entries costs a row each instead of nine values.
struct toc_rows {
    struct row {
        const toc_node* item = nullptr;  // null for a closing row
        int32_t depth = 0;
        int32_t parent_row = 0;  // the row of the item's parent in this rendering, or 0
    };

    const toc_tree* tree = nullptr;  // which makes the links of the anchors the build made
    std::vector<row, large_allocator<row>> rows;
    // The indentation of every depth met, made once.
    std::vector<byte_string> indentations;

    // The item's row in this rendering, or 0 for an item it has not listed.
    int32_t row_of(const toc_node& item) const {
        const uint32_t n = item.render_index;
        return n > 0 && n <= rows.size() && rows[n - 1].item == &item ? static_cast<int32_t>(n) : 0;
    }

    void add_depth(const byte_string& unit, int32_t depth) {
        while (static_cast<int32_t>(indentations.size()) <= depth) {
            byte_string text;
            for (size_t i = 0; i < indentations.size(); ++i)
                text.append(unit);
            indentations.push_back(std::move(text));
        }
    }
};

void append_row_number(byte_string& text, uint32_t n) {
    if (!text.is_empty()) text.push(',');
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    text.append(digits, static_cast<int32_t>(end - digits));
}

enum class toc_field : uint8_t {
    item,
    text,
    link,
    open,
    numbering,
    level,
    indentation,
    children,
    parent_list
};

// One of the nine lists, read from the rows; a value read stays valid until the next read.
class toc_column final : public computed_values {
  public:
    toc_column(std::shared_ptr<const toc_rows> rows, toc_field field)
        : rows_(std::move(rows)), field_(field) {}

    int32_t count() const override { return static_cast<int32_t>(rows_->rows.size()); }

    const template_value& value_at(int32_t i) const override {
        const toc_rows::row& row = rows_->rows[static_cast<size_t>(i)];
        const toc_node* item = row.item;
        switch (field_) {
            case toc_field::item:
                return number(i + 1);
            case toc_field::text:
                return view(item ? &item->text : nullptr);
            case toc_field::link:
                if (!item || !(item->made_anchor || item->made_id))
                    return view(item ? &item->link : nullptr);
                scratch_.clear();
                rows_->tree->append_link(*item, scratch_);
                return view(&scratch_);
            case toc_field::open:
                return number(item ? 1 : 0);
            case toc_field::numbering:
                scratch_.clear();
                if (item) toc_tree::append_numbering(*item, scratch_);
                return view(&scratch_);
            case toc_field::level:
                return item ? number(row.depth) : view(nullptr);
            case toc_field::indentation:
                return view(&rows_->indentations[static_cast<size_t>(row.depth)]);
            case toc_field::children:
                return number(!item || item->first_child() ? 1 : 0);
            case toc_field::parent_list:
                break;
        }
        return parent_list(row);
    }

  private:
    // Integers and texts have a value each, so an integer's text form keeps its storage.
    const template_value& number(int32_t n) const {
        number_.set_integer(n);
        return number_;
    }
    // Views the text, or the empty text for null.
    const template_value& view(const byte_string* text) const {
        text_ = text ? template_value::viewing(*text) : template_value(std::string_view());
        return text_;
    }

    // The render indices of the item's ancestors, nearest first, separated by commas. Those
    // above the rendering's start keep the index of an earlier rendering, or 0.
    const template_value& parent_list(const toc_rows::row& row) const {
        scratch_.clear();
        if (row.item) {
            const toc_node* top = row.item;
            for (int32_t r = row.parent_row; r > 0;) {
                append_row_number(scratch_, static_cast<uint32_t>(r));
                const toc_rows::row& parent = rows_->rows[static_cast<size_t>(r - 1)];
                top = parent.item;
                r = parent.parent_row;
            }
            for (const tree_node* a = top->parent(); a; a = a->parent())
                append_row_number(scratch_, as_toc(a)->render_index);
        }
        return view(&scratch_);
    }

    std::shared_ptr<const toc_rows> rows_;
    toc_field field_;
    mutable template_value number_;
    mutable template_value text_;
    // the text of a computed value
    mutable byte_string scratch_;
};

}  // namespace

void fill_toc_data(toc_tree& tree, toc_node* start, named_lists& data) {
    auto made = std::make_shared<toc_rows>();
    toc_rows& rows = *made;
    rows.tree = &tree;
    // every item from `start` on is listed at most once and closes at most one list: one
    // allocation, where growing would copy the rows and fault in fresh memory at every step
    size_t items = 0;
    for (const toc_node* item = start; item; item = toc_tree::next(item))
        ++items;
    rows.rows.reserve(2 * items);
    toc_node* p = start;
    int32_t depth = p ? toc_tree::depth(*p) : 0;
    int32_t parent_row = 0;
    while (p) {
        rows.add_depth(tree.indent, depth);
        rows.rows.push_back({p, depth, parent_row});
        p->render_index = static_cast<uint32_t>(rows.rows.size());
        if (p->first_child()) {
            ++depth;
            parent_row = static_cast<int32_t>(p->render_index);
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
            const int32_t climbed_to = rows.row_of(*p);
            parent_row =
                climbed_to > 0 ? rows.rows[static_cast<size_t>(climbed_to - 1)].parent_row : 0;
            rows.rows.push_back({nullptr, depth, 0});
        }
        if (p) p = as_toc(p->next());
    }
    static constexpr std::pair<std::string_view, toc_field> fields[] = {
        {"item", toc_field::item},
        {"text", toc_field::text},
        {"link", toc_field::link},
        {"open", toc_field::open},
        {"numbering", toc_field::numbering},
        {"level", toc_field::level},
        {"indentation", toc_field::indentation},
        {"children", toc_field::children},
        {"parent_list", toc_field::parent_list},
    };
    for (const auto& [key, field] : fields)
        data.set_list(key, std::make_unique<value_list>(std::make_unique<toc_column>(made, field)));
}

namespace {

// What follows the start marker of every TOC.
const byte_string& toc_comment() {
    static const byte_string comment = [] {
        byte_string text("\r\n<!--\r\nTOC is created by QORV Tocvane.\r\n");
        text.append(maker_address);
        text.append(
            "\r\n*Do not edit or delete* start and end tags wrapped within HTML comments.\r\n"
            "If you need to edit TOC, just regenerate it using the same project.\r\n-->\r\n");
        return text;
    }();
    return comment;
}

}  // namespace

void prepared_template_deleter::operator()(prepared_template* prepared) const {
    delete prepared;
}

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

bool renders_toc(const loaded_template& layout, const toc_node* start) {
    return layout.opens && (!start || layout.readable);
}

void render_toc(toc_tree& tree, toc_node* start, const loaded_template& layout,
                const byte_sink& out) {
    out(toc_start_marker);
    out(toc_comment().view());
    if (start) {
        named_lists data;
        fill_toc_data(tree, start, data);
        if (!layout.prepared || layout.prepared->text() != layout.text.view())
            layout.prepared.reset(new prepared_template(layout.text.view()));
        (void)layout.prepared->render(data, out);
    }
    out(toc_end_marker);
}
