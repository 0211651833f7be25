#include "project_wizard.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>
#include <memory>

#include "fake_platform_services.h"
#include "help_context.h"
#include "qt_text.h"
#include "scratch_folder.h"
#include "source_file_list.h"
#include "template_catalogue.h"
#include "template_description_box.h"
#include "toc_project.h"

namespace {

const QByteArray catalogueFile =
    "<file>toc_list.htm</file>\r\n<name>Nested list</name>\r\n"
    "<description>Bullets</description>\r\n"
    "<file>toc_text.htm</file>\r\n<name>Plain text</name>\r\n"
    "<description>Lines\r\nof text</description>\r\n";

QString textOf(const byte_string& text) {
    return qtText(text.view());
}
// Everything a finished wizard puts into a project; the template as its file name.
QString projectDump(const toc_project& project) {
    QStringList sources;
    for (const byte_string& entry : project.source)
        sources.append(textOf(entry));
    const QString templateFile = textOf(project.template_file);
    return QStringLiteral(
               "single=%1 back=%2 source=[%3] dest='%4' range=%5..%6 anchor='%7' titles=%8 "
               "numbers=%9 template=%10 local=%11 indent='%12' ids=%13")
        .arg(static_cast<int>(project.is_single))
        .arg(static_cast<int>(project.is_dest_as_source))
        .arg(sources.join('|'))
        .arg(textOf(project.destination))
        .arg(static_cast<int>(project.range_from))
        .arg(static_cast<int>(project.range_to))
        .arg(textOf(project.named_anchor_attributes))
        .arg(static_cast<int>(project.process_title))
        .arg(static_cast<int>(project.process_numbering))
        .arg(templateFile.mid(templateFile.lastIndexOf('/') + 1))
        .arg(static_cast<int>(project.insert_local_toc))
        .arg(textOf(project.indent))
        .arg(static_cast<int>(project.anchor_style == anchor_kind::id));
}

// Every field of the wizard on one line.
QString stateDump(const WizardState& state) {
    QStringList sources;
    for (const byte_string& entry : state.sources)
        sources.append(textOf(entry));
    return QStringLiteral(
               "new=%1 single=%2 source='%3' overwrite=%4 dest1='%5' list=[%6] dest2='%7' "
               "range=%8..%9 titles=%10 numbers=%11 local=%12 anchor='%13' indent='%14' "
               "template=%15 project='%16' ids=%17")
        .arg(state.newProject)
        .arg(state.singleFile)
        .arg(textOf(state.source))
        .arg(state.overwriteSource)
        .arg(textOf(state.singleDestination))
        .arg(sources.join('|'))
        .arg(textOf(state.multiDestination))
        .arg(state.rangeFrom)
        .arg(state.rangeTo)
        .arg(state.processTitle)
        .arg(state.processNumbering)
        .arg(state.insertLocalToc)
        .arg(textOf(state.anchorAttributes))
        .arg(textOf(state.indent))
        .arg(state.templateIndex)
        .arg(textOf(state.projectFile))
        .arg(static_cast<int>(state.anchorStyle == anchor_kind::id));
}

}  // namespace

class ProjectWizardTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<ScratchFolder> scratch_;
    std::unique_ptr<FakePlatformServices> services_;
    std::unique_ptr<TemplateCatalogue> catalogue_;
    std::unique_ptr<TemplateDescriptionBox> descriptionBox_;
    std::unique_ptr<ProjectWizard> wizard_;
    toc_project project_;
    int projectShows_ = 0;

    const WizardControls& c() const { return wizard_->controls(); }
    QString title() const { return c().title->text(); }
    // The caption without its mnemonic mark.
    QString forward() const { return c().forward->text().remove('&'); }
    QString dump() const { return stateDump(wizard_->state()); }

    void next() {
        QVERIFY(c().forward->isEnabled());
        QTest::mouseClick(c().forward, Qt::LeftButton);
    }
    void back() {
        QVERIFY(!c().back->isHidden());
        QTest::mouseClick(c().back, Qt::LeftButton);
    }

    // From the Welcome page to the Range page of a multi-file project with two files.
    void walkToMultiRange() {
        next();
        c().multipleFiles->click();
        next();
        services_->answerFiles(
            {scratch_->bytesPath("site/a.htm"), scratch_->bytesPath("site/b.htm")});
        c().sourceList->addButton()->click();
        next();
        c().multiDestination->setText(scratch_->path("site/index.htm"));
        next();
        QCOMPARE(title(), QString("Select range of headings"));
    }

  private slots:
    void init() {
        scratch_ = std::make_unique<ScratchFolder>();
        QVERIFY(scratch_->isValid());
        scratch_->put("qvdata/templates.txt", catalogueFile);
        services_ = std::make_unique<FakePlatformServices>();
        catalogue_ = std::make_unique<TemplateCatalogue>(scratch_->bytesPath("qvdata"));
        QVERIFY(catalogue_->load());
        descriptionBox_ = std::make_unique<TemplateDescriptionBox>();
        project_.reset();
        projectShows_ = 0;

        wizard_ = std::make_unique<ProjectWizard>(*services_);
        WizardHost host;
        host.project = &project_;
        host.catalogue = catalogue_.get();
        host.templateDescriptionBox = descriptionBox_.get();
        host.showProject = [this] { ++projectShows_; };
        wizard_->initialise(std::move(host));
        wizard_->start(WizardPage::welcome);
    }
    void cleanup() {
        services_->verifyAllAnswered();
        wizard_.reset();
        descriptionBox_.reset();
        services_.reset();
        scratch_.reset();
    }

    void welcomePage() {
        QCOMPARE(wizard_->windowTitle(), QString("Project Wizard"));
        QVERIFY(wizard_->width() >= 621 && wizard_->height() >= 361);
        QVERIFY(wizard_->isVisible());
        QCOMPARE(title(), QString("Welcome to the project wizard"));
        QCOMPARE(forward(), QString("Next >"));
        QVERIFY(c().forward->isEnabled());
        QVERIFY(c().back->isHidden());
        QVERIFY(c().quickHelp->toPlainText().startsWith("You can create new TOC project"));
        QVERIFY(c().newProject->isChecked());
        QCOMPARE(c().templateList->count(), 2);
    }

    void openPageFinishNeedsAPath() {
        c().openExisting->click();
        next();
        QCOMPARE(title(), QString("Open already created TOC project"));
        QCOMPARE(forward(), QString("Finish"));
        QVERIFY(!c().forward->isEnabled());
        c().projectFile->setText("p.toc");
        QVERIFY(c().forward->isEnabled());
        c().projectFile->clear();
        QVERIFY(!c().forward->isEnabled());

        services_->answerFile(RequestKind::open_file, scratch_->bytesPath("p.toc"));
        c().selectProject->click();
        QCOMPARE(c().projectFile->text(), scratch_->path("p.toc"));
        QVERIFY(c().forward->isEnabled());
        const PlatformRequest& request = services_->requests().back();
        QCOMPARE(request.title, std::string("Open project settings file"));
        QCOMPARE(request.filter, std::string("TOC Files (*.toc)|*.toc|Text Files (*.txt)|*.txt|"
                                             "All Files (*.*)|*.*"));
        QCOMPARE(request.defaultExtension, std::string());
        QVERIFY(request.openMode == OpenMode::existing_file);

        // the box is emptied each time the page is shown
        back();
        c().openExisting->click();
        next();
        QCOMPARE(c().projectFile->text(), QString());
    }

    void newProjectStartsResetAtModePage() {
        walkToMultiRange();
        c().processTitle->setChecked(true);
        next();
        c().indent->setText("  ");
        wizard_->reject();
        QVERIFY(!wizard_->isVisible());

        wizard_->start(WizardPage::mode);
        QVERIFY(wizard_->isVisible());
        QCOMPARE(title(), QString("Generate table of contents for"));
        QCOMPARE(forward(), QString("Next >"));
        QVERIFY(c().back->isHidden());
        QCOMPARE(dump(), stateDump(WizardState{}));
        QCOMPARE(c().sourceList->count(), 0);
        QCOMPARE(projectShows_, 0);
    }

    void singleSourceRule_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("overwrite");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("nothing") << "" << true << "" << false;
        QTest::newRow("source overwritten") << "/s/a.htm" << true << "" << true;
        QTest::newRow("no overwrite, no destination") << "/s/a.htm" << false << "" << false;
        QTest::newRow("own destination") << "/s/a.htm" << false << "/s/b.htm" << true;
        QTest::newRow("destination alone") << "" << false << "/s/b.htm" << false;
    }
    void singleSourceRule() {
        QFETCH(QString, source);
        QFETCH(bool, overwrite);
        QFETCH(QString, destination);
        QFETCH(bool, enabled);
        next();
        next();
        QCOMPARE(title(), QString("Select HTML file for which you need to create TOC"));
        c().overwriteSource->setChecked(overwrite);
        c().source->setText(source);
        c().singleDestination->setText(destination);
        QCOMPARE(c().forward->isEnabled(), enabled);
        QCOMPARE(c().singleDestination->isEnabled(), !overwrite);
        QCOMPARE(c().saveAs->isEnabled(), !overwrite);
    }

    void singleSourceDialogs() {
        next();
        next();
        c().overwriteSource->click();
        services_->answerFile(RequestKind::open_file, scratch_->bytesPath("s/a.htm"));
        c().selectSource->click();
        QVERIFY(!c().forward->isEnabled());
        // Save as starts in the source's folder while the destination is empty
        services_->answerFile(RequestKind::save_file, scratch_->bytesPath("t/b.html"));
        c().saveAs->click();
        QVERIFY(c().forward->isEnabled());
        services_->cancel(RequestKind::open_file);
        c().selectSource->click();
        const std::string s = scratch_->bytesPath("s");
        QCOMPARE(services_->log(),
                 "open dialog \"Open source file for building ToC\" in \"\"\n"
                 "save dialog \"Save file with inserted ToC as\" in \"" +
                     s +
                     "\"\n"
                     "open dialog \"Open source file for building ToC\" in \"" +
                     s + "\"");
        QCOMPARE(services_->requests()[1].defaultExtension, std::string(".html"));
        QCOMPARE(c().source->text(), scratch_->path("s/a.htm"));
        QCOMPARE(c().singleDestination->text(), scratch_->path("t/b.html"));
    }

    void removingLastFileDisablesNext() {
        walkToMultiRange();
        back();
        back();
        QCOMPARE(title(), QString("Select HTML files for which you need to create TOC"));
        QVERIFY(c().forward->isEnabled());
        c().sourceList->list()->selectAll();
        services_->answerQuestion(true);
        c().sourceList->deleteButton()->click();
        QCOMPARE(c().sourceList->count(), 0);
        QVERIFY(!c().forward->isEnabled());
    }

    void destinationDialogStartsAtFirstFile() {
        next();
        c().multipleFiles->click();
        next();
        services_->answerFile(RequestKind::open_file, scratch_->bytesPath("site/a.htm"));
        c().sourceList->addButton()->click();
        next();
        QVERIFY(!c().forward->isEnabled());
        services_->answerFile(RequestKind::open_file, scratch_->bytesPath("out/new.htm"));
        c().selectDestination->click();
        QVERIFY(c().forward->isEnabled());
        const PlatformRequest& request = services_->requests().back();
        QCOMPARE(request.title, std::string("Open or create file that will hold ToC"));
        QCOMPARE(request.folder, scratch_->bytesPath("site"));
        QVERIFY(request.openMode == OpenMode::any_file);
    }

    // Fields kept from earlier, as they stand when the Open page leads back to Welcome.
    void backToWelcomeClearsEveryField() {
        c().openExisting->click();
        next();
        c().projectFile->setText("/p/old.toc");
        c().multipleFiles->setChecked(true);
        c().source->setText("/s/a.htm");
        c().overwriteSource->setChecked(false);
        c().singleDestination->setText("/s/b.htm");
        c().sourceList->setPaths({byte_string("/s/a.htm"), byte_string("/s/c.htm")});
        c().multiDestination->setText("/s/index.htm");
        c().rangeFrom->setCurrentIndex(2);
        c().rangeTo->setCurrentIndex(3);
        c().processTitle->setChecked(true);
        c().processNumbering->setChecked(false);
        c().insertLocalToc->setChecked(true);
        c().anchorAttributes->setText("class=\"a\"");
        c().anchorStyle->setCurrentIndex(1);
        c().indent->setText("--");
        c().templateList->setCurrentIndex(1);
        back();
        QCOMPARE(title(), QString("Welcome to the project wizard"));
        QVERIFY(c().back->isHidden());
        QCOMPARE(dump(), stateDump(WizardState{}));
    }

    void multiFileProject_data() {
        QTest::addColumn<bool>("overwrite");
        QTest::addColumn<QString>("expected");
        QTest::newRow("overwrite checked")
            << true
            << "single=0 back=1 source=[S/a.htm|S/b.htm] dest='S/index.htm' range=2..3 "
               "anchor=' class=\"x\"' titles=1 numbers=0 template=toc_text.htm local=1 "
               "indent='--' ids=1";
        QTest::newRow("overwrite unchecked")
            << false
            << "single=0 back=0 source=[S/a.htm|S/b.htm] dest='S/index.htm' range=2..3 "
               "anchor=' class=\"x\"' titles=1 numbers=0 template=toc_text.htm local=1 "
               "indent='--' ids=1";
    }
    void multiFileProject() {
        QFETCH(bool, overwrite);
        QFETCH(QString, expected);
        c().overwriteSource->setChecked(overwrite);
        walkToMultiRange();
        QVERIFY(!c().processTitle->isHidden());
        c().rangeFrom->setCurrentIndex(1);
        c().rangeTo->setCurrentIndex(2);
        c().processTitle->setChecked(true);
        next();
        QVERIFY(!c().insertLocalToc->isHidden());
        QTest::mouseClick(c().numberingCaption, Qt::LeftButton);
        c().insertLocalToc->setChecked(true);
        c().anchorAttributes->setText("class=\"x\"");
        c().anchorStyle->setCurrentIndex(1);
        c().indent->setText("--");
        next();
        QCOMPARE(title(), QString("Select TOC template"));
        QCOMPARE(forward(), QString("Finish"));
        c().templateList->setCurrentIndex(1);
        next();
        QCOMPARE(projectShows_, 1);
        QCOMPARE(projectDump(project_).replace(scratch_->path("site"), "S"), expected);
        QCOMPARE(textOf(project_.template_file), scratch_->path("qvdata/toc_text.htm"));

        QCOMPARE(title(), QString("You are finished"));
        QCOMPARE(forward(), QString("Close"));
        QCOMPARE(c().quickHelp->toPlainText(), QString("Click 'Close' button"));
        next();
        QVERIFY(!wizard_->isVisible());
    }

    // Titles ticked in a multi-file pass stay ticked, hidden, and are dropped for a single file.
    void singleFileProjectDropsTitles() {
        walkToMultiRange();
        c().processTitle->setChecked(true);
        back();
        back();
        back();
        c().singleFile->click();
        QVERIFY(c().processTitle->isHidden());
        QVERIFY(c().insertLocalToc->isHidden());
        next();
        c().source->setText("/s/page.htm");
        next();
        QVERIFY(c().processTitle->isChecked());
        back();
        QCOMPARE(title(), QString("Select HTML file for which you need to create TOC"));
        next();
        next();
        next();
        next();
        QCOMPARE(projectDump(project_),
                 "single=1 back=1 source=[/s/page.htm] dest='' range=1..6 anchor='' titles=0 "
                 "numbers=1 template=toc_list.htm local=0 indent='' ids=0");
    }

    void cancelAndFrameCloseLeaveTheProject() {
        const QString before = projectDump(project_);
        walkToMultiRange();
        QTest::mouseClick(c().cancel, Qt::LeftButton);
        QVERIFY(!wizard_->isVisible());
        wizard_->start(WizardPage::welcome);
        wizard_->close();
        QVERIFY(!wizard_->isVisible());
        QCOMPARE(projectDump(project_), before);
        QCOMPARE(projectShows_, 0);
    }

    void templatePageLinkAndHelp() {
        next();
        next();
        c().source->setText("/s/a.htm");
        next();
        next();
        next();
        QCOMPARE(title(), QString("Select TOC template"));
        c().templateList->setCurrentIndex(1);
        QTest::mouseClick(c().templateDescription, Qt::LeftButton);
        QVERIFY(descriptionBox_->isVisible());
        descriptionBox_->close();
        // the link is reached with Tab and opened from the keyboard too
        QVERIFY(c().templateDescription->focusPolicy() & Qt::TabFocus);
        QTest::keyClick(c().templateDescription, Qt::Key_Space);
        QVERIFY(descriptionBox_->isVisible());
        QCOMPARE(descriptionBox_->windowTitle(), QString("Plain text"));
        QCOMPARE(descriptionBox_->shownText(), QString("Lines\nof text"));
        // "Edit template" asks the platform for nothing
        c().editTemplate->click();

        // F1 opens "help/7.html" from the format pages' groups, "help.html" elsewhere
        QCOMPARE(helpContextOf(c().templateList), 7);
        QCOMPARE(helpContextOf(c().rangeFrom), 7);
        QCOMPARE(helpContextOf(c().indent), 7);
        QCOMPARE(helpContextOf(c().source), 0);
        QCOMPARE(helpContextOf(c().cancel), 0);
        for (QLabel* picture : c().finishedPictures)
            QVERIFY(!picture->pixmap().isNull());
    }

    // At a 13 pt font every page gives each of its widgets at least the size it asks for, and
    // the window is never below its least size.
    void pagesFitTheirWidgetsAtLargeFont() {
        const QFont normal = QApplication::font();
        QFont large = normal;
        large.setPointSizeF(13);
        QApplication::setFont(large);
        ProjectWizard wizard(*services_);
        WizardHost host;
        host.catalogue = catalogue_.get();
        wizard.initialise(std::move(host));
        wizard.start(WizardPage::welcome);
        QVERIFY(wizard.width() >= 621 && wizard.height() >= 361);
        const WizardControls& controls = wizard.controls();
        controls.multipleFiles->setChecked(true);
        for (int page = 0; page < controls.pages->count(); ++page) {
            controls.pages->setCurrentIndex(page);
            QApplication::processEvents();
            for (QWidget* widget : wizard.findChildren<QWidget*>()) {
                if (!widget->isVisible() || !widget->minimumSizeHint().isValid()) continue;
                const QSize needed = widget->minimumSizeHint();
                QVERIFY2(widget->width() >= needed.width() && widget->height() >= needed.height(),
                         qPrintable(QString("page %1: %2 \"%3\"")
                                        .arg(page)
                                        .arg(widget->metaObject()->className())
                                        .arg(widget->property("text").toString())));
            }
        }
        QVERIFY(controls.title->width() >= controls.title->sizeHint().width());
        wizard.reject();
        QApplication::setFont(normal);
    }
};

QTEST_MAIN(ProjectWizardTest)
#include "project_wizard_test.moc"
