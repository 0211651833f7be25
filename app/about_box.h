#pragma once

#include "ok_dialog.h"

// The about box: the product name, an empty version line, the legal notice, the support
// contact and where the licence lies, with a default OK button.
class AboutBox : public OkDialog {
    Q_OBJECT

  public:
    explicit AboutBox(QWidget* parent = nullptr);
};
