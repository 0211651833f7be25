#include "about_box.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

namespace {

constexpr int textWidth = 300;

QLabel* plainLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

}  // namespace

AboutBox::AboutBox(QWidget* parent) : OkDialog(parent) {
    setWindowTitle(QStringLiteral("About"));

    auto* picture = new QLabel(this);
    picture->setPixmap(QPixmap(QStringLiteral(":/icons/build@2x.png")));
    picture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto* product = plainLabel(QStringLiteral("Tocvane 2.0"), this);
    QFont large = product->font();
    large.setBold(true);
    large.setPointSizeF(large.pointSizeF() * 1.4);
    product->setFont(large);
    auto* version = plainLabel(QString(), this);
    auto* legal = plainLabel(QStringLiteral("Copyright \u00A9 the Tocvane developers"), this);
    auto* support = plainLabel(QStringLiteral("Support: the Support page in the Help menu"), this);
    auto* comment = plainLabel(QStringLiteral("Legal agreement is in license.txt file."), this);
    comment->setWordWrap(true);

    auto* lines = new QVBoxLayout;
    lines->addWidget(product);
    lines->addWidget(version);
    lines->addWidget(legal);
    lines->addWidget(support);
    lines->addSpacing(8);
    lines->addWidget(comment);
    for (QLabel* label : {product, legal, support, comment})
        label->setMinimumWidth(textWidth);

    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::StyledPanel);
    auto* framed = new QHBoxLayout(frame);
    framed->addWidget(picture);
    framed->addSpacing(8);
    framed->addLayout(lines, 1);

    setContent(frame);
}
