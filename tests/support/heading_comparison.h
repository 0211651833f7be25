#pragma once

// Compares the headings the build lists for a page with those an HTML5 parser sees.

#include <string>
#include <string_view>

// Empty when the heading scan lists exactly the headings of html5_headings (levels 1 to 6, in
// order, texts compared after decoding references and collapsing white space); otherwise what
// differs. Differences the reader keeps on purpose are not reported (see the definition); a
// page that falls under one in a way the comparison can't isolate gives "skipped: <why>".
std::string heading_differences(std::string_view page);
