#include "template_description_box.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "qt_platform_services.h"
#include "qt_text.h"
#include "settings.h"

namespace {

constexpr int textWidth = 360;

}  // namespace

TemplateDescriptionBox::TemplateDescriptionBox(QWidget* parent) : QDialog(parent) {
    text_ = new QLabel(this);
    text_->setTextFormat(Qt::PlainText);
    text_->setWordWrap(true);
    text_->setFixedWidth(textWidth);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    ok_->setText(QStringLiteral("OK"));
    ok_->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    layout->addWidget(buttons);
    // fixed size: the box follows its text and cannot be resized
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TemplateDescriptionBox::setDescription(std::string_view name, std::string_view text) {
    // "[*]" marks the modified flag in a window title; doubled it shows as itself
    QString caption = qtText(name);
    caption.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    setWindowTitle(caption);
    text_->setText(qtMessageText(text));
}

void TemplateDescriptionBox::showModal(ScreenExtent screen) {
    setWindowModality(Qt::ApplicationModal);
    adjustSize();
    const WindowGeometry place = initialGeometry({}, screen, width(), height());
    move(place.left, place.top);
    show();
    ok_->setFocus();
}

QString TemplateDescriptionBox::shownText() const {
    return text_->text();
}
