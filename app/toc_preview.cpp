#include "toc_preview.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTextBrowser>
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

}  // namespace

PreviewOutcome previewToc(const toc_project& project) {
    dry_build found;
    const result done = dry_build_toc(project, found);
    PreviewOutcome outcome;
    if (!done.is_ok()) {
        outcome.message = qtText(done.message().view());
        return outcome;
    }
    // a single-file build goes on without its TOC then; the preview has nothing else to show
    if (found.toc.empty()) {
        byte_string message("Can't open template file: ");
        message.append(project.template_file);
        outcome.message = qtText(message.view());
        return outcome;
    }
    byte_string html;
    for (const byte_string& piece : found.toc)
        html.append(piece);
    outcome.ok = true;
    outcome.html = qtText(html.view());
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
    source_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
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
    return !stale_ && !timer_.isActive() && !running_.isRunning();
}

void TocPreview::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (stale_ && !timer_.isActive()) timer_.start();
}

void TocPreview::start() {
    // a running build hands over to the next when it ends; a hidden preview waits to be shown
    if (!isVisible() || running_.isRunning()) return;
    stale_ = false;
    computing_ = changes_;
    const toc_project project = project_();
    watchFiles(project);
    running_.setFuture(QtConcurrent::run(previewToc, project));
}

void TocPreview::finish() {
    if (computing_ == changes_) {
        showOutcome(running_.result());
    } else {
        start();
    }
}

void TocPreview::showOutcome(const PreviewOutcome& outcome) {
    message_->setText(outcome.message);
    message_->setVisible(!outcome.ok);
    keepScrolled(rendered_, [&] { rendered_->setHtml(outcome.html); });
    keepScrolled(source_, [&] { source_->setPlainText(outcome.html); });
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
