#include "settings.h"

#include <QDir>
#include <QTest>
#include <memory>

#include "fake_platform_services.h"
#include "qt_text.h"
#include "scratch_folder.h"

namespace {

QString textOf(const byte_string& text) {
    return qtText(text.view());
}
QString listOf(const RecentProjects& recent) {
    QStringList entries;
    for (const byte_string& entry : recent.entries())
        entries.append(textOf(entry));
    return entries.join('|');
}

// "remember=0 recent=[a|b] geometry=1,2,3,4 folder=/x"
QString settingsDump(const ShellSettings& settings) {
    const WindowGeometry& g = settings.geometry;
    return QStringLiteral("remember=%1 recent=[%2] geometry=%3,%4,%5,%6 folder=%7")
        .arg(settings.rememberFormatOptions ? 1 : 0)
        .arg(listOf(settings.recent))
        .arg(g.left)
        .arg(g.top)
        .arg(g.width)
        .arg(g.height)
        .arg(textOf(settings.lastDialogFolder));
}

const QString defaultDump = "remember=0 recent=[] geometry=0,0,0,0 folder=";

// The fields of a project, format values first.
QString projectDump(const toc_project& project) {
    QStringList sources;
    for (const byte_string& entry : project.source)
        sources.append(textOf(entry));
    return QStringLiteral(
               "range=%1..%2 anchor='%3' titles=%4 numbers=%5 template='%6' "
               "indent='%7' local=%8 | single=%9 back=%10 source=[%11] dest='%12' ids=%13")
        .arg(static_cast<int>(project.range_from))
        .arg(static_cast<int>(project.range_to))
        .arg(textOf(project.named_anchor_attributes))
        .arg(static_cast<int>(project.process_title))
        .arg(static_cast<int>(project.process_numbering))
        .arg(textOf(project.template_file))
        .arg(textOf(project.indent))
        .arg(static_cast<int>(project.insert_local_toc))
        .arg(static_cast<int>(project.is_single))
        .arg(static_cast<int>(project.is_dest_as_source))
        .arg(sources.join('|'))
        .arg(textOf(project.destination))
        .arg(static_cast<int>(project.anchor_style == anchor_kind::id));
}

// A project whose every field differs from the defaults.
const QByteArray fullProject =
    "<destination>/site/toc.html</destination>\r\n<indent>--</indent>\r\n"
    "<insert_local_toc>1</insert_local_toc>\r\n<is_dest_as_source>0</is_dest_as_source>\r\n"
    "<is_single>0</is_single>\r\n<named_anchor_attributes> class=\"h\"</named_anchor_attributes>"
    "\r\n<process_numbering>0</process_numbering>\r\n<process_title>1</process_title>\r\n"
    "<range_from>2</range_from>\r\n<range_to>4</range_to>\r\n<source>/site/a.html</source>\r\n"
    "<source>/site/b.html</source>\r\n<template_file>/data/toc_text.htm</template_file>\r\n"
    "<anchor_style>id</anchor_style>\r\n";

}  // namespace

class SettingsTest : public QObject {
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

    void configDirectory_data() {
        QTest::addColumn<QByteArray>("xdg");
        QTest::addColumn<QString>("expected");
        QTest::newRow("set") << QByteArray("/cfg") << QString("/cfg/qtvn2/");
        QTest::newRow("trailing slash") << QByteArray("/cfg/") << QString("/cfg/qtvn2/");
        QTest::newRow("empty") << QByteArray("") << QString("$HOME/.config/qtvn2/");
        QTest::newRow("relative ignored") << QByteArray("cfg") << QString("$HOME/.config/qtvn2/");
    }
    void configDirectory() {
        QFETCH(QByteArray, xdg);
        QFETCH(QString, expected);
        const QByteArray home = qgetenv("HOME");
        qputenv("HOME", "/home/someone");
        qputenv("XDG_CONFIG_HOME", xdg);
        const QString directory = textOf(::configDirectory());
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
        RecentProjects recent;
        for (const QString& path : left)
            recent.remember(path.toStdString());
        QCOMPARE(listOf(recent), expected);
    }

    void read_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty file") << QByteArray("") << defaultDump;
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
                                      << defaultDump;
    }
    void read() {
        QFETCH(QByteArray, file);
        QFETCH(QString, expected);
        scratch_->put(scratch_->config("qtvn_set.txt"), file);
        ShellSettings settings(::configDirectory().view());
        QVERIFY(settings.read(*services_));
        QCOMPARE(settingsDump(settings), expected);
        QCOMPARE(QString::fromStdString(services_->log()), QString());
    }

    // A first start, without a settings file, is silent; a file that is there but can't be
    // read is reported.
    void unreadableSettings_data() {
        QTest::addColumn<QByteArray>("file");  // "<missing>" for no file, "<folder>" for one
        QTest::addColumn<QString>("log");
        QTest::newRow("missing") << QByteArray("<missing>") << QString();
        QTest::newRow("unparsable")
            << QByteArray("<top_left>5</top_top>") << "warning \"Can't read settings file\"";
        QTest::newRow("folder") << QByteArray("<folder>") << "warning \"Can't read settings file\"";
    }
    void unreadableSettings() {
        QFETCH(QByteArray, file);
        QFETCH(QString, log);
        const QString path = scratch_->config("qtvn_set.txt");
        if (file == "<folder>") {
            QDir().mkpath(path);
        } else if (file != "<missing>") {
            scratch_->put(path, file);
        }
        ShellSettings settings(::configDirectory().view());
        settings.rememberFormatOptions = true;
        settings.recent.remember("/old.toc");
        settings.geometry = {1, 2, 3, 4};
        settings.lastDialogFolder = "/old";
        if (!log.isEmpty()) services_->expectMessage(RequestKind::warning);
        QCOMPARE(settings.read(*services_), log.isEmpty());
        QCOMPARE(QString::fromStdString(services_->log()), log);
        QCOMPARE(settingsDump(settings), defaultDump);
    }

    void projectsAThenBThenExit() {
        // the first run: no settings file, the config folder is made on the first write
        ShellSettings first(::configDirectory().view());
        QVERIFY(first.read(*services_));
        byte_string current;
        for (const char* opened : {"/p/A.toc", "/p/B.toc"}) {
            first.recent.remember(current.view());  // Open Project, before its dialog
            current = opened;
        }
        first.dialogFolder("/p/B.toc");
        ExitState state;
        state.currentProjectFile = current.view();
        state.geometry = {10, 20, 640, 480};
        first.writeAtExit(*services_, state);
        QCOMPARE(scratch_->read(scratch_->config("qtvn_set.txt")),
                 QByteArray("<form_height>480</form_height>\r\n<form_width>640</form_width>\r\n"
                            "<last_opened_dir>/p</last_opened_dir>\r\n"
                            "<recent>/p/B.toc</recent>\r\n<recent>/p/A.toc</recent>\r\n"
                            "<save_format_on_exit>0</save_format_on_exit>\r\n"
                            "<top_left>10</top_left>\r\n<top_top>20</top_top>\r\n"));

        ShellSettings second(::configDirectory().view());
        QVERIFY(second.read(*services_));
        QCOMPARE(settingsDump(second),
                 "remember=0 recent=[/p/B.toc|/p/A.toc] geometry=10,20,640,480 folder=/p");
    }

    void settingsNotWritable() {
        // a file where the settings folder should be
        scratch_->put("config/qtvn2", "");
        ShellSettings settings(::configDirectory().view());
        services_->expectMessage(RequestKind::warning);
        QVERIFY(!settings.write(*services_));
        QCOMPARE(QString::fromStdString(services_->log()), "warning \"Can't write settings file\"");
    }

    void recentMenu_data() {
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
    void recentMenu() {
        QFETCH(QStringList, entries);
        QFETCH(QString, expected);
        std::vector<byte_string> stored;
        for (const QString& entry : entries)
            stored.emplace_back(entry.toStdString());
        RecentProjects recent;
        recent.assign(std::move(stored));
        const ::RecentMenu menu = makeRecentMenu(recent);
        QStringList shown;
        for (size_t i = 0; i < menu.items.size(); ++i) {
            const RecentSlot& slot = menu.items[i];
            shown.append(slot.visible ? "[" + textOf(slot.caption) + "]" : QString("hidden"));
            // the click handler finds the entry again through the caption
            if (slot.visible) QCOMPARE(recentSlotNumber(slot.caption.view()), int(i) + 1);
        }
        QCOMPARE(menu.enabled ? "enabled: " + shown.join(' ') : QString("disabled"), expected);
        QCOMPARE(recentSlotNumber("&"), 0);
        QCOMPARE(recentSlotNumber("&6 /x"), 0);
    }

    void sevenStoredTrimmedAtNextUpdate() {
        RecentProjects recent;
        recent.assign({"/1", "/2", "/3", "/4", "/5", "/6", "/7"});
        recent.remember("/3");
        QCOMPARE(listOf(recent), "/3|/1|/2|/4|/5");
    }

    void openRecentProject_data() {
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
    void openRecentProject() {
        QFETCH(int, slot);
        QFETCH(bool, opened);
        QFETCH(QString, recent);
        QFETCH(QString, current);
        const QString dir = scratch_->path();
        scratch_->put("b.toc", fullProject);
        ShellSettings settings(::configDirectory().view());
        settings.recent.assign({byte_string((dir + "/a.toc").toStdString()),
                                byte_string((dir + "/b.toc").toStdString()),
                                byte_string((dir + "/gone.toc").toStdString())});
        toc_project project;
        const QString untouched = projectDump(project);
        byte_string currentFile("/cur.toc");
        if (slot == 3) services_->expectMessage(RequestKind::warning);

        QCOMPARE(::openRecentProject(slot, settings, project, currentFile, *services_), opened);
        QCOMPARE(listOf(settings.recent), recent.replace("$", dir));
        QCOMPARE(textOf(currentFile), current.replace("$", dir));
        if (opened) {
            QCOMPARE(textOf(project.template_file), "/data/toc_text.htm");
        } else {
            QCOMPARE(projectDump(project), untouched);
        }
        if (slot == 3) {
            QCOMPARE(QString::fromStdString(services_->log()),
                     "warning \"Can't read project file: " + dir +
                         "/gone.toc\r\nThe file doesn't exist.\"");
        }
    }

    void formatOptionsRestoreNineValues() {
        scratch_->put(scratch_->config("qtvn_format.txt"), fullProject);
        ShellSettings settings(::configDirectory().view());
        toc_project project;
        QVERIFY(settings.readFormatOptions(project));
        QCOMPARE(projectDump(project),
                 "range=2..4 anchor=' class=\"h\"' titles=1 numbers=0 "
                 "template='/data/toc_text.htm' indent='--' local=1 "
                 "| single=1 back=1 source=[] dest='' ids=1");
    }

    void formatOptionsMissingIgnored() {
        ShellSettings settings(::configDirectory().view());
        toc_project project;
        const QString untouched = projectDump(project);
        QVERIFY(!settings.readFormatOptions(project));
        QCOMPARE(projectDump(project), untouched);
    }

    void exitWritesFormatOptions_data() {
        QTest::addColumn<bool>("remember");
        QTest::addColumn<bool>("taken");
        QTest::newRow("remembered") << true << true;
        QTest::newRow("unchecked before exit") << false << false;
    }
    void exitWritesFormatOptions() {
        QFETCH(bool, remember);
        QFETCH(bool, taken);
        const QByteArray old = "<range_to>3</range_to>\r\n";
        scratch_->put(scratch_->config("qtvn_format.txt"), old);
        ShellSettings settings(::configDirectory().view());
        settings.rememberFormatOptions = true;
        toc_project controls;
        controls.range_from = 2;
        controls.indent = byte_string("  ");
        bool called = false;
        ExitState state;
        state.rememberFormatOptions = remember;
        state.takeControls = [&]() -> toc_project& {
            called = true;
            return controls;
        };
        settings.writeAtExit(*services_, state);
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

    void formatOptionsNotWritable() {
        // a folder where the format-options file should be
        QVERIFY(QDir().mkpath(scratch_->config("qtvn_format.txt")));
        ShellSettings settings(::configDirectory().view());
        toc_project project;
        services_->expectMessage(RequestKind::warning);
        QVERIFY(!settings.writeFormatOptions(project, *services_));
        QCOMPARE(QString::fromStdString(services_->log()), "warning \"\"");
    }

    void dialogFolder_data() {
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
    void dialogFolder() {
        QFETCH(QString, last);
        QFETCH(QString, start);
        QFETCH(QString, opened);
        QFETCH(QString, kept);
        ShellSettings settings(::configDirectory().view());
        settings.lastDialogFolder = byte_string(last.toStdString());
        QCOMPARE(textOf(settings.dialogFolder(start.toStdString())), opened);
        QCOMPARE(textOf(settings.lastDialogFolder), kept);
    }

    void initialGeometry_data() {
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
    void initialGeometry() {
        QFETCH(QRect, saved);
        QFETCH(QSize, screen);
        QFETCH(QRect, expected);
        const WindowGeometry place =
            ::initialGeometry({saved.x(), saved.y(), saved.width(), saved.height()},
                              {screen.width(), screen.height()});
        QCOMPARE(QRect(place.left, place.top, place.width, place.height), expected);
    }

  private:
    std::unique_ptr<ScratchFolder> scratch_;
    std::unique_ptr<FakePlatformServices> services_;
};

QTEST_MAIN(SettingsTest)
#include "settings_test.moc"
