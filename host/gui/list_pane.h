// CListPane: the file list and the counter line under it, filling the main window's client
// area; Add and Delete on the rows, the row menu and the preview.
#pragma once

#include "color_list_ctrl.h"

#include "tonebridge/core/plugin_registry.h"
#include "tonebridge/core/rows.h"
#include "tonebridge/core/settings.h"

#include <QStringList>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>

class QLabel;
class QMenu;

namespace tonebridge::gui {

class MidiPlayer;

/// Shows one message box: title, text.
using MessageSink = std::function<void(const QString& title, const QString& text)>;

/// The pane is also the rows' RowAccess on the user-interface thread: each operation acts on
/// the list control and the counter line directly.
class CListPane : public QWidget, public core::RowAccess {
    Q_OBJECT
public:
    /// width: the width the columns are laid out for. converting: read to refuse deleting
    /// rows while a run walks them.
    CListPane(const core::PluginRegistry& registry, const std::atomic<bool>& converting, int width,
              QWidget* parent = nullptr);
    ~CListPane() override;

    CColorListCtrl* listCtrl() const { return m_list; }
    QLabel* counterLabel() const { return m_counter; }
    const core::RowsModel& rowsModel() const { return m_model->rows(); }
    MidiPlayer* player() const { return m_player; }

    /// Appends one row per full path, in order, then shows the row count.
    void addFiles(const QStringList& paths);
    /// Deletes the selected rows, or every row when none is selected.
    void deleteFiles();

    /// The row menu for the current selection ("Play", "Delete"), or null when no row is
    /// selected. Delete is greyed while a conversion runs.
    std::unique_ptr<QMenu> createRowMenu();
    /// Carries out a row menu command on the selection.
    void runRowCommand(int commandId);

    /// Previews a row: ends the previous player, writes the preview file and starts the
    /// player on it; outcomes are shown through the message sink.
    void playRow(int row);
    /// Replaces the message boxes (tests collect the messages instead).
    void setMessageSink(MessageSink sink) { m_messageSink = std::move(sink); }
    /// The settings whose filter the preview applies (the main window's); none: no filter.
    void setSettings(const core::Settings* settings) { m_settings = settings; }

    // core::RowAccess
    int rowCount() override;
    std::string cellText(int row, int column) override;
    void setCellText(int row, int column, const std::string& text) override;
    bool setRowTextColor(int row, uint32_t color) override;
    bool setRowBackgroundColor(int row, uint32_t color) override;
    void setCounterLine(const std::string& text) override;
    void ensureVisible(int row) override;
    void setSelected(int row, bool selected) override;
    int insertRow() override;
    void deleteRow(int row) override;
    void deleteAllRows() override;
    std::optional<int> firstSelected() override;

signals:
    /// Rows were added or removed.
    void rowCountChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void showRowMenu(const QPoint& pos);
    void showMessage(const QString& title, const QString& text);

    const core::PluginRegistry& m_registry;
    const std::atomic<bool>& m_converting;
    RowsTableModel* m_model;
    CColorListCtrl* m_list;
    QLabel* m_counter;
    MidiPlayer* m_player;
    MessageSink m_messageSink;
    const core::Settings* m_settings = nullptr;
};

} // namespace tonebridge::gui
