#include "source_file_list.h"

#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "fake_platform_services.h"
#include "qt_text.h"

namespace {

using Rows = QList<int>;

// The items by file name, selected ones starred: "2* 3* 1 4 5".
QString listDump(const SourceFileList& files) {
    QStringList shown;
    const std::vector<byte_string> paths = files.paths();
    for (size_t row = 0; row < paths.size(); ++row) {
        QString name = qtText(paths[row].view());
        name = name.mid(name.lastIndexOf('/') + 1);
        if (files.list()->item(static_cast<int>(row))->isSelected()) name += '*';
        shown.append(name);
    }
    return shown.join(' ');
}

QString pathsDump(const SourceFileList& files) {
    QStringList shown;
    for (const byte_string& path : files.paths())
        shown.append(qtText(path.view()));
    return shown.join(' ');
}

// The enabled buttons: "add delete up down".
QString buttonsDump(const SourceFileList& files) {
    QStringList enabled;
    const std::pair<QPushButton*, const char*> buttons[] = {{files.addButton(), "add"},
                                                            {files.deleteButton(), "delete"},
                                                            {files.upButton(), "up"},
                                                            {files.downButton(), "down"}};
    for (const auto& [button, name] : buttons) {
        if (button->isEnabled()) enabled.append(name);
    }
    return enabled.join(' ');
}

std::vector<byte_string> numberedPaths(int count) {
    std::vector<byte_string> paths;
    for (int i = 1; i <= count; ++i)
        paths.emplace_back(("/site/" + std::to_string(i)).c_str());
    return paths;
}

std::vector<byte_string> splitPaths(const QString& text) {
    std::vector<byte_string> paths;
    for (const QString& path : text.split(' ', Qt::SkipEmptyParts))
        paths.push_back(plainPath(path));
    return paths;
}

void select(SourceFileList& files, const Rows& selected) {
    for (int row : selected)
        files.list()->item(row)->setSelected(true);
}

}  // namespace

class SourceFileListTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        fake_ = std::make_unique<FakePlatformServices>();
        files_ = std::make_unique<SourceFileList>(*fake_);
        notified_ = 0;
        files_->setChangeNotification([this] { ++notified_; });
        files_->setPaths(numberedPaths(5));
        files_->resize(640, 200);
        files_->show();
        QVERIFY(QTest::qWaitForWindowExposed(files_.get()));
    }
    void cleanup() {
        fake_->verifyAllAnswered();
        files_.reset();
        fake_.reset();
    }

    void reorder_data() {
        QTest::addColumn<Rows>("selected");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("expected");
        QTest::newRow("up keeps the selection") << Rows{1, 2} << "up"
                                                << "2* 3* 1 4 5";
        QTest::newRow("down keeps the selection") << Rows{1, 2} << "down"
                                                  << "1 4 2* 3* 5";
        QTest::newRow("up of a gapped selection") << Rows{1, 3} << "up"
                                                  << "2* 3 1 4* 5";
        QTest::newRow("up at the top") << Rows{0, 1} << "up"
                                       << "1* 2* 3 4 5";
        QTest::newRow("down at the end") << Rows{4} << "down"
                                         << "1 2 3 4 5*";
        QTest::newRow("up without selection") << Rows{} << "up"
                                              << "1 2 3 4 5";
        QTest::newRow("down without selection") << Rows{} << "down"
                                                << "1 2 3 4 5";
        QTest::newRow("drag down lands after the target") << Rows{0} << "drop 3"
                                                          << "2 3 4 1 5";
        QTest::newRow("drag up lands before the target") << Rows{3} << "drop 0"
                                                         << "4 1 2 3 5";
        QTest::newRow("drag of several moves the first") << Rows{1, 3} << "drop 4"
                                                         << "1 3 4* 5 2";
        QTest::newRow("drop on itself") << Rows{2} << "drop 2"
                                        << "1 2 3* 4 5";
        QTest::newRow("drop on empty space") << Rows{0} << "drop below"
                                             << "1* 2 3 4 5";
        QTest::newRow("drop without selection") << Rows{} << "drop 2"
                                                << "1 2 3 4 5";
    }
    void reorder() {
        QFETCH(Rows, selected);
        QFETCH(QString, command);
        QFETCH(QString, expected);
        select(*files_, selected);
        QListWidget* list = files_->list();
        if (command == "up") {
            QTest::mouseClick(files_->upButton(), Qt::LeftButton);
        } else if (command == "down") {
            QTest::mouseClick(files_->downButton(), Qt::LeftButton);
        } else if (command == "drop below") {
            const QRect last = list->visualItemRect(list->item(list->count() - 1));
            QVERIFY(last.bottom() + 20 < list->viewport()->height());
            files_->dropAt(last.center() + QPoint(0, 20 + last.height()));
        } else {
            const int target = command.mid(5).toInt();
            files_->dropAt(list->visualItemRect(list->item(target)).center());
        }
        QCOMPARE(listDump(*files_), expected);
        QCOMPARE(notified_, 0);
    }

    void buttonsFollowTheSelection_data() {
        QTest::addColumn<Rows>("selected");
        QTest::addColumn<QString>("enabled");
        QTest::newRow("none") << Rows{} << "add";
        QTest::newRow("first") << Rows{0} << "add delete down";
        QTest::newRow("middle") << Rows{1, 3} << "add delete up down";
        QTest::newRow("last") << Rows{4} << "add delete up";
        QTest::newRow("first and last") << Rows{0, 4} << "add delete";
    }
    void buttonsFollowTheSelection() {
        QFETCH(Rows, selected);
        QFETCH(QString, enabled);
        files_->list()->selectAll();
        files_->list()->clearSelection();
        select(*files_, selected);
        QCOMPARE(buttonsDump(*files_), enabled);
    }

    void onlyAddEnabledAtCreation() {
        SourceFileList fresh(*fake_);
        QVERIFY(fresh.isHidden());
        QCOMPARE(buttonsDump(fresh), "add");
    }

    void deleteFiles_data() {
        QTest::addColumn<Rows>("selected");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("byKey");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("log");
        QTest::addColumn<int>("notified");
        const QString question =
            "question \"Are you sure you wish to remove selected files from the list?\"";
        QTest::newRow("key with nothing selected") << Rows{} << "" << true << "1 2 3 4 5"
                                                   << "warning \"No items selected\"" << 0;
        QTest::newRow("no keeps all")
            << Rows{1, 3} << "no" << false << "1 2* 3 4* 5" << question << 0;
        QTest::newRow("yes deletes") << Rows{1, 3} << "yes" << false << "1 3 5" << question << 1;
        QTest::newRow("key deletes") << Rows{0, 4} << "yes" << true << "2 3 4" << question << 1;
    }
    void deleteFiles() {
        QFETCH(Rows, selected);
        QFETCH(QString, answer);
        QFETCH(bool, byKey);
        QFETCH(QString, expected);
        QFETCH(QString, log);
        QFETCH(int, notified);
        select(*files_, selected);
        if (answer.isEmpty()) {
            fake_->expectMessage(RequestKind::warning);
        } else {
            fake_->answerQuestion(answer == "yes");
        }
        if (byKey) {
            QTest::keyClick(files_->list(), Qt::Key_Delete);
        } else {
            QTest::mouseClick(files_->deleteButton(), Qt::LeftButton);
        }
        QCOMPARE(listDump(*files_), expected);
        QCOMPARE(QString::fromStdString(fake_->log()), log);
        QCOMPARE(notified_, notified);
        QCOMPARE(files_->list()->hasFocus(), true);
    }

    void addFiles_data() {
        QTest::addColumn<QString>("listed");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("folder");
        QTest::newRow("one file") << ""
                                  << "/site/a.html"
                                  << "/site/a.html"
                                  << "";
        QTest::newRow("several files") << ""
                                       << "/site/a.html /site/b.html"
                                       << "/site/a.html /site/b.html"
                                       << "";
        QTest::newRow("after the listed ones, folder from the first")
            << "/pages/x.html /site/y.html"
            << "/site/a.html"
            << "/pages/x.html /site/y.html /site/a.html"
            << "/pages";
        QTest::newRow("duplicate leaves the list unchanged") << "/site/a.html /site/b.html"
                                                             << "/site/a.html"
                                                             << "/site/a.html /site/b.html"
                                                             << "/site";
        QTest::newRow("duplicates in a selection") << "/site/b.html"
                                                   << "/site/a.html /site/b.html"
                                                   << "/site/b.html /site/a.html"
                                                   << "/site";
        QTest::newRow("letter case keeps both") << "/site/a.html"
                                                << "/site/A.html"
                                                << "/site/a.html /site/A.html"
                                                << "/site";
        QTest::newRow("first file in the root") << "/a.html"
                                                << "/b.html"
                                                << "/a.html /b.html"
                                                << "/";
    }
    void addFiles() {
        QFETCH(QString, listed);
        QFETCH(QString, chosen);
        QFETCH(QString, expected);
        QFETCH(QString, folder);
        files_->setPaths(splitPaths(listed));
        std::vector<std::string> paths;
        for (const byte_string& path : splitPaths(chosen))
            paths.emplace_back(path.view());
        fake_->answerFiles(paths);
        QTest::mouseClick(files_->addButton(), Qt::LeftButton);
        QCOMPARE(pathsDump(*files_), expected);
        QCOMPARE(notified_, 1);
        QCOMPARE(fake_->requests().size(), size_t(1));
        const PlatformRequest& request = fake_->requests().front();
        QCOMPARE(QString::fromStdString(request.title), "Add files");
        QCOMPARE(QString::fromStdString(request.folder), folder);
        QCOMPARE(QString::fromStdString(request.filter),
                 "HTML Files (*.htm; *.html; *.shtml)|*.htm;*.html;*.shtml|All Files (*.*)|*.*");
        QVERIFY(request.openMode == OpenMode::existing_files);
    }

    void cancelledAddChangesNothing() {
        fake_->cancel(RequestKind::open_file);
        files_->addFiles();
        QCOMPARE(listDump(*files_), "1 2 3 4 5");
        QCOMPARE(notified_, 0);
    }

    void emptyListKeepsTheLastFolder() {
        files_->setPaths(splitPaths("/pages/x.html"));
        fake_->answerFile(RequestKind::open_file, "/pages/y.html");
        files_->addFiles();
        files_->clear();
        fake_->cancel(RequestKind::open_file);
        files_->addFiles();
        QCOMPARE(
            QString::fromStdString(fake_->log()),
            "open dialog \"Add files\" in \"/pages\"\nopen dialog \"Add files\" in \"/pages\"");
    }

    void pathsKeepTheirBytes() {
        const std::vector<byte_string> paths = {byte_string("/site/caf\xe9.html"),
                                                byte_string("/site/b.html")};
        files_->setPaths(paths);
        QCOMPARE(files_->count(), 2);
        QVERIFY(files_->paths() == paths);
        QVERIFY(files_->firstPath() == paths.front());
        files_->clear();
        QVERIFY(files_->firstPath().is_empty());
        QCOMPARE(notified_, 0);
    }

    void dropsFromElsewhereRefused() {
        select(*files_, {0});
        QListWidget* list = files_->list();
        const QPoint target = list->visualItemRect(list->item(3)).center();
        QMimeData data;
        data.setText("/elsewhere/z.html");
        QDragEnterEvent enter(target, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(list->viewport(), &enter);
        QVERIFY(!enter.isAccepted());
        QDropEvent drop(QPointF(target), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                        Qt::NoModifier);
        QCoreApplication::sendEvent(list->viewport(), &drop);
        QVERIFY(!drop.isAccepted());
        QCOMPARE(listDump(*files_), "1* 2 3 4 5");
    }

  private:
    std::unique_ptr<FakePlatformServices> fake_;
    std::unique_ptr<SourceFileList> files_;
    int notified_ = 0;
};

QTEST_MAIN(SourceFileListTest)
#include "source_file_list_test.moc"
