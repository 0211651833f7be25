#pragma once

#include <string_view>

#include "ok_dialog.h"

class QLabel;

// The template description box: the template's name as caption, its description word-wrapped
// as plain text, and a default OK button that closes it.
class TemplateDescriptionBox : public OkDialog {
    Q_OBJECT

  public:
    explicit TemplateDescriptionBox(QWidget* parent = nullptr);

    // Ampersands in either text show as they are; CR LF, CR and LF each break a line.
    void setDescription(std::string_view name, std::string_view text);

    QString shownText() const;

  private:
    QLabel* text_;
};
