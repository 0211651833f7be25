#include "wizard_flow.h"

namespace {

constexpr std::string_view next = "Next >";
constexpr std::string_view finish = "Finish";
constexpr std::string_view close = "Close";

constexpr std::string_view welcomeHelp =
    "You can create new TOC project which will generate a table of contents for one or more "
    "files, or can use your previous projects.";
constexpr std::string_view modeHelp =
    "If you have just one HTML file which needs the TOC, then select the first option. If you "
    "have several HTML files which need to have common TOC then use the second option.";
constexpr std::string_view singleSourceHelp =
    "Source file is that file for which you need to generate TOC. The result file will contain "
    "all original stuff and the TOC generated. You can overwrite the source or make a new file if "
    "you don't want to change the original.";
constexpr std::string_view multiSourcesHelp =
    "The links of the common TOC lead from the destination file to each source file relative to "
    "its folder, so keep the files together in one folder tree when you move or publish "
    "them.\r\nNote that all source files will be modified a little in order to provide named "
    "anchors, numbering or attributes as defined by the settings you will set further.\r\nYou "
    "can drag and drop items to change their order. Use the Delete key to delete items. When you "
    "add files, they are checked for duplicates.";
constexpr std::string_view destinationHelp =
    "Destination file is the file which will hold the TOC made. Choose it in the same folder tree "
    "as the source files, since its links to them are relative. You can use an existing file, "
    "and the program will insert TOC there, or the program will generate a new file consisting of "
    "the TOC only. In the latter case, click 'Select or create' and type a new name in the "
    "dialog.";
constexpr std::string_view rangeHelp =
    "Just headings of the selected range will create TOC entries. Headings which don't fall into "
    "the range specified will be ignored by the program. Each TOC item will be linked to a named "
    "anchor inside the heading.\r\nIn the case of multiple files you can also use page titles "
    "[<title> tags] as the TOC items. Titles will be linked to the file as a whole. Titles take "
    "the priority over header tags, you can think of them as <H0> tags.";
constexpr std::string_view styleHelp =
    "Named anchors' attributes are inserted into generated named anchors only, existing named "
    "anchors are not modified. You can provide several attributes.\r\nIndent is needed only for "
    "TOC templates that are based on indent value such as Indented links and Plain text. Indent "
    "is not inserted for TOC items that are on the 0th level (have no parents), applied once for "
    "items on the 1st level (direct children of the 0th level items), applied twice to their "
    "children, and so forth.";
constexpr std::string_view templateHelp =
    "Template determines the style of the generated TOC. There are several templates to choose "
    "from. You can see the description of each template using the link.\r\nTemplate influences "
    "just TOC, and doesn't do anything to original HTML.";
constexpr std::string_view finishedHelp = "Click 'Close' button";
constexpr std::string_view openHelp = "Open project file and then click 'Finish' button.";

PageFlow withBack(PageFlow flow, WizardPage back) {
    flow.hasBack = true;
    flow.back = back;
    return flow;
}

}  // namespace

bool singleSourceComplete(const WizardState& state) {
    return !state.source.is_empty() &&
           (state.overwriteSource || !state.singleDestination.is_empty());
}

PageFlow wizardFlow(WizardPage page, const WizardState& state) {
    using enum WizardPage;
    switch (page) {
        case welcome:
            return {
                "Welcome to the project wizard",       welcomeHelp, next, true, ForwardAction::go,
                state.newProject ? mode : open_project};
        case mode:
            return {"Generate table of contents for",
                    modeHelp,
                    next,
                    true,
                    ForwardAction::go,
                    state.singleFile ? single_source : multi_sources};
        case single_source:
            return withBack({"Select HTML file for which you need to create TOC", singleSourceHelp,
                             next, singleSourceComplete(state), ForwardAction::go, range},
                            mode);
        case multi_sources:
            return withBack({"Select HTML files for which you need to create TOC", multiSourcesHelp,
                             next, !state.sources.empty(), ForwardAction::go, destination},
                            mode);
        case destination:
            return withBack({"Create or select the file that will hold TOC", destinationHelp, next,
                             !state.multiDestination.is_empty(), ForwardAction::go, range},
                            multi_sources);
        case range:
            return withBack(
                {"Select range of headings", rangeHelp, next, true, ForwardAction::go, style},
                state.singleFile ? single_source : destination);
        case style:
            return withBack(
                {"Set style options", styleHelp, next, true, ForwardAction::go, template_choice},
                range);
        case template_choice:
            return withBack({"Select TOC template", templateHelp, finish, true,
                             ForwardAction::finish_new, finished},
                            style);
        case finished:
            return withBack(
                {"You are finished", finishedHelp, close, true, ForwardAction::close, finished},
                template_choice);
        case open_project:
            return withBack(
                {"Open already created TOC project", openHelp, finish,
                 !state.projectFile.is_empty(), ForwardAction::finish_open, open_project},
                welcome);
    }
    return {};
}

void takeWizardIntoProject(const WizardState& state, const TemplateCatalogue& catalogue,
                           toc_project& project) {
    project.is_single = state.singleFile;
    project.source.clear();
    if (state.singleFile) {
        project.source.push_back(state.source);
        project.destination = state.singleDestination;
    } else {
        project.source = state.sources;
        project.destination = state.multiDestination;
    }
    // stored for multiple files too, where only a single-file build reads it
    project.is_dest_as_source = state.overwriteSource;
    project.range_from = state.rangeFrom + 1;
    project.range_to = state.rangeTo + 1;
    project.named_anchor_attributes = state.anchorAttributes;
    project.anchor_style = state.anchorStyle;
    project.process_title = state.processTitle;
    project.process_numbering = state.processNumbering;
    project.template_file = catalogue.projectTemplateFile(state.templateIndex);
    project.insert_local_toc = state.insertLocalToc;
    project.indent = state.indent;
    project.normalize();
    project.normalize_anchor_attributes();
}
