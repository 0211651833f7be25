#include "html_elements.h"

#include <initializer_list>

namespace {

static_assert(element_count == 89);
static_assert([] {
    for (size_t i = 0; i < element_names.size(); ++i) {
        if (element_names[i].size() > element_lookup::longest_name) return false;
        if (element_index(element_names[i]) != static_cast<int32_t>(i)) return false;
    }
    return element_index("") < 0 && element_index("h7") < 0 && element_index("tablex") < 0;
}());
static_assert(written_element_of_hash("DiV", element_lookup::hash("div")) == element_index("div") &&
              written_element_of_hash("H1", element_lookup::hash("h1")) == element_index("h1") &&
              written_element_of_hash("Tablex", element_lookup::hash("tablex")) < 0 &&
              written_element_of_hash("", element_lookup::hash("")) < 0);
static_assert(written_heading_digit("H7") == 7 && written_heading_digit("h0") == 0 &&
              written_heading_digit("hr") < 0 && written_heading_digit("h10") < 0);
static_assert(element_index("a") == 0 && element_index("h1") == 33 && element_index("p") == 61 &&
              element_index("script") == 67 && element_index("var") == 88);

// Not constexpr: a misspelt name in a table below stops the build.
void misspelt_element_name() {}

constexpr element_set set_of(std::initializer_list<std::string_view> names) {
    element_set set;
    for (std::string_view name : names) {
        const int32_t element = element_index(name);
        if (element < 0) misspelt_element_name();
        set.add(element);
    }
    return set;
}

constexpr element_set empty_set = set_of({"area", "base", "basefont", "br", "col", "frame", "hr",
                                          "img", "input", "isindex", "link", "meta", "param"});

constexpr element_set block_set =
    set_of({"h1", "h2", "h3", "h4", "h5", "h6"}) | set_of({"dir", "menu", "ol", "ul"}) |
    set_of({"address", "blockquote", "center", "div", "dl", "fieldset", "form", "hr", "isindex",
            "noframes", "noscript", "p", "pre", "table"});

using element_table = std::array<element_set, element_count>;

// Rows of the table for the named elements.
constexpr void set_rows(element_table& table, std::initializer_list<std::string_view> names,
                        const element_set& row) {
    for (std::string_view name : names)
        table[static_cast<size_t>(element_index(name))] = row;
}

constexpr element_table closed_by_table = [] {
    element_table table{};
    set_rows(table, {"p"}, block_set);
    set_rows(table, {"li"}, set_of({"li"}));
    set_rows(table, {"dd", "dt"}, set_of({"dd", "dt"}));
    set_rows(table, {"option"}, set_of({"option"}));
    set_rows(table, {"colgroup"},
             set_of({"colgroup", "tbody", "td", "tfoot", "th", "thead", "tr"}));
    set_rows(table, {"tbody", "thead", "tfoot"}, set_of({"tbody", "tfoot", "thead"}));
    set_rows(table, {"tr"}, set_of({"tbody", "tfoot", "thead", "tr"}));
    set_rows(table, {"td", "th"}, set_of({"tbody", "td", "tfoot", "th", "thead", "tr"}));
    return table;
}();

constexpr element_table closers_table = [] {
    element_table table{};
    for (int32_t open = 0; open < element_count; ++open) {
        for (int32_t start = 0; start < element_count; ++start) {
            if (closed_by_table[static_cast<size_t>(open)].contains(start))
                table[static_cast<size_t>(start)].add(open);
        }
    }
    return table;
}();

constexpr element_table scope_table = [] {
    element_table table{};
    const element_set block_scope =
        set_of({"blockquote", "body", "button", "center", "dd", "div", "fieldset", "form", "iframe",
                "li", "noframes", "noscript", "object", "td", "th"});
    for (int32_t element = 0; element < element_count; ++element) {
        if (block_set.contains(element)) table[static_cast<size_t>(element)] = block_scope;
    }
    set_rows(table, {"li"}, set_of({"dir", "menu", "ol", "ul"}));
    set_rows(table, {"dd", "dt"}, set_of({"dl"}));
    set_rows(table, {"option"}, set_of({"select"}));
    set_rows(table, {"colgroup", "tbody", "thead", "tfoot", "tr"}, set_of({"table"}));
    set_rows(table, {"td", "th"}, set_of({"table", "tr"}));
    return table;
}();

constexpr element_set no_elements{};

const element_set& row_of(const element_table& table, int32_t element) {
    return element >= 0 && element < element_count ? table[static_cast<size_t>(element)]
                                                   : no_elements;
}

}  // namespace

const element_set& empty_elements() {
    return empty_set;
}

const element_set& block_elements() {
    return block_set;
}

const element_set& closed_by(int32_t open_element) {
    return row_of(closed_by_table, open_element);
}

const element_set& closers_of(int32_t new_element) {
    return row_of(closers_table, new_element);
}

const element_set& scope_of(int32_t new_element) {
    return row_of(scope_table, new_element);
}
