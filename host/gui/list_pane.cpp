#include "list_pane.h"

#include "gui_texts.h"
#include "midi_player.h"

#include "tonebridge/core/file_list.h"
#include "tonebridge/core/preview.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPalette>

namespace tonebridge::gui {

namespace {

/// Pane layout: the list leaves this much room on the right and at the bottom; the counter
/// line sits this far from the left and from the bottom.
constexpr int kListRightMargin = 4;
constexpr int kListBottomMargin = 23;
constexpr int kCounterLeft = 10;
constexpr int kCounterBottomOffset = 21;

core::RowColors systemListColors(const QPalette& palette) {
    return core::RowColors(toColorRef(palette.color(QPalette::Active, QPalette::Text)),
                           toColorRef(palette.color(QPalette::Active, QPalette::Base)));
}

} // namespace

CListPane::CListPane(const core::PluginRegistry& registry, const std::atomic<bool>& converting,
                     int width, QWidget* parent)
    : QWidget(parent), m_registry(registry), m_converting(converting),
      m_model(new RowsTableModel(systemListColors(palette()), this)),
      m_list(new CColorListCtrl(m_model, width, this)),
      m_counter(new QLabel(QString::fromLatin1(core::kCounterEmpty), this)),
      m_player(new MidiPlayer(this)) {
    m_list->setObjectName(kListCtrlName);
    m_counter->setObjectName(kCounterLineName);
    m_counter->setTextFormat(Qt::PlainText);
    m_counter->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this, &CListPane::showRowMenu);
    connect(m_player, &MidiPlayer::cannotPlay, this, [this](const QString& problem) {
        showMessage(QString::fromUtf8(core::kTitleMessage), problem);
    });
    setFocusProxy(m_list);
}

CListPane::~CListPane() = default;

void CListPane::addFiles(const QStringList& paths) {
    std::vector<std::string> fullPaths;
    fullPaths.reserve(static_cast<std::size_t>(paths.size()));
    for (const QString& path : paths) {
        fullPaths.push_back(QFile::encodeName(QDir::toNativeSeparators(path)).toStdString());
    }
    core::addFiles(m_registry, *this, fullPaths);
    emit rowCountChanged();
}

void CListPane::deleteFiles() {
    if (rowCount() == 0) {
        return;
    }
    core::deleteFiles(*this);
    emit rowCountChanged();
}

std::unique_ptr<QMenu> CListPane::createRowMenu() {
    if (!m_list->firstSelectedRow()) {
        return nullptr;
    }
    auto menu = std::make_unique<QMenu>(this);
    menu->addAction(QString::fromLatin1(text::kRowMenuPlay))->setData(kCmdPlay);
    QAction* remove = menu->addAction(QString::fromLatin1(text::kRowMenuDelete));
    remove->setData(kCmdRowDelete);
    // The conversion walks the rows by index: none may disappear under it.
    remove->setEnabled(!m_converting.load());
    return menu;
}

void CListPane::runRowCommand(int commandId) {
    const std::optional<int> first = m_list->firstSelectedRow();
    if (!first) {
        return;
    }
    if (commandId == kCmdPlay) {
        playRow(*first);
    } else if (commandId == kCmdRowDelete && !m_converting.load()) {
        deleteFiles();
    }
}

void CListPane::showRowMenu(const QPoint& pos) {
    std::unique_ptr<QMenu> menu = createRowMenu();
    if (!menu) {
        return;
    }
    if (QAction* chosen = menu->exec(m_list->viewport()->mapToGlobal(pos))) {
        runRowCommand(chosen->data().toInt());
    }
}

void CListPane::playRow(int row) {
    m_player->stop();
    const core::PreviewResult result =
        core::preparePreview(m_registry, core::rowFullPath(*this, row), {},
                             m_settings != nullptr ? *m_settings : core::Settings());
    for (const core::PreviewMessage& message : result.messages) {
        showMessage(QString::fromLocal8Bit(message.title.c_str()),
                    QString::fromLocal8Bit(message.text.c_str()));
    }
    if (result.written) {
        m_player->start(QFile::decodeName(QByteArray::fromStdString(result.file)));
    }
}

void CListPane::showMessage(const QString& title, const QString& text) {
    if (m_messageSink) {
        m_messageSink(title, text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, this);
    box.exec();
}

int CListPane::rowCount() {
    return m_model->rowCount();
}

std::string CListPane::cellText(int row, int column) {
    return m_model->cellText(row, column);
}

void CListPane::setCellText(int row, int column, const std::string& text) {
    m_model->setCellText(row, column, text);
}

bool CListPane::setRowTextColor(int row, uint32_t color) {
    return m_model->setRowTextColor(row, color);
}

bool CListPane::setRowBackgroundColor(int row, uint32_t color) {
    return m_model->setRowBackgroundColor(row, color);
}

void CListPane::setCounterLine(const std::string& text) {
    m_counter->setText(QString::fromLocal8Bit(text.c_str()));
}

void CListPane::ensureVisible(int row) {
    m_list->ensureRowVisible(row);
}

void CListPane::setSelected(int row, bool selected) {
    m_list->setRowSelected(row, selected);
}

int CListPane::insertRow() {
    return m_model->appendRow();
}

void CListPane::deleteRow(int row) {
    m_model->removeRowAt(row);
}

void CListPane::deleteAllRows() {
    m_model->removeAll();
}

std::optional<int> CListPane::firstSelected() {
    return m_list->firstSelectedRow();
}

void CListPane::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int cx = width();
    const int cy = height();
    m_list->setGeometry(0, 0, cx - kListRightMargin, cy - kListBottomMargin);
    m_counter->setGeometry(kCounterLeft, cy - kCounterBottomOffset, cx - kListRightMargin,
                           kCounterBottomOffset);
}

} // namespace tonebridge::gui
