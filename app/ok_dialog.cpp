#include "ok_dialog.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "settings.h"

OkDialog::OkDialog(QWidget* parent) : QDialog(parent) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    ok_->setText(QStringLiteral("OK"));
    ok_->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buttons);
    // fixed size: the box follows its content and cannot be resized
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void OkDialog::setContent(QWidget* content) {
    static_cast<QVBoxLayout*>(layout())->insertWidget(0, content);
}

void OkDialog::showModal(ScreenExtent screen) {
    setWindowModality(Qt::ApplicationModal);
    adjustSize();
    const WindowGeometry place = initialGeometry({}, screen, width(), height());
    move(place.left, place.top);
    show();
    ok_->setFocus();
}
