#include "tonebridge/core/rows.h"

namespace tonebridge::core {

namespace {

bool validColumn(int column) {
    return column >= 0 && column < kColumnCount;
}

} // namespace

RowsModel::RowsModel(RowColors defaultColors)
    : m_defaultColors(defaultColors.textColor, defaultColors.backgroundColor) {}

std::string RowsModel::cellText(int row, int column) {
    if (row < 0 || row >= rowCount() || !validColumn(column)) {
        return {};
    }
    return m_rows[static_cast<std::size_t>(row)].cells[static_cast<std::size_t>(column)];
}

void RowsModel::setCellText(int row, int column, const std::string& text) {
    if (row < 0 || row >= rowCount() || !validColumn(column)) {
        return;
    }
    m_rows[static_cast<std::size_t>(row)].cells[static_cast<std::size_t>(column)] = text;
}

bool RowsModel::setRowTextColor(int row, uint32_t color) {
    if (row < 0 || row >= rowCount() || !m_rows[static_cast<std::size_t>(row)].colors) {
        return false;
    }
    m_rows[static_cast<std::size_t>(row)].colors->textColor = color;
    return true;
}

bool RowsModel::setRowBackgroundColor(int row, uint32_t color) {
    if (row < 0 || row >= rowCount() || !m_rows[static_cast<std::size_t>(row)].colors) {
        return false;
    }
    m_rows[static_cast<std::size_t>(row)].colors->backgroundColor = color;
    return true;
}

void RowsModel::setSelected(int row, bool selected) {
    if (row < 0 || row >= rowCount()) {
        return;
    }
    Row& r = m_rows[static_cast<std::size_t>(row)];
    r.selected = selected;
    if (selected) {
        r.focused = false; // selected alone: every other state cleared
    }
}

int RowsModel::insertRow() {
    Row row;
    row.colors =
        std::make_unique<RowColors>(m_defaultColors.textColor, m_defaultColors.backgroundColor);
    m_rows.push_back(std::move(row));
    return rowCount() - 1;
}

void RowsModel::deleteRow(int row) {
    if (row < 0 || row >= rowCount()) {
        return;
    }
    m_rows.erase(m_rows.begin() + row);
}

void RowsModel::deleteAllRows() {
    m_rows.clear();
}

std::optional<int> RowsModel::firstSelected() {
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].selected) {
            return static_cast<int>(i);
        }
    }
    return std::nullopt;
}

} // namespace tonebridge::core
