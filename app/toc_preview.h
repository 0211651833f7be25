#pragma once

#include <QFileSystemWatcher>
#include <QFutureWatcher>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

#include "toc_project.h"

class QLabel;
class QPlainTextEdit;
class QRadioButton;
class QStackedWidget;
class QTextBrowser;
class QTextDocument;

// What the preview shows of one build in memory: the TOC rendered and as HTML source, or the
// message the build gave and two empty documents.
struct PreviewOutcome {
    bool ok = false;
    QString message;
    std::shared_ptr<QTextDocument> rendered;
    std::shared_ptr<QTextDocument> source;  // laid out as plain text
};

// Runs the build of `project` in memory (dry_build_toc) and lays out the TOC it would insert;
// the documents belong to the application's thread, so that a worker thread may make them.
PreviewOutcome previewToc(const toc_project& project);

// The TOC that the project would get, shown rendered or as HTML source. It is computed by a
// build in memory on a worker thread, about 300 ms after the last change, and only while the
// preview is visible; a change seen meanwhile is computed once the preview shows again. No file
// is written.
class TocPreview : public QWidget {
    Q_OBJECT

  public:
    // `project` gives the project as a build would take it now.
    TocPreview(std::function<toc_project()> project, QWidget* parent = nullptr);
    // Waits for a running computation.
    ~TocPreview() override;
    TocPreview(const TocPreview&) = delete;
    TocPreview& operator=(const TocPreview&) = delete;

    // The project, a file of it or the template changed: computes the TOC anew after a pause.
    void schedule();
    // The HTML source shown, or the message of a failed build.
    QString sourceText() const;
    QString messageText() const;
    // Whether no computation runs or waits.
    bool isSettled() const;

  signals:
    // A new TOC or message is shown.
    void updated();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void start();
    void finish();
    void showOutcome(const PreviewOutcome& outcome);
    // Watches the files the project reads, so that an edit outside the window shows.
    void watchFiles(const toc_project& project);

    std::function<toc_project()> project_;
    QTimer timer_;
    QFutureWatcher<PreviewOutcome> running_;
    QFileSystemWatcher files_;
    // Counts the changes; a result computed for an earlier count is dropped.
    uint64_t changes_ = 0;
    uint64_t computing_ = 0;
    bool stale_ = true;
    // from the start of a computation until its result is taken
    bool busy_ = false;

    QRadioButton* renderedButton_;
    QRadioButton* sourceButton_;
    QLabel* message_;
    QStackedWidget* views_;
    QTextBrowser* rendered_;
    QPlainTextEdit* source_;
    // the documents the views show, which views never own
    PreviewOutcome shown_;
};
