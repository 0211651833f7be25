#include "project_wizard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <memory>

#include "fake_platform_services.h"
#include "generic_ui.h"
#include "qt_text.h"
#include "scratch_folder.h"
#include "source_file_list.h"
#include "template_catalogue.h"
#include "template_description_box.h"
#include "toc_project.h"

namespace {

const QByteArray catalogue_file =
    "<file>toc_list.htm</file>\r\n<name>Nested list</name>\r\n"
    "<description>Bullets</description>\r\n"
    "<file>toc_text.htm</file>\r\n<name>Plain text</name>\r\n"
    "<description>Lines\r\nof text</description>\r\n";

QString text_of(const byte_string& text) {
    return qt_text(text.view());
}
// Everything a finished wizard puts into a project; the template as its file name.
QString project_dump(const toc_project& project) {
    QStringList sources;
    for (const byte_string& entry : project.source)
        sources.append(text_of(entry));
    const QString template_file = text_of(project.template_file);
    return QStringLiteral(
               "single=%1 back=%2 source=[%3] dest='%4' range=%5..%6 anchor='%7' titles=%8 "
               "numbers=%9 template=%10 local=%11 indent='%12'")
        .arg(static_cast<int>(project.is_single))
        .arg(static_cast<int>(project.is_dest_as_source))
        .arg(sources.join('|'))
        .arg(text_of(project.destination))
        .arg(static_cast<int>(project.range_from))
        .arg(static_cast<int>(project.range_to))
        .arg(text_of(project.named_anchor_attributes))
        .arg(static_cast<int>(project.process_title))
        .arg(static_cast<int>(project.process_numbering))
        .arg(template_file.mid(template_file.lastIndexOf('/') + 1))
        .arg(static_cast<int>(project.insert_local_toc))
        .arg(text_of(project.indent));
}

// Every field of the wizard on one line.
QString state_dump(const wizard_state& state) {
    QStringList sources;
    for (const byte_string& entry : state.sources)
        sources.append(text_of(entry));
    return QStringLiteral(
               "new=%1 single=%2 source='%3' overwrite=%4 dest1='%5' list=[%6] dest2='%7' "
               "range=%8..%9 titles=%10 numbers=%11 local=%12 anchor='%13' indent='%14' "
               "template=%15 project='%16'")
        .arg(state.new_project)
        .arg(state.single_file)
        .arg(text_of(state.source))
        .arg(state.overwrite_source)
        .arg(text_of(state.single_destination))
        .arg(sources.join('|'))
        .arg(text_of(state.multi_destination))
        .arg(state.range_from)
        .arg(state.range_to)
        .arg(state.process_title)
        .arg(state.process_numbering)
        .arg(state.insert_local_toc)
        .arg(text_of(state.anchor_attributes))
        .arg(text_of(state.indent))
        .arg(state.template_index)
        .arg(text_of(state.project_file));
}

}  // namespace

class WizardTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<scratch_folder> scratch_;
    std::unique_ptr<fake_platform_services> services_;
    std::unique_ptr<template_catalogue> catalogue_;
    std::unique_ptr<TemplateDescriptionBox> description_box_;
    std::unique_ptr<ProjectWizard> wizard_;
    toc_project project_;
    int project_shows_ = 0;

    const wizard_controls& c() const { return wizard_->controls(); }
    QString title() const { return c().title->text(); }
    QString forward() const { return c().forward->text(); }
    QString dump() const { return state_dump(wizard_->state()); }

    void next() {
        QVERIFY(c().forward->isEnabled());
        QTest::mouseClick(c().forward, Qt::LeftButton);
    }
    void back() {
        QVERIFY(!c().back->isHidden());
        QTest::mouseClick(c().back, Qt::LeftButton);
    }

    // From the Welcome page to the Range page of a multi-file project with two files.
    void walk_to_multi_range() {
        next();
        c().multiple_files->click();
        next();
        services_->answer_file(request_kind::open_file,
                               scratch_->bytes_path("site") + '\0' + "a.htm" + '\0' + "b.htm");
        c().source_list->add_button()->click();
        next();
        c().multi_destination->setText(scratch_->path("site/index.htm"));
        next();
        QCOMPARE(title(), QString("Select range of headings"));
    }

  private slots:
    void init() {
        scratch_ = std::make_unique<scratch_folder>();
        QVERIFY(scratch_->is_valid());
        scratch_->put("qvdata/templates.txt", catalogue_file);
        services_ = std::make_unique<fake_platform_services>();
        catalogue_ = std::make_unique<template_catalogue>(scratch_->bytes_path("qvdata"));
        QVERIFY(catalogue_->load());
        description_box_ = std::make_unique<TemplateDescriptionBox>();
        project_.reset();
        project_shows_ = 0;

        wizard_ = std::make_unique<ProjectWizard>(*services_);
        wizard_host host;
        host.project = &project_;
        host.catalogue = catalogue_.get();
        host.template_description_box = description_box_.get();
        host.show_project = [this] { ++project_shows_; };
        wizard_->initialise(std::move(host));
        wizard_->start(wizard_page::welcome);
    }
    void cleanup() {
        services_->verify_all_answered();
        wizard_.reset();
        description_box_.reset();
        services_.reset();
        scratch_.reset();
    }

    void welcome_page() {
        QCOMPARE(wizard_->windowTitle(), QString("Project Wizard"));
        QCOMPARE(wizard_->size(), QSize(621, 361));
        QVERIFY(wizard_->isVisible());
        QCOMPARE(title(), QString("Welcome to the project wizard"));
        QCOMPARE(forward(), QString("Next >"));
        QVERIFY(c().forward->isEnabled());
        QVERIFY(c().back->isHidden());
        QVERIFY(c().quick_help->toPlainText().startsWith("You can create new TOC project"));
        QVERIFY(c().new_project->isChecked());
        QCOMPARE(c().template_list->count(), 2);
    }

    void open_page_finish_needs_a_path() {
        c().open_existing->click();
        next();
        QCOMPARE(title(), QString("Open already created TOC project"));
        QCOMPARE(forward(), QString("Finish"));
        QVERIFY(!c().forward->isEnabled());
        c().project_file->setText("p.toc");
        QVERIFY(c().forward->isEnabled());
        c().project_file->clear();
        QVERIFY(!c().forward->isEnabled());

        services_->answer_file(request_kind::open_file, scratch_->bytes_path("p.toc"));
        c().select_project->click();
        QCOMPARE(c().project_file->text(), scratch_->path("p.toc"));
        QVERIFY(c().forward->isEnabled());
        const platform_request& request = services_->requests().back();
        QCOMPARE(request.title, std::string("Open project settings file"));
        QCOMPARE(request.filter, std::string("TOC Files (*.toc)|*.toc|Text Files (*.txt)|*.txt|"
                                             "All Files (*.*)|*.*"));
        QCOMPARE(request.default_extension, std::string());
        QVERIFY((request.flags & dialog_file_must_exist) != 0);

        // the box is emptied each time the page is shown
        back();
        c().open_existing->click();
        next();
        QCOMPARE(c().project_file->text(), QString());
    }

    void new_project_starts_reset_at_mode_page() {
        walk_to_multi_range();
        c().process_title->setChecked(true);
        next();
        c().indent->setText("  ");
        wizard_->reject();
        QVERIFY(!wizard_->isVisible());

        wizard_->start(wizard_page::mode);
        QVERIFY(wizard_->isVisible());
        QCOMPARE(title(), QString("Generate table of contents for"));
        QCOMPARE(forward(), QString("Next >"));
        QVERIFY(c().back->isHidden());
        QCOMPARE(dump(), state_dump(wizard_state{}));
        QCOMPARE(c().source_list->count(), 0);
        QCOMPARE(project_shows_, 0);
    }

    void single_source_rule_data() {
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
    void single_source_rule() {
        QFETCH(QString, source);
        QFETCH(bool, overwrite);
        QFETCH(QString, destination);
        QFETCH(bool, enabled);
        next();
        next();
        QCOMPARE(title(), QString("Select HTML file for which you need to create TOC"));
        c().overwrite_source->setChecked(overwrite);
        c().source->setText(source);
        c().single_destination->setText(destination);
        QCOMPARE(c().forward->isEnabled(), enabled);
        QCOMPARE(c().single_destination->isEnabled(), !overwrite);
        QCOMPARE(c().save_as->isEnabled(), !overwrite);
    }

    void single_source_dialogs() {
        next();
        next();
        c().overwrite_source->click();
        services_->answer_file(request_kind::open_file, scratch_->bytes_path("s/a.htm"));
        c().select_source->click();
        QVERIFY(!c().forward->isEnabled());
        // Save as starts in the source's folder while the destination is empty
        services_->answer_file(request_kind::save_file, scratch_->bytes_path("t/b.html"));
        c().save_as->click();
        QVERIFY(c().forward->isEnabled());
        services_->cancel(request_kind::open_file);
        c().select_source->click();
        const std::string s = scratch_->bytes_path("s");
        QCOMPARE(services_->log(),
                 "open dialog \"Open source file for building ToC\" in \"\"\n"
                 "save dialog \"Save file with inserted ToC as\" in \"" +
                     s +
                     "\"\n"
                     "open dialog \"Open source file for building ToC\" in \"" +
                     s + "\"");
        QCOMPARE(services_->requests()[1].default_extension, std::string(".html"));
        QCOMPARE(c().source->text(), scratch_->path("s/a.htm"));
        QCOMPARE(c().single_destination->text(), scratch_->path("t/b.html"));
    }

    void removing_last_file_disables_next() {
        walk_to_multi_range();
        back();
        back();
        QCOMPARE(title(), QString("Select HTML files for which you need to create TOC"));
        QVERIFY(c().forward->isEnabled());
        c().source_list->list()->selectAll();
        services_->answer_question(true);
        c().source_list->delete_button()->click();
        QCOMPARE(c().source_list->count(), 0);
        QVERIFY(!c().forward->isEnabled());
    }

    void destination_dialog_starts_at_first_file() {
        next();
        c().multiple_files->click();
        next();
        services_->answer_file(request_kind::open_file, scratch_->bytes_path("site/a.htm"));
        c().source_list->add_button()->click();
        next();
        QVERIFY(!c().forward->isEnabled());
        services_->answer_file(request_kind::open_file, scratch_->bytes_path("out/new.htm"));
        c().select_destination->click();
        QVERIFY(c().forward->isEnabled());
        const platform_request& request = services_->requests().back();
        QCOMPARE(request.title, std::string("Open or create file that will hold ToC"));
        QCOMPARE(request.folder, scratch_->bytes_path("site"));
        QVERIFY((request.flags & dialog_file_must_exist) == 0);
    }

    // Fields kept from earlier, as they stand when the Open page leads back to Welcome.
    void back_to_welcome_clears_every_field() {
        c().open_existing->click();
        next();
        c().project_file->setText("/p/old.toc");
        c().multiple_files->setChecked(true);
        c().source->setText("/s/a.htm");
        c().overwrite_source->setChecked(false);
        c().single_destination->setText("/s/b.htm");
        c().source_list->set_paths({byte_string("/s/a.htm"), byte_string("/s/c.htm")});
        c().multi_destination->setText("/s/index.htm");
        c().range_from->setCurrentIndex(2);
        c().range_to->setCurrentIndex(3);
        c().process_title->setChecked(true);
        c().process_numbering->setChecked(false);
        c().insert_local_toc->setChecked(true);
        c().anchor_attributes->setText("class=\"a\"");
        c().indent->setText("--");
        c().template_list->setCurrentIndex(1);
        back();
        QCOMPARE(title(), QString("Welcome to the project wizard"));
        QVERIFY(c().back->isHidden());
        QCOMPARE(dump(), state_dump(wizard_state{}));
    }

    void multi_file_project_data() {
        QTest::addColumn<bool>("overwrite");
        QTest::addColumn<QString>("expected");
        QTest::newRow("overwrite checked")
            << true
            << "single=0 back=1 source=[S/a.htm|S/b.htm] dest='S/index.htm' range=2..3 "
               "anchor=' class=\"x\"' titles=1 numbers=0 template=toc_text.htm local=1 "
               "indent='--'";
        QTest::newRow("overwrite unchecked")
            << false
            << "single=0 back=0 source=[S/a.htm|S/b.htm] dest='S/index.htm' range=2..3 "
               "anchor=' class=\"x\"' titles=1 numbers=0 template=toc_text.htm local=1 "
               "indent='--'";
    }
    void multi_file_project() {
        QFETCH(bool, overwrite);
        QFETCH(QString, expected);
        c().overwrite_source->setChecked(overwrite);
        walk_to_multi_range();
        QVERIFY(!c().process_title->isHidden());
        c().range_from->setCurrentIndex(1);
        c().range_to->setCurrentIndex(2);
        c().process_title->setChecked(true);
        next();
        QVERIFY(!c().insert_local_toc->isHidden());
        QTest::mouseClick(c().numbering_caption, Qt::LeftButton);
        c().insert_local_toc->setChecked(true);
        c().anchor_attributes->setText("class=\"x\"");
        c().indent->setText("--");
        next();
        QCOMPARE(title(), QString("Select TOC template"));
        QCOMPARE(forward(), QString("Finish"));
        c().template_list->setCurrentIndex(1);
        next();
        QCOMPARE(project_shows_, 1);
        QCOMPARE(project_dump(project_).replace(scratch_->path("site"), "S"), expected);
        QCOMPARE(text_of(project_.template_file), scratch_->path("qvdata/toc_text.htm"));

        QCOMPARE(title(), QString("You are finished"));
        QCOMPARE(forward(), QString("Close"));
        QCOMPARE(c().quick_help->toPlainText(), QString("Click 'Close' button"));
        next();
        QVERIFY(!wizard_->isVisible());
    }

    // Titles ticked in a multi-file pass stay ticked, hidden, and are dropped for a single file.
    void single_file_project_drops_titles() {
        walk_to_multi_range();
        c().process_title->setChecked(true);
        back();
        back();
        back();
        c().single_file->click();
        QVERIFY(c().process_title->isHidden());
        QVERIFY(c().insert_local_toc->isHidden());
        next();
        c().source->setText("/s/page.htm");
        next();
        QVERIFY(c().process_title->isChecked());
        back();
        QCOMPARE(title(), QString("Select HTML file for which you need to create TOC"));
        next();
        next();
        next();
        next();
        QCOMPARE(project_dump(project_),
                 "single=1 back=1 source=[/s/page.htm] dest='' range=1..6 anchor='' titles=0 "
                 "numbers=1 template=toc_list.htm local=0 indent=''");
    }

    void cancel_and_frame_close_leave_the_project() {
        const QString before = project_dump(project_);
        walk_to_multi_range();
        QTest::mouseClick(c().cancel, Qt::LeftButton);
        QVERIFY(!wizard_->isVisible());
        wizard_->start(wizard_page::welcome);
        wizard_->close();
        QVERIFY(!wizard_->isVisible());
        QCOMPARE(project_dump(project_), before);
        QCOMPARE(project_shows_, 0);
    }

    void template_page_link_and_help() {
        next();
        next();
        c().source->setText("/s/a.htm");
        next();
        next();
        next();
        QCOMPARE(title(), QString("Select TOC template"));
        c().template_list->setCurrentIndex(1);
        QTest::mouseClick(c().template_description, Qt::LeftButton);
        QVERIFY(description_box_->isVisible());
        QCOMPARE(description_box_->windowTitle(), QString("Plain text"));
        QCOMPARE(description_box_->shown_text(), QString("Lines\nof text"));
        // "Edit template" asks the platform for nothing
        c().edit_template->click();

        // F1 opens "help/7.html" from the format pages' groups, "help.html" elsewhere
        QCOMPARE(qorv_generic_ui_class::help_context_of(c().template_list), 7);
        QCOMPARE(qorv_generic_ui_class::help_context_of(c().range_from), 7);
        QCOMPARE(qorv_generic_ui_class::help_context_of(c().indent), 7);
        QCOMPARE(qorv_generic_ui_class::help_context_of(c().source), 0);
        QCOMPARE(qorv_generic_ui_class::help_context_of(c().cancel), 0);
        for (QLabel* picture : c().finished_pictures)
            QVERIFY(!picture->pixmap().isNull());
    }
};

QTEST_MAIN(WizardTest)
#include "project_wizard_test.moc"
