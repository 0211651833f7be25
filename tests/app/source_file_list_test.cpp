#include "source_file_list.h"

#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "fake_platform_services.h"
#include "qt_text.h"

namespace {

using rows = QList<int>;

// The items by file name, selected ones starred: "2* 3* 1 4 5".
QString list_dump(const SourceFileList& files) {
    QStringList shown;
    const std::vector<byte_string> paths = files.paths();
    for (size_t row = 0; row < paths.size(); ++row) {
        QString name = qt_text(paths[row].view());
        name = name.mid(name.lastIndexOf('/') + 1);
        if (files.list()->item(static_cast<int>(row))->isSelected()) name += '*';
        shown.append(name);
    }
    return shown.join(' ');
}

QString paths_dump(const SourceFileList& files) {
    QStringList shown;
    for (const byte_string& path : files.paths())
        shown.append(qt_text(path.view()));
    return shown.join(' ');
}

// The enabled buttons: "add delete up down".
QString buttons_dump(const SourceFileList& files) {
    QStringList enabled;
    const std::pair<QPushButton*, const char*> buttons[] = {{files.add_button(), "add"},
                                                            {files.delete_button(), "delete"},
                                                            {files.up_button(), "up"},
                                                            {files.down_button(), "down"}};
    for (const auto& [button, name] : buttons) {
        if (button->isEnabled()) enabled.append(name);
    }
    return enabled.join(' ');
}

std::vector<byte_string> numbered_paths(int count) {
    std::vector<byte_string> paths;
    for (int i = 1; i <= count; ++i)
        paths.emplace_back(("/site/" + std::to_string(i)).c_str());
    return paths;
}

std::vector<byte_string> split_paths(const QString& text) {
    std::vector<byte_string> paths;
    for (const QString& path : text.split(' ', Qt::SkipEmptyParts))
        paths.push_back(plain_path(path));
    return paths;
}

void select(SourceFileList& files, const rows& selected) {
    for (int row : selected)
        files.list()->item(row)->setSelected(true);
}

}  // namespace

class SourceFileListTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        fake_ = std::make_unique<fake_platform_services>();
        files_ = std::make_unique<SourceFileList>(*fake_);
        notified_ = 0;
        files_->set_change_notification([this] { ++notified_; });
        files_->set_paths(numbered_paths(5));
        files_->resize(640, 200);
        files_->show();
        QVERIFY(QTest::qWaitForWindowExposed(files_.get()));
    }
    void cleanup() {
        fake_->verify_all_answered();
        files_.reset();
        fake_.reset();
    }

    void reorder_data() {
        QTest::addColumn<rows>("selected");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("expected");
        QTest::newRow("up keeps the selection") << rows{1, 2} << "up"
                                                << "2* 3* 1 4 5";
        QTest::newRow("down keeps the selection") << rows{1, 2} << "down"
                                                  << "1 4 2* 3* 5";
        QTest::newRow("up of a gapped selection") << rows{1, 3} << "up"
                                                  << "2* 3 1 4* 5";
        QTest::newRow("up at the top") << rows{0, 1} << "up"
                                       << "1* 2* 3 4 5";
        QTest::newRow("down at the end") << rows{4} << "down"
                                         << "1 2 3 4 5*";
        QTest::newRow("up without selection") << rows{} << "up"
                                              << "1 2 3 4 5";
        QTest::newRow("down without selection") << rows{} << "down"
                                                << "1 2 3 4 5";
        QTest::newRow("drag down lands after the target") << rows{0} << "drop 3"
                                                          << "2 3 4 1 5";
        QTest::newRow("drag up lands before the target") << rows{3} << "drop 0"
                                                         << "4 1 2 3 5";
        QTest::newRow("drag of several moves the first") << rows{1, 3} << "drop 4"
                                                         << "1 3 4* 5 2";
        QTest::newRow("drop on itself") << rows{2} << "drop 2"
                                        << "1 2 3* 4 5";
        QTest::newRow("drop on empty space") << rows{0} << "drop below"
                                             << "1* 2 3 4 5";
        QTest::newRow("drop without selection") << rows{} << "drop 2"
                                                << "1 2 3 4 5";
    }
    void reorder() {
        QFETCH(rows, selected);
        QFETCH(QString, command);
        QFETCH(QString, expected);
        select(*files_, selected);
        QListWidget* list = files_->list();
        if (command == "up") {
            QTest::mouseClick(files_->up_button(), Qt::LeftButton);
        } else if (command == "down") {
            QTest::mouseClick(files_->down_button(), Qt::LeftButton);
        } else if (command == "drop below") {
            const QRect last = list->visualItemRect(list->item(list->count() - 1));
            QVERIFY(last.bottom() + 20 < list->viewport()->height());
            files_->drop_at(last.center() + QPoint(0, 20 + last.height()));
        } else {
            const int target = command.mid(5).toInt();
            files_->drop_at(list->visualItemRect(list->item(target)).center());
        }
        QCOMPARE(list_dump(*files_), expected);
        QCOMPARE(notified_, 0);
    }

    void buttons_follow_the_selection_data() {
        QTest::addColumn<rows>("selected");
        QTest::addColumn<QString>("enabled");
        QTest::newRow("none") << rows{} << "add";
        QTest::newRow("first") << rows{0} << "add delete down";
        QTest::newRow("middle") << rows{1, 3} << "add delete up down";
        QTest::newRow("last") << rows{4} << "add delete up";
        QTest::newRow("first and last") << rows{0, 4} << "add delete";
    }
    void buttons_follow_the_selection() {
        QFETCH(rows, selected);
        QFETCH(QString, enabled);
        files_->list()->selectAll();
        files_->list()->clearSelection();
        select(*files_, selected);
        QCOMPARE(buttons_dump(*files_), enabled);
    }

    void only_add_enabled_at_creation() {
        SourceFileList fresh(*fake_);
        QVERIFY(fresh.isHidden());
        QCOMPARE(buttons_dump(fresh), "add");
    }

    void delete_files_data() {
        QTest::addColumn<rows>("selected");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("by_key");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("log");
        QTest::addColumn<int>("notified");
        const QString question =
            "question \"Are you sure you wish to remove selected files from the list?\"";
        QTest::newRow("key with nothing selected") << rows{} << "" << true << "1 2 3 4 5"
                                                   << "warning \"No items selected\"" << 0;
        QTest::newRow("no keeps all")
            << rows{1, 3} << "no" << false << "1 2* 3 4* 5" << question << 0;
        QTest::newRow("yes deletes") << rows{1, 3} << "yes" << false << "1 3 5" << question << 1;
        QTest::newRow("key deletes") << rows{0, 4} << "yes" << true << "2 3 4" << question << 1;
    }
    void delete_files() {
        QFETCH(rows, selected);
        QFETCH(QString, answer);
        QFETCH(bool, by_key);
        QFETCH(QString, expected);
        QFETCH(QString, log);
        QFETCH(int, notified);
        select(*files_, selected);
        if (answer.isEmpty()) {
            fake_->expect_message(request_kind::warning);
        } else {
            fake_->answer_question(answer == "yes");
        }
        if (by_key) {
            QTest::keyClick(files_->list(), Qt::Key_Delete);
        } else {
            QTest::mouseClick(files_->delete_button(), Qt::LeftButton);
        }
        QCOMPARE(list_dump(*files_), expected);
        QCOMPARE(QString::fromStdString(fake_->log()), log);
        QCOMPARE(notified_, notified);
        QCOMPARE(files_->list()->hasFocus(), true);
    }

    void add_files_data() {
        QTest::addColumn<QString>("listed");
        QTest::addColumn<QString>("chosen");  // the dialog's result, NULs written as '|'
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("folder");
        QTest::newRow("one file") << ""
                                  << "/site/a.html"
                                  << "/site/a.html"
                                  << "";
        QTest::newRow("several files") << ""
                                       << "/site|a.html|b.html"
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
                                                   << "/site|a.html|b.html"
                                                   << "/site/b.html /site/a.html"
                                                   << "/site";
        QTest::newRow("letter case keeps both") << "/site/a.html"
                                                << "/site/A.html"
                                                << "/site/a.html /site/A.html"
                                                << "/site";
        QTest::newRow("selection in the root") << ""
                                               << "/|a.html|b/c.html"
                                               << "/a.html /b/c.html"
                                               << "";
        QTest::newRow("first file in the root") << "/a.html"
                                                << "/b.html"
                                                << "/a.html /b.html"
                                                << "/";
    }
    void add_files() {
        QFETCH(QString, listed);
        QFETCH(QString, chosen);
        QFETCH(QString, expected);
        QFETCH(QString, folder);
        files_->set_paths(split_paths(listed));
        QByteArray result = chosen.toUtf8();
        result.replace('|', '\0');
        fake_->answer_file(request_kind::open_file, result.toStdString());
        QTest::mouseClick(files_->add_button(), Qt::LeftButton);
        QCOMPARE(paths_dump(*files_), expected);
        QCOMPARE(notified_, 1);
        QCOMPARE(fake_->requests().size(), size_t(1));
        const platform_request& request = fake_->requests().front();
        QCOMPARE(QString::fromStdString(request.title), "Add files");
        QCOMPARE(QString::fromStdString(request.folder), folder);
        QCOMPARE(QString::fromStdString(request.filter),
                 "HTML Files (*.htm; *.html; *.shtml)|*.htm;*.html;*.shtml|All Files (*.*)|*.*");
        QVERIFY(request.flags & dialog_allow_multiple);
        QVERIFY(request.flags & dialog_file_must_exist);
    }

    void cancelled_add_changes_nothing() {
        fake_->cancel(request_kind::open_file);
        files_->add_files();
        QCOMPARE(list_dump(*files_), "1 2 3 4 5");
        QCOMPARE(notified_, 0);
    }

    void empty_list_keeps_the_last_folder() {
        files_->set_paths(split_paths("/pages/x.html"));
        fake_->answer_file(request_kind::open_file, "/pages/y.html");
        files_->add_files();
        files_->clear();
        fake_->cancel(request_kind::open_file);
        files_->add_files();
        QCOMPARE(
            QString::fromStdString(fake_->log()),
            "open dialog \"Add files\" in \"/pages\"\nopen dialog \"Add files\" in \"/pages\"");
    }

    void paths_keep_their_bytes() {
        const std::vector<byte_string> paths = {byte_string("/site/caf\xe9.html"),
                                                byte_string("/site/b.html")};
        files_->set_paths(paths);
        QCOMPARE(files_->count(), 2);
        QVERIFY(files_->paths() == paths);
        QVERIFY(files_->first_path() == paths.front());
        files_->clear();
        QVERIFY(files_->first_path().is_empty());
        QCOMPARE(notified_, 0);
    }

    void drops_from_elsewhere_refused() {
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
        QCOMPARE(list_dump(*files_), "1* 2 3 4 5");
    }

  private:
    std::unique_ptr<fake_platform_services> fake_;
    std::unique_ptr<SourceFileList> files_;
    int notified_ = 0;
};

QTEST_MAIN(SourceFileListTest)
#include "source_file_list_test.moc"
