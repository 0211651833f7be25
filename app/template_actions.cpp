#include "template_actions.h"

#include <QComboBox>

#include "qt_text.h"
#include "template_description_box.h"

void fillTemplateList(QComboBox& list, const TemplateCatalogue& catalogue) {
    list.clear();
    for (const byte_string& name : catalogue.names())
        list.addItem(qtText(name.view()));
}

byte_string catalogueFailureMessage(const TemplateCatalogue& catalogue) {
    byte_string message("Error occurred when parsing templates.txt file:\r\n");
    message.append(catalogue.errorText());
    message.append("\r\n\r\nApplication is terminating.");
    return message;
}

void showTemplateDescription(TemplateDescriptionBox& box, const TemplateCatalogue& catalogue,
                             int32_t index, PlatformServices& services) {
    byte_string text;
    if (!catalogue.description(index, text)) return;
    box.setDescription(catalogue.names()[index].view(), text.view());
    box.showModal(services.screenSize());
}

void editTemplate(const TemplateCatalogue& catalogue, int32_t index, PlatformServices& services) {
    const byte_string path = catalogue.templatePath(index);
    if (path.is_empty()) return;
    if (services.shellOpen(path.view())) return;
    byte_string message("Can't open template file: ");
    message.append(path);
    services.warn(message.view());
}

bool reinitTemplateData(TemplateCatalogue& catalogue, QComboBox& list, PlatformServices& services,
                        const std::function<void()>& takeControls,
                        const std::function<void()>& showProject) {
    takeControls();
    if (!catalogue.load()) {
        services.warn(catalogue.errorText().view());
        return false;
    }
    fillTemplateList(list, catalogue);
    showProject();
    return true;
}
