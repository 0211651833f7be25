#include "toc_preview.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <utility>

#include "qt_text.h"
#include "toc_build.h"

namespace {

// Typing a word is one change, not one build per key.
constexpr int pauseMs = 300;

// Replaces a view's text where the reader was: a TOC that changes a little stays in place.
template <typename view, typename setter>
void keepScrolled(view* widget, setter set) {
    const int at = widget->verticalScrollBar()->value();
    set();
    widget->verticalScrollBar()->setValue(at);
}

// A document for the views, handed to the application's thread: parsing a TOC of many thousand
// entries takes seconds, which the window's thread must not spend.
std::shared_ptr<QTextDocument> madeForViews(const QString& html, bool rendered) {
    auto* document = new QTextDocument;
    if (rendered) {
        document->setHtml(html);
    } else {
        document->setDocumentLayout(new QPlainTextDocumentLayout(document));
        document->setDefaultFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        document->setPlainText(html);
    }
    document->moveToThread(QCoreApplication::instance()->thread());
    return std::shared_ptr<QTextDocument>(document);
}

// The TOC's HTML, or the message a build gives.
bool tocHtml(const toc_project& project, QString& html, QString& message) {
    dry_build found;
    const result done = dry_build_toc(project, found);
    if (!done.is_ok()) {
        message = qtText(done.message().view());
        return false;
    }
    // a single-file build goes on without its TOC then; the preview has nothing else to show
    if (found.toc.empty()) {
        byte_string text("Can't open template file: ");
        text.append(project.template_file);
        message = qtText(text.view());
        return false;
    }
    byte_string bytes;
    for (const byte_string& piece : found.toc)
        bytes.append(piece);
    html = qtText(bytes.view());
    return true;
}

}  // namespace

PreviewOutcome previewToc(const toc_project& project) {
    PreviewOutcome outcome;
    QString html;
    outcome.ok = tocHtml(project, html, outcome.message);
    outcome.rendered = madeForViews(html, true);
    outcome.source = madeForViews(html, false);
    return outcome;
}

TocPreview::TocPreview(std::function<toc_project()> project, QWidget* parent)
    : QWidget(parent), project_(std::move(project)) {
    renderedButton_ = new QRadioButton(QStringLiteral("&Rendered"), this);
    renderedButton_->setObjectName(QStringLiteral("preview_show_rendered"));
    renderedButton_->setChecked(true);
    sourceButton_ = new QRadioButton(QStringLiteral("Sour&ce"), this);
    sourceButton_->setObjectName(QStringLiteral("preview_show_source"));
    auto* choice = new QHBoxLayout;
    choice->addWidget(renderedButton_);
    choice->addSpacing(16);
    choice->addWidget(sourceButton_);
    choice->addStretch(1);

    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("preview_message"));
    message_->setTextFormat(Qt::PlainText);
    message_->setWordWrap(true);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    message_->hide();

    rendered_ = new QTextBrowser(this);
    rendered_->setObjectName(QStringLiteral("preview_rendered"));
    // the links point into the pages, which the preview does not open
    rendered_->setOpenLinks(false);
    source_ = new QPlainTextEdit(this);
    source_->setObjectName(QStringLiteral("preview_source"));
    source_->setReadOnly(true);
    views_ = new QStackedWidget(this);
    views_->addWidget(rendered_);
    views_->addWidget(source_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(choice);
    layout->addWidget(message_);
    layout->addWidget(views_, 1);

    connect(renderedButton_, &QRadioButton::toggled, this,
            [this](bool rendered) { views_->setCurrentIndex(rendered ? 0 : 1); });
    timer_.setSingleShot(true);
    timer_.setInterval(pauseMs);
    connect(&timer_, &QTimer::timeout, this, &TocPreview::start);
    connect(&running_, &QFutureWatcher<PreviewOutcome>::finished, this, &TocPreview::finish);
    connect(&files_, &QFileSystemWatcher::fileChanged, this, &TocPreview::schedule);
}

TocPreview::~TocPreview() {
    running_.waitForFinished();
    // the views let go of the documents before they go
    rendered_->setDocument(nullptr);
    source_->setDocument(nullptr);
}

void TocPreview::schedule() {
    ++changes_;
    stale_ = true;
    timer_.start();
}

QString TocPreview::sourceText() const {
    return source_->toPlainText();
}

QString TocPreview::messageText() const {
    return message_->isVisibleTo(this) ? message_->text() : QString();
}

bool TocPreview::isSettled() const {
    return !stale_ && !timer_.isActive() && !busy_;
}

void TocPreview::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (stale_ && !timer_.isActive()) timer_.start();
}

void TocPreview::start() {
    // a running build hands over to the next when it ends; a hidden preview waits to be shown
    if (!isVisible() || busy_) return;
    stale_ = false;
    computing_ = changes_;
    const toc_project project = project_();
    watchFiles(project);
    // a large site takes a while: the pointer tells that a TOC is on its way
    views_->setCursor(Qt::BusyCursor);
    busy_ = true;
    running_.setFuture(QtConcurrent::run(previewToc, project));
}

void TocPreview::finish() {
    views_->unsetCursor();
    busy_ = false;
    if (computing_ == changes_) {
        showOutcome(running_.result());
    } else {
        start();
    }
}

void TocPreview::showOutcome(const PreviewOutcome& outcome) {
    message_->setText(outcome.message);
    message_->setVisible(!outcome.ok);
    keepScrolled(rendered_, [&] { rendered_->setDocument(outcome.rendered.get()); });
    keepScrolled(source_, [&] { source_->setDocument(outcome.source.get()); });
    shown_ = outcome;
    emit updated();
}

void TocPreview::watchFiles(const toc_project& project) {
    if (!files_.files().isEmpty()) files_.removePaths(files_.files());
    if (!files_.directories().isEmpty()) files_.removePaths(files_.directories());
    QStringList paths;
    for (const byte_string& source : project.source)
        paths += qtPath(source.view());
    paths += qtPath(project.destination.view());
    paths += qtPath(project.template_file.view());
    paths.removeAll(QString());
    paths.removeDuplicates();
    // a file that isn't there yet can't be watched; the next change of the project looks again
    if (!paths.isEmpty()) (void)files_.addPaths(paths);
}
