#pragma once

#include <QFileSystemWatcher>
#include <QFutureWatcher>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "toc_project.h"

class QLabel;
class QPlainTextEdit;
class QRadioButton;
class QStackedWidget;
class QTextBrowser;

// What the preview shows of one build in memory: the TOC's HTML, or the message the build gave.
struct PreviewOutcome {
    bool ok = false;
    QString html;
    QString message;
};

// Runs the build of `project` in memory (dry_build_toc) and gives the TOC it would insert.
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

    QRadioButton* renderedButton_;
    QRadioButton* sourceButton_;
    QLabel* message_;
    QStackedWidget* views_;
    QTextBrowser* rendered_;
    QPlainTextEdit* source_;
};
