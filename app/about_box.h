#pragma once

#include <QDialog>

#include "platform_services.h"

class QPushButton;

// The about box: the product name, an empty version line, the legal notice, the support
// contact and where the licence lies, with a default OK button.
class AboutBox : public QDialog {
    Q_OBJECT

  public:
    explicit AboutBox(QWidget* parent = nullptr);

    // Shows the box application-modal and centred on a screen of that size, without waiting
    // for it to close.
    void showModal(ScreenExtent screen);

  private:
    QPushButton* ok_;
};
