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
void fill_template_list(QComboBox& list, const template_catalogue& catalogue);

// The start-up message for a catalogue that failed to load.
byte_string catalogue_failure_message(const template_catalogue& catalogue);

// Opens the description box for entry `index`; nothing without a catalogue or a selection.
void show_template_description(TemplateDescriptionBox& box, const template_catalogue& catalogue,
                               int32_t index, platform_services& services);

// Opens the template file of entry `index` with the desktop's program for it; "Can't open
// template file: " and the path when that fails. Nothing without a catalogue or a selection.
void edit_template(const template_catalogue& catalogue, int32_t index, platform_services& services);

// "Re-init Template Data": takes the controls into the project (so that its template_file names
// the current choice), reloads the catalogue, and on success refills `list` and shows the
// project again, which selects the same file name or entry 0. On failure the error text alone
// is shown and `list` keeps its old names while the catalogue stays absent.
bool reinit_template_data(template_catalogue& catalogue, QComboBox& list,
                          platform_services& services, const std::function<void()>& take_controls,
                          const std::function<void()>& show_project);
