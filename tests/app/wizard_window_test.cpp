// The wizard inside the real main window: from a fresh start to a built TOC, New Project, and
// the Open page's Finish.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <memory>

#include "fake_platform_services.h"
#include "gui_start.h"
#include "main_window.h"
#include "project_wizard.h"
#include "qt_text.h"
#include "scratch_folder.h"
#include "source_file_list.h"

namespace {

// One entry per heading, "numbering text=link;".
const QByteArray listTemplate =
    "<!--#for var=\"item\"--><!--#if var=\"open\"--><!--#echo var=\"numbering\"-->"
    "<!--#echo var=\"text\"-->=<!--#echo var=\"link\"-->;<!--#endif--><!--#endfor-->";

const QByteArray catalogue =
    "<file>list.htm</file>\r\n<name>List</name>\r\n<description>Entries</description>\r\n";

QByteArray page(const QByteArray& title, const QByteArray& body) {
    return "<html>\r\n<head><title>" + title + "</title></head>\r\n<body>\r\n" + body +
           "</body>\r\n</html>\r\n";
}

// Counts the times a widget is shown.
class ShowCounter : public QObject {
  public:
    int shows = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show) ++shows;
        return false;
    }
};

}  // namespace

class WizardWindowTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<ScratchFolder> scratch_;
    std::unique_ptr<FakePlatformServices> services_;
    std::unique_ptr<MainWindow> window_;

    ProjectWizard& wizard() { return window_->wizard(); }
    const WizardControls& c() { return wizard().controls(); }
    QString title() { return c().title->text(); }
    void next() {
        QVERIFY2(c().forward->isEnabled(), qPrintable(title()));
        QTest::mouseClick(c().forward, Qt::LeftButton);
    }
    QAction* action(const char* name) { return window_->findChild<QAction*>(name); }

  private slots:
    void init() {
        qputenv("SOURCE_DATE_EPOCH", "1700000000");
        scratch_ = std::make_unique<ScratchFolder>();
        QVERIFY(scratch_->isValid());
        scratch_->put("program/qvdata/templates.txt", catalogue);
        scratch_->put("program/qvdata/list.htm", listTemplate);
        scratch_->put(scratch_->config("qtvn_set.txt"), "<recent></recent>\r\n");
        scratch_->put("site/a.htm", page("A", "<h1>One</h1>\r\n<h2>Two</h2>\r\n"));
        scratch_->put("site/b.htm", page("B", "<h1>Three</h1>\r\n"));
        services_ = std::make_unique<FakePlatformServices>();
        window_ = std::make_unique<MainWindow>(*services_);
        window_->setProgramDirectory(scratch_->bytesPath("program"));
        QVERIFY(window_->initialise());
        window_->show();
    }
    void cleanup() {
        window_.reset();
        services_->verifyAllAnswered();
        services_.reset();
        scratch_.reset();
    }

    // A start without a file, the wizard alone, then Build TOC.
    void singleFileFromFreshStart() {
        openStartFile(*window_, StartFile{});
        QVERIFY(wizard().isVisible());
        QCOMPARE(title(), QString("Welcome to the project wizard"));
        next();
        next();
        services_->answerFile(RequestKind::open_file, scratch_->bytesPath("site/a.htm"));
        QTest::mouseClick(c().selectSource, Qt::LeftButton);
        next();
        c().rangeTo->setCurrentIndex(1);
        next();
        next();
        QCOMPARE(title(), QString("Select TOC template"));
        next();
        QCOMPARE(title(), QString("You are finished"));
        // the project is shown, but it is still a new, unsaved one
        QCOMPARE(window_->windowTitle(), QString("Tocvane 2.0 - New project"));
        QVERIFY(window_->currentProjectFile().is_empty());
        QCOMPARE(window_->findChild<QLineEdit*>("source_edit")->text(),
                 scratch_->path("site/a.htm"));
        QVERIFY(!action("view_result")->isEnabled());
        QCOMPARE(window_->statusText(), QString("Project is created"));
        QVERIFY(window_->isModified());
        next();
        QVERIFY(!wizard().isVisible());

        action("build_toc")->trigger();
        QCOMPARE(window_->statusText(), QString("HTML TOC has been created"));
        QCOMPARE(services_->beeps(), 1);
        const QByteArray built = scratch_->read("site/a.htm");
        QVERIFY2(built.contains("1. One=#qorv_link_1_1700000000;1.1. Two=#qorv_link_2_1700000000;"),
                 built);
    }

    void multipleFilesFromFreshStart() {
        openStartFile(*window_, StartFile{});
        next();
        c().multipleFiles->click();
        next();
        services_->answerFiles(
            {scratch_->bytesPath("site/a.htm"), scratch_->bytesPath("site/b.htm")});
        QTest::mouseClick(c().sourceList->addButton(), Qt::LeftButton);
        next();
        services_->answerFile(RequestKind::open_file, scratch_->bytesPath("site/index.htm"));
        QTest::mouseClick(c().selectDestination, Qt::LeftButton);
        next();
        c().processTitle->click();
        next();
        next();
        next();
        next();
        QVERIFY(!wizard().isVisible());
        QCOMPARE(window_->windowTitle(), QString("Tocvane 2.0 - New project"));

        action("build_toc")->trigger();
        QCOMPARE(window_->statusText(), QString("HTML TOC has been created"));
        const QByteArray index = scratch_->read("site/index.htm");
        // page titles first, each file's headings one level below its title
        QVERIFY2(index.contains("1. A=a.htm;1.1. One=a.htm#qorv_link_2_1700000000;"
                                "1.1.1. Two=a.htm#qorv_link_3_1700000000;2. B=b.htm;"
                                "2.1. Three=b.htm#qorv_link_2_1700000000;<!--QORV_HTML_TOC_END-->"),
                 index);
    }

    void newProjectOpensResetAtModePage() {
        openStartFile(*window_, StartFile{});
        next();
        c().multipleFiles->click();
        c().indent->setText("--");
        QTest::mouseClick(c().cancel, Qt::LeftButton);
        QVERIFY(!wizard().isVisible());

        action("new_project")->trigger();
        QVERIFY(wizard().isVisible());
        QCOMPARE(title(), QString("Generate table of contents for"));
        QVERIFY(c().back->isHidden());
        QVERIFY(c().singleFile->isChecked());
        QCOMPARE(c().indent->text(), QString());
        QCOMPARE(window_->statusText(), QString("Project settings are cleared"));
    }

    void openPageFinish() {
        scratch_->put("p.toc", "<is_single>0</is_single>\r\n<source>/s/x.htm</source>\r\n");
        openStartFile(*window_, StartFile{});
        c().openExisting->click();
        next();
        c().projectFile->setText(scratch_->path("p.toc"));
        next();
        QVERIFY(!wizard().isVisible());
        QCOMPARE(window_->windowTitle(), QString("Tocvane 2.0 - p.toc"));
        QCOMPARE(window_->statusText(), QString("Project is opened"));
        QCOMPARE(static_cast<int>(window_->project().is_single), 0);
    }

    // A project that can't be read is named with the reason; the wizard stays on its Open page
    // with the typed path, shown once, and the main window keeps its project.
    void failedOpenPageFinish() {
        ShowCounter counter;
        wizard().installEventFilter(&counter);
        openStartFile(*window_, StartFile{});
        c().openExisting->click();
        next();
        const QString missing = scratch_->path("missing.toc");
        c().projectFile->setText(missing);
        services_->expectMessage(RequestKind::warning);
        next();
        QCOMPARE(QString::fromStdString(services_->requests().back().text),
                 "Can't read project file: " + missing + "\r\nThe file doesn't exist.");
        QVERIFY(wizard().isVisible());
        QCOMPARE(counter.shows, 1);
        QCOMPARE(title(), QString("Open already created TOC project"));
        QCOMPARE(c().projectFile->text(), missing);
        QCOMPARE(window_->windowTitle(), QString("Tocvane 2.0 - New project"));
        QVERIFY(window_->settings().recent.entries().empty());
        wizard().removeEventFilter(&counter);
    }
};

QTEST_MAIN(WizardWindowTest)
#include "wizard_window_test.moc"
