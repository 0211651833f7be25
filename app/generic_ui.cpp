#include "generic_ui.h"

#include <QVariant>
#include <QWidget>
#include <string>

#include "toc_build.h"

namespace {

constexpr const char* help_context_property = "help_context";

}  // namespace

qorv_generic_ui_class::qorv_generic_ui_class(platform_services& services, QWidget* parent)
    : QMainWindow(parent), services_(services) {
    build_help_table();
}

void qorv_generic_ui_class::set_program_directory(std::string_view directory) {
    program_directory_ = byte_string(directory);
    if (!program_directory_.is_empty() && !program_directory_.ends_with("/")) {
        program_directory_.push('/');
    }
}

void qorv_generic_ui_class::build_help_table() {
    help_pages_[0] = byte_string("help.html");
    for (int32_t index = 1; index < help_page_count; ++index) {
        byte_string& page = help_pages_[index];
        page = byte_string("help/");
        page.append(std::to_string(index));
        page.append(".html");
    }
}

const byte_string& qorv_generic_ui_class::help_page(int32_t index) const {
    return help_pages_[index < 0 || index >= help_page_count ? 0 : index];
}

bool qorv_generic_ui_class::open_help_file(std::string_view name) {
    byte_string path(program_directory_);
    path.append(name);
    if (services_.shell_open(path.view())) return true;
    byte_string message("Can't open help file: ");
    message.append(path);
    services_.warn(message.view());
    return false;
}

bool qorv_generic_ui_class::open_help(int32_t index) {
    return open_help_file(help_page(index).view());
}

bool qorv_generic_ui_class::open_context_help(const QWidget* focused) {
    return open_help(help_context_of(focused));
}

bool qorv_generic_ui_class::open_web_site() {
    if (services_.shell_open(maker_address)) return true;
    services_.warn("Can't go to QORV web site");
    return false;
}

void qorv_generic_ui_class::set_help_context(QWidget* widget, int32_t index) {
    widget->setProperty(help_context_property, index);
}

int32_t qorv_generic_ui_class::help_context_of(const QWidget* widget) {
    for (; widget; widget = widget->parentWidget()) {
        const QVariant number = widget->property(help_context_property);
        if (number.isValid()) return number.toInt();
        // a dialog's controls do not inherit the number of the window that owns it
        if (widget->isWindow()) break;
    }
    return 0;
}
