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

const QByteArray threeEntries = entry("toc_list.htm", "Nested list", "Bullets") +
                                entry("toc_ordered.htm", "Ordered list", "Numbers") +
                                entry("Toc_Text.htm", "Plain text", "Preformatted");

QString textOf(const byte_string& text) {
    return qtText(text.view());
}

// "names=A|B files=a|b" of a loaded catalogue, or "error=..." after a failure.
QString catalogueDump(const TemplateCatalogue& catalogue, bool loaded) {
    if (!loaded) return "error=" + qtText(catalogue.errorText().view());
    QStringList names;
    QStringList files;
    const int prefix = static_cast<int>(catalogue.dataDirectory().length());
    for (int32_t i = 0; i < catalogue.count(); ++i) {
        names.append(qtText(catalogue.names()[i].view()));
        files.append(qtText(catalogue.templatePath(i).view()).mid(prefix));
    }
    return "names=" + names.join('|') + " files=" + files.join('|');
}

}  // namespace

class TemplateCatalogueTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        scratch_ = std::make_unique<ScratchFolder>();
        QVERIFY(scratch_->isValid());
        services_ = std::make_unique<FakePlatformServices>();
    }
    void cleanup() {
        services_->verifyAllAnswered();
        services_.reset();
        scratch_.reset();
    }

    void load_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("expected");
        const QString three =
            "names=Nested list|Ordered list|Plain text "
            "files=toc_list.htm|toc_ordered.htm|Toc_Text.htm";
        QTest::newRow("interleaved") << threeEntries << three;
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
        const QString countMessage =
            "error=Each template description must have exactly one <file>, <name> and "
            "<description> tag.";
        QTest::newRow("two names for three files")
            << QByteArray(
                   "<file>a</file><file>b</file><file>c</file><name>A</name><name>B</name>"
                   "<description>x</description><description>y</description>"
                   "<description>z</description>")
            << countMessage;
        QTest::newRow("extra description")
            << entry("a.htm", "A", "x") + "<description>y</description>" << countMessage;
        QTest::newRow("empty file") << QByteArray() << QString("error=Tag <file> is missing.");
    }
    void load() {
        QFETCH(QByteArray, file);
        QFETCH(QString, expected);
        scratch_->put("qvdata/templates.txt", file);
        TemplateCatalogue catalogue(scratch_->bytesPath("qvdata"));
        const bool loaded = catalogue.load();
        QCOMPARE(catalogueDump(catalogue, loaded), expected);
        QCOMPARE(catalogue.isLoaded(), loaded);
    }

    void failedLoadForgetsCatalogue() {
        scratch_->put("qvdata/templates.txt", threeEntries);
        TemplateCatalogue catalogue(scratch_->bytesPath("qvdata") + "/");
        QVERIFY(catalogue.load());
        QCOMPARE(textOf(catalogue.templatePath(1)), scratch_->path("qvdata/toc_ordered.htm"));

        scratch_->put("qvdata/templates.txt", "<file>a.htm</file");
        QVERIFY(!catalogue.load());
        QVERIFY2(catalogue.errorText().starts_with("Line: "), catalogue.errorText().data());
        QCOMPARE(catalogue.count(), 0);
        QVERIFY(catalogue.names().empty());
        QVERIFY(catalogue.templatePath(1).is_empty());
        QCOMPARE(textOf(catalogue.projectTemplateFile(1)), scratch_->path("qvdata/"));
        byte_string text("untouched");
        QVERIFY(!catalogue.description(0, text));
        QCOMPARE(textOf(text), "untouched");

        QFile::remove(scratch_->path("qvdata/templates.txt"));
        QVERIFY(!catalogue.load());
        QCOMPARE(textOf(catalogue.errorText()),
                 "Can't open file " + scratch_->path("qvdata/templates.txt"));
    }

    void selectByPath_data() {
        QTest::addColumn<QString>("templateFile");
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
    void selectByPath() {
        QFETCH(QString, templateFile);
        QFETCH(int, expected);
        scratch_->put("qvdata/templates.txt", threeEntries);
        TemplateCatalogue catalogue(scratch_->bytesPath("qvdata"));
        QVERIFY(catalogue.load());
        const std::string path = templateFile.toStdString();
        QCOMPARE(catalogue.selectByPath(path), expected);
        // a selection found in another folder comes back as the data directory's file
        QCOMPARE(textOf(catalogue.projectTemplateFile(catalogue.selectByPath(path))),
                 textOf(catalogue.templatePath(expected)));
        TemplateCatalogue absent(scratch_->bytesPath("qvdata"));
        QCOMPARE(absent.selectByPath(path), 0);
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
        TemplateCatalogue catalogue(scratch_->bytesPath("qvdata"));
        QVERIFY(catalogue.load());
        byte_string text;
        QVERIFY(catalogue.description(1, text));
        QCOMPARE(QByteArray(text.data(), text.length()), expected);

        TemplateDescriptionBox box;
        showTemplateDescription(box, catalogue, 1, *services_);
        QVERIFY(box.isVisible());
        QVERIFY(box.isModal());
        QCOMPARE(box.windowTitle(), "B");
        QCOMPARE(box.shownText(), shown);
        QCOMPARE(box.minimumSize(), box.maximumSize());
        QTest::mouseClick(box.findChild<QPushButton*>(), Qt::LeftButton);
        QVERIFY(!box.isVisible());

        showTemplateDescription(box, catalogue, 0, *services_);
        QCOMPARE(box.windowHandle()->title(), "Fish & Chips [*]");
        box.close();
    }

    void descriptionNeedsCatalogueAndSelection() {
        scratch_->put("qvdata/templates.txt", threeEntries);
        TemplateCatalogue catalogue(scratch_->bytesPath("qvdata"));
        TemplateDescriptionBox box;
        showTemplateDescription(box, catalogue, 0, *services_);
        QVERIFY(!box.isVisible());
        QVERIFY(catalogue.load());
        showTemplateDescription(box, catalogue, -1, *services_);
        showTemplateDescription(box, catalogue, 3, *services_);
        QVERIFY(!box.isVisible());
    }

    void editTemplate_data() {
        QTest::addColumn<bool>("started");
        QTest::addColumn<QString>("log");
        QTest::newRow("opened") << true << QString("editor \"$/toc_ordered.htm\"");
        QTest::newRow("editor fails")
            << false
            << QString(
                   "editor \"$/toc_ordered.htm\"\n"
                   "warning \"Can't open template file: $/toc_ordered.htm\"");
    }
    void editTemplate() {
        QFETCH(bool, started);
        QFETCH(QString, log);
        scratch_->put("qvdata/toc_ordered.htm", "t");
        services_->answerEditor(started);
        if (!started) services_->expectMessage(RequestKind::warning);
        byte_string path(scratch_->bytesPath("qvdata/toc_ordered.htm"));
        QCOMPARE(::editTemplate(path, scratch_->bytesPath("copies"), *services_), started);
        QCOMPARE(QString::fromStdString(services_->log()),
                 log.replace("$", scratch_->path("qvdata")));
    }

    void reinitTemplateData_data() {
        QTest::addColumn<QByteArray>("newFile");
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
    void reinitTemplateData() {
        QFETCH(QByteArray, newFile);
        QFETCH(QString, names);
        QFETCH(int, selected);
        QFETCH(QString, warning);
        scratch_->put("qvdata/templates.txt", threeEntries);
        TemplateCatalogue catalogue(scratch_->bytesPath("qvdata"));
        QVERIFY(catalogue.load());
        QComboBox list;
        fillTemplateList(list, catalogue);
        list.setCurrentIndex(2);

        // the main window's two transfers, reduced to the template
        byte_string templateFile;
        QStringList steps;
        const auto takeControls = [&] {
            steps.append("take");
            templateFile = catalogue.projectTemplateFile(list.currentIndex());
        };
        const auto showProject = [&] {
            steps.append("show");
            list.setCurrentIndex(catalogue.selectByPath(templateFile.view()));
        };
        scratch_->put("qvdata/templates.txt", newFile);
        if (!warning.isEmpty()) services_->expectMessage(RequestKind::warning);
        const bool done =
            ::reinitTemplateData(catalogue, list, *services_, takeControls, showProject);

        QCOMPARE(done, warning.isEmpty());
        QCOMPARE(steps.join(','), done ? "take,show" : "take");
        QStringList shown;
        for (int i = 0; i < list.count(); ++i)
            shown.append(list.itemText(i));
        QCOMPARE(shown.join('|'), names);
        QCOMPARE(list.currentIndex(), selected);
        QCOMPARE(textOf(templateFile), scratch_->path("qvdata/Toc_Text.htm"));
        if (!done) {
            QCOMPARE(QString::fromStdString(services_->log()), "warning \"" + warning + "\"");
            QVERIFY(catalogue.templatePath(list.currentIndex()).is_empty());
        }
    }

  private:
    std::unique_ptr<ScratchFolder> scratch_;
    std::unique_ptr<FakePlatformServices> services_;
};

QTEST_MAIN(TemplateCatalogueTest)
#include "template_catalogue_test.moc"
