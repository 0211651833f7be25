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

// Opens the template file of entry `index` with the desktop's program for it; "Can't open
// template file: " and the path when that fails. Nothing without a catalogue or a selection.
void editTemplate(const TemplateCatalogue& catalogue, int32_t index, PlatformServices& services);

// "Re-init Template Data": takes the controls into the project (so that its template_file names
// the current choice), reloads the catalogue, and on success refills `list` and shows the
// project again, which selects the same file name or entry 0. On failure the error text alone
// is shown and `list` keeps its old names while the catalogue stays absent.
bool reinitTemplateData(TemplateCatalogue& catalogue, QComboBox& list, PlatformServices& services,
                        const std::function<void()>& takeControls,
                        const std::function<void()>& showProject);
