// CMainWin: the main window: menu, tool bar, status bar, the file list pane, the commands
// and their enable rules, the batch conversion worker and the settings.
#pragma once

#include "tonebridge/core/plugin_registry.h"
#include "tonebridge/core/settings.h"

#include <QMainWindow>
#include <QStringList>

#include <atomic>
#include <map>
#include <thread>

class QAction;
class QProgressBar;

namespace tonebridge::gui {

class CListPane;

class CMainWin : public QMainWindow {
    Q_OBJECT
public:
    /// Size the window first opens with.
    static constexpr int kInitialWidth = 800;
    static constexpr int kInitialHeight = 600;

    /// Builds the pane, the bars and the menu and loads the settings. The registry may still
    /// be empty: the plug-ins are loaded after the window is shown.
    explicit CMainWin(const core::PluginRegistry& registry, QWidget* parent = nullptr);
    ~CMainWin() override;

    /// The action of a command identifier (menu item and tool bar button), or null.
    QAction* action(int commandId) const;
    CListPane* listPane() const { return m_pane; }
    QProgressBar* progressBar() const { return m_progress; }
    core::Settings& settings() { return m_settings; }
    bool isConverting() const;

    /// Add files, without the dialog: appends the rows and remembers the files' folder.
    /// Refused while a conversion runs.
    void addFiles(const QStringList& paths);
    /// Delete files: the selected rows, or all rows when none is selected.
    void deleteFiles();
    /// Convert: resets every row's Status and starts the conversion worker.
    void startConversion();
    /// Re-evaluates the enable rules of Add, Delete, Convert and Options.
    void updateCommandStates();

signals:
    /// A conversion run has ended and its worker is gone.
    void conversionFinished();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createActions();
    void createToolBar();
    void createMenus();
    void createStatusBar();

    void onAddFiles();
    void onOptions();
    void onAbout();
    void onVersions();
    void onConversionFinished();
    /// Waits, keeping the window's events flowing, until the worker has ended.
    void waitForWorker();

    const core::PluginRegistry& m_registry;
    core::Settings m_settings;
    /// True from Convert until the worker has been joined; the pane reads it too.
    std::atomic<bool> m_converting{false};
    /// Set when the window closes during a run: the run ends before its next file.
    std::atomic<bool> m_stop{false};
    CListPane* m_pane = nullptr;
    QProgressBar* m_progress = nullptr;
    std::map<int, QAction*> m_actions;
    std::thread m_worker;
    std::atomic<bool> m_workerDone{false};
    bool m_closeAfterRun = false;
    bool m_destroying = false;
};

} // namespace tonebridge::gui
