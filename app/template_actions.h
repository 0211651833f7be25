#pragma once

#include <cstdint>
#include <functional>

#include "byte_string.h"
#include "platform_services.h"
#include "template_catalogue.h"

class QComboBox;
class TemplateDescriptionBox;

// What the main window and the wizard do with the template catalogue.

// Empties the list and adds the catalogue's names in order.
void fillTemplateList(QComboBox& list, const TemplateCatalogue& catalogue);

// The start-up message for a catalogue that failed to load.
byte_string catalogueFailureMessage(const TemplateCatalogue& catalogue);

// Opens the description box for entry `index`; nothing without a catalogue or a selection.
void showTemplateDescription(TemplateDescriptionBox& box, const TemplateCatalogue& catalogue,
                             int32_t index, PlatformServices& services);

// Selects the template `template_file` names in `list`: the catalogue entry of its file name,
// else one custom entry after the catalogue's names, named after the file and keeping the path,
// which stays in the list when another template is chosen, until the next call.
void selectTemplate(QComboBox& list, const TemplateCatalogue& catalogue,
                    std::string_view template_file);
// The project's "template_file" for the list's selection: the custom entry's own path, else
// the catalogue's (TemplateCatalogue::projectTemplateFile).
byte_string selectedTemplateFile(const QComboBox& list, const TemplateCatalogue& catalogue);

// Opens the template at `path` in the desktop's text editor. A template the user may not change
// is first copied into `copyFolder` (made when missing; an earlier copy is kept), the user is
// told where, and `path` names the copy. False, after a message, when the copy or the editor
// fails: "Can't write to file: " with the copy, or "Can't open template file: " with the path.
bool editTemplate(byte_string& path, std::string_view copyFolder, PlatformServices& services);

// "Re-init Template Data": takes the controls into the project (so that its template_file names
// the current choice), reloads the catalogue, and on success refills `list` and shows the
// project again, which selects the same file name or entry 0. On failure the error text alone
// is shown and `list` keeps its old names while the catalogue stays absent.
bool reinitTemplateData(TemplateCatalogue& catalogue, QComboBox& list, PlatformServices& services,
                        const std::function<void()>& takeControls,
                        const std::function<void()>& showProject);
