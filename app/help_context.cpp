#include "help_context.h"

#include <QVariant>
#include <QWidget>
#include <string>

#include "platform_services.h"
#include "toc_build.h"

namespace {

constexpr const char* helpContextProperty = "help_context";

}  // namespace

byte_string helpPage(int32_t index) {
    if (index <= 0 || index >= helpPageCount) return byte_string("help.html");
    byte_string page("help/");
    page.append(std::to_string(index));
    page.append(".html");
    return page;
}

bool openHelpFile(PlatformServices& services, std::string_view programDirectory,
                  std::string_view name) {
    byte_string path(programDirectory);
    path.append(name);
    if (services.shellOpen(path.view())) return true;
    byte_string message("Can't open help file: ");
    message.append(path);
    services.warn(message.view());
    return false;
}

bool openContextHelp(PlatformServices& services, std::string_view programDirectory,
                     const QWidget* focused) {
    return openHelpFile(services, programDirectory, helpPage(helpContextOf(focused)).view());
}

bool openWebSite(PlatformServices& services) {
    if (services.shellOpen(maker_address)) return true;
    services.warn("Can't go to QORV web site");
    return false;
}

void setHelpContext(QWidget* widget, int32_t index) {
    widget->setProperty(helpContextProperty, index);
}

int32_t helpContextOf(const QWidget* widget) {
    for (; widget; widget = widget->parentWidget()) {
        const QVariant number = widget->property(helpContextProperty);
        if (number.isValid()) return number.toInt();
        // a dialog's controls do not inherit the number of the window that owns it
        if (widget->isWindow()) break;
    }
    return 0;
}
