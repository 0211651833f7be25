#include "platform_services.h"

#include <QFileDialog>
#include <QTest>

#include "fake_platform_services.h"
#include "qt_platform_services.h"
#include "qt_text.h"

Q_DECLARE_METATYPE(OpenMode)

class PlatformServicesTest : public QObject {
    Q_OBJECT

  private slots:
    void nameFilters_data() {
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
    void nameFilters() {
        QFETCH(QString, description);
        QFETCH(QString, pattern);
        QFETCH(QString, expected);
        FileDialogRequest request;
        request.addFilter(description.toStdString(), pattern.toStdString());
        QCOMPARE(qtNameFilters(request.filters), QStringList{expected});
    }

    void configureFileDialog_data() {
        QTest::addColumn<bool>("save");
        QTest::addColumn<OpenMode>("openMode");
        QTest::addColumn<int>("fileMode");
        QTest::newRow("open existing")
            << false << OpenMode::existing_file << int(QFileDialog::ExistingFile);
        QTest::newRow("open or create") << false << OpenMode::any_file << int(QFileDialog::AnyFile);
        QTest::newRow("open several")
            << false << OpenMode::existing_files << int(QFileDialog::ExistingFiles);
        QTest::newRow("save") << true << OpenMode::existing_file << int(QFileDialog::AnyFile);
    }
    void configureFileDialog() {
        QFETCH(bool, save);
        QFETCH(OpenMode, openMode);
        QFETCH(int, fileMode);
        FileDialogRequest request;
        request.title = "Save file with inserted ToC as";
        request.addFilter("HTML Files (*.htm; *.html; *.shtml)", "*.htm;*.html;*.shtml");
        request.addFilter("All Files (*.*)", "*.*");
        request.defaultExtension = ".html";
        request.initialFolder = "/tmp//";
        request.openMode = openMode;
        QFileDialog dialog;
        ::configureFileDialog(dialog, request, save);
        QCOMPARE(dialog.windowTitle(), "Save file with inserted ToC as");
        QCOMPARE(dialog.directory().path(), "/tmp");
        QCOMPARE(dialog.nameFilters(),
                 (QStringList{"HTML Files (*.htm *.html *.shtml)", "All Files (*)"}));
        QCOMPARE(dialog.defaultSuffix(), "html");
        QCOMPARE(dialog.acceptMode(), save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        QCOMPARE(int(dialog.fileMode()), fileMode);
        QCOMPARE(dialog.testOption(QFileDialog::DontConfirmOverwrite), false);
    }

    void shellOpenMissingFile() {
        QtPlatformServices services;
        QVERIFY(!services.shellOpen("/nonexistent-folder/toc_list.htm"));
    }

    void fakeAnswersFromItsScript() {
        FakePlatformServices fake;
        fake.answerQuestion(true);
        fake.answerFiles({"/site/a.html", "/site/b.html"});
        fake.cancel(RequestKind::save_file);
        fake.answerFolder("/site/images");
        QVERIFY(fake.ask("Replace?"));
        FileDialogRequest open;
        open.title = "Open";
        open.initialFolder = "/site/";
        QVERIFY(fake.fileDialogOpen(open));
        QCOMPARE(open.chosen, (QStringList{"/site/a.html", "/site/b.html"}));
        FileDialogRequest save;
        save.title = "Save";
        QVERIFY(!fake.fileDialogSave(save));
        QVERIFY(save.chosen.isEmpty());
        FolderRequest folder;
        folder.title = "Folder";
        QVERIFY(fake.browseForFolder(folder));
        QCOMPARE(qtText(folder.result.view()), "/site/images");
        QCOMPARE(QString::fromStdString(fake.log()),
                 "question \"Replace?\"\nopen dialog \"Open\" in \"/site\"\n"
                 "save dialog \"Save\" in \"\"\nfolder picker \"Folder\" in \"\"");
        fake.verifyAllAnswered();
    }

    void fakeRefusesUnscriptedRequests() {
        FakePlatformServices fake;
        fake.answerShellOpen(true);
        QEXPECT_FAIL("", "a question was not scripted", Continue);
        QVERIFY(!fake.ask("Delete?"));
        QEXPECT_FAIL("", "an open dialog was not scripted", Continue);
        FileDialogRequest open;
        QVERIFY(!fake.fileDialogOpen(open));
        QVERIFY(open.chosenPath().is_empty());
        QVERIFY(fake.shellOpen("/x"));
        QCOMPARE(fake.requests().size(), size_t(3));
    }
};

QTEST_MAIN(PlatformServicesTest)
#include "platform_services_test.moc"
