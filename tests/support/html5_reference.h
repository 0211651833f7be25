#pragma once

// What an independent HTML5 parser makes of a page, as a reference for the reader's tests.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct reference_heading {
    int level = 0;
    std::string text;  // text content, unchanged; script, style and textarea contents left out

    bool operator==(const reference_heading&) const = default;
};

// The h1-h6 elements of the HTML namespace in document order, leaving out those inside
// template, script, style and textarea.
[[nodiscard]] std::vector<reference_heading> html5_headings(std::string_view page);

// The `a` elements whose name or id starts with `anchor_prefix` that the HTML5 tree builder did
// not keep as written: nested in or around another `a`, closed without their own end tag, or
// split and rebuilt by the formatting-element rules. An empty prefix checks every `a`.
[[nodiscard]] size_t broken_links(std::string_view page, std::string_view anchor_prefix);

// The link targets of a page in document order, as an HTML5 parser reads them: "id=<value>" for
// every element's id and "name=<value>" for every `a` with a name.
[[nodiscard]] std::vector<std::string> html5_link_targets(std::string_view page);
