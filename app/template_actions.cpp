#include "template_actions.h"

#include <QComboBox>

#include "qt_text.h"
#include "template_description_box.h"

void fill_template_list(QComboBox& list, const template_catalogue& catalogue) {
    list.clear();
    for (const byte_string& name : catalogue.names())
        list.addItem(qt_text(name.view()));
}

byte_string catalogue_failure_message(const template_catalogue& catalogue) {
    byte_string message("Error occurred when parsing templates.txt file:\r\n");
    message.append(catalogue.error_text());
    message.append("\r\n\r\nApplication is terminating.");
    return message;
}

void show_template_description(TemplateDescriptionBox& box, const template_catalogue& catalogue,
                               int32_t index, platform_services& services) {
    byte_string text;
    if (!catalogue.description(index, text)) return;
    box.set_description(catalogue.names()[index].view(), text.view());
    box.show_modal(services.screen_size());
}

void edit_template(const template_catalogue& catalogue, int32_t index,
                   platform_services& services) {
    const byte_string path = catalogue.template_path(index);
    if (path.is_empty()) return;
    if (services.shell_open(path.view())) return;
    byte_string message("Can't open template file: ");
    message.append(path);
    services.warn(message.view());
}

bool reinit_template_data(template_catalogue& catalogue, QComboBox& list,
                          platform_services& services, const std::function<void()>& take_controls,
                          const std::function<void()>& show_project) {
    take_controls();
    if (!catalogue.load()) {
        services.warn(catalogue.error_text().view());
        return false;
    }
    fill_template_list(list, catalogue);
    show_project();
    return true;
}
