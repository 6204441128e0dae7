// CConverterApp: the application object. It holds the plug-in registry for the life of the
// process, opens the main window and loads the plug-ins once the window is on screen.
#pragma once

#include "tonebridge/core/plugin_registry.h"

#include <QApplication>
#include <QStringList>

#include <memory>

namespace tonebridge::gui {

class CMainWin;

class CConverterApp : public QApplication {
    Q_OBJECT
public:
    CConverterApp(int& argc, char** argv);
    ~CConverterApp() override;

    /// Start-up: creates and shows the main window; the plug-ins are loaded, and the files
    /// named on the command line added, as soon as the window has been painted.
    void initInstance();

    core::PluginRegistry& registry() { return m_registry; }
    CMainWin* mainWin() const { return m_mainWin.get(); }

private:
    void loadPlugins();
    void takeScreenshot();

    core::PluginRegistry m_registry;
    std::unique_ptr<CMainWin> m_mainWin;
    QStringList m_files;
    QString m_screenshotFile;
};

} // namespace tonebridge::gui
