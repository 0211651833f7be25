#include "template_description_box.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "qt_platform_services.h"
#include "qt_text.h"
#include "settings.h"

namespace {

constexpr int text_width = 360;

}  // namespace

TemplateDescriptionBox::TemplateDescriptionBox(QWidget* parent) : QDialog(parent) {
    text_ = new QLabel(this);
    text_->setTextFormat(Qt::PlainText);
    text_->setWordWrap(true);
    text_->setFixedWidth(text_width);
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

void TemplateDescriptionBox::set_description(std::string_view name, std::string_view text) {
    // "[*]" marks the modified flag in a window title; doubled it shows as itself
    QString caption = qt_text(name);
    caption.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    setWindowTitle(caption);
    text_->setText(qt_message_text(text));
}

void TemplateDescriptionBox::show_modal(screen_extent screen) {
    setWindowModality(Qt::ApplicationModal);
    adjustSize();
    const window_geometry place = initial_geometry({}, screen, width(), height());
    move(place.left, place.top);
    show();
    ok_->setFocus();
}

QString TemplateDescriptionBox::shown_text() const {
    return text_->text();
}
