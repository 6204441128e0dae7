// Finding the desktop's MIDI application, turning its Exec line into a command, and Play:
// the preview file, the messages, and a second Play ending the first player.
#include "gui_test_support.h"

#include "gui_texts.h"
#include "list_pane.h"
#include "main_win.h"
#include "midi_player.h"

#include "tonebridge/core/preview.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

namespace tonebridge::gui {
namespace {

using test::freshDir;
using test::writeFile;

QStringList commandLine(const QString& exec, const QString& file) {
    const auto command = commandFromExec(exec, file);
    if (!command) {
        return {};
    }
    return QStringList{command->program} + command->arguments;
}

TEST(MidiPlayerTest, ExecLinesBecomeCommands) {
    const QString f = "/tmp/my tune.mid";
    EXPECT_EQ(commandLine("player %f", f), QStringList({"player", f}));
    EXPECT_EQ(commandLine("player --file=%U --loop", f),
              QStringList({"player", "--file=" + f, "--loop"}));
    // No file code: the file goes last. Other codes are dropped, %% is a percent sign.
    EXPECT_EQ(commandLine("player %i %c %k --gain 50%%", f),
              QStringList({"player", "--gain", "50%", f}));
    // Quoting with escapes, and only one file even when several codes ask for it.
    EXPECT_EQ(commandLine(R"("/opt/my player/run" "say \"hi\"" %F %f)", f),
              QStringList({"/opt/my player/run", "say \"hi\"", f}));
    EXPECT_FALSE(commandFromExec("", f).has_value());
    EXPECT_FALSE(commandFromExec("%f", f).has_value());
}

QStringList logLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return {};
    }
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

class DesktopPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_data = freshDir("xdg-data");
        m_config = freshDir("xdg-config");
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_data));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(freshDir("xdg-data-dirs")));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(freshDir("xdg-config-dirs")));
        // A generic desktop: only the lists written here decide.
        qunsetenv("XDG_CURRENT_DESKTOP");
        qunsetenv("DESKTOP_SESSION");
    }

    void addApplication(const QString& relativePath, const QString& exec) {
        writeFile(m_data + "/applications/" + relativePath,
                  ("[Desktop Entry]\nType=Application\nName=Stand-in\nExec=" + exec +
                   "\n"
                   "[Desktop Action other]\nExec=wrong\n")
                      .toUtf8());
    }

    QString m_data;
    QString m_config;
};

TEST_F(DesktopPlayerTest, MimeAppsListNamesTheFirstInstalledApplication) {
    if (!QStandardPaths::findExecutable("xdg-mime").isEmpty()) {
        GTEST_SKIP() << "xdg-mime answers for the desktop here: the lists are its business";
    }
    EXPECT_EQ(defaultMidiApplication(), "");
    addApplication("vendor/player.desktop", "player %f");
    EXPECT_EQ(findDesktopFile("vendor-player.desktop"),
              m_data + "/applications/vendor/player.desktop");
    EXPECT_EQ(findDesktopFile("../escape.desktop"), "");

    // The data folder's list, then the user's configuration overriding it; an entry whose
    // desktop file is missing is passed over.
    writeFile(m_data + "/applications/mimeapps.list",
              "[Added Associations]\naudio/midi=vendor-player.desktop;\n");
    EXPECT_EQ(defaultMidiApplication(), "vendor-player.desktop");
    addApplication("other.desktop", "other %u");
    writeFile(m_config + "/mimeapps.list",
              "[Default Applications]\naudio/midi=gone.desktop;other.desktop;\n");
    EXPECT_EQ(defaultMidiApplication(), "other.desktop");

    EXPECT_EQ(desktopExec(findDesktopFile("other.desktop")), "other %u");
}

TEST_F(DesktopPlayerTest, PlayEndsThePreviousPlayerBeforeStartingTheNext) {
    TB_REQUIRE_PLUGINS("midi_reader", "midi_writer");
    // The stand-in player logs its start and its end, and plays until it is told to stop.
    const QString log = m_data + "/player.log";
    const QString script = m_data + "/stand-in-player";
    writeFile(script, QStringLiteral("#!/bin/sh\n"
                                     "trap 'echo \"end $$\" >> \"%1\"; exit 0' TERM\n"
                                     "echo \"start $$ $1\" >> '%1'\n"
                                     "while :; do sleep 0.05; done\n")
                          .arg(log)
                          .toUtf8());
    QFile::setPermissions(script,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    addApplication("stand-in.desktop", "\"" + script + "\" %f");
    writeFile(m_data + "/applications/mimeapps.list",
              "[Default Applications]\naudio/midi=stand-in.desktop\n");

    const QString dir = freshDir("play");
    writeFile(dir + "/tune.mid", test::tinyMidi());
    QStringList messages;
    {
        CMainWin win(test::stagedPlugins());
        win.show();
        win.listPane()->setMessageSink(
            [&](const QString& title, const QString& text) { messages << title + "|" + text; });
        win.addFiles({dir + "/tune.mid", dir + "/missing.mid"});

        win.listPane()->playRow(0);
        const QString preview = QDir::current().absoluteFilePath(core::kPreviewFile);
        QFile written(preview);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_TRUE(written.read(4) == "MThd");
        QProcess* first = win.listPane()->player()->process();
        ASSERT_NE(first, nullptr);
        const qint64 firstPid = first->processId();
        QTRY_VERIFY(QFile::exists(log));

        // The row menu's Play previews the first selected row.
        win.listPane()->setSelected(0, true);
        win.listPane()->runRowCommand(kCmdPlay);
        QProcess* second = win.listPane()->player()->process();
        ASSERT_NE(second, nullptr);
        const qint64 secondPid = second->processId();
        EXPECT_NE(firstPid, secondPid);
        QTRY_COMPARE(logLines(log).size(), 3);

        // A file that cannot be read: a message, and the running player is ended first.
        win.listPane()->playRow(1);
        EXPECT_EQ(messages, QStringList{"Error...|error : file cannot be opened"});
        EXPECT_EQ(second->state(), QProcess::NotRunning);

        const QStringList entries = logLines(log);
        ASSERT_EQ(entries.size(), 4);
        EXPECT_EQ(entries[0], QStringLiteral("start %1 %2").arg(firstPid).arg(preview));
        EXPECT_EQ(entries[1], QStringLiteral("end %1").arg(firstPid));
        EXPECT_EQ(entries[2], QStringLiteral("start %1 %2").arg(secondPid).arg(preview));
        EXPECT_EQ(entries[3], QStringLiteral("end %1").arg(secondPid));
    }
}

TEST_F(DesktopPlayerTest, ClosingTheWindowEndsThePlayer) {
    TB_REQUIRE_PLUGINS("midi_reader", "midi_writer");
    const QString script = m_data + "/sleeper";
    writeFile(script, "#!/bin/sh\nexec sleep 60\n");
    QFile::setPermissions(script,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    addApplication("sleeper.desktop", script + " %f");
    writeFile(m_config + "/mimeapps.list",
              "[Default Applications]\naudio/x-midi=sleeper.desktop\n");
    const QString dir = freshDir("play-close");
    writeFile(dir + "/tune.mid", test::tinyMidi());

    CMainWin win(test::stagedPlugins());
    win.show();
    win.addFiles({dir + "/tune.mid"});
    win.listPane()->playRow(0);
    QProcess* player = win.listPane()->player()->process();
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(player->state(), QProcess::Running);
    win.close();
    EXPECT_EQ(player->state(), QProcess::NotRunning);
}

} // namespace
} // namespace tonebridge::gui
