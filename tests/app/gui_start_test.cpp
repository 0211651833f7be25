#include "gui_start.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <memory>
#include <vector>

#include "fake_platform_services.h"
#include "main_window.h"
#include "qt_text.h"
#include "scratch_folder.h"

namespace {

class TestWindow : public MainWindow {
  public:
    using MainWindow::MainWindow;
    void showWizard(WizardPage page) override { wizardPages.push_back(page); }

    std::vector<WizardPage> wizardPages;
};

// "project /path", "source /path" or "none".
QString startDump(const StartFile& file) {
    const char* kind = file.kind == StartFileKind::project  ? "project"
                       : file.kind == StartFileKind::source ? "source"
                                                            : "none";
    return file.kind == StartFileKind::none ? kind : QString(kind) + " " + qtPath(file.path.view());
}

}  // namespace

class GuiStartTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        scratch_ = std::make_unique<ScratchFolder>();
        QVERIFY(scratch_->isValid());
        scratch_->put("program/qvdata/templates.txt",
                      "<file>t.htm</file>\r\n<name>T</name>\r\n<description>D</description>\r\n");
        scratch_->put(scratch_->config("qtvn_set.txt"), "<recent></recent>\r\n");
        QVERIFY(QDir::setCurrent(scratch_->path()));
    }
    void cleanup() { scratch_.reset(); }

    void windowOrCommandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("window");
        QTest::newRow("nothing") << QStringList{} << true;
        QTest::newRow("a file") << QStringList{"page.htm"} << true;
        QTest::newRow("build") << QStringList{"-command", "p.toc"} << false;
        QTest::newRow("build in capitals") << QStringList{"-COMMAND", "p.toc"} << false;
        QTest::newRow("clear") << QStringList{"-Clear", "p.toc"} << false;
        QTest::newRow("help") << QStringList{"--help"} << false;
        QTest::newRow("short help") << QStringList{"-h"} << false;
        QTest::newRow("version") << QStringList{"--version"} << false;
    }
    void windowOrCommandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, window);
        std::vector<std::string> bytes;
        for (const QString& argument : arguments)
            bytes.push_back(argument.toStdString());
        const std::vector<std::string_view> views(bytes.begin(), bytes.end());
        QCOMPARE(startsGui(views), window);
    }

    void startFile_data() {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("expected");
        // "@" stands for the scratch folder, the current directory of the test
        const QString dir = "@";
        QTest::newRow("project") << "Site.toc"
                                 << "project " + dir + "/Site.toc";
        QTest::newRow("project in capitals") << "My Docs/SITE.TOC"
                                             << "project " + dir + "/My Docs/SITE.TOC";
        QTest::newRow("page") << "Page.HTML"
                              << "source " + dir + "/Page.HTML";
        QTest::newRow("short name") << "toc"
                                    << "source " + dir + "/toc";
        QTest::newRow("toc in the middle") << "a.toc.txt"
                                           << "source " + dir + "/a.toc.txt";
        QTest::newRow("absolute") << dir + "/./My Docs/../Page.HTML"
                                  << "source " + dir + "/Page.HTML";
        QTest::newRow("missing") << "gone.htm"
                                 << "none";
        QTest::newRow("directory") << "folder.toc"
                                   << "project " + dir + "/folder.toc";
        QTest::newRow("missing project") << "nosuch.toc"
                                         << "project " + dir + "/nosuch.toc";
        QTest::newRow("empty") << ""
                               << "none";
    }
    void startFile() {
        QFETCH(QString, argument);
        QFETCH(QString, expected);
        for (const char* name :
             {"Site.toc", "My Docs/SITE.TOC", "Page.HTML", "toc", "a.toc.txt", "folder.toc/x"}) {
            scratch_->put(name, "");
        }
        const QString here = QDir::currentPath();
        argument.replace('@', here);
        expected.replace('@', here);
        const std::string bytes = argument.toStdString();
        const std::vector<std::string_view> arguments{bytes, "ignored"};
        QCOMPARE(startDump(chooseStartFile(arguments)), expected);
        QCOMPARE(startDump(chooseStartFile({})), QString("none"));
    }

    void startOpensProjectSourceOrWizard() {
        scratch_->put("p.toc", "<source>/site/p.html</source>\r\n");
        scratch_->put("broken.toc", "<source>");
        scratch_->put("page.htm", "");
        FakePlatformServices services;
        {
            TestWindow window(services);
            start(window, StartFileKind::project, "p.toc");
            QCOMPARE(window.windowTitle(), QString("Tocvane 2.0 - p.toc"));
            QCOMPARE(text(window, "source_edit"), QString("/site/p.html"));
            QVERIFY(window.wizardPages.empty());
        }
        // a project that can't be read says why, then the wizard opens at its welcome page
        const struct {
            const char* name;
            const char* reason;
        } failures[] = {
            {"broken.toc", "Line: 1, column: 8\r\nError: unclosed tag.\r\n"},
            {"nosuch.toc", "The file doesn't exist."},
        };
        for (const auto& failure : failures) {
            TestWindow window(services);
            services.expectMessage(RequestKind::warning);
            start(window, StartFileKind::project, failure.name);
            QCOMPARE(QString::fromStdString(services.requests().back().text),
                     "Can't read project file: " + scratch_->path(failure.name) + "\r\n" +
                         failure.reason);
            QCOMPARE(window.windowTitle(), QString("Tocvane 2.0 - New project"));
            QCOMPARE(window.wizardPages, std::vector<WizardPage>{WizardPage::welcome});
        }
        {
            // the remembered format options stay
            scratch_->put(scratch_->config("qtvn_set.txt"),
                          "<save_format_on_exit>1</save_format_on_exit>\r\n");
            scratch_->put(scratch_->config("qtvn_format.txt"), "<range_to>3</range_to>\r\n");
            TestWindow window(services);
            start(window, StartFileKind::source, "page.htm");
            QCOMPARE(window.findChild<QComboBox*>("range_to")->currentIndex(), 2);
            QCOMPARE(window.windowTitle(), QString("Tocvane 2.0 - New project"));
            QCOMPARE(text(window, "source_edit"), scratch_->path("page.htm"));
            QVERIFY(window.findChild<QCheckBox*>("overwrite_source")->isChecked());
            QVERIFY(window.findChild<QRadioButton*>("single_file")->isChecked());
            window.takeControlsIntoProject();
            QVERIFY(window.project().is_dest_as_source);
            QVERIFY(window.wizardPages.empty());
        }
        {
            TestWindow window(services);
            start(window, StartFileKind::none, "");
            QCOMPARE(window.wizardPages, std::vector<WizardPage>{WizardPage::welcome});
        }
        QCOMPARE(services.requests().size(), std::size(failures));
        services.verifyAllAnswered();
    }

  private:
    void start(TestWindow& window, StartFileKind kind, const QString& name) {
        window.setProgramDirectory(scratch_->bytesPath("program"));
        QVERIFY(window.initialise());
        StartFile file;
        file.kind = kind;
        if (!name.isEmpty()) file.path = byte_string(scratch_->bytesPath(name));
        openStartFile(window, file);
    }
    static QString text(TestWindow& window, const char* edit) {
        return window.findChild<QLineEdit*>(edit)->text();
    }

    std::unique_ptr<ScratchFolder> scratch_;
};

QTEST_MAIN(GuiStartTest)
#include "gui_start_test.moc"
