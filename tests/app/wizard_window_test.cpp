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
const QByteArray list_template =
    "<!--#for var=\"item\"--><!--#if var=\"open\"--><!--#echo var=\"numbering\"-->"
    "<!--#echo var=\"text\"-->=<!--#echo var=\"link\"-->;<!--#endif--><!--#endfor-->";

const QByteArray catalogue =
    "<file>list.htm</file>\r\n<name>List</name>\r\n<description>Entries</description>\r\n";

QByteArray page(const QByteArray& title, const QByteArray& body) {
    return "<html>\r\n<head><title>" + title + "</title></head>\r\n<body>\r\n" + body +
           "</body>\r\n</html>\r\n";
}

// Counts the times a widget is shown.
class show_counter : public QObject {
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
    std::unique_ptr<scratch_folder> scratch_;
    std::unique_ptr<fake_platform_services> services_;
    std::unique_ptr<MainWindow> window_;

    ProjectWizard& wizard() { return window_->wizard(); }
    const wizard_controls& c() { return wizard().controls(); }
    QString title() { return c().title->text(); }
    void next() {
        QVERIFY2(c().forward->isEnabled(), qPrintable(title()));
        QTest::mouseClick(c().forward, Qt::LeftButton);
    }
    QAction* action(const char* name) { return window_->findChild<QAction*>(name); }

  private slots:
    void init() {
        qputenv("SOURCE_DATE_EPOCH", "1700000000");
        scratch_ = std::make_unique<scratch_folder>();
        QVERIFY(scratch_->is_valid());
        scratch_->put("program/qvdata/templates.txt", catalogue);
        scratch_->put("program/qvdata/list.htm", list_template);
        scratch_->put(scratch_->config("qtvn_set.txt"), "<recent></recent>\r\n");
        scratch_->put("site/a.htm", page("A", "<h1>One</h1>\r\n<h2>Two</h2>\r\n"));
        scratch_->put("site/b.htm", page("B", "<h1>Three</h1>\r\n"));
        services_ = std::make_unique<fake_platform_services>();
        window_ = std::make_unique<MainWindow>(*services_);
        window_->set_program_directory(scratch_->bytes_path("program"));
        QVERIFY(window_->initialise());
        window_->show();
    }
    void cleanup() {
        window_.reset();
        services_->verify_all_answered();
        services_.reset();
        scratch_.reset();
    }

    // A start without a file, the wizard alone, then Build TOC.
    void single_file_from_fresh_start() {
        open_start_file(*window_, start_file{});
        QVERIFY(wizard().isVisible());
        QCOMPARE(title(), QString("Welcome to the project wizard"));
        next();
        next();
        services_->answer_file(request_kind::open_file, scratch_->bytes_path("site/a.htm"));
        QTest::mouseClick(c().select_source, Qt::LeftButton);
        next();
        c().range_to->setCurrentIndex(1);
        next();
        next();
        QCOMPARE(title(), QString("Select TOC template"));
        next();
        QCOMPARE(title(), QString("You are finished"));
        // the project is shown, but it is still a new, unsaved one
        QCOMPARE(window_->windowTitle(), QString("Tocvane 2.0 - New project"));
        QVERIFY(window_->current_project_file().is_empty());
        QCOMPARE(window_->findChild<QLineEdit*>("source_edit")->text(),
                 scratch_->path("site/a.htm"));
        QVERIFY(!action("view_result")->isEnabled());
        next();
        QVERIFY(!wizard().isVisible());

        action("build_toc")->trigger();
        QCOMPARE(window_->status_text(), QString("HTML TOC has been created"));
        QCOMPARE(services_->beeps(), 1);
        const QByteArray built = scratch_->read("site/a.htm");
        QVERIFY2(built.contains("1. One=#qorv_link_1_1700000000;1.1. Two=#qorv_link_2_1700000000;"),
                 built);
    }

    void multiple_files_from_fresh_start() {
        open_start_file(*window_, start_file{});
        next();
        c().multiple_files->click();
        next();
        services_->answer_file(request_kind::open_file,
                               scratch_->bytes_path("site") + '\0' + "a.htm" + '\0' + "b.htm");
        QTest::mouseClick(c().source_list->add_button(), Qt::LeftButton);
        next();
        services_->answer_file(request_kind::open_file, scratch_->bytes_path("site/index.htm"));
        QTest::mouseClick(c().select_destination, Qt::LeftButton);
        next();
        c().process_title->click();
        next();
        next();
        next();
        next();
        QVERIFY(!wizard().isVisible());
        QCOMPARE(window_->windowTitle(), QString("Tocvane 2.0 - New project"));

        action("build_toc")->trigger();
        QCOMPARE(window_->status_text(), QString("HTML TOC has been created"));
        const QByteArray index = scratch_->read("site/index.htm");
        // page titles first, each file's headings one level below its title
        QVERIFY2(index.contains("1. A=a.htm;1.1. One=a.htm#qorv_link_2_1700000000;"
                                "1.1.1. Two=a.htm#qorv_link_3_1700000000;2. B=b.htm;"
                                "2.1. Three=b.htm#qorv_link_2_1700000000;<!--QORV_HTML_TOC_END-->"),
                 index);
    }

    void new_project_opens_reset_at_mode_page() {
        open_start_file(*window_, start_file{});
        next();
        c().multiple_files->click();
        c().indent->setText("--");
        QTest::mouseClick(c().cancel, Qt::LeftButton);
        QVERIFY(!wizard().isVisible());

        action("new_project")->trigger();
        QVERIFY(wizard().isVisible());
        QCOMPARE(title(), QString("Generate table of contents for"));
        QVERIFY(c().back->isHidden());
        QVERIFY(c().single_file->isChecked());
        QCOMPARE(c().indent->text(), QString());
        QCOMPARE(window_->status_text(), QString("Project settings are cleared"));
    }

    void open_page_finish() {
        scratch_->put("p.toc", "<is_single>0</is_single>\r\n<source>/s/x.htm</source>\r\n");
        open_start_file(*window_, start_file{});
        c().open_existing->click();
        next();
        c().project_file->setText(scratch_->path("p.toc"));
        next();
        QVERIFY(!wizard().isVisible());
        QCOMPARE(window_->windowTitle(), QString("Tocvane 2.0 - p.toc"));
        QCOMPARE(window_->status_text(), QString("Project is opened"));
        QCOMPARE(static_cast<int>(window_->project().is_single), 0);
    }

    // The main window answers "Can't read project file" with New Project, which restarts the
    // wizard at its Mode page while it is showing: it stays open there, shown once.
    void failed_open_page_finish() {
        show_counter counter;
        wizard().installEventFilter(&counter);
        open_start_file(*window_, start_file{});
        c().open_existing->click();
        next();
        const QString missing = scratch_->path("missing.toc");
        c().project_file->setText(missing);
        services_->expect_message(request_kind::warning);
        next();
        QCOMPARE(services_->requests().back().text, std::string("Can't read project file"));
        QVERIFY(wizard().isVisible());
        QCOMPARE(counter.shows, 1);
        QCOMPARE(title(), QString("Generate table of contents for"));
        QCOMPARE(c().project_file->text(), QString());
        QCOMPARE(window_->windowTitle(), QString("Tocvane 2.0 - New project"));
        QCOMPARE(qt_path(window_->settings().recent.entries().at(0).view()), missing);
        wizard().removeEventFilter(&counter);
    }
};

QTEST_MAIN(WizardWindowTest)
#include "wizard_window_test.moc"
