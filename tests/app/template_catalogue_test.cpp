#include "template_catalogue.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QWindow>
#include <memory>

#include "fake_platform_services.h"
#include "qt_text.h"
#include "scratch_folder.h"
#include "template_actions.h"
#include "template_description_box.h"

namespace {

// One catalogue entry as three lines; bytes of the file are written as they are.
QByteArray entry(const QByteArray& file, const QByteArray& name, const QByteArray& description) {
    return "<file>" + file + "</file>\r\n<name>" + name + "</name>\r\n<description>" + description +
           "</description>\r\n";
}

const QByteArray three_entries = entry("toc_list.htm", "Nested list", "Bullets") +
                                 entry("toc_ordered.htm", "Ordered list", "Numbers") +
                                 entry("Toc_Text.htm", "Plain text", "Preformatted");

QString text_of(const byte_string& text) {
    return qt_text(text.view());
}

// "names=A|B files=a|b" of a loaded catalogue, or "error=..." after a failure.
QString catalogue_dump(const template_catalogue& catalogue, bool loaded) {
    if (!loaded) return "error=" + qt_text(catalogue.error_text().view());
    QStringList names;
    QStringList files;
    const int prefix = static_cast<int>(catalogue.data_directory().length());
    for (int32_t i = 0; i < catalogue.count(); ++i) {
        names.append(qt_text(catalogue.names()[i].view()));
        files.append(qt_text(catalogue.template_path(i).view()).mid(prefix));
    }
    return "names=" + names.join('|') + " files=" + files.join('|');
}

}  // namespace

class TemplateCatalogueTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        scratch_ = std::make_unique<scratch_folder>();
        QVERIFY(scratch_->is_valid());
        services_ = std::make_unique<fake_platform_services>();
    }
    void cleanup() {
        services_->verify_all_answered();
        services_.reset();
        scratch_.reset();
    }

    void load_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("expected");
        const QString three =
            "names=Nested list|Ordered list|Plain text "
            "files=toc_list.htm|toc_ordered.htm|Toc_Text.htm";
        QTest::newRow("interleaved") << three_entries << three;
        QTest::newRow("grouped by kind")
            << QByteArray(
                   "<file>toc_list.htm</file><file>toc_ordered.htm</file>"
                   "<file>Toc_Text.htm</file><name>Nested list</name>"
                   "<name>Ordered list</name><name>Plain text</name>"
                   "<description>Bullets</description><description>Numbers</description>"
                   "<description>Preformatted</description>")
            << three;
        QTest::newRow("other keys ignored")
            << "<version>2</version>\r\n" + entry("a.htm", "A", "x") + "<author>me</author>"
            << QString("names=A files=a.htm");
        QTest::newRow("entities decoded")
            << entry("a.htm", "Tom &amp; Jerry", "x") << QString("names=Tom & Jerry files=a.htm");
        QTest::newRow("empty element not counted")
            << QByteArray(
                   "<file>a.htm</file><file>b.htm</file><name>A</name><name></name><name>B</name>"
                   "<description>x</description><description>y</description>")
            << QString("names=A|B files=a.htm|b.htm");
        QTest::newRow("no name at all")
            << QByteArray("<file>a.htm</file><description>x</description>")
            << QString("error=Tag <name> is missing.");
        QTest::newRow("only empty names")
            << QByteArray("<file>a.htm</file><name></name><description>x</description>")
            << QString("error=Tag <name> is missing.");
        QTest::newRow("file checked before name") << QByteArray("<description>x</description>")
                                                  << QString("error=Tag <file> is missing.");
        QTest::newRow("no description") << QByteArray("<file>a.htm</file><name>A</name>")
                                        << QString("error=Tag <description> is missing.");
        const QString count_message =
            "error=Each template description must have exactly one <file>, <name> and "
            "<description> tag.";
        QTest::newRow("two names for three files")
            << QByteArray(
                   "<file>a</file><file>b</file><file>c</file><name>A</name><name>B</name>"
                   "<description>x</description><description>y</description>"
                   "<description>z</description>")
            << count_message;
        QTest::newRow("extra description")
            << entry("a.htm", "A", "x") + "<description>y</description>" << count_message;
        QTest::newRow("empty file") << QByteArray() << QString("error=Tag <file> is missing.");
    }
    void load() {
        QFETCH(QByteArray, file);
        QFETCH(QString, expected);
        scratch_->put("qvdata/templates.txt", file);
        template_catalogue catalogue(scratch_->bytes_path("qvdata"));
        const bool loaded = catalogue.load();
        QCOMPARE(catalogue_dump(catalogue, loaded), expected);
        QCOMPARE(catalogue.is_loaded(), loaded);
    }

    void failed_load_forgets_catalogue() {
        scratch_->put("qvdata/templates.txt", three_entries);
        template_catalogue catalogue(scratch_->bytes_path("qvdata") + "/");
        QVERIFY(catalogue.load());
        QCOMPARE(text_of(catalogue.template_path(1)), scratch_->path("qvdata/toc_ordered.htm"));

        scratch_->put("qvdata/templates.txt", "<file>a.htm</file");
        QVERIFY(!catalogue.load());
        QVERIFY2(catalogue.error_text().starts_with("Line: "), catalogue.error_text().data());
        QCOMPARE(catalogue.count(), 0);
        QVERIFY(catalogue.names().empty());
        QVERIFY(catalogue.template_path(1).is_empty());
        QCOMPARE(text_of(catalogue.project_template_file(1)), scratch_->path("qvdata/"));
        byte_string text("untouched");
        QVERIFY(!catalogue.description(0, text));
        QCOMPARE(text_of(text), "untouched");

        QFile::remove(scratch_->path("qvdata/templates.txt"));
        QVERIFY(!catalogue.load());
        QCOMPARE(text_of(catalogue.error_text()),
                 "Can't open file " + scratch_->path("qvdata/templates.txt"));
    }

    void select_by_path_data() {
        QTest::addColumn<QString>("template_file");
        QTest::addColumn<int>("expected");
        QTest::newRow("empty") << QString("") << 0;
        QTest::newRow("bare name") << QString("toc_ordered.htm") << 1;
        QTest::newRow("other folder") << QString("/elsewhere/templates/toc_ordered.htm") << 1;
        QTest::newRow("mixed-case catalogue name") << QString("/x/Toc_Text.htm") << 2;
        QTest::newRow("case differs") << QString("/x/TOC_ORDERED.htm") << 0;
        QTest::newRow("unknown") << QString("/x/mine.htm") << 0;
        QTest::newRow("trailing slash") << QString("/x/toc_ordered.htm/") << 0;
        QTest::newRow("backslash is a name byte") << QString("C:\\qvdata\\toc_ordered.htm") << 0;
    }
    void select_by_path() {
        QFETCH(QString, template_file);
        QFETCH(int, expected);
        scratch_->put("qvdata/templates.txt", three_entries);
        template_catalogue catalogue(scratch_->bytes_path("qvdata"));
        QVERIFY(catalogue.load());
        const std::string path = template_file.toStdString();
        QCOMPARE(catalogue.select_by_path(path), expected);
        // a selection found in another folder comes back as the data directory's file
        QCOMPARE(text_of(catalogue.project_template_file(catalogue.select_by_path(path))),
                 text_of(catalogue.template_path(expected)));
        template_catalogue absent(scratch_->bytes_path("qvdata"));
        QCOMPARE(absent.select_by_path(path), 0);
    }

    void description_data() {
        QTest::addColumn<QByteArray>("description");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QString>("shown");
        QTest::newRow("bare LF") << QByteArray("one\ntwo\n\nthree")
                                 << QByteArray("one\r\ntwo\r\n\r\nthree")
                                 << QString("one\ntwo\n\nthree");
        QTest::newRow("CR LF not doubled")
            << QByteArray("one\r\ntwo") << QByteArray("one\r\ntwo") << QString("one\ntwo");
        // the reader takes a lone CR for a line end
        QTest::newRow("bare CR") << QByteArray("one\rtwo") << QByteArray("one\r\ntwo")
                                 << QString("one\ntwo");
        QTest::newRow("ampersand literal") << QByteArray("Q&amp;A &amp;&amp; more")
                                           << QByteArray("Q&A && more") << QString("Q&A && more");
    }
    void description() {
        QFETCH(QByteArray, description);
        QFETCH(QByteArray, expected);
        QFETCH(QString, shown);
        scratch_->put("qvdata/templates.txt", entry("a.htm", "Fish &amp; Chips [*]", "x") +
                                                  entry("b.htm", "B", description));
        template_catalogue catalogue(scratch_->bytes_path("qvdata"));
        QVERIFY(catalogue.load());
        byte_string text;
        QVERIFY(catalogue.description(1, text));
        QCOMPARE(QByteArray(text.data(), text.length()), expected);

        TemplateDescriptionBox box;
        show_template_description(box, catalogue, 1, *services_);
        QVERIFY(box.isVisible());
        QVERIFY(box.isModal());
        QCOMPARE(box.windowTitle(), "B");
        QCOMPARE(box.shown_text(), shown);
        QCOMPARE(box.minimumSize(), box.maximumSize());
        QTest::mouseClick(box.findChild<QPushButton*>(), Qt::LeftButton);
        QVERIFY(!box.isVisible());

        show_template_description(box, catalogue, 0, *services_);
        QCOMPARE(box.windowHandle()->title(), "Fish & Chips [*]");
        box.close();
    }

    void description_needs_catalogue_and_selection() {
        scratch_->put("qvdata/templates.txt", three_entries);
        template_catalogue catalogue(scratch_->bytes_path("qvdata"));
        TemplateDescriptionBox box;
        show_template_description(box, catalogue, 0, *services_);
        QVERIFY(!box.isVisible());
        QVERIFY(catalogue.load());
        show_template_description(box, catalogue, -1, *services_);
        show_template_description(box, catalogue, 3, *services_);
        QVERIFY(!box.isVisible());
    }

    void edit_template_data() {
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("started");  // -1: the shell is not asked
        QTest::addColumn<QString>("log");
        QTest::newRow("opened") << true << 1 << 1 << QString("shell open \"$/toc_ordered.htm\"");
        QTest::newRow("shell fails") << true << 2 << 0
                                     << QString(
                                            "shell open \"$/Toc_Text.htm\"\n"
                                            "warning \"Can't open template file: $/Toc_Text.htm\"");
        QTest::newRow("nothing selected") << true << -1 << -1 << QString("");
        QTest::newRow("no catalogue") << false << 0 << -1 << QString("");
    }
    void edit_template() {
        QFETCH(bool, loaded);
        QFETCH(int, index);
        QFETCH(int, started);
        QFETCH(QString, log);
        scratch_->put("qvdata/templates.txt", three_entries);
        template_catalogue catalogue(scratch_->bytes_path("qvdata"));
        if (loaded) QVERIFY(catalogue.load());
        if (started >= 0) services_->answer_shell_open(started == 1);
        if (started == 0) services_->expect_message(request_kind::warning);
        ::edit_template(catalogue, index, *services_);
        QCOMPARE(QString::fromStdString(services_->log()),
                 log.replace("$", scratch_->path("qvdata")));
    }

    void reinit_template_data_data() {
        QTest::addColumn<QByteArray>("new_file");
        QTest::addColumn<QString>("names");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("warning");
        QTest::newRow("moved entry found by file name")
            << entry("other.htm", "Other", "o") + entry("Toc_Text.htm", "Text again", "t")
            << QString("Other|Text again") << 1 << QString("");
        QTest::newRow("entry gone")
            << entry("other.htm", "Other", "o") + entry("toc_list.htm", "List", "l")
            << QString("Other|List") << 0 << QString("");
        QTest::newRow("broken catalogue keeps the old names")
            << QByteArray("<file>a.htm</file><description>x</description>")
            << QString("Nested list|Ordered list|Plain text") << 2
            << QString("Tag <name> is missing.");
    }
    void reinit_template_data() {
        QFETCH(QByteArray, new_file);
        QFETCH(QString, names);
        QFETCH(int, selected);
        QFETCH(QString, warning);
        scratch_->put("qvdata/templates.txt", three_entries);
        template_catalogue catalogue(scratch_->bytes_path("qvdata"));
        QVERIFY(catalogue.load());
        QComboBox list;
        fill_template_list(list, catalogue);
        list.setCurrentIndex(2);

        // the main window's two transfers, reduced to the template
        byte_string template_file;
        QStringList steps;
        const auto take_controls = [&] {
            steps.append("take");
            template_file = catalogue.project_template_file(list.currentIndex());
        };
        const auto show_project = [&] {
            steps.append("show");
            list.setCurrentIndex(catalogue.select_by_path(template_file.view()));
        };
        scratch_->put("qvdata/templates.txt", new_file);
        if (!warning.isEmpty()) services_->expect_message(request_kind::warning);
        const bool done =
            ::reinit_template_data(catalogue, list, *services_, take_controls, show_project);

        QCOMPARE(done, warning.isEmpty());
        QCOMPARE(steps.join(','), done ? "take,show" : "take");
        QStringList shown;
        for (int i = 0; i < list.count(); ++i)
            shown.append(list.itemText(i));
        QCOMPARE(shown.join('|'), names);
        QCOMPARE(list.currentIndex(), selected);
        QCOMPARE(text_of(template_file), scratch_->path("qvdata/Toc_Text.htm"));
        if (!done) {
            QCOMPARE(QString::fromStdString(services_->log()), "warning \"" + warning + "\"");
            QVERIFY(catalogue.template_path(list.currentIndex()).is_empty());
        }
    }

  private:
    std::unique_ptr<scratch_folder> scratch_;
    std::unique_ptr<fake_platform_services> services_;
};

QTEST_MAIN(TemplateCatalogueTest)
#include "template_catalogue_test.moc"
