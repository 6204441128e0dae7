#include "ui_thread_rows.h"

namespace tonebridge::gui {

int UiThreadRows::rowCount() {
    int count = 0;
    onUiThread([&] { count = m_target.rowCount(); });
    return count;
}

std::string UiThreadRows::cellText(int row, int column) {
    std::string text;
    onUiThread([&] { text = m_target.cellText(row, column); });
    return text;
}

void UiThreadRows::setCellText(int row, int column, const std::string& text) {
    onUiThread([&] { m_target.setCellText(row, column, text); });
}

bool UiThreadRows::setRowTextColor(int row, uint32_t color) {
    bool done = false;
    onUiThread([&] { done = m_target.setRowTextColor(row, color); });
    return done;
}

bool UiThreadRows::setRowBackgroundColor(int row, uint32_t color) {
    bool done = false;
    onUiThread([&] { done = m_target.setRowBackgroundColor(row, color); });
    return done;
}

void UiThreadRows::setCounterLine(const std::string& text) {
    onUiThread([&] { m_target.setCounterLine(text); });
}

void UiThreadRows::ensureVisible(int row) {
    onUiThread([&] { m_target.ensureVisible(row); });
}

void UiThreadRows::setSelected(int row, bool selected) {
    onUiThread([&] { m_target.setSelected(row, selected); });
}

} // namespace tonebridge::gui
