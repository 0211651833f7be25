#include "template_description_box.h"

#include <QLabel>

#include "qt_platform_services.h"
#include "qt_text.h"

namespace {

constexpr int textWidth = 360;

}  // namespace

TemplateDescriptionBox::TemplateDescriptionBox(QWidget* parent) : OkDialog(parent) {
    text_ = new QLabel(this);
    text_->setTextFormat(Qt::PlainText);
    text_->setWordWrap(true);
    text_->setFixedWidth(textWidth);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    setContent(text_);
}

void TemplateDescriptionBox::setDescription(std::string_view name, std::string_view text) {
    setWindowTitle(qtWindowTitle(qtText(name)));
    text_->setText(qtMessageText(text));
}

QString TemplateDescriptionBox::shownText() const {
    return text_->text();
}
