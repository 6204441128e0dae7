// Play: the desktop's MIDI application as the desktop's lists choose it, started on the
// preview file and ended by the next Play or by closing the window; the program's own
// synthesizer when there is no application or it cannot start; one message when nothing
// can play.
#include "gui_test_support.h"

#include "desktop_app.h"
#include "gui_texts.h"
#include "list_pane.h"
#include "main_win.h"
#include "midi_player.h"
#include "synth_player.h"

#include "tonebridge/core/preview.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <cerrno>
#include <csignal>

namespace tonebridge::gui {
namespace {

using test::freshDir;
using test::writeFile;

QStringList logLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return {};
    }
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

bool processExists(pid_t pid) {
    return kill(pid, 0) == 0 || errno != ESRCH;
}

/// A MIDI file of one note held for ten seconds: it plays until it is stopped.
QByteArray longMidi() {
    // clang-format off
    return QByteArray::fromHex(
        "4d546864" "00000006" "0000" "0001" "0060"
        "4d54726b" "00000010"
        "00c000"                    // program 0
        "00903c64" "8f00803c40"     // C4 for twenty quarter notes (division 96, 120 bpm)
        "00ff2f00");                // end of track
    // clang-format on
}

/// True when the raw 16-bit file holds a sample louder than silence.
bool hasSound(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray bytes = file.readAll();
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
        const auto sample =
            static_cast<int16_t>(static_cast<uint8_t>(bytes[i]) | (bytes[i + 1] << 8));
        if (sample > 64 || sample < -64) {
            return true;
        }
    }
    return false;
}

// The desktop's folders are the same for every test of a process (the desktop library reads
// where they are once) and emptied before each.
class DesktopPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_data = test::tempRoot() + "/data";
        m_config = test::tempRoot() + "/config";
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_data));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config));
        QDir(m_data + "/applications").removeRecursively();
        QFile::remove(m_config + "/mimeapps.list");
        QDir().mkpath(m_data + "/applications");
    }

    void TearDown() override {
        qunsetenv(kAudioDriverVariable);
        qunsetenv(kAudioFileVariable);
        qunsetenv("TONEBRIDGE_SOUNDFONT");
    }

    void addApplication(const QString& relativePath, const QString& exec) {
        writeFile(m_data + "/applications/" + relativePath,
                  ("[Desktop Entry]\nType=Application\nName=Stand-in\nMimeType=audio/midi;\n"
                   "Exec=" +
                   exec +
                   "\n"
                   "[Desktop Action other]\nExec=wrong\n")
                      .toUtf8());
    }

    /// A shell script that logs "start PID ARGS" and "end PID", and plays until told to stop.
    QString addLoggingPlayer(const QString& log) {
        const QString script = freshDir("my player") + "/stand-in";
        writeFile(script, QStringLiteral("#!/bin/sh\n"
                                         "trap 'echo \"end $$\" >> \"%1\"; exit 0' TERM\n"
                                         "echo \"start $$ $*\" >> '%1'\n"
                                         "while :; do sleep 0.05; done\n")
                              .arg(log)
                              .toUtf8());
        QFile::setPermissions(script, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
        return script;
    }

    /// Collects the window's message boxes as "title|text" instead of showing them.
    static void collectMessages(CMainWin& win, QStringList& messages) {
        win.listPane()->setMessageSink([&messages](const QString& title, const QString& text) {
            messages << title + "|" + text;
        });
    }

    /// Sends the in-program synthesizer's sound to a raw file instead of a device.
    static void soundToFile(const QString& path) {
        qputenv(kAudioDriverVariable, "file");
        qputenv(kAudioFileVariable, QFile::encodeName(path));
    }

    QString m_data;
    QString m_config;
};

TEST_F(DesktopPlayerTest, TheDesktopListsChooseTheApplication) {
    EXPECT_EQ(defaultMidiApplication(), "");
    // The data folder's list names an application kept in a vendor folder.
    addApplication("vendor/player.desktop", "/bin/true %f");
    writeFile(m_data + "/applications/mimeapps.list",
              "[Default Applications]\naudio/midi=vendor-player.desktop;\n");
    EXPECT_TRUE(test::waitUntil([&] {
        return QString::fromStdString(defaultMidiApplication()) == "vendor-player.desktop";
    }));
    // The user's configuration overrides it; an entry whose desktop file is missing is passed
    // over.
    addApplication("other.desktop", "/bin/true %u");
    writeFile(m_config + "/mimeapps.list",
              "[Default Applications]\naudio/midi=gone.desktop;other.desktop;\n");
    EXPECT_TRUE(test::waitUntil(
        [&] { return QString::fromStdString(defaultMidiApplication()) == "other.desktop"; }));
    // This program is never its own player: the next application for MIDI files stands in.
    // (what else claims MIDI files comes from the cache the desktop keeps of them).
    addApplication("tonebridge.desktop", "/bin/true %F");
    writeFile(m_data + "/applications/mimeinfo.cache",
              "[MIME Cache]\naudio/midi=tonebridge.desktop;other.desktop;\n");
    writeFile(m_config + "/mimeapps.list",
              "[Default Applications]\naudio/midi=tonebridge.desktop;\n");
    EXPECT_EQ(defaultMidiApplication(), "other.desktop");
}

TEST_F(DesktopPlayerTest, PlayEndsThePreviousPlayerBeforeStartingTheNext) {
    TB_REQUIRE_PLUGINS("midi_reader", "midi_writer");
    const QString log = m_data + "/player.log";
    // A quoted program path with a space, an option around the file's field code.
    addApplication("stand-in.desktop", "\"" + addLoggingPlayer(log) + "\" --file=%f --loop");
    writeFile(m_data + "/applications/mimeapps.list",
              "[Default Applications]\naudio/midi=stand-in.desktop\n");

    const QString dir = freshDir("play");
    writeFile(dir + "/tune.mid", test::tinyMidi());
    QStringList messages;
    {
        CMainWin win(test::stagedPlugins());
        win.show();
        collectMessages(win, messages);
        win.addFiles({dir + "/tune.mid", dir + "/missing.mid"});

        win.listPane()->playRow(0);
        const QString preview = QDir::current().absoluteFilePath(core::kPreviewFile);
        QFile written(preview);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_TRUE(written.read(4) == "MThd");
        const pid_t firstPid = win.listPane()->player()->desktopPid();
        ASSERT_GT(firstPid, 0);
        EXPECT_TRUE(test::waitUntil([&] { return logLines(log).size() == 1; }));

        // The row menu's Play previews the first selected row.
        win.listPane()->setSelected(0, true);
        win.listPane()->runRowCommand(kCmdPlay);
        const pid_t secondPid = win.listPane()->player()->desktopPid();
        ASSERT_GT(secondPid, 0);
        EXPECT_NE(firstPid, secondPid);
        EXPECT_FALSE(processExists(firstPid));
        EXPECT_TRUE(test::waitUntil([&] { return logLines(log).size() == 3; }));

        // A file that cannot be read: a message, and the running player is ended first.
        win.listPane()->playRow(1);
        EXPECT_EQ(messages, QStringList{"Error...|error : file cannot be opened"});
        EXPECT_EQ(win.listPane()->player()->desktopPid(), 0);
        EXPECT_FALSE(processExists(secondPid));

        const QStringList entries = logLines(log);
        ASSERT_EQ(entries.size(), 4);
        const QString args = QStringLiteral("--file=%1 --loop").arg(preview);
        EXPECT_EQ(entries[0], QStringLiteral("start %1 %2").arg(firstPid).arg(args));
        EXPECT_EQ(entries[1], QStringLiteral("end %1").arg(firstPid));
        EXPECT_EQ(entries[2], QStringLiteral("start %1 %2").arg(secondPid).arg(args));
        EXPECT_EQ(entries[3], QStringLiteral("end %1").arg(secondPid));
    }
}

TEST_F(DesktopPlayerTest, ClosingTheWindowEndsThePlayer) {
    TB_REQUIRE_PLUGINS("midi_reader", "midi_writer");
    const QString script = freshDir("sleeper") + "/sleeper";
    writeFile(script, "#!/bin/sh\nexec sleep 60\n");
    QFile::setPermissions(script,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    addApplication("sleeper.desktop", script + " %f");
    writeFile(m_config + "/mimeapps.list",
              "[Default Applications]\naudio/x-midi=sleeper.desktop\naudio/midi=sleeper.desktop\n");
    const QString dir = freshDir("play-close");
    writeFile(dir + "/tune.mid", test::tinyMidi());

    CMainWin win(test::stagedPlugins());
    win.show();
    win.addFiles({dir + "/tune.mid"});
    win.listPane()->playRow(0);
    const pid_t pid = win.listPane()->player()->desktopPid();
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(processExists(pid));
    win.close();
    EXPECT_EQ(win.listPane()->player()->desktopPid(), 0);
    EXPECT_FALSE(processExists(pid));
}

TEST_F(DesktopPlayerTest, WithoutAnApplicationTheProgramPlaysItself) {
    TB_REQUIRE_PLUGINS("midi_reader", "midi_writer");
    if (!SynthPlayer::available()) {
        GTEST_SKIP() << "built without the synthesizer";
    }
    const QString dir = freshDir("play-inside");
    writeFile(dir + "/long.mid", longMidi());
    QStringList messages;
    CMainWin win(test::stagedPlugins());
    win.show();
    collectMessages(win, messages);
    win.addFiles({dir + "/long.mid"});
    MidiPlayer* player = win.listPane()->player();

    soundToFile(dir + "/first.raw");
    win.listPane()->playRow(0);
    ASSERT_TRUE(player->playingInProgram()) << messages.join("; ").toStdString();
    EXPECT_EQ(player->desktopPid(), 0);
    EXPECT_TRUE(test::waitUntil([&] { return hasSound(dir + "/first.raw"); }));

    // A second Play stops the first: its sound stops growing while the second's grows.
    soundToFile(dir + "/second.raw");
    win.listPane()->playRow(0);
    ASSERT_TRUE(player->playingInProgram());
    const qint64 firstSize = QFileInfo(dir + "/first.raw").size();
    EXPECT_TRUE(test::waitUntil([&] { return hasSound(dir + "/second.raw"); }));
    QTest::qWait(200);
    EXPECT_EQ(QFileInfo(dir + "/first.raw").size(), firstSize);

    // Closing the window stops it too.
    win.close();
    EXPECT_FALSE(player->playingInProgram());
    const qint64 secondSize = QFileInfo(dir + "/second.raw").size();
    QTest::qWait(200);
    EXPECT_EQ(QFileInfo(dir + "/second.raw").size(), secondSize);
    EXPECT_TRUE(messages.isEmpty()) << messages.join("; ").toStdString();
}

TEST_F(DesktopPlayerTest, AnApplicationThatCannotStartLeavesItToTheProgram) {
    TB_REQUIRE_PLUGINS("midi_reader", "midi_writer");
    if (!SynthPlayer::available()) {
        GTEST_SKIP() << "built without the synthesizer";
    }
    // A player that exists but cannot be run: its interpreter is missing.
    const QString script = freshDir("broken") + "/player";
    writeFile(script, "#!/no/such/interpreter\n");
    QFile::setPermissions(script,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    addApplication("broken.desktop", script + " %f");
    writeFile(m_config + "/mimeapps.list", "[Default Applications]\naudio/midi=broken.desktop\n");
    const QString dir = freshDir("play-broken");
    writeFile(dir + "/long.mid", longMidi());
    soundToFile(dir + "/sound.raw");

    CMainWin win(test::stagedPlugins());
    win.show();
    win.addFiles({dir + "/long.mid"});
    EXPECT_TRUE(test::waitUntil(
        [&] { return QString::fromStdString(defaultMidiApplication()) == "broken.desktop"; }));
    win.listPane()->playRow(0);
    // The player fails at once: the program plays instead, without a message.
    EXPECT_TRUE(test::waitUntil([&] { return win.listPane()->player()->playingInProgram(); }));
    EXPECT_TRUE(test::waitUntil([&] { return hasSound(dir + "/sound.raw"); }));
}

TEST_F(DesktopPlayerTest, WhenNothingCanPlayOneMessageSaysWhy) {
    TB_REQUIRE_PLUGINS("midi_reader", "midi_writer");
    const QString dir = freshDir("play-nothing");
    writeFile(dir + "/tune.mid", test::tinyMidi());
    // A sound font named but missing: the synthesizer has nothing to play with.
    qputenv("TONEBRIDGE_SOUNDFONT", QFile::encodeName(dir + "/missing.sf2"));
    QStringList messages;
    CMainWin win(test::stagedPlugins());
    win.show();
    collectMessages(win, messages);
    win.addFiles({dir + "/tune.mid"});
    win.listPane()->playRow(0);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("Message...|The melody cannot be played: no application "
                                       "is set for MIDI files, and "))
        << messages[0].toStdString();
    if (SynthPlayer::available()) {
        EXPECT_TRUE(messages[0].contains("no General MIDI sound font found"))
            << messages[0].toStdString();
    }
    EXPECT_FALSE(win.listPane()->player()->playingInProgram());

    // A sound font but no audio device.
    if (SynthPlayer::available()) {
        qunsetenv("TONEBRIDGE_SOUNDFONT");
        qputenv(kAudioDriverVariable, "no-such-driver");
        win.listPane()->playRow(0);
        ASSERT_EQ(messages.size(), 2);
        EXPECT_TRUE(messages[1].endsWith(text::kPlayNoAudioDevice)) << messages[1].toStdString();
    }
}

} // namespace
} // namespace tonebridge::gui
