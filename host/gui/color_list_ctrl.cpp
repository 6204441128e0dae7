#include "color_list_ctrl.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPalette>

#include <algorithm>
#include <array>

namespace tonebridge::gui {

namespace {

/// Each column's share of the list's width at creation (they add up to 1.02, so the last
/// column runs slightly past the edge, as it always has).
constexpr std::array<double, core::kColumnCount> kColumnWidthFractions = {0.22, 0.14, 0.16,
                                                                          0.18, 0.14, 0.18};

QString fromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

uint32_t toColorRef(const QColor& color) {
    return static_cast<uint32_t>(color.red()) | (static_cast<uint32_t>(color.green()) << 8) |
           (static_cast<uint32_t>(color.blue()) << 16);
}

QColor fromColorRef(uint32_t value) {
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF));
}

RowsTableModel::RowsTableModel(const core::RowColors& defaults, QObject* parent)
    : QAbstractTableModel(parent), m_rows(defaults) {}

int RowsTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows.rowCount();
}

int RowsTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : core::kColumnCount;
}

QVariant RowsTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !validRow(index.row()) || index.column() < 0 ||
        index.column() >= core::kColumnCount) {
        return {};
    }
    const core::Row& row = m_rows.row(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return fromLocal(row.cells[static_cast<std::size_t>(index.column())]);
    case Qt::ForegroundRole:
        return row.colors ? QVariant(fromColorRef(row.colors->textColor)) : QVariant();
    case Qt::BackgroundRole:
        return row.colors ? QVariant(fromColorRef(row.colors->backgroundColor)) : QVariant();
    case Qt::TextAlignmentRole:
        return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant RowsTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < core::kColumnCount) {
        return QString::fromLatin1(core::kColumnHeadings[static_cast<std::size_t>(section)]);
    }
    if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole) {
        return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

int RowsTableModel::appendRow() {
    const int row = m_rows.rowCount();
    beginInsertRows({}, row, row);
    m_rows.insertRow();
    endInsertRows();
    return row;
}

void RowsTableModel::removeRowAt(int row) {
    if (!validRow(row)) {
        return;
    }
    beginRemoveRows({}, row, row);
    m_rows.deleteRow(row);
    endRemoveRows();
}

void RowsTableModel::removeAll() {
    beginResetModel();
    m_rows.deleteAllRows();
    endResetModel();
}

std::string RowsTableModel::cellText(int row, int column) {
    return validRow(row) ? m_rows.cellText(row, column) : std::string();
}

void RowsTableModel::setCellText(int row, int column, const std::string& text) {
    if (!validRow(row) || column < 0 || column >= core::kColumnCount) {
        return;
    }
    m_rows.setCellText(row, column, text);
    rowChanged(row, column, column);
}

bool RowsTableModel::setRowTextColor(int row, uint32_t color) {
    if (!validRow(row) || !m_rows.setRowTextColor(row, color)) {
        return false;
    }
    rowChanged(row, 0, core::kColumnCount - 1);
    return true;
}

bool RowsTableModel::setRowBackgroundColor(int row, uint32_t color) {
    if (!validRow(row) || !m_rows.setRowBackgroundColor(row, color)) {
        return false;
    }
    rowChanged(row, 0, core::kColumnCount - 1);
    return true;
}

void RowsTableModel::rowChanged(int row, int firstColumn, int lastColumn) {
    emit dataChanged(index(row, firstColumn), index(row, lastColumn));
}

CColorListCtrl::CColorListCtrl(RowsTableModel* model, int width, QWidget* parent)
    : QTableView(parent), m_model(model) {
    setModel(model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int column = 0; column < core::kColumnCount; ++column) {
        horizontalHeader()->resizeSection(
            column,
            static_cast<int>(width * kColumnWidthFractions[static_cast<std::size_t>(column)]));
    }

    // The selection keeps the system highlight colours when the list loses the focus.
    QPalette pal = palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
        pal.setColor(QPalette::Inactive, role, pal.color(QPalette::Active, role));
    }
    setPalette(pal);
}

std::optional<int> CColorListCtrl::firstSelectedRow() const {
    const std::vector<int> rows = selectedRowList();
    if (rows.empty()) {
        return std::nullopt;
    }
    return rows.front();
}

std::vector<int> CColorListCtrl::selectedRowList() const {
    std::vector<int> rows;
    if (selectionModel() == nullptr) {
        return rows;
    }
    for (const QModelIndex& index : selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CColorListCtrl::setRowSelected(int row, bool selected) {
    if (row < 0 || row >= m_model->rowCount()) {
        return;
    }
    const QModelIndex index = m_model->index(row, 0);
    selectionModel()->select(
        index, (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                   QItemSelectionModel::Rows);
}

void CColorListCtrl::ensureRowVisible(int row) {
    if (row < 0 || row >= m_model->rowCount()) {
        return;
    }
    scrollTo(m_model->index(row, 0), QAbstractItemView::EnsureVisible);
}

} // namespace tonebridge::gui
