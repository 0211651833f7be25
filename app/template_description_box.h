#pragma once

#include <QDialog>
#include <string_view>

#include "platform_services.h"

class QLabel;
class QPushButton;

// The template description box: the template's name as caption, its description word-wrapped
// as plain text, and a default OK button that closes it.
class TemplateDescriptionBox : public QDialog {
    Q_OBJECT

  public:
    explicit TemplateDescriptionBox(QWidget* parent = nullptr);

    // Ampersands in either text show as they are; CR LF, CR and LF each break a line.
    void setDescription(std::string_view name, std::string_view text);
    // Shows the box application-modal and centred on a screen of that size, without waiting
    // for it to close.
    void showModal(ScreenExtent screen);

    QString shownText() const;

  private:
    QLabel* text_;
    QPushButton* ok_;
};
