#pragma once

#include <QDialog>

#include "platform_services.h"

class QPushButton;

// A box of fixed size, its content above a default OK button that closes it.
class OkDialog : public QDialog {
    Q_OBJECT

  public:
    // Shows the box application-modal and centred on a screen of that size, without waiting
    // for it to close.
    void showModal(ScreenExtent screen);

  protected:
    explicit OkDialog(QWidget* parent);
    // Puts `content` above the button, once; the box's size follows it.
    void setContent(QWidget* content);

  private:
    QPushButton* ok_;
};
