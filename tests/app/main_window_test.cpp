#include "main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDirIterator>
#include <QEnterEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QToolBar>
#include <memory>
#include <vector>

#include "fake_platform_services.h"
#include "help_context.h"
#include "qt_text.h"
#include "scratch_folder.h"
#include "source_file_list.h"
#include "template_description_box.h"
#include "toc_preview.h"

namespace {

// The main window with the wizard replaced by a record of where it was asked to open.
class TestWindow : public MainWindow {
  public:
    using MainWindow::MainWindow;
    void showWizard(WizardPage page) override { wizardPages.push_back(page); }

    std::vector<WizardPage> wizardPages;
};

// One entry per heading, "numbering text=link;".
const QByteArray listTemplate =
    "<!--#for var=\"item\"--><!--#if var=\"open\"--><!--#echo var=\"numbering\"-->"
    "<!--#echo var=\"text\"-->=<!--#echo var=\"link\"-->;<!--#endif--><!--#endfor-->";

const QByteArray catalogue =
    "<file>list.htm</file>\r\n<name>List</name>\r\n<description>Entries</description>\r\n"
    "<file>other.htm</file>\r\n<name>Other</name>\r\n<description>More</description>\r\n";

const QByteArray pageBytes =
    "<html>\r\n<head><title>P</title></head>\r\n<body>\r\n<h1>One</h1>\r\n<p>text</p>\r\n"
    "<h2>Two</h2>\r\n</body>\r\n</html>\r\n";

// Every file below `folder`: its path, modification time in milliseconds and bytes.
QStringList filesBelow(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        QFile in(file);
        (void)in.open(QIODevice::ReadOnly);
        const QDateTime modified = QFileInfo(file).lastModified();
        files += file + " " + QString::number(modified.toMSecsSinceEpoch()) + " " + in.readAll();
    }
    files.sort();
    return files;
}

QByteArray projectFile(const QList<QPair<QByteArray, QByteArray>>& fields) {
    QByteArray text;
    for (const auto& [key, value] : fields)
        text += "<" + key + ">" + value + "</" + key + ">\r\n";
    return text;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        scratch_ = std::make_unique<ScratchFolder>();
        QVERIFY(scratch_->isValid());
        scratch_->put("program/qvdata/templates.txt", catalogue);
        scratch_->put("program/qvdata/list.htm", listTemplate);
        scratch_->put(scratch_->config("qtvn_set.txt"), "<recent></recent>\r\n");
        services_ = std::make_unique<FakePlatformServices>();
        window_ = std::make_unique<TestWindow>(*services_);
        window_->setProgramDirectory(scratch_->bytesPath("program"));
        QVERIFY(window_->initialise());
    }
    void cleanup() {
        window_.reset();
        services_->verifyAllAnswered();
        services_.reset();
        scratch_.reset();
    }

    void startsAsNewProject() {
        QCOMPARE(window_->windowTitle(), QString("Tocvane 2.0 - New project"));
        QCOMPARE(window_->statusText(), QString("For context help use F1 key"));
        QVERIFY(!action("view_result")->isEnabled());
        QVERIFY(overwrite()->isChecked());
        QVERIFY(!edit("destination_edit")->isEnabled());
        QCOMPARE(list("template_list")->currentText(), QString("List"));
        QCOMPARE(window_->size(), QSize(628, 420));
    }

    void modeSwitchWaitsForCommand() {
        putProject("a.toc", {{"source", "/site/a.html"}});
        putProject("multi.toc", {{"is_single", "0"},
                                 {"source", "/site/b.html"},
                                 {"source", "/site/c.html"},
                                 {"destination", "/site/index.html"}});
        open("a.toc");
        open("multi.toc");
        // the source box keeps its text while the list shows the project
        QCOMPARE(edit("source_edit")->text(), QString("/site/a.html"));
        QVERIFY(!sourceGroup()->isVisibleTo(window_.get()));
        QVERIFY(!overwrite()->isVisibleTo(window_.get()));

        radio("single_file")->click();
        QCOMPARE(static_cast<int>(window_->project().is_single), 0);
        QCOMPARE(window_->project().source.size(), size_t(2));
        QVERIFY(sourceGroup()->isVisibleTo(window_.get()));
        QVERIFY(!check("process_title")->isEnabled());

        QVERIFY(window_->saveProject());
        const QByteArray saved = scratch_->read("multi.toc");
        QVERIFY2(saved.contains("<is_single>1</is_single>"), saved);
        QVERIFY2(saved.contains("<source>/site/a.html</source>"), saved);
        QVERIFY2(!saved.contains("b.html"), saved);
    }

    void rangeZeroShowsNoSelectionAndSavesZero() {
        putProject("r.toc", {{"range_from", "0"}, {"range_to", "3"}});
        open("r.toc");
        QCOMPARE(list("range_from")->currentIndex(), -1);
        QCOMPARE(list("range_from")->currentText(), QString());
        QCOMPARE(list("range_to")->currentIndex(), 2);
        QVERIFY(window_->saveProject());
        const QByteArray saved = scratch_->read("r.toc");
        QVERIFY2(saved.contains("<range_from>0</range_from>"), saved);
        QVERIFY2(saved.contains("<range_to>3</range_to>"), saved);
    }

    void cancelledSaveAsKeepsCaption() {
        services_->cancel(RequestKind::save_file);
        QVERIFY(!window_->saveProject());
        QCOMPARE(window_->windowTitle(), QString("Tocvane 2.0 - New project"));
        QVERIFY(window_->currentProjectFile().is_empty());
        const PlatformRequest& dialog = services_->requests().back();
        QCOMPARE(dialog.title, std::string("Save project settings file as"));
        QCOMPARE(
            dialog.filter,
            std::string("TOC Files (*.toc)|*.toc|Text Files (*.txt)|*.txt|All Files (*.*)|*.*"));
        QCOMPARE(dialog.defaultExtension, std::string("toc"));

        services_->answerFile(RequestKind::save_file, scratch_->bytesPath("sub dir/p.toc"));
        scratch_->put("sub dir/.keep", "");
        QVERIFY(window_->saveProject());
        QCOMPARE(window_->windowTitle(), QString("Tocvane 2.0 - p.toc"));
        QCOMPARE(window_->statusText(), QString("Project is saved"));
    }

    // A failed open names the file and why; the open project stays.
    void failedOpenNamesFileAndReason_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        QTest::newRow("malformed") << "broken.toc"
                                   << "Line: 1, column: 21\r\nError: misplaced end tag.\r\n";
        QTest::newRow("missing") << "gone.toc"
                                 << "The file doesn't exist.";
        QTest::newRow("folder") << "folder.toc"
                                << "It is a folder.";
    }
    void failedOpenNamesFileAndReason() {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        scratch_->put("broken.toc", "<is_single>1</source>\r\n");
        scratch_->put("folder.toc/x", "");
        putProject("a.toc", {{"source", "/site/a.html"}});
        open("a.toc");
        services_->answerFile(RequestKind::open_file, scratch_->bytesPath(name));
        services_->expectMessage(RequestKind::warning);
        window_->openProject();
        QCOMPARE(QString::fromStdString(services_->requests().back().text),
                 "Can't read project file: " + scratch_->path(name) + "\r\n" + reason);
        QVERIFY(window_->wizardPages.empty());
        QCOMPARE(window_->windowTitle(), QString("Tocvane 2.0 - a.toc"));
        QCOMPARE(edit("source_edit")->text(), QString("/site/a.html"));
    }

    // Paths in the project file belong to its folder; the window shows them whole and saves
    // them relative again. A template outside the catalogue is its own entry and is kept.
    void projectKeepsItsPathsAndTemplate() {
        scratch_->put("site/own.htm", listTemplate);
        putProject("site/p.toc", {{"is_single", "0"},
                                  {"source", "guide/a.htm"},
                                  {"source", "./guide/../guide/a.htm"},
                                  {"source", "/other/b.htm"},
                                  {"destination", "index.htm"},
                                  {"template_file", "own.htm"}});
        open("site/p.toc");
        auto* sources = child<SourceFileList>("source_list");
        QCOMPARE(sources->count(), 2);
        QCOMPARE(qtPath(sources->firstPath().view()), scratch_->path("site/guide/a.htm"));
        QCOMPARE(edit("destination_edit")->text(), scratch_->path("site/index.htm"));
        QComboBox* templates = list("template_list");
        QCOMPARE(templates->count(), 3);
        QCOMPARE(templates->currentText(), QString("own.htm"));
        templates->setCurrentIndex(1);
        templates->setCurrentIndex(2);
        QVERIFY(!window_->isModified());
        QVERIFY(window_->saveProject());
        const QByteArray saved = scratch_->read("site/p.toc");
        for (const QByteArray line :
             {"<source>guide/a.htm</source>\r\n<source>/other/b.htm</source>",
              "<destination>index.htm</destination>", "<template_file>own.htm</template_file>"})
            QVERIFY2(saved.contains(line), saved);
    }

    // The anchor style shows the project's, marks a change and is stored only for ids; the
    // attributes of named anchors are offered only with them.
    void anchorStyleIsStoredOnlyForIds() {
        putProject("p.toc", {{"anchor_style", "id"}, {"source", "/site/x.html"}});
        open("p.toc");
        QComboBox* style = list("anchor_style");
        QCOMPARE(style->currentIndex(), 1);
        QVERIFY(!edit("anchor_attributes")->isEnabled());
        style->setCurrentIndex(0);
        QVERIFY(edit("anchor_attributes")->isEnabled());
        QVERIFY(window_->isModified());
        QVERIFY(window_->saveProject());
        QVERIFY(!scratch_->read("p.toc").contains("anchor_style"));
        style->setCurrentIndex(1);
        QVERIFY(window_->saveProject());
        QVERIFY(scratch_->read("p.toc").startsWith("<anchor_style>id</anchor_style>\r\n"));
    }

    // Leaving a changed project asks first; Cancel stays, Discard goes on, Save saves first.
    void changedProjectIsOfferedForSaving_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("goesOn");
        const int save = static_cast<int>(MessageAnswer::save);
        const int discard = static_cast<int>(MessageAnswer::discard);
        const int cancel = static_cast<int>(MessageAnswer::cancel);
        QTest::newRow("exit, cancel") << "exit" << cancel << false;
        QTest::newRow("exit, discard") << "exit" << discard << true;
        QTest::newRow("exit, save") << "exit" << save << true;
        QTest::newRow("new, cancel") << "new" << cancel << false;
        QTest::newRow("new, discard") << "new" << discard << true;
        QTest::newRow("open, cancel") << "open" << cancel << false;
        QTest::newRow("open, save") << "open" << save << true;
        QTest::newRow("recent, cancel") << "recent" << cancel << false;
        QTest::newRow("recent, discard") << "recent" << discard << true;
    }
    void changedProjectIsOfferedForSaving() {
        QFETCH(QString, command);
        QFETCH(int, answer);
        QFETCH(bool, goesOn);
        putProject("first.toc", {{"source", "/site/x.html"}});
        putProject("m.toc",
                   {{"is_single", "0"}, {"source", "/site/a.html"}, {"source", "/site/b.html"}});
        open("first.toc");
        open("m.toc");
        QVERIFY(!window_->isModified());
        auto* sources = child<SourceFileList>("source_list");
        sources->list()->setCurrentRow(1);
        sources->moveUp();
        QVERIFY(window_->isModified());

        const size_t asked = services_->requests().size();
        services_->answerSaveQuestion(static_cast<MessageAnswer>(answer));
        if (goesOn && command == "open") services_->cancel(RequestKind::open_file);
        bool wentOn = false;
        if (command == "exit") {
            wentOn = window_->close();
        } else if (command == "new") {
            window_->newProject();
            wentOn = !window_->wizardPages.empty();
        } else if (command == "open") {
            window_->openProject();
            wentOn = services_->requests().back().kind == RequestKind::open_file;
        } else {
            action("recent_1")->trigger();
            wentOn = window_->windowTitle() == "Tocvane 2.0 - first.toc";
        }
        QCOMPARE(wentOn, goesOn);
        QCOMPARE(services_->requests().at(asked).kind, RequestKind::save_question);
        const QByteArray stored = scratch_->read("m.toc");
        QCOMPARE(stored.indexOf("b.html") < stored.indexOf("a.html"),
                 answer == static_cast<int>(MessageAnswer::save));
    }

    void progressAboveHundredShowsHundred() {
        window_->showProgress(150);
        QCOMPARE(child<QProgressBar>("progress")->value(), 100);
        QCOMPARE(window_->statusText(), QString("100%"));
        window_->showProgress(42);
        QCOMPARE(child<QProgressBar>("progress")->value(), 42);
        QCOMPARE(window_->statusText(), QString("42%"));
    }

    void contextHelp_data() {
        QTest::addColumn<QString>("widget");
        QTest::addColumn<QString>("page");
        QTest::newRow("format page") << "range_from"
                                     << "help/7.html";
        QTest::newRow("format page, nested") << "anchor_attributes"
                                             << "help/7.html";
        QTest::newRow("project page") << "source_edit"
                                      << "help/4.html";
        QTest::newRow("toolbar") << "tool_bar"
                                 << "help/5.html";
        QTest::newRow("window") << "main_window"
                                << "help/6.html";
        QTest::newRow("tab bar") << "tab_bar"
                                 << "help/7.html";
    }
    void contextHelp() {
        QFETCH(QString, widget);
        QFETCH(QString, page);
        QWidget* target =
            widget == "main_window" ? window_.get() : window_->findChild<QWidget*>(widget);
        if (widget == "tool_bar") {
            target = child<QToolBar>("tool_bar")->widgetForAction(action("build_toc"));
        }
        if (widget == "tab_bar") {
            // the bar stands for the page it shows
            child<QTabWidget>("tabs")->setCurrentIndex(1);
            target = child<QTabWidget>("tabs")->tabBar();
        }
        QVERIFY(target);
        services_->answerShellOpen(true);
        QTest::keyClick(target, Qt::Key_F1);
        QCOMPARE(services_->requests().back().text, scratch_->bytesPath("program/" + page));
    }

    void helpFailuresAreReported() {
        services_->answerShellOpen(false);
        services_->expectMessage(RequestKind::warning);
        action("contents")->trigger();
        services_->answerShellOpen(false);
        services_->expectMessage(RequestKind::warning);
        action("web_site")->trigger();
        QCOMPARE(services_->log(), "shell open \"" + scratch_->bytesPath("program/help.html") +
                                       "\"\nwarning \"Can't open help file: " +
                                       scratch_->bytesPath("program/help.html") +
                                       "\"\nshell open \"https://tocvane.example.org/\"\n"
                                       "warning \"Can't go to QORV web site\"");
        QCOMPARE(helpPage(-1).view(), std::string_view("help.html"));
        QCOMPARE(helpPage(13).view(), std::string_view("help.html"));
        QCOMPARE(helpPage(12).view(), std::string_view("help/12.html"));
    }

    void hintsShowInStatusLine() {
        QLineEdit* source = edit("source_edit");
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(source, &enter);
        QCOMPARE(window_->statusText(),
                 QString("The file which header tags will be processed to create a TOC"));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(source, &leave);
        QCOMPARE(window_->statusText(), QString());
    }

    void fileButtonsUseTheSharedDialog() {
        services_->answerFile(RequestKind::open_file, "/site/pages/a.html");
        button("source_select")->click();
        QCOMPARE(edit("source_edit")->text(), QString("/site/pages/a.html"));
        overwrite()->click();
        QVERIFY(edit("destination_edit")->isEnabled());
        services_->answerFile(RequestKind::save_file, "/out/a.html");
        button("save_as")->click();
        QCOMPARE(edit("destination_edit")->text(), QString("/out/a.html"));

        putProject("m.toc", {{"is_single", "0"}, {"source", "/site/b/b.html"}});
        services_->answerSaveQuestion(MessageAnswer::discard);
        open("m.toc");
        services_->cancel(RequestKind::open_file);
        button("destination_select")->click();
        services_->answerFile(RequestKind::open_file, "/site/b/c.html");
        child<SourceFileList>("source_list")->addButton()->click();
        QCOMPARE(window_->statusText(), QString("Total source files: 2"));

        QCOMPARE(services_->log(),
                 "open dialog \"Open source file for building ToC\" in \"\"\n"
                 "save dialog \"Save file with inserted ToC as\" in \"/site/pages\"\n"
                 "save question \"Project has been changed. Save it?\"\n"
                 "open dialog \"Open TOC project file\" in \"/site/pages\"\n"
                 "open dialog \"Open or create file that will hold ToC\" in \"/site/b\"\n"
                 "open dialog \"Add files\" in \"/site/b\"");
        const std::vector<PlatformRequest>& requests = services_->requests();
        QVERIFY(requests[0].openMode == OpenMode::existing_file);
        QCOMPARE(requests[1].defaultExtension, std::string(".html"));
        QVERIFY(requests[4].openMode == OpenMode::any_file);
        QCOMPARE(requests[4].filter,
                 std::string("HTML Files (*.htm; *.html; *.shtml)|*.htm;*.html;*.shtml|"
                             "All Files (*.*)|*.*"));
    }

    void recentSlotOpensProject() {
        putProject("a.toc", {{"source", "/site/a.html"}});
        putProject("b.toc", {{"source", "/site/b.html"}});
        open("a.toc");
        open("b.toc");
        QCOMPARE(recentCaption(1), "&1 " + scratch_->path("a.toc"));
        QVERIFY(!action("recent_2")->isVisible());
        action("recent_1")->trigger();
        QCOMPARE(edit("source_edit")->text(), QString("/site/a.html"));
        QCOMPARE(window_->windowTitle(), QString("Tocvane 2.0 - a.toc"));
        QCOMPARE(window_->statusText(), QString("Recent project is opened"));
        QCOMPARE(recentCaption(1), "&1 " + scratch_->path("b.toc"));
    }

    void exitWritesSettingsAndFormatOptions() {
        putProject("a.toc", {{"source", "/site/a.html"}, {"range_to", "4"}});
        open("a.toc");
        action("remember_format")->trigger();
        window_->close();
        window_.reset();
        const QByteArray settings = scratch_->read(scratch_->config("qtvn_set.txt"));
        QVERIFY2(settings.contains("<recent>" + scratch_->path("a.toc").toUtf8() + "</recent>"),
                 settings);
        QVERIFY2(settings.contains("<save_format_on_exit>1</save_format_on_exit>"), settings);
        const QByteArray format = scratch_->read(scratch_->config("qtvn_format.txt"));
        QVERIFY2(format.contains("<range_to>4</range_to>"), format);

        // the next run starts a new project with those format options
        window_ = std::make_unique<TestWindow>(*services_);
        window_->setProgramDirectory(scratch_->bytesPath("program"));
        QVERIFY(window_->initialise());
        QCOMPARE(list("range_to")->currentIndex(), 3);
        QCOMPARE(edit("source_edit")->text(), QString());
        QVERIFY(action("remember_format")->isChecked());
    }

    void catalogueFailureEndsWithoutSettings() {
        window_.reset();
        QFile::remove(scratch_->config("qtvn_set.txt"));
        scratch_->put("program/qvdata/templates.txt", "<name>A</name>\r\n");
        services_->expectMessage(RequestKind::warning);
        window_ = std::make_unique<TestWindow>(*services_);
        window_->setProgramDirectory(scratch_->bytesPath("program"));
        QVERIFY(!window_->initialise());
        QVERIFY(window_->isTerminating());
        QCOMPARE(services_->requests().back().text,
                 std::string("Error occurred when parsing templates.txt file:\r\nTag <file> is "
                             "missing.\r\n\r\nApplication is terminating."));
        window_.reset();
        QCOMPARE(scratch_->read(scratch_->config("qtvn_set.txt")), QByteArray("<missing>"));
    }

    void buildAndClearFromTheWindow() {
        scratch_->put("site/page.html", pageBytes);
        services_->answerFile(RequestKind::open_file, scratch_->bytesPath("site/page.html"));
        button("source_select")->click();
        check("process_numbering")->setChecked(false);

        action("build_toc")->trigger();
        QCOMPARE(window_->statusText(), QString("HTML TOC has been created"));
        QCOMPARE(services_->beeps(), 1);
        // a hint passing by leaves the result in place
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(edit("source_edit"), &enter);
        QCOMPARE(window_->statusText(), QString("HTML TOC has been created"));
        QVERIFY(!child<QProgressBar>("progress")->isVisibleTo(window_.get()));
        const QByteArray built = scratch_->read("site/page.html");
        QVERIFY2(built.contains("<!--QORV_HTML_TOC_START-->"), built);
        QVERIFY2(built.contains("One=#"), built);

        // View Result reads the record, not the controls
        edit("anchor_attributes")->setText("class=\"x\"");
        QVERIFY(action("view_result")->isEnabled());
        services_->answerShellOpen(true);
        action("view_result")->trigger();
        QCOMPARE(services_->requests().back().text, scratch_->bytesPath("site/page.html"));

        // clearing rewrites every source: only after a Yes
        services_->answerQuestion(false);
        action("clear_toc")->trigger();
        QVERIFY(scratch_->read("site/page.html") != pageBytes);
        services_->answerQuestion(true);
        action("clear_toc")->trigger();
        QCOMPARE(window_->statusText(), QString("Clearance is done"));
        QCOMPARE(scratch_->read("site/page.html"), pageBytes);

        putProject("p.toc", {{"source", "/site/x.html"}});
        services_->answerSaveQuestion(MessageAnswer::discard);
        open("p.toc");
        QVERIFY(!action("view_result")->isEnabled());
    }

    void failuresNameTheFile() {
        scratch_->put("gone/p.toc", "<source>/site/p.html</source>\r\n");
        open("gone/p.toc");
        QVERIFY(QDir(scratch_->path("gone")).removeRecursively());
        services_->expectMessage(RequestKind::warning);
        QVERIFY(!window_->saveProject());
        services_->answerShellOpen(false);
        services_->expectMessage(RequestKind::warning);
        window_->viewResultFile();
        const std::vector<PlatformRequest>& requests = services_->requests();
        QCOMPARE(requests[1].text,
                 "Can't save project to file: " + scratch_->bytesPath("gone/p.toc"));
        QCOMPARE(requests.back().text, std::string("Can't show destination file: /site/p.html"));
    }

    void templateGroupUsesTheCatalogue() {
        list("template_list")->setCurrentIndex(1);
        services_->answerEditor(true);
        button("edit_template")->click();
        QCOMPARE(services_->requests().back().text,
                 scratch_->bytesPath("program/qvdata/other.htm"));
        emit child<QLabel>("template_description")->linkActivated("#");
        QVERIFY(window_->templateDescriptionBox().isVisible());
        QCOMPARE(window_->templateDescriptionBox().windowTitle(), QString("Other"));
        window_->templateDescriptionBox().close();

        // a new catalogue keeps the choice by its file name
        scratch_->put("program/qvdata/templates.txt",
                      "<file>other.htm</file>\r\n<name>Renamed</name>\r\n<description>D"
                      "</description>\r\n");
        action("reinit_templates")->trigger();
        QCOMPARE(list("template_list")->count(), 1);
        QCOMPARE(list("template_list")->currentText(), QString("Renamed"));
    }

    // An installed template the user may not change is edited as a copy in the config folder,
    // which the list and the project use from then on.
    void readOnlyTemplateIsCopiedForEditing() {
        const QString installed = scratch_->path("program/qvdata/list.htm");
        QVERIFY(QFile::setPermissions(installed, QFileDevice::ReadOwner | QFileDevice::ReadOther));
        const QString copy = scratch_->config("templates/list.htm");
        services_->expectMessage(RequestKind::warning);
        services_->answerEditor(true);
        button("edit_template")->click();
        QCOMPARE(services_->log(),
                 "warning \"The template is copied for editing to: " + copy.toStdString() +
                     "\"\neditor \"" + copy.toStdString() + "\"");
        QCOMPARE(scratch_->read(copy), listTemplate);
        QVERIFY(QFileInfo(copy).permission(QFileDevice::WriteOwner));
        QCOMPARE(list("template_list")->currentText(), QString("List"));
        window_->takeControlsIntoProject();
        QCOMPARE(qtPath(window_->project().template_file.view()), copy);
    }

    // Shortcuts, mnemonics that no menu title takes, and Tab in the order of the page.
    void keyboardReachesEveryControl() {
        QCOMPARE(action("exit")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
        QCOMPARE(action("save_project_as")->shortcut(),
                 QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
        window_->show();
        for (bool single : {true, false}) {
            radio(single ? "single_file" : "multiple_files")->click();
            for (int tab = 0; tab < child<QTabWidget>("tabs")->count(); ++tab) {
                child<QTabWidget>("tabs")->setCurrentIndex(tab);
                QString letters = "PTOH";
                for (QAbstractButton* control :
                     child<QTabWidget>("tabs")->findChildren<QAbstractButton*>()) {
                    if (!control->isVisible() || control->text().isEmpty()) continue;
                    const QString text = control->text();
                    const qsizetype mark = text.indexOf('&');
                    QVERIFY2(mark >= 0, qPrintable(text));
                    const QChar letter = text.at(mark + 1).toUpper();
                    QVERIFY2(!letters.contains(letter), qPrintable(text));
                    letters += letter;
                }
            }
        }
        QVERIFY(child<QLabel>("template_description")->focusPolicy() & Qt::TabFocus);
        QWidget* list = child<SourceFileList>("source_list")->list();
        const QStringList expected = {"multiple_files", "file list", "overwrite_source",
                                      "destination_edit", "destination_select"};
        QStringList order;
        for (QWidget* at = radio("single_file")->nextInFocusChain(); at != radio("single_file");
             at = at->nextInFocusChain()) {
            const QString name = at == list ? QString("file list") : at->objectName();
            if (expected.contains(name)) order += name;
        }
        QCOMPARE(order, expected);
    }

    void savedGeometryIsRestored() {
        window_.reset();
        scratch_->put(scratch_->config("qtvn_set.txt"),
                      "<form_height>500</form_height>\r\n<form_width>700</form_width>\r\n"
                      "<top_left>10</top_left>\r\n<top_top>20</top_top>\r\n");
        window_ = std::make_unique<TestWindow>(*services_);
        window_->setProgramDirectory(scratch_->bytesPath("program"));
        QVERIFY(window_->initialise());
        QCOMPARE(window_->geometry().size(), QSize(700, 500));
        QCOMPARE(window_->pos(), QPoint(10, 20));
    }

    // The preview shows the TOC a build would insert, follows a changed option, shows a
    // build's message and writes nothing.
    void previewFollowsTheProjectAndWritesNothing() {
        scratch_->put("site/page.html", pageBytes);
        services_->answerFile(RequestKind::open_file, scratch_->bytesPath("site/page.html"));
        button("source_select")->click();
        const QStringList files = filesBelow(scratch_->path());
        window_->show();
        child<QTabWidget>("tabs")->setCurrentIndex(2);
        auto* preview = child<TocPreview>("preview_page");
        QTRY_VERIFY(preview->isSettled());
        QVERIFY2(preview->sourceText().contains("1.1. Two=#qorv_link_2_"),
                 qPrintable(preview->sourceText()));
        QVERIFY(child<QTextBrowser>("preview_rendered")->toPlainText().contains("1. One=#"));

        QSignalSpy updated(preview, &TocPreview::updated);
        check("process_numbering")->setChecked(false);
        QTRY_COMPARE(updated.count(), 1);
        QVERIFY2(preview->sourceText().contains("<!--QORV_HTML_TOC_START-->"),
                 qPrintable(preview->sourceText()));
        QVERIFY2(preview->sourceText().contains(";Two=#qorv_link_2_"),
                 qPrintable(preview->sourceText()));
        radio("preview_show_source")->click();
        QVERIFY(child<QWidget>("preview_source")->isVisible());
        QVERIFY(!child<QWidget>("preview_rendered")->isVisible());

        edit("source_edit")->setText(scratch_->path("site/gone.html"));
        QTRY_COMPARE(updated.count(), 2);
        QCOMPARE(preview->messageText(),
                 "Can't open source file: " + scratch_->path("site/gone.html"));
        QCOMPARE(preview->sourceText(), QString());
        QCOMPARE(filesBelow(scratch_->path()), files);
        QVERIFY(services_->requests().size() == 1);
    }

    void failedBuildShowsEngineText() {
        services_->expectMessage(RequestKind::warning);
        action("build_toc")->trigger();
        QVERIFY(!services_->requests().back().text.empty());
        QCOMPARE(services_->beeps(), 0);
        QVERIFY(!action("view_result")->isEnabled());
    }

  private:
    void putProject(const QString& name, const QList<QPair<QByteArray, QByteArray>>& fields) {
        scratch_->put(name, projectFile(fields));
    }
    // Open Project with the dialog answered by `name` in the scratch folder.
    void open(const QString& name) {
        services_->answerFile(RequestKind::open_file, scratch_->bytesPath(name));
        window_->openProject();
        QCOMPARE(window_->statusText(), QString("Project is opened"));
    }
    QString recentCaption(int slot) { return action("recent_" + QString::number(slot))->text(); }

    template <typename widget>
    widget* child(const QString& name) {
        widget* found = window_->findChild<widget*>(name);
        if (!found) qFatal("no child %s", qPrintable(name));
        return found;
    }
    QAction* action(const QString& name) { return child<QAction>(name); }
    QLineEdit* edit(const QString& name) { return child<QLineEdit>(name); }
    QComboBox* list(const QString& name) { return child<QComboBox>(name); }
    QCheckBox* check(const QString& name) { return child<QCheckBox>(name); }
    QRadioButton* radio(const QString& name) { return child<QRadioButton>(name); }
    QPushButton* button(const QString& name) { return child<QPushButton>(name); }
    QCheckBox* overwrite() { return check("overwrite_source"); }
    QWidget* sourceGroup() { return child<QWidget>("source_group"); }

    std::unique_ptr<ScratchFolder> scratch_;
    std::unique_ptr<FakePlatformServices> services_;
    std::unique_ptr<TestWindow> window_;
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
