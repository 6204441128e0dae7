#include "main_win.h"

#include "about_box.h"
#include "gui_texts.h"
#include "list_pane.h"
#include "midi_player.h"
#include "options_dlg.h"
#include "versions_dlg.h"

#include "tonebridge/core/conversion.h"
#include "tonebridge/core/file_list.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QShortcut>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

namespace tonebridge::gui {

namespace {

constexpr const char* kIconAdd = ":/tonebridge/add.png";
constexpr const char* kIconDelete = ":/tonebridge/delete.png";
constexpr const char* kIconConvert = ":/tonebridge/convert.png";
constexpr const char* kIconOptions = ":/tonebridge/options.png";
constexpr QSize kToolButtonImage(50, 40);
constexpr int kProgressWidth = 200;

/// Local files among dropped URLs.
QStringList droppedFiles(const QMimeData* data) {
    QStringList files;
    if (data == nullptr || !data->hasUrls()) {
        return files;
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile()) {
            files << url.toLocalFile();
        }
    }
    return files;
}

} // namespace

CMainWin::CMainWin(const core::PluginRegistry& registry, QWidget* parent)
    : QMainWindow(parent), m_registry(registry) {
    setObjectName(QStringLiteral("CMainWin"));
    setWindowTitle(QString::fromLatin1(text::kTitle));

    m_pane = new CListPane(registry, m_converting, kInitialWidth, this);
    setCentralWidget(m_pane);
    createActions();
    createToolBar();
    createMenus();
    createStatusBar();

    m_settings = core::loadSettings();
    m_pane->setSettings(&m_settings);
    m_converting.store(false);

    connect(m_pane, &CListPane::rowCountChanged, this, &CMainWin::updateCommandStates);
    // The Delete key on the list runs the Delete command, under its enable rule. The key
    // itself, not the standard Delete sequence: under X11 that also holds Ctrl+D, which
    // would collide with the menu's Ctrl+D and leave both dead.
    auto* deleteKey = new QShortcut(QKeySequence(Qt::Key_Delete), m_pane->listCtrl(), nullptr,
                                    nullptr, Qt::WidgetShortcut);
    connect(deleteKey, &QShortcut::activated, this, [this] {
        if (action(kCmdDeleteFiles)->isEnabled()) {
            action(kCmdDeleteFiles)->trigger();
        }
    });
    setAcceptDrops(true);
    setFocusProxy(m_pane);
    m_pane->setFocus();
    updateCommandStates();
}

CMainWin::~CMainWin() {
    if (m_worker.joinable()) {
        // Destroyed during a run without a close (a program shutting down): the worker
        // stops touching the rows and ends; the window must outlive it.
        m_destroying = true;
        m_stop.store(true);
        waitForWorker();
    }
}

void CMainWin::createActions() {
    struct Command {
        int id;
        const char* label;
        const char* prompt;
        const char* key;
        const char* icon;
        const char* iconText;
        void (CMainWin::*handler)();
    };
    const Command commands[] = {
        {kCmdAddFiles, text::kMenuAddFiles, text::kPromptAddFiles, text::kKeyAddFiles, kIconAdd,
         text::kButtonAdd, &CMainWin::onAddFiles},
        {kCmdDeleteFiles, text::kMenuDeleteFiles, text::kPromptDeleteFiles, text::kKeyDeleteFiles,
         kIconDelete, text::kButtonDelete, &CMainWin::deleteFiles},
        {kCmdExit, text::kMenuExit, text::kPromptExit, nullptr, nullptr, nullptr, nullptr},
        {kCmdConvert, text::kMenuConvert, text::kPromptConvert, text::kKeyConvert, kIconConvert,
         text::kButtonConvert, &CMainWin::startConversion},
        {kCmdOptions, text::kMenuOptions, text::kPromptOptions, text::kKeyOptions, kIconOptions,
         text::kButtonOptions, &CMainWin::onOptions},
        {kCmdAbout, text::kMenuAbout, text::kPromptAbout, nullptr, nullptr, nullptr,
         &CMainWin::onAbout},
        {kCmdVersions, text::kMenuVersions, text::kPromptVersions, nullptr, nullptr, nullptr,
         &CMainWin::onVersions},
    };
    for (const Command& command : commands) {
        auto* act = new QAction(QString::fromLatin1(command.label), this);
        act->setObjectName(QStringLiteral("cmd%1").arg(command.id));
        act->setData(command.id);
        act->setStatusTip(QString::fromLatin1(command.prompt));
        if (command.key != nullptr) {
            act->setShortcut(QKeySequence(QString::fromLatin1(command.key)));
            act->setShortcutContext(Qt::WindowShortcut);
        }
        if (command.icon != nullptr) {
            act->setIcon(QIcon(QString::fromLatin1(command.icon)));
            act->setIconText(QString::fromLatin1(command.iconText));
        }
        if (command.handler != nullptr) {
            connect(act, &QAction::triggered, this, command.handler);
        } else {
            connect(act, &QAction::triggered, this, &QWidget::close);
        }
        m_actions[command.id] = act;
        addAction(act); // shortcuts work even while the menu bar is hidden
    }
}

void CMainWin::createToolBar() {
    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("toolbar128"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(kToolButtonImage);
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    bar->toggleViewAction()->setEnabled(false);
    for (int id : {kCmdAddFiles, kCmdDeleteFiles, kCmdConvert, kCmdOptions}) {
        bar->addAction(action(id));
        // The prompts go to the status bar only; the buttons show no tool tips.
        if (QWidget* button = bar->widgetForAction(action(id))) {
            button->installEventFilter(this);
        }
    }
    addToolBar(Qt::TopToolBarArea, bar);
}

void CMainWin::createMenus() {
    QMenu* file = menuBar()->addMenu(QString::fromLatin1(text::kMenuFile));
    file->addAction(action(kCmdAddFiles));
    file->addAction(action(kCmdDeleteFiles));
    file->addSeparator();
    file->addAction(action(kCmdExit));
    QMenu* conversion = menuBar()->addMenu(QString::fromLatin1(text::kMenuConversion));
    conversion->addAction(action(kCmdConvert));
    conversion->addAction(action(kCmdOptions));
    QMenu* help = menuBar()->addMenu(QString::fromLatin1(text::kMenuHelp));
    help->addAction(action(kCmdAbout));
    help->addAction(action(kCmdVersions));
}

void CMainWin::createStatusBar() {
    m_progress = new QProgressBar(this);
    m_progress->setMaximumWidth(kProgressWidth);
    m_progress->setTextVisible(true);
    m_progress->hide();
    statusBar()->addPermanentWidget(m_progress);
}

QAction* CMainWin::action(int commandId) const {
    const auto it = m_actions.find(commandId);
    return it == m_actions.end() ? nullptr : it->second;
}

bool CMainWin::isConverting() const {
    return m_converting.load();
}

void CMainWin::updateCommandStates() {
    const bool idle = !isConverting();
    const bool hasRows = m_pane->rowCount() > 0;
    action(kCmdAddFiles)->setEnabled(idle);
    action(kCmdDeleteFiles)->setEnabled(idle && hasRows);
    action(kCmdConvert)->setEnabled(idle && hasRows);
    action(kCmdOptions)->setEnabled(idle);
}

void CMainWin::addFiles(const QStringList& paths) {
    if (isConverting() || paths.isEmpty()) {
        return;
    }
    // The files' folder, without its last separator, is where the next Add starts.
    const QString first = QDir::toNativeSeparators(paths.front());
    const qsizetype cut = first.lastIndexOf(QDir::separator());
    if (cut >= 0) {
        m_settings.srcdir = QFile::encodeName(first.left(cut)).toStdString();
    }
    m_pane->addFiles(paths);
}

void CMainWin::onAddFiles() {
    const QStringList files = QFileDialog::getOpenFileNames(
        this, QString(), QFile::decodeName(QByteArray::fromStdString(m_settings.srcdir)),
        QString::fromLatin1(text::kAddFilesFilter));
    addFiles(files);
}

void CMainWin::deleteFiles() {
    if (isConverting()) {
        return;
    }
    m_pane->deleteFiles();
}

void CMainWin::startConversion() {
    if (isConverting() || m_pane->rowCount() == 0) {
        return;
    }
    core::markAllNotConverted(*m_pane);
    // Rows cannot be added or deleted during a run, so the files are fixed now.
    std::vector<std::string> files;
    for (int row = 0; row < m_pane->rowCount(); ++row) {
        files.push_back(core::rowFullPath(*m_pane, row));
    }
    m_converting.store(true);
    m_stop.store(false);
    updateCommandStates();
    m_progress->setRange(0, static_cast<int>(files.size()));
    m_progress->setValue(0);
    m_progress->show();

    // The worker only converts; each row is shown by the user-interface thread, in order,
    // from requests queued to it. Once the window is closing, the rows are left as they are.
    core::BatchCallbacks callbacks;
    callbacks.stop = &m_stop;
    callbacks.started = [this](std::size_t index) {
        QMetaObject::invokeMethod(
            this,
            [this, row = static_cast<int>(index)] {
                if (!m_stop.load()) {
                    core::beginRow(*m_pane, row);
                }
            },
            Qt::QueuedConnection);
        return true;
    };
    callbacks.finished = [this](std::size_t index, const core::ConversionResult& result) {
        QMetaObject::invokeMethod(
            this,
            [this, row = static_cast<int>(index), result] {
                if (!m_stop.load()) {
                    core::showResult(*m_pane, row, result);
                }
                m_progress->setValue(row + 1);
            },
            Qt::QueuedConnection);
    };
    m_workerDone.store(false);
    // The options cannot change during a run; the worker works on its own copy.
    m_worker = std::thread([this, settings = m_settings, files = std::move(files), callbacks] {
        const int converted = core::runBatch(m_registry, settings, files, callbacks);
        m_workerDone.store(true);
        QMetaObject::invokeMethod(
            this,
            [this, converted] {
                if (!m_stop.load()) {
                    m_pane->setCounterLine(core::convertedLine(converted));
                }
                onConversionFinished();
            },
            Qt::QueuedConnection);
    });
}

void CMainWin::onConversionFinished() {
    if (!m_worker.joinable()) {
        return;
    }
    m_worker.join();
    m_converting.store(false);
    m_progress->hide();
    if (m_destroying) {
        return;
    }
    updateCommandStates();
    emit conversionFinished();
    if (m_closeAfterRun) {
        close();
    }
}

void CMainWin::waitForWorker() {
    while (!m_workerDone.load()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents |
                                        QEventLoop::ExcludeUserInputEvents);
    }
    onConversionFinished();
}

void CMainWin::onOptions() {
    if (isConverting()) {
        return;
    }
    COptionsDlg dialog(m_settings, m_registry, this);
    dialog.exec();
}

void CMainWin::onAbout() {
    CAboutBox box(this);
    box.exec();
}

void CMainWin::onVersions() {
    CVersionsDlg dialog(m_registry, this);
    dialog.exec();
}

void CMainWin::closeEvent(QCloseEvent* event) {
    if (isConverting()) {
        // The run stops after the row it is on, then the window closes itself.
        m_closeAfterRun = true;
        m_stop.store(true);
        event->ignore();
        return;
    }
    m_pane->player()->stop();
    core::saveSettings(m_settings);
    event->accept();
}

bool CMainWin::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainWin::dragEnterEvent(QDragEnterEvent* event) {
    if (!isConverting() && !droppedFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void CMainWin::dropEvent(QDropEvent* event) {
    const QStringList files = droppedFiles(event->mimeData());
    if (isConverting() || files.isEmpty()) {
        return;
    }
    addFiles(files);
    event->acceptProposedAction();
}

} // namespace tonebridge::gui
