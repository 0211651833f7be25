#include "platform_services.h"

#include <QFileDialog>
#include <QTest>

#include "fake_platform_services.h"
#include "qt_platform_services.h"
#include "qt_text.h"

namespace {

// "folder: a | b" after split_multi_selection, NULs shown as '|' in the input.
QString split_dump(const QString& input) {
    QByteArray bytes = input.toUtf8();
    bytes.replace('|', '\0');
    byte_string result(bytes.constData(), static_cast<int32_t>(bytes.size()));
    std::vector<byte_string> names;
    const int32_t count = split_multi_selection(result, names);
    QStringList shown;
    for (const byte_string& name : names)
        shown.append(qt_text(name.view()));
    if (count != static_cast<int32_t>(names.size())) return "count mismatch";
    return qt_text(result.view()) + ": " + shown.join(" | ");
}

}  // namespace

class PlatformServicesTest : public QObject {
    Q_OBJECT

  private slots:
    void split_multi_selection_data() {
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("expected");
        QTest::newRow("one file") << QString("/site/a.html") << QString("/site/a.html: ");
        QTest::newRow("folder and names")
            << QString("/site|a.html|b.html") << QString("/site: a.html | b.html");
        QTest::newRow("double NUL ends the list")
            << QString("/site|a.html||b.html") << QString("/site: a.html");
        QTest::newRow("trailing NULs") << QString("/site|a.html||") << QString("/site: a.html");
    }
    void split_multi_selection() {
        QFETCH(QString, result);
        QFETCH(QString, expected);
        QCOMPARE(split_dump(result), expected);
    }

    void pack_selection_data() {
        QTest::addColumn<QStringList>("chosen");
        QTest::addColumn<QString>("expected");
        QTest::newRow("one") << QStringList{"/site/a.html"} << QString("/site/a.html: ");
        QTest::newRow("same folder")
            << QStringList{"/site/a.html", "/site/b.html"} << QString("/site: a.html | b.html");
        QTest::newRow("sibling folders")
            << QStringList{"/site/x/a.html", "/site/y/b.html", "/site/x/c.html"}
            << QString("/site: x/a.html | y/b.html | x/c.html");
        QTest::newRow("prefix is no folder") << QStringList{"/site/ab/a.html", "/site/a/b.html"}
                                             << QString("/site: ab/a.html | a/b.html");
        QTest::newRow("only the root shared")
            << QStringList{"/a.html", "/b/c.html"} << QString("/: a.html | b/c.html");
    }
    void pack_selection() {
        QFETCH(QStringList, chosen);
        QFETCH(QString, expected);
        const byte_string packed = ::pack_selection(chosen);
        QString shown = qt_text(packed.view());
        shown.replace(QChar('\0'), '|');
        QCOMPARE(split_dump(shown), expected);
    }

    void name_filters_data() {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("expected");
        QTest::newRow("several patterns")
            << QString("HTML Files (*.htm; *.html; *.shtml)") << QString("*.htm;*.html;*.shtml")
            << QString("HTML Files (*.htm *.html *.shtml)");
        QTest::newRow("every file")
            << QString("All Files (*.*)") << QString("*.*") << QString("All Files (*)");
        QTest::newRow("no brackets")
            << QString("Projects") << QString("*.toc") << QString("Projects (*.toc)");
    }
    void name_filters() {
        QFETCH(QString, description);
        QFETCH(QString, pattern);
        QFETCH(QString, expected);
        file_dialog_request request;
        request.add_filter(description.toStdString(), pattern.toStdString());
        QCOMPARE(qt_name_filters(request.filters), QStringList{expected});
    }

    void configure_file_dialog_data() {
        QTest::addColumn<bool>("save");
        QTest::addColumn<uint>("flags");
        QTest::addColumn<int>("file_mode");
        QTest::addColumn<bool>("confirm_overwrite");
        QTest::newRow("open existing")
            << false << uint(dialog_file_must_exist) << int(QFileDialog::ExistingFile) << true;
        QTest::newRow("open or create") << false << 0u << int(QFileDialog::AnyFile) << true;
        QTest::newRow("open several")
            << false << uint(dialog_allow_multiple) << int(QFileDialog::ExistingFiles) << true;
        QTest::newRow("save with prompt")
            << true << uint(dialog_prompt_overwrite) << int(QFileDialog::AnyFile) << true;
        QTest::newRow("save without prompt") << true << 0u << int(QFileDialog::AnyFile) << false;
    }
    void configure_file_dialog() {
        QFETCH(bool, save);
        QFETCH(uint, flags);
        QFETCH(int, file_mode);
        QFETCH(bool, confirm_overwrite);
        file_dialog_request request;
        request.title = "Save file with inserted ToC as";
        request.add_filter("HTML Files (*.htm; *.html; *.shtml)", "*.htm;*.html;*.shtml");
        request.add_filter("All Files (*.*)", "*.*");
        request.default_extension = ".html";
        request.initial_folder = "/tmp//";
        request.flags = flags;
        QFileDialog dialog;
        ::configure_file_dialog(dialog, request, save);
        QCOMPARE(dialog.windowTitle(), "Save file with inserted ToC as");
        QCOMPARE(dialog.directory().path(), "/tmp");
        QCOMPARE(dialog.nameFilters(),
                 (QStringList{"HTML Files (*.htm *.html *.shtml)", "All Files (*)"}));
        QCOMPARE(dialog.defaultSuffix(), "html");
        QCOMPARE(dialog.acceptMode(), save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        QCOMPARE(int(dialog.fileMode()), file_mode);
        QCOMPARE(!dialog.testOption(QFileDialog::DontConfirmOverwrite), confirm_overwrite);
    }

    void shell_open_missing_file() {
        qt_platform_services services;
        QVERIFY(!services.shell_open("/nonexistent-folder/toc_list.htm"));
    }

    void fake_answers_from_its_script() {
        fake_platform_services fake;
        fake.answer_question(true);
        fake.answer_file(request_kind::open_file, std::string("/site\0a.html\0b.html", 19));
        fake.cancel(request_kind::save_file);
        fake.answer_folder("/site/images");
        QVERIFY(fake.ask("Replace?"));
        file_dialog_request open;
        open.title = "Open";
        open.initial_folder = "/site/";
        QVERIFY(fake.file_dialog_open(open));
        std::vector<byte_string> names;
        QCOMPARE(::split_multi_selection(open.result, names), 2);
        QCOMPARE(open.result_name_offset, 6);
        file_dialog_request save;
        save.title = "Save";
        QVERIFY(!fake.file_dialog_save(save));
        QCOMPARE(save.result_name_offset, -1);
        folder_request folder;
        folder.title = "Folder";
        QVERIFY(fake.browse_for_folder(folder));
        QCOMPARE(qt_text(folder.result.view()), "/site/images");
        QCOMPARE(QString::fromStdString(fake.log()),
                 "question \"Replace?\"\nopen dialog \"Open\" in \"/site\"\n"
                 "save dialog \"Save\" in \"\"\nfolder picker \"Folder\" in \"\"");
        fake.verify_all_answered();
    }

    void fake_refuses_unscripted_requests() {
        fake_platform_services fake;
        fake.answer_shell_open(true);
        QEXPECT_FAIL("", "a question was not scripted", Continue);
        QVERIFY(!fake.ask("Delete?"));
        QEXPECT_FAIL("", "an open dialog was not scripted", Continue);
        file_dialog_request open;
        QVERIFY(!fake.file_dialog_open(open));
        QCOMPARE(open.result_name_offset, -1);
        QVERIFY(fake.shell_open("/x"));
        QCOMPARE(fake.requests().size(), size_t(3));
    }
};

QTEST_MAIN(PlatformServicesTest)
#include "platform_services_test.moc"
