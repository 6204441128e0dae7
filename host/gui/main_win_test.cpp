// The main window against the staged plug-ins: enable rules, Add, Delete, the row menu, a
// whole conversion run, closing (with and without a run) and the settings it saves.
#include "gui_test_support.h"

#include "gui_texts.h"
#include "list_pane.h"
#include "main_win.h"

#include "tonebridge/core/conversion.h"
#include "tonebridge/core/file_name.h"
#include "tonebridge/core/preview.h"
#include "tonebridge/core/rows.h"

#include <QAction>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>
#include <QUrl>

#include <memory>

namespace tonebridge::gui {
namespace {

using test::freshDir;
using test::writeFile;

constexpr int kRunTimeoutMs = 30000;

class MainWinTest : public ::testing::Test {
protected:
    void SetUp() override { test::freshSettingsStore(); }

    std::unique_ptr<CMainWin> makeWindow(const core::PluginRegistry& registry) {
        auto win = std::make_unique<CMainWin>(registry);
        win->resize(CMainWin::kInitialWidth, CMainWin::kInitialHeight);
        win->show();
        win->listPane()->setMessageSink([this](const QString& title, const QString& text) {
            m_messages << title + "|" + text;
        });
        return win;
    }

    static std::string cell(CMainWin& win, int row, int column) {
        return win.listPane()->cellText(row, column);
    }
    static std::string counter(CMainWin& win) {
        return win.listPane()->counterLabel()->text().toStdString();
    }
    static const core::RowColors& colors(CMainWin& win, int row) {
        return *win.listPane()->rowsModel().row(row).colors;
    }
    static void runToEnd(CMainWin& win) {
        QSignalSpy finished(&win, &CMainWin::conversionFinished);
        win.startConversion();
        ASSERT_TRUE(finished.wait(kRunTimeoutMs));
    }
    static void selectRows(CMainWin& win, std::initializer_list<int> rows) {
        win.listPane()->listCtrl()->clearSelection();
        for (int row : rows) {
            win.listPane()->setSelected(row, true);
        }
    }
    static bool enabled(CMainWin& win, int id) { return win.action(id)->isEnabled(); }

    QStringList m_messages;
};

TEST_F(MainWinTest, OpensWithTheDocumentedFrameAndEmptyList) {
    auto win = makeWindow(test::noPlugins());
    EXPECT_EQ(win->windowTitle(), "Chimewright");
    EXPECT_EQ(win->size(), QSize(800, 600));
    EXPECT_EQ(counter(*win), "no file in list");

    const QHeaderView* header = win->listPane()->listCtrl()->horizontalHeader();
    const int widths[] = {176, 112, 128, 144, 112, 144}; // 800 x 0.22, 0.14, 0.16, 0.18, ...
    const char* headings[] = {"File", "Size", "Type", "Status", "Size", "Path"};
    ASSERT_EQ(header->count(), 6);
    for (int column = 0; column < 6; ++column) {
        EXPECT_EQ(header->sectionSize(column), widths[column]) << column;
        EXPECT_EQ(win->listPane()->listCtrl()->model()->headerData(column, Qt::Horizontal),
                  headings[column]);
    }

    EXPECT_EQ(win->action(kCmdAddFiles)->text(), "&Add file(s)\tCtrl+O");
    EXPECT_EQ(win->action(kCmdConvert)->shortcut(), QKeySequence("Ctrl+C"));
    EXPECT_EQ(win->action(kCmdOptions)->statusTip(), "Options to configure conversion");
    auto* bar = win->findChild<QToolBar*>();
    ASSERT_NE(bar, nullptr);
    const QList<QAction*> buttons = bar->actions();
    ASSERT_EQ(buttons.size(), 4);
    EXPECT_EQ(buttons[0], win->action(kCmdAddFiles));
    EXPECT_EQ(buttons[3], win->action(kCmdOptions));
    for (QAction* button : buttons) {
        EXPECT_FALSE(button->icon().isNull());
    }
}

TEST_F(MainWinTest, EnableRulesFollowTheRowCountAndTheRun) {
    TB_REQUIRE_PLUGINS("midi_reader", "midi_writer");
    auto win = makeWindow(test::stagedPlugins());
    EXPECT_TRUE(enabled(*win, kCmdAddFiles));
    EXPECT_FALSE(enabled(*win, kCmdDeleteFiles));
    EXPECT_FALSE(enabled(*win, kCmdConvert));
    EXPECT_TRUE(enabled(*win, kCmdOptions));

    const QString dir = freshDir("rules");
    writeFile(dir + "/a.mid", test::tinyMidi());
    win->addFiles({dir + "/a.mid", dir + "/a.mid"});
    EXPECT_TRUE(enabled(*win, kCmdDeleteFiles));
    EXPECT_TRUE(enabled(*win, kCmdConvert));

    // The worker waits for this thread at its first row operation, so the run is certainly
    // under way until events are processed.
    QSignalSpy finished(win.get(), &CMainWin::conversionFinished);
    win->startConversion();
    EXPECT_TRUE(win->isConverting());
    for (int id : {kCmdAddFiles, kCmdDeleteFiles, kCmdConvert, kCmdOptions}) {
        EXPECT_FALSE(enabled(*win, id)) << id;
    }
    for (int id : {kCmdAbout, kCmdVersions, kCmdExit}) {
        EXPECT_TRUE(enabled(*win, id)) << id;
    }
    EXPECT_TRUE(win->progressBar()->isVisible());
    // Commands arriving anyway are refused, and the row menu cannot delete under the run.
    win->addFiles({dir + "/a.mid"});
    win->deleteFiles();
    EXPECT_EQ(win->listPane()->rowCount(), 2);
    selectRows(*win, {0});
    std::unique_ptr<QMenu> menu = win->listPane()->createRowMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->actions().at(0)->isEnabled());  // Play
    EXPECT_FALSE(menu->actions().at(1)->isEnabled()); // Delete
    win->listPane()->runRowCommand(kCmdRowDelete);
    EXPECT_EQ(win->listPane()->rowCount(), 2);

    ASSERT_TRUE(finished.wait(kRunTimeoutMs));
    EXPECT_FALSE(win->isConverting());
    EXPECT_FALSE(win->progressBar()->isVisible());
    for (int id : {kCmdAddFiles, kCmdDeleteFiles, kCmdConvert, kCmdOptions}) {
        EXPECT_TRUE(enabled(*win, id)) << id;
    }
}

TEST_F(MainWinTest, ShortcutsRunTheCommands) {
    TB_REQUIRE_PLUGINS("midi_reader", "midi_writer");
    auto win = makeWindow(test::stagedPlugins());
    win->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(win.get()));
    const QString dir = freshDir("keys");
    writeFile(dir + "/a.mid", test::tinyMidi());
    win->addFiles({dir + "/a.mid", dir + "/a.mid", dir + "/a.mid"});
    QWidget* list = win->listPane()->listCtrl();
    list->setFocus();

    // The Delete key deletes the selection.
    selectRows(*win, {1});
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(win->listPane()->rowCount(), 2);
    // Ctrl+D deletes the selection too.
    selectRows(*win, {0});
    QTest::keyClick(list, Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(win->listPane()->rowCount(), 1);
    // Ctrl+C converts (it is not taken by the list as "copy").
    QSignalSpy finished(win.get(), &CMainWin::conversionFinished);
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(win->isConverting());
    ASSERT_TRUE(finished.wait(kRunTimeoutMs));
}

TEST_F(MainWinTest, AddShowsSizeTypeStatusAndPath) {
    TB_REQUIRE_PLUGINS("midi_reader");
    auto win = makeWindow(test::stagedPlugins());
    const QString dir = freshDir("add");
    const QByteArray midi = test::tinyMidi();
    writeFile(dir + "/a.mid", midi);
    writeFile(dir + "/b.xyz", "xyz");
    writeFile(dir + "/c.mid.zzz", "zz");
    writeFile(dir + "/readme", "text");
    win->addFiles({dir + "/a.mid", dir + "/b.xyz", dir + "/c.mid.zzz", dir + "/readme",
                   dir + "/missing.mid", dir + "/a.mid"});

    ASSERT_EQ(win->listPane()->rowCount(), 6);
    EXPECT_EQ(counter(*win), "6 file(s) in list");
    const std::string path = QDir::toNativeSeparators(dir).toStdString() + core::kPathSeparator;
    EXPECT_EQ(cell(*win, 0, core::kColFile), "a.mid");
    EXPECT_EQ(cell(*win, 0, core::kColSize), std::to_string(midi.size()));
    EXPECT_EQ(cell(*win, 0, core::kColType), "mid");
    EXPECT_EQ(cell(*win, 0, core::kColStatus), "Not Converted");
    EXPECT_EQ(cell(*win, 0, core::kColOutSize), "");
    EXPECT_EQ(cell(*win, 0, core::kColPath), path);
    EXPECT_EQ(cell(*win, 1, core::kColType), "unknow");
    EXPECT_EQ(cell(*win, 2, core::kColType), "mid.unknow");
    EXPECT_EQ(cell(*win, 3, core::kColType), "unknow");
    // A file that cannot be opened is still listed.
    EXPECT_EQ(cell(*win, 4, core::kColSize), "");
    EXPECT_EQ(cell(*win, 4, core::kColStatus), "File cannot be opened !");
    // The same file twice gives two rows.
    EXPECT_EQ(cell(*win, 5, core::kColFile), "a.mid");
    // The next Add starts in the files' folder.
    EXPECT_EQ(win->settings().srcdir, QDir::toNativeSeparators(dir).toStdString());
    // New rows show the list's own colours.
    EXPECT_EQ(colors(*win, 0).textColor,
              toColorRef(win->listPane()->listCtrl()->palette().color(QPalette::Text)));
}

TEST_F(MainWinTest, AddLabelsConnectorWrappedTypes) {
    TB_REQUIRE_PLUGINS("gd75_reader", "binary_to_text");
    auto win = makeWindow(test::stagedPlugins());
    const QString dir = freshDir("add-wrapped");
    for (const char* name : {"a.GD75.bin", "b.xyz.bin"}) {
        writeFile(dir + "/" + name, "00");
    }
    win->addFiles({dir + "/a.GD75.bin", dir + "/b.xyz.bin"});
    EXPECT_EQ(cell(*win, 0, core::kColType), "gd75.bin");
    EXPECT_EQ(cell(*win, 1, core::kColType), "unknow.bin");

    // Without any plug-in both parts are unknown.
    auto bare = makeWindow(test::noPlugins());
    bare->addFiles({dir + "/a.GD75.bin"});
    EXPECT_EQ(cell(*bare, 0, core::kColType), "unknow.unknow");
}

TEST_F(MainWinTest, DroppedFilesAreAddedButNotFolders) {
    auto win = makeWindow(test::noPlugins());
    const QString dir = freshDir("drop");
    writeFile(dir + "/dropped.mid", "x");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(dir + "/dropped.mid"), QUrl::fromLocalFile(dir),
                  QUrl("https://example.org/remote.mid")});

    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QCoreApplication::sendEvent(win.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(win.get(), &drop);
    ASSERT_EQ(win->listPane()->rowCount(), 1);
    EXPECT_EQ(cell(*win, 0, core::kColFile), "dropped.mid");
    EXPECT_EQ(counter(*win), "1 file(s) in list");

    // Nothing usable: the drag is refused.
    QMimeData folderOnly;
    folderOnly.setUrls({QUrl::fromLocalFile(dir)});
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &folderOnly, Qt::LeftButton,
                            Qt::NoModifier);
    refused.setAccepted(false);
    QCoreApplication::sendEvent(win.get(), &refused);
    EXPECT_FALSE(refused.isAccepted());
}

TEST_F(MainWinTest, DeleteRemovesTheSelectionOrEverything) {
    auto win = makeWindow(test::noPlugins());
    const QString dir = freshDir("delete");
    QStringList files;
    for (const char* name : {"r0", "r1", "r2", "r3"}) {
        writeFile(dir + "/" + name, "x");
        files << dir + "/" + name;
    }
    win->addFiles(files);

    selectRows(*win, {0, 2});
    win->deleteFiles();
    ASSERT_EQ(win->listPane()->rowCount(), 2);
    EXPECT_EQ(cell(*win, 0, core::kColFile), "r1");
    EXPECT_EQ(cell(*win, 1, core::kColFile), "r3");
    EXPECT_EQ(counter(*win), "2 file(s) in list");

    selectRows(*win, {0, 1});
    win->deleteFiles();
    EXPECT_EQ(win->listPane()->rowCount(), 0);
    EXPECT_EQ(counter(*win), "0 file(s) in list");
    EXPECT_FALSE(enabled(*win, kCmdDeleteFiles));

    win->addFiles(files);
    win->listPane()->listCtrl()->clearSelection();
    win->deleteFiles();
    EXPECT_EQ(win->listPane()->rowCount(), 0);
    EXPECT_EQ(counter(*win), "no file in list");
}

TEST_F(MainWinTest, RowMenuNeedsASelectionAndDeletesEverySelectedRow) {
    auto win = makeWindow(test::noPlugins());
    const QString dir = freshDir("menu");
    writeFile(dir + "/x", "x");
    win->addFiles({dir + "/x", dir + "/x", dir + "/x"});
    EXPECT_EQ(win->listPane()->createRowMenu(), nullptr);

    selectRows(*win, {1, 2});
    std::unique_ptr<QMenu> menu = win->listPane()->createRowMenu();
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_EQ(menu->actions()[0]->text(), "Play");
    EXPECT_EQ(menu->actions()[1]->text(), "Delete");
    win->listPane()->runRowCommand(kCmdRowDelete);
    EXPECT_EQ(win->listPane()->rowCount(), 1);
    EXPECT_EQ(counter(*win), "1 file(s) in list");
}

TEST_F(MainWinTest, ConvertRunReportsEveryRow) {
    TB_REQUIRE_PLUGINS("midi_reader", "midi_writer");
    auto win = makeWindow(test::stagedPlugins());
    const QString dir = freshDir("convert");
    const QString out = freshDir("convert-out");
    writeFile(dir + "/good.mid", test::tinyMidi());
    writeFile(dir + "/bad.mid", "this is not a MIDI file");
    writeFile(dir + "/readme", "no extension");
    win->addFiles({dir + "/good.mid", dir + "/bad.mid", dir + "/readme"});
    win->settings().select = 1;
    win->settings().destdir = QDir::toNativeSeparators(out).toStdString();
    win->settings().coderdllid = core::kMidiWriterId;

    QSignalSpy finished(win.get(), &CMainWin::conversionFinished);
    win->startConversion();
    // Every Status is reset before the worker touches a row.
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(cell(*win, row, core::kColStatus), "not converted") << row;
    }
    ASSERT_TRUE(finished.wait(kRunTimeoutMs));

    EXPECT_EQ(counter(*win), "1 file(s) converted successfully");
    EXPECT_EQ(cell(*win, 0, core::kColStatus), "");
    EXPECT_EQ(colors(*win, 0).textColor, core::kColorBlack);
    EXPECT_EQ(colors(*win, 0).backgroundColor, core::kColorWhite);
    QFile written(out + "/good.mid");
    ASSERT_TRUE(written.exists());
    EXPECT_EQ(cell(*win, 0, core::kColOutSize), std::to_string(written.size()) + " - ");
    for (int row : {1, 2}) {
        EXPECT_EQ(colors(*win, row).textColor, core::kColorRed) << row;
        EXPECT_EQ(colors(*win, row).backgroundColor, core::kColorYellow) << row;
        EXPECT_EQ(cell(*win, row, core::kColOutSize), "") << row;
    }
    EXPECT_EQ(cell(*win, 2, core::kColStatus), "error : Input format not supported");
    // The last row stays selected, alone.
    EXPECT_EQ(win->listPane()->listCtrl()->selectedRowList(), std::vector<int>{2});

    // A second run starts from "not converted" again and converts the same way.
    ASSERT_TRUE(QFile::remove(out + "/good.mid"));
    runToEnd(*win);
    EXPECT_EQ(counter(*win), "1 file(s) converted successfully");
    EXPECT_TRUE(QFile::exists(out + "/good.mid"));
}

TEST_F(MainWinTest, RunWithoutTheChosenCoderConvertsNothing) {
    TB_REQUIRE_PLUGINS("midi_reader");
    auto win = makeWindow(test::stagedPlugins());
    const QString dir = freshDir("nocoder");
    writeFile(dir + "/a.mid", test::tinyMidi());
    win->addFiles({dir + "/a.mid"});
    win->settings().coderdllid = 0x7654321;
    runToEnd(*win);
    EXPECT_EQ(counter(*win), "0 file(s) converted successfully");
    EXPECT_EQ(cell(*win, 0, core::kColStatus), "error : No coder Found");
}

TEST_F(MainWinTest, ClosingSavesTheSettings) {
    auto win = makeWindow(test::noPlugins());
    const QString dir = freshDir("close");
    writeFile(dir + "/a.mid", "x");
    win->addFiles({dir + "/a.mid"});
    win->settings().select = 1;
    win->settings().destdir = "/some/where";
    win->settings().coderdllid = 0x2000002;
    win->settings().connectordllid = 0x3000001;
    win->settings().lauchconnector = 1;
    win->action(kCmdExit)->trigger();
    EXPECT_FALSE(win->isVisible());

    const core::Settings saved = core::loadSettings();
    EXPECT_EQ(saved.select, 1);
    EXPECT_EQ(saved.destdir, "/some/where");
    EXPECT_EQ(saved.coderdllid, 0x2000002);
    EXPECT_EQ(saved.srcdir, QDir::toNativeSeparators(dir).toStdString());
    EXPECT_EQ(saved.connectordllid, 0x3000001);
    EXPECT_EQ(saved.lauchconnector, 1);

    // A new window starts from what was saved; closing it by the close box saves again.
    auto next = makeWindow(test::noPlugins());
    EXPECT_EQ(next->settings().destdir, "/some/where");
    next->settings().destdir = "/else";
    EXPECT_TRUE(next->close());
    EXPECT_EQ(core::loadSettings().destdir, "/else");
}

TEST_F(MainWinTest, ClosingDuringARunStopsItAndThenCloses) {
    TB_REQUIRE_PLUGINS("midi_reader", "midi_writer");
    auto win = makeWindow(test::stagedPlugins());
    const QString dir = freshDir("close-run");
    const QString out = freshDir("close-run-out");
    writeFile(dir + "/a.mid", test::tinyMidi());
    win->addFiles({dir + "/a.mid", dir + "/a.mid", dir + "/a.mid"});
    win->settings().select = 1;
    win->settings().destdir = QDir::toNativeSeparators(out).toStdString();
    win->settings().coderdllid = core::kMidiWriterId;

    QSignalSpy finished(win.get(), &CMainWin::conversionFinished);
    win->startConversion();
    EXPECT_FALSE(win->close()); // refused for now: the window waits for the worker
    EXPECT_TRUE(win->isVisible());
    ASSERT_TRUE(finished.wait(kRunTimeoutMs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !win->isVisible(); }, kRunTimeoutMs));
    EXPECT_EQ(core::loadSettings().coderdllid, core::kMidiWriterId);
    // The run stopped before touching the remaining rows.
    EXPECT_EQ(cell(*win, 2, core::kColStatus), "not converted");
}

TEST_F(MainWinTest, DestroyingDuringARunWaitsForTheWorker) {
    TB_REQUIRE_PLUGINS("midi_reader", "midi_writer");
    auto win = makeWindow(test::stagedPlugins());
    const QString dir = freshDir("destroy-run");
    writeFile(dir + "/a.mid", test::tinyMidi());
    win->addFiles({dir + "/a.mid", dir + "/a.mid"});
    win->settings().coderdllid = 0x7654321;
    win->startConversion();
    win.reset(); // must neither hang nor touch a destroyed window (the sanitizers watch)
    SUCCEED();
}

TEST(DisplayTest, RunsOnTheXDisplayWhenThereIsOne) {
    // Keys, focus and shortcuts are the X server's here, not the headless platform's.
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        GTEST_SKIP() << "no X display";
    }
    EXPECT_EQ(QGuiApplication::platformName(), "xcb");
}

TEST_F(MainWinTest, AddDialogShowsFilesWithoutAPoint) {
    const QString dir = freshDir("add-dialog");
    writeFile(dir + "/readme", "no extension");
    writeFile(dir + "/tune.mid", test::tinyMidi());
    QFileDialog dialog(nullptr, QString(), dir, QString::fromLatin1(text::kAddFilesFilter));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.show();
    auto* view = dialog.findChild<QListView*>("listView");
    ASSERT_NE(view, nullptr);
    const auto shown = [view] {
        QStringList names;
        const QModelIndex root = view->rootIndex();
        for (int row = 0; row < view->model()->rowCount(root); ++row) {
            names << view->model()->index(row, 0, root).data().toString();
        }
        return names;
    };
    EXPECT_TRUE(test::waitUntil([&] {
        const QStringList names = shown();
        return names.contains("readme") && names.contains("tune.mid");
    })) << shown().join(", ").toStdString();
}

} // namespace
} // namespace tonebridge::gui
