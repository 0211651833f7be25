#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "foundation/output_file.h"
#include "foundation/qvchar.h"
#include "foundation/qve_tree.h"
#include "toc/heading_scan.h"
#include "toc/toc_project.h"
#include "toc/toc_tree.h"

using progress_callback = void (*)(int32_t percent, void* data);

constexpr int template_missing = 800;

// Renders the items from `start` on through the template between the marker comments, appending
// the pieces to `out`. 800 when the template can't be opened; nothing is added then.
[[nodiscard]] int renderToc(TocTree& tree, toc_node* start, std::string_view template_path,
                            std::vector<qvchar>& out);
// Writes the document's raw texts, dropping an old TOC between both markers and putting `toc`
// (when given) after the insertion node.
void writeDocument(const qve_tree& document, const located_nodes& located,
                   const std::vector<qvchar>* toc, output_file& out);
// Builds the project's TOC: 0 success, 1 failed check or file, 2 a source failed in multi mode.
[[nodiscard]] int buildToc(TocProject& project, progress_callback callback, void* data);
// Removes the TOC, the program's anchors and (with numbering on) the heading numbers.
[[nodiscard]] int clearToc(TocProject& project, progress_callback callback, void* data);
