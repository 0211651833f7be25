#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "byte_string.h"
#include "template_catalogue.h"
#include "toc_project.h"

// The pages of the project wizard, the way they lead to each other, and what a finished wizard
// puts into a project. Nothing here needs a widget.

enum class wizard_page {
    welcome,
    mode,
    single_source,
    multi_sources,
    destination,
    range,
    style,
    template_choice,
    finished,
    open_project,
};
constexpr int32_t wizard_page_count = 10;

// What the forward button does on a page.
enum class forward_action {
    go,           // shows the page `forward`
    finish_new,   // takes the wizard into the project, then shows `forward`
    close,        // closes the wizard
    finish_open,  // opens the project file named on the Open page
};

// Everything the user can set in the wizard. The member defaults are the values after a reset.
struct wizard_state {
    bool new_project = true;  // "New TOC project", else "Open existing TOC project"
    bool single_file = true;
    byte_string source;  // Single source page
    bool overwrite_source = true;
    byte_string single_destination;
    std::vector<byte_string> sources;  // Multiple sources page, in list order
    byte_string multi_destination;     // Destination page
    int32_t range_from = 0;            // list index: 0 is "<H1>"; -1 without a selection
    int32_t range_to = 5;
    bool process_title = false;
    bool process_numbering = true;
    bool insert_local_toc = false;
    byte_string anchor_attributes;
    byte_string indent;
    int32_t template_index = 0;  // -1 without a selection
    byte_string project_file;    // Open page; emptied whenever that page is shown
};

// How one page looks and where its buttons lead.
struct page_flow {
    std::string_view title;  // the band above the page
    std::string_view help;   // the quick-help box; CR LF breaks a line
    std::string_view forward_caption;
    bool forward_enabled = true;
    forward_action action = forward_action::go;
    wizard_page forward = wizard_page::welcome;
    bool has_back = false;  // the back button is hidden without a target
    wizard_page back = wizard_page::welcome;
};

// The page's title, help, buttons and targets for the current choices.
page_flow wizard_flow(wizard_page page, const wizard_state& state);

// The single-source rule: a source is named, and it is either overwritten or a destination is
// named.
bool single_source_complete(const wizard_state& state);

// The finished wizard as the project's settings: mode, sources and destination of the chosen
// mode, heading range, style and the template's path in the catalogue; then normalised. Nothing
// else of `project` is kept.
void take_wizard_into_project(const wizard_state& state, const template_catalogue& catalogue,
                              toc_project& project);
