#include "wizard_flow.h"

namespace {

constexpr std::string_view next = "Next >";
constexpr std::string_view finish = "Finish";
constexpr std::string_view close = "Close";

constexpr std::string_view welcome_help =
    "You can create new TOC project which will generate a table of contents for one or more "
    "files, or can use your previous projects.";
constexpr std::string_view mode_help =
    "If you have just one HTML file which needs the TOC, then select the first option. If you "
    "have several HTML files which need to have common TOC then use the second option.";
constexpr std::string_view single_source_help =
    "Source file is that file for which you need to generate TOC. The result file will contain "
    "all original stuff and the TOC generated. You can overwrite the source or make a new file if "
    "you don't want to change the original.";
constexpr std::string_view multi_sources_help =
    "All files, which will share the common TOC, must be on the same disk drive (such as 'C:' or "
    "'D:'). This is needed because the program always creates relative HTML links. If you select "
    "files from different disk drives, then you will get an error at the moment of TOC "
    "generation.\r\nNote that all source files will be modified a little in order to provide "
    "named anchors, numbering or attributes as defined by the settings you will set "
    "further.\r\nYou can drag and drop items to change their order. Use DEL key to delete items. "
    "When you add files, they are checked for duplicates.";
constexpr std::string_view destination_help =
    "Destination file is the file which will hold the TOC made. It also must be on the same disk "
    "drive (such as 'C:' or 'D:') where the source files are located. You can use an existing "
    "file, and the program will insert TOC there, or the program will generate a new file "
    "consisting of the TOC only. In the latter case, type a new name either in text box or in "
    "'file save as' dialog.";
constexpr std::string_view range_help =
    "Just headings of the selected range will create TOC entries. Headings which don't fall into "
    "the range specified will be ignored by the program. Each TOC item will be linked to a named "
    "anchor inside the heading.\r\nIn the case of multiple files you can also use page titles "
    "[<title> tags] as the TOC items. Titles will be linked to the file as a whole. Titles take "
    "the priority over header tags, you can think of them as <H0> tags.";
constexpr std::string_view style_help =
    "Named anchors' attributes are inserted into generated named anchors only, existing named "
    "anchors are not modified. You can provide several attributes.\r\nIndent is needed only for "
    "TOC templates that are based on indent value such as Indent based tree and Pure text. Indent "
    "is not inserted for TOC items that are on the 0th level (have no parents), applied once for "
    "items on the 1st level (direct children of the 0th level items), applied twice to their "
    "children, and so forth.";
constexpr std::string_view template_help =
    "Template determines the style of the generated TOC. There are several templates to choose "
    "from. You can see the description of each template using the link.\r\nTemplate influences "
    "just TOC, and doesn't do anything to original HTML.";
constexpr std::string_view finished_help = "Click 'Close' button";
constexpr std::string_view open_help = "Open project file and then click 'Finish' button.";

page_flow with_back(page_flow flow, wizard_page back) {
    flow.has_back = true;
    flow.back = back;
    return flow;
}

}  // namespace

bool single_source_complete(const wizard_state& state) {
    return !state.source.is_empty() &&
           (state.overwrite_source || !state.single_destination.is_empty());
}

page_flow wizard_flow(wizard_page page, const wizard_state& state) {
    using enum wizard_page;
    switch (page) {
        case welcome:
            return {"Welcome to the project wizard",
                    welcome_help,
                    next,
                    true,
                    forward_action::go,
                    state.new_project ? mode : open_project};
        case mode:
            return {"Generate table of contents for",
                    mode_help,
                    next,
                    true,
                    forward_action::go,
                    state.single_file ? single_source : multi_sources};
        case single_source:
            return with_back(
                {"Select HTML file for which you need to create TOC", single_source_help, next,
                 single_source_complete(state), forward_action::go, range},
                mode);
        case multi_sources:
            return with_back(
                {"Select HTML files for which you need to create TOC", multi_sources_help, next,
                 !state.sources.empty(), forward_action::go, destination},
                mode);
        case destination:
            return with_back({"Create or select the file that will hold TOC", destination_help,
                              next, !state.multi_destination.is_empty(), forward_action::go, range},
                             multi_sources);
        case range:
            return with_back(
                {"Select range of headings", range_help, next, true, forward_action::go, style},
                state.single_file ? single_source : destination);
        case style:
            return with_back(
                {"Set style options", style_help, next, true, forward_action::go, template_choice},
                range);
        case template_choice:
            return with_back({"Select TOC template", template_help, finish, true,
                              forward_action::finish_new, finished},
                             style);
        case finished:
            return with_back(
                {"You are finished", finished_help, close, true, forward_action::close, finished},
                template_choice);
        case open_project:
            return with_back(
                {"Open already created TOC project", open_help, finish,
                 !state.project_file.is_empty(), forward_action::finish_open, open_project},
                welcome);
    }
    return {};
}

void take_wizard_into_project(const wizard_state& state, const template_catalogue& catalogue,
                              toc_project& project) {
    project.is_single = state.single_file;
    project.source.clear();
    if (state.single_file) {
        project.source.push_back(state.source);
        project.destination = state.single_destination;
    } else {
        project.source = state.sources;
        project.destination = state.multi_destination;
    }
    // stored for multiple files too, where only a single-file build reads it
    project.is_dest_as_source = state.overwrite_source;
    project.range_from = state.range_from + 1;
    project.range_to = state.range_to + 1;
    project.named_anchor_attributes = state.anchor_attributes;
    project.process_title = state.process_title;
    project.process_numbering = state.process_numbering;
    project.template_file = catalogue.project_template_file(state.template_index);
    project.insert_local_toc = state.insert_local_toc;
    project.indent = state.indent;
    project.normalize();
    project.normalize_anchor_attributes();
}
