#include "settings.h"

#include <QTest>
#include <memory>

#include "fake_platform_services.h"
#include "qt_text.h"
#include "scratch_folder.h"

namespace {

QString text_of(const byte_string& text) {
    return qt_text(text.view());
}
QString list_of(const recent_projects& recent) {
    QStringList entries;
    for (const byte_string& entry : recent.entries())
        entries.append(text_of(entry));
    return entries.join('|');
}

// "remember=0 recent=[a|b] geometry=1,2,3,4 folder=/x"
QString settings_dump(const shell_settings& settings) {
    const window_geometry& g = settings.geometry;
    return QStringLiteral("remember=%1 recent=[%2] geometry=%3,%4,%5,%6 folder=%7")
        .arg(settings.remember_format_options ? 1 : 0)
        .arg(list_of(settings.recent))
        .arg(g.left)
        .arg(g.top)
        .arg(g.width)
        .arg(g.height)
        .arg(text_of(settings.last_dialog_folder));
}

const QString default_dump = "remember=0 recent=[] geometry=0,0,0,0 folder=";

// The fields of a project, format values first.
QString project_dump(const toc_project& project) {
    QStringList sources;
    for (const byte_string& entry : project.source)
        sources.append(text_of(entry));
    return QStringLiteral(
               "range=%1..%2 anchor='%3' titles=%4 numbers=%5 template='%6' "
               "indent='%7' local=%8 | single=%9 back=%10 source=[%11] dest='%12'")
        .arg(static_cast<int>(project.range_from))
        .arg(static_cast<int>(project.range_to))
        .arg(text_of(project.named_anchor_attributes))
        .arg(static_cast<int>(project.process_title))
        .arg(static_cast<int>(project.process_numbering))
        .arg(text_of(project.template_file))
        .arg(text_of(project.indent))
        .arg(static_cast<int>(project.insert_local_toc))
        .arg(static_cast<int>(project.is_single))
        .arg(static_cast<int>(project.is_dest_as_source))
        .arg(sources.join('|'))
        .arg(text_of(project.destination));
}

// A project whose every field differs from the defaults.
const QByteArray full_project =
    "<destination>/site/toc.html</destination>\r\n<indent>--</indent>\r\n"
    "<insert_local_toc>1</insert_local_toc>\r\n<is_dest_as_source>0</is_dest_as_source>\r\n"
    "<is_single>0</is_single>\r\n<named_anchor_attributes> class=\"h\"</named_anchor_attributes>"
    "\r\n<process_numbering>0</process_numbering>\r\n<process_title>1</process_title>\r\n"
    "<range_from>2</range_from>\r\n<range_to>4</range_to>\r\n<source>/site/a.html</source>\r\n"
    "<source>/site/b.html</source>\r\n<template_file>/data/toc_text.htm</template_file>\r\n";

}  // namespace

class SettingsTest : public QObject {
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

    void config_directory_data() {
        QTest::addColumn<QByteArray>("xdg");
        QTest::addColumn<QString>("expected");
        QTest::newRow("set") << QByteArray("/cfg") << QString("/cfg/qtvn2/");
        QTest::newRow("trailing slash") << QByteArray("/cfg/") << QString("/cfg/qtvn2/");
        QTest::newRow("empty") << QByteArray("") << QString("$HOME/.config/qtvn2/");
        QTest::newRow("relative ignored") << QByteArray("cfg") << QString("$HOME/.config/qtvn2/");
    }
    void config_directory() {
        QFETCH(QByteArray, xdg);
        QFETCH(QString, expected);
        const QByteArray home = qgetenv("HOME");
        qputenv("HOME", "/home/someone");
        qputenv("XDG_CONFIG_HOME", xdg);
        const QString directory = text_of(::config_directory());
        qputenv("HOME", home);
        QCOMPARE(directory, expected.replace("$HOME", "/home/someone"));
    }

    void remember_data() {
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QString>("expected");
        QTest::newRow("A then B") << QStringList{"/p/A.toc", "/p/B.toc"}
                                  << QString("/p/B.toc|/p/A.toc");
        QTest::newRow("left twice") << QStringList{"/p/A.toc", "/p/A.toc"} << QString("/p/A.toc");
        QTest::newRow("back to the front")
            << QStringList{"/a", "/b", "/c", "/b"} << QString("/b|/c|/a");
        QTest::newRow("case-distinct paths")
            << QStringList{"/p/a.toc", "/p/A.toc"} << QString("/p/A.toc|/p/a.toc");
        QTest::newRow("sixth pushes the oldest out")
            << QStringList{"/1", "/2", "/3", "/4", "/5", "/6"} << QString("/6|/5|/4|/3|/2");
        QTest::newRow("new project left") << QStringList{"", "/a", ""} << QString("/a");
    }
    void remember() {
        QFETCH(QStringList, left);
        QFETCH(QString, expected);
        recent_projects recent;
        for (const QString& path : left)
            recent.remember(path.toStdString());
        QCOMPARE(list_of(recent), expected);
    }

    void read_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty file") << QByteArray("") << default_dump;
        QTest::newRow("only a width") << QByteArray("<form_width>700</form_width>\r\n")
                                      << QString("remember=0 recent=[] geometry=0,0,700,0 folder=");
        QTest::newRow("all keys")
            << QByteArray(
                   "<form_height>400</form_height>\r\n<form_width>600</form_width>\r\n"
                   "<last_opened_dir>/home/u/docs</last_opened_dir>\r\n"
                   "<recent>/p/b.toc</recent>\r\n<recent>/p/a&amp;b.toc</recent>\r\n"
                   "<save_format_on_exit>1</save_format_on_exit>\r\n"
                   "<top_left>-5</top_left>\r\n<top_top>7</top_top>\r\n")
            << QString(
                   "remember=1 recent=[/p/b.toc|/p/a&b.toc] geometry=-5,7,600,400 "
                   "folder=/home/u/docs");
        QTest::newRow("first value wins")
            << QByteArray(
                   "<top_left>5</top_left><top_left>9</top_left>"
                   "<last_opened_dir>/a</last_opened_dir>"
                   "<last_opened_dir>/b</last_opened_dir>")
            << QString("remember=0 recent=[] geometry=5,0,0,0 folder=/a");
        QTest::newRow("recent in file order, seven kept")
            << QByteArray(
                   "<recent>/1</recent><recent>/2</recent><recent>/3</recent>"
                   "<recent>/4</recent><recent>/5</recent><recent>/6</recent>"
                   "<recent>/7</recent>")
            << QString("remember=0 recent=[/1|/2|/3|/4|/5|/6|/7] geometry=0,0,0,0 folder=");
        QTest::newRow("not a number") << QByteArray(
                                             "<form_width>wide</form_width><save_format_on_exit>x"
                                             "</save_format_on_exit>")
                                      << default_dump;
    }
    void read() {
        QFETCH(QByteArray, file);
        QFETCH(QString, expected);
        scratch_->put(scratch_->config("qtvn_set.txt"), file);
        shell_settings settings(::config_directory().view());
        QVERIFY(settings.read(*services_));
        QCOMPARE(settings_dump(settings), expected);
        QCOMPARE(QString::fromStdString(services_->log()), QString());
    }

    void unreadable_settings_data() {
        QTest::addColumn<QByteArray>("file");  // "<missing>" for no file
        QTest::newRow("missing") << QByteArray("<missing>");
        QTest::newRow("unparsable") << QByteArray("<top_left>5</top_top>");
    }
    void unreadable_settings() {
        QFETCH(QByteArray, file);
        if (file != "<missing>") scratch_->put(scratch_->config("qtvn_set.txt"), file);
        shell_settings settings(::config_directory().view());
        settings.remember_format_options = true;
        settings.recent.remember("/old.toc");
        settings.geometry = {1, 2, 3, 4};
        settings.last_dialog_folder = "/old";
        services_->expect_message(request_kind::warning);
        QVERIFY(!settings.read(*services_));
        QCOMPARE(QString::fromStdString(services_->log()), "warning \"Can't read settings file\"");
        QCOMPARE(settings_dump(settings), default_dump);
    }

    void projects_a_then_b_then_exit() {
        // the first run: no settings file, the config folder is made on the first write
        shell_settings first(::config_directory().view());
        services_->expect_message(request_kind::warning);
        QVERIFY(!first.read(*services_));
        byte_string current;
        for (const char* opened : {"/p/A.toc", "/p/B.toc"}) {
            first.recent.remember(current.view());  // Open Project, before its dialog
            current = opened;
        }
        first.dialog_folder("/p/B.toc");
        exit_state state;
        state.current_project_file = current.view();
        state.geometry = {10, 20, 640, 480};
        first.write_at_exit(*services_, state);
        QCOMPARE(scratch_->read(scratch_->config("qtvn_set.txt")),
                 QByteArray("<form_height>480</form_height>\r\n<form_width>640</form_width>\r\n"
                            "<last_opened_dir>/p</last_opened_dir>\r\n"
                            "<recent>/p/B.toc</recent>\r\n<recent>/p/A.toc</recent>\r\n"
                            "<save_format_on_exit>0</save_format_on_exit>\r\n"
                            "<top_left>10</top_left>\r\n<top_top>20</top_top>\r\n"));

        shell_settings second(::config_directory().view());
        QVERIFY(second.read(*services_));
        QCOMPARE(settings_dump(second),
                 "remember=0 recent=[/p/B.toc|/p/A.toc] geometry=10,20,640,480 folder=/p");
    }

    void settings_not_writable() {
        // a file where the settings folder should be
        scratch_->put("config/qtvn2", "");
        shell_settings settings(::config_directory().view());
        services_->expect_message(request_kind::warning);
        QVERIFY(!settings.write(*services_));
        QCOMPARE(QString::fromStdString(services_->log()), "warning \"Can't write settings file\"");
    }

    void recent_menu_data() {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << QStringList{} << QString("disabled");
        QTest::newRow("two") << QStringList{"/p/b.toc", "/p/a.toc"}
                             << QString(
                                    "enabled: [&1 /p/b.toc] [&2 /p/a.toc] hidden hidden hidden");
        QTest::newRow("ampersand shows as text") << QStringList{"/R&D/a&&b.toc"}
                                                 << QString(
                                                        "enabled: [&1 /R&&D/a&&&&b.toc] hidden "
                                                        "hidden hidden hidden");
        QTest::newRow("seven stored, five shown")
            << QStringList{"/1", "/2", "/3", "/4", "/5", "/6", "/7"}
            << QString("enabled: [&1 /1] [&2 /2] [&3 /3] [&4 /4] [&5 /5]");
    }
    void recent_menu() {
        QFETCH(QStringList, entries);
        QFETCH(QString, expected);
        std::vector<byte_string> stored;
        for (const QString& entry : entries)
            stored.emplace_back(entry.toStdString());
        recent_projects recent;
        recent.assign(std::move(stored));
        const ::recent_menu menu = make_recent_menu(recent);
        QStringList shown;
        for (size_t i = 0; i < menu.items.size(); ++i) {
            const recent_slot& slot = menu.items[i];
            shown.append(slot.visible ? "[" + text_of(slot.caption) + "]" : QString("hidden"));
            // the click handler finds the entry again through the caption
            if (slot.visible) QCOMPARE(recent_slot_number(slot.caption.view()), int(i) + 1);
        }
        QCOMPARE(menu.enabled ? "enabled: " + shown.join(' ') : QString("disabled"), expected);
        QCOMPARE(recent_slot_number("&"), 0);
        QCOMPARE(recent_slot_number("&6 /x"), 0);
    }

    void seven_stored_trimmed_at_next_update() {
        recent_projects recent;
        recent.assign({"/1", "/2", "/3", "/4", "/5", "/6", "/7"});
        recent.remember("/3");
        QCOMPARE(list_of(recent), "/3|/1|/2|/4|/5");
    }

    void open_recent_project_data() {
        QTest::addColumn<int>("slot");
        QTest::addColumn<bool>("opened");
        QTest::addColumn<QString>("recent");
        QTest::addColumn<QString>("current");
        QTest::newRow("loaded") << 2 << true << QString("/cur.toc|$/a.toc|$/b.toc|$/gone.toc")
                                << QString("$/b.toc");
        QTest::newRow("unreadable")
            << 3 << false << QString("$/a.toc|$/b.toc|$/gone.toc") << QString("/cur.toc");
        QTest::newRow("slot without entry")
            << 4 << false << QString("$/a.toc|$/b.toc|$/gone.toc") << QString("/cur.toc");
    }
    void open_recent_project() {
        QFETCH(int, slot);
        QFETCH(bool, opened);
        QFETCH(QString, recent);
        QFETCH(QString, current);
        const QString dir = scratch_->path();
        scratch_->put("b.toc", full_project);
        shell_settings settings(::config_directory().view());
        settings.recent.assign({byte_string((dir + "/a.toc").toStdString()),
                                byte_string((dir + "/b.toc").toStdString()),
                                byte_string((dir + "/gone.toc").toStdString())});
        toc_project project;
        const QString untouched = project_dump(project);
        byte_string current_file("/cur.toc");
        if (slot == 3) services_->expect_message(request_kind::warning);

        QCOMPARE(::open_recent_project(slot, settings, project, current_file, *services_), opened);
        QCOMPARE(list_of(settings.recent), recent.replace("$", dir));
        QCOMPARE(text_of(current_file), current.replace("$", dir));
        if (opened) {
            QCOMPARE(text_of(project.template_file), "/data/toc_text.htm");
        } else {
            QCOMPARE(project_dump(project), untouched);
        }
        if (slot == 3) {
            QCOMPARE(QString::fromStdString(services_->log()),
                     "warning \"Can't read project file: " + dir + "/gone.toc\"");
        }
    }

    void format_options_restore_eight_values() {
        scratch_->put(scratch_->config("qtvn_format.txt"), full_project);
        shell_settings settings(::config_directory().view());
        toc_project project;
        QVERIFY(settings.read_format_options(project));
        QCOMPARE(project_dump(project),
                 "range=2..4 anchor=' class=\"h\"' titles=1 numbers=0 "
                 "template='/data/toc_text.htm' indent='--' local=1 "
                 "| single=1 back=1 source=[] dest=''");
    }

    void format_options_missing_ignored() {
        shell_settings settings(::config_directory().view());
        toc_project project;
        const QString untouched = project_dump(project);
        QVERIFY(!settings.read_format_options(project));
        QCOMPARE(project_dump(project), untouched);
    }

    void exit_writes_format_options_data() {
        QTest::addColumn<bool>("remember");
        QTest::addColumn<bool>("taken");
        QTest::newRow("remembered") << true << true;
        QTest::newRow("unchecked before exit") << false << false;
    }
    void exit_writes_format_options() {
        QFETCH(bool, remember);
        QFETCH(bool, taken);
        const QByteArray old = "<range_to>3</range_to>\r\n";
        scratch_->put(scratch_->config("qtvn_format.txt"), old);
        shell_settings settings(::config_directory().view());
        settings.remember_format_options = true;
        toc_project controls;
        controls.range_from = 2;
        controls.indent = byte_string("  ");
        bool called = false;
        exit_state state;
        state.remember_format_options = remember;
        state.take_controls = [&]() -> toc_project& {
            called = true;
            return controls;
        };
        settings.write_at_exit(*services_, state);
        QCOMPARE(called, taken);
        const QByteArray written = scratch_->read(scratch_->config("qtvn_format.txt"));
        if (taken) {
            QVERIFY2(written.contains("<range_from>2</range_from>\r\n"), written);
            QVERIFY2(written.contains("<indent>  </indent>\r\n"), written);
        } else {
            QCOMPARE(written, old);
        }
        QVERIFY(scratch_->read(scratch_->config("qtvn_set.txt"))
                    .contains(remember ? "<save_format_on_exit>1<" : "<save_format_on_exit>0<"));
    }

    void format_options_not_writable() {
        // a folder where the format-options file should be
        QVERIFY(QDir().mkpath(scratch_->config("qtvn_format.txt")));
        shell_settings settings(::config_directory().view());
        toc_project project;
        services_->expect_message(request_kind::warning);
        QVERIFY(!settings.write_format_options(project, *services_));
        QCOMPARE(QString::fromStdString(services_->log()), "warning \"\"");
    }

    void dialog_folder_data() {
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("opened");
        QTest::addColumn<QString>("kept");
        QTest::newRow("last folder")
            << QString("/docs") << QString("") << QString("/docs") << QString("/docs");
        QTest::newRow("trailing slashes trimmed")
            << QString("/docs//") << QString("") << QString("/docs") << QString("/docs//");
        QTest::newRow("root kept")
            << QString("///") << QString("") << QString("/") << QString("///");
        QTest::newRow("folder of the start path")
            << QString("/docs") << QString("/site/a/index.html") << QString("/site/a")
            << QString("/site/a");
        QTest::newRow("file in the root")
            << QString("/docs") << QString("/index.html") << QString("/") << QString("/");
        QTest::newRow("bare name")
            << QString("/docs") << QString("index.html") << QString("") << QString("");
        QTest::newRow("nothing known") << QString("") << QString("") << QString("") << QString("");
    }
    void dialog_folder() {
        QFETCH(QString, last);
        QFETCH(QString, start);
        QFETCH(QString, opened);
        QFETCH(QString, kept);
        shell_settings settings(::config_directory().view());
        settings.last_dialog_folder = byte_string(last.toStdString());
        QCOMPARE(text_of(settings.dialog_folder(start.toStdString())), opened);
        QCOMPARE(text_of(settings.last_dialog_folder), kept);
    }

    void initial_geometry_data() {
        QTest::addColumn<QRect>("saved");
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("saved as it is")
            << QRect(-20, 5000, 700, 500) << QSize(1280, 1024) << QRect(-20, 5000, 700, 500);
        QTest::newRow("no width: centred design size")
            << QRect(10, 10, 0, 500) << QSize(1280, 1024) << QRect(326, 302, 628, 420);
        QTest::newRow("no height")
            << QRect(10, 10, 700, 0) << QSize(1280, 1024) << QRect(326, 302, 628, 420);
        QTest::newRow("screen smaller") << QRect() << QSize(600, 800) << QRect(0, 190, 628, 420);
    }
    void initial_geometry() {
        QFETCH(QRect, saved);
        QFETCH(QSize, screen);
        QFETCH(QRect, expected);
        const window_geometry place =
            ::initial_geometry({saved.x(), saved.y(), saved.width(), saved.height()},
                               {screen.width(), screen.height()});
        QCOMPARE(QRect(place.left, place.top, place.width, place.height), expected);
    }

  private:
    std::unique_ptr<scratch_folder> scratch_;
    std::unique_ptr<fake_platform_services> services_;
};

QTEST_MAIN(SettingsTest)
#include "settings_test.moc"
