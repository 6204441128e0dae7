// CColorListCtrl: the report list of the file list pane, showing the rows of a
// core::RowsModel with their own text and background colours.
#pragma once

#include "tonebridge/core/rows.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QTableView>

#include <optional>
#include <vector>

namespace tonebridge::gui {

/// Colour conversions between QColor and the rows' 0x00BBGGRR values.
uint32_t toColorRef(const QColor& color);
QColor fromColorRef(uint32_t value);

/// The Qt face of core::RowsModel: six columns, per-row colours, nothing editable.
/// Every change goes through this class so that views are told about it.
class RowsTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    /// defaults: the colours a new row receives (the system's list text and background).
    explicit RowsTableModel(const core::RowColors& defaults, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    /// Appends a row with empty texts and the default colours; returns its index.
    int appendRow();
    void removeRowAt(int row);
    void removeAll();

    std::string cellText(int row, int column);
    void setCellText(int row, int column, const std::string& text);
    bool setRowTextColor(int row, uint32_t color);
    bool setRowBackgroundColor(int row, uint32_t color);

    const core::RowsModel& rows() const { return m_rows; }

private:
    void rowChanged(int row, int firstColumn, int lastColumn);
    bool validRow(int row) const { return row >= 0 && row < m_rows.rowCount(); }

    /// mutable: the row count is a RowAccess operation, which is not const.
    mutable core::RowsModel m_rows;
};

/// The list control: full-row, multiple selection, grid lines, the selection shown in the
/// system highlight colours even when the list has no focus.
class CColorListCtrl : public QTableView {
    Q_OBJECT
public:
    /// Column widths are fractions of width, fixed at creation.
    CColorListCtrl(RowsTableModel* model, int width, QWidget* parent = nullptr);

    RowsTableModel* rowsModel() const { return m_model; }

    /// Lowest selected row, or none.
    std::optional<int> firstSelectedRow() const;
    /// Every selected row, ascending.
    std::vector<int> selectedRowList() const;
    /// Adds the row to (or removes it from) the selection; other rows keep their state.
    void setRowSelected(int row, bool selected);
    /// Scrolls so that the row can be seen.
    void ensureRowVisible(int row);

private:
    RowsTableModel* m_model;
};

} // namespace tonebridge::gui
