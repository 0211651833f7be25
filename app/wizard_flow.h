#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "byte_string.h"
#include "template_catalogue.h"
#include "toc_project.h"

// The pages of the project wizard, the way they lead to each other, and what a finished wizard
// puts into a project. Nothing here needs a widget.

enum class WizardPage {
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
constexpr int32_t wizardPageCount = 10;

// What the forward button does on a page.
enum class ForwardAction {
    go,           // shows the page `forward`
    finish_new,   // takes the wizard into the project, then shows `forward`
    close,        // closes the wizard
    finish_open,  // opens the project file named on the Open page
};

// Everything the user can set in the wizard. The member defaults are the values after a reset.
struct WizardState {
    bool newProject = true;  // "New TOC project", else "Open existing TOC project"
    bool singleFile = true;
    byte_string source;  // Single source page
    bool overwriteSource = true;
    byte_string singleDestination;
    std::vector<byte_string> sources;  // Multiple sources page, in list order
    byte_string multiDestination;      // Destination page
    int32_t rangeFrom = 0;             // list index: 0 is "<H1>"; -1 without a selection
    int32_t rangeTo = 5;
    bool processTitle = false;
    bool processNumbering = true;
    bool insertLocalToc = false;
    anchor_kind anchorStyle = anchor_kind::name;
    byte_string anchorAttributes;
    byte_string indent;
    int32_t templateIndex = 0;  // -1 without a selection
    byte_string projectFile;    // Open page; emptied whenever that page is shown
};

// How one page looks and where its buttons lead.
struct PageFlow {
    std::string_view title;  // the band above the page
    std::string_view help;   // the quick-help box; CR LF breaks a line
    std::string_view forwardCaption;
    bool forwardEnabled = true;
    ForwardAction action = ForwardAction::go;
    WizardPage forward = WizardPage::welcome;
    bool hasBack = false;  // the back button is hidden without a target
    WizardPage back = WizardPage::welcome;
};

// The page's title, help, buttons and targets for the current choices.
PageFlow wizardFlow(WizardPage page, const WizardState& state);

// The single-source rule: a source is named, and it is either overwritten or a destination is
// named.
bool singleSourceComplete(const WizardState& state);

// The finished wizard as the project's settings: mode, sources and destination of the chosen
// mode, heading range, style and the template's path in the catalogue; then normalised. Nothing
// else of `project` is kept.
void takeWizardIntoProject(const WizardState& state, const TemplateCatalogue& catalogue,
                           toc_project& project);
