#include "converter_app.h"

#include "gui_texts.h"
#include "main_win.h"

#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QPixmap>
#include <QTimer>

namespace tonebridge::gui {

namespace {

constexpr const char* kAppIcon = ":/tonebridge/tonebridge.png";
/// Renders the main window into an image once the files given are converted, then quits
/// (used to make the documentation's picture).
constexpr const char* kScreenshotOption = "--screenshot";
/// Time for the last repaint after a run before the window is grabbed.
constexpr int kScreenshotSettleMs = 300;

} // namespace

CConverterApp::CConverterApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QString::fromLatin1(text::kTitle));
    setApplicationVersion(QString::fromLatin1(text::kVersion));
    setWindowIcon(QIcon(QString::fromLatin1(kAppIcon)));

    // Files named on the command line join the list; "--" ends the options.
    QStringList args = arguments();
    args.removeFirst();
    bool options = true;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (options && args[i] == QLatin1String("--")) {
            options = false;
        } else if (options && args[i] == QLatin1String(kScreenshotOption) && i + 1 < args.size()) {
            m_screenshotFile = QFileInfo(args[++i]).absoluteFilePath();
        } else {
            m_files << QFileInfo(args[i]).absoluteFilePath();
        }
    }
}

CConverterApp::~CConverterApp() {
    // The window goes before the registry it reads; the libraries stay loaded.
    m_mainWin.reset();
}

void CConverterApp::initInstance() {
    m_mainWin = std::make_unique<CMainWin>(m_registry);
    m_mainWin->resize(CMainWin::kInitialWidth, CMainWin::kInitialHeight);
    m_mainWin->show();
    // Plug-ins are loaded only after the window has appeared.
    QTimer::singleShot(0, this, [this] { loadPlugins(); });
}

void CConverterApp::loadPlugins() {
    m_registry.loadAll();
    m_mainWin->addFiles(m_files);
    if (m_screenshotFile.isEmpty()) {
        return;
    }
    connect(m_mainWin.get(), &CMainWin::conversionFinished, this, [this] {
        QTimer::singleShot(kScreenshotSettleMs, this, [this] { takeScreenshot(); });
    });
    m_mainWin->startConversion();
    if (!m_mainWin->isConverting()) {
        QTimer::singleShot(kScreenshotSettleMs, this, [this] { takeScreenshot(); });
    }
}

void CConverterApp::takeScreenshot() {
    const bool saved = m_mainWin->grab().save(m_screenshotFile);
    m_mainWin->close();
    exit(saved ? 0 : 1);
}

} // namespace tonebridge::gui
