#include "template_actions.h"

#include <unistd.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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

void selectTemplate(QComboBox& list, const TemplateCatalogue& catalogue,
                    std::string_view template_file) {
    for (int i = list.count() - 1; i >= catalogue.count(); --i) {
        if (list.itemData(i).isValid()) list.removeItem(i);
    }
    if (!catalogue.isLoaded() || template_file.empty() ||
        catalogue.findByPath(template_file) >= 0) {
        list.setCurrentIndex(catalogue.selectByPath(template_file));
        return;
    }
    const QFileInfo file(qtPath(template_file));
    list.addItem(file.fileName(), file.filePath());
    list.setCurrentIndex(list.count() - 1);
}

byte_string selectedTemplateFile(const QComboBox& list, const TemplateCatalogue& catalogue) {
    const QVariant own = list.currentData();
    if (own.isValid()) return plainPath(own.toString());
    return catalogue.projectTemplateFile(list.currentIndex());
}

namespace {

// Copies `from` to `to` through a temporary file, so that no half copy is left behind; the
// copy may be read by those who may read the original and changed by its owner.
bool copyTemplate(const QString& from, const QString& to) {
    QFile source(from);
    QSaveFile copy(to);
    if (!source.open(QIODevice::ReadOnly) || !copy.open(QIODevice::WriteOnly)) return false;
    copy.setDirectWriteFallback(false);
    const QByteArray bytes = source.readAll();
    if (source.error() != QFileDevice::NoError || copy.write(bytes) != bytes.size()) {
        copy.cancelWriting();
        return false;
    }
    if (!copy.commit()) return false;
    return QFile::setPermissions(
        to, (source.permissions() &
             (QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther)) |
                QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

// Whether the permission bits let this user change the file. Read by the bits, not by access(),
// so that a template installed read-only is copied for root as well.
bool mayChange(const QFileInfo& file) {
    if (file.ownerId() == ::geteuid()) return file.permission(QFileDevice::WriteOwner);
    if (file.groupId() == ::getegid()) return file.permission(QFileDevice::WriteGroup);
    return file.permission(QFileDevice::WriteOther);
}

}  // namespace

bool editTemplate(byte_string& path, std::string_view copyFolder, PlatformServices& services) {
    const QFileInfo file(qtPath(path.view()));
    if (file.exists() && !mayChange(file) && !copyFolder.empty()) {
        const QString folder = qtPath(copyFolder);
        const QString copy = QDir(folder).filePath(file.fileName());
        if (!QFileInfo::exists(copy) &&
            (!QDir().mkpath(folder) || !copyTemplate(file.filePath(), copy))) {
            byte_string message("Can't write to file: ");
            message.append(plainPath(copy));
            services.warn(message.view());
            return false;
        }
        path = plainPath(copy);
        byte_string message("The template is copied for editing to: ");
        message.append(path);
        services.warn(message.view());
    }
    if (services.openInEditor(path.view())) return true;
    byte_string message("Can't open template file: ");
    message.append(path);
    services.warn(message.view());
    return false;
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
