// The conversion worker's view of the rows: every operation is carried out by the
// user-interface thread while the worker waits for it.
#pragma once

#include "tonebridge/core/rows.h"

#include <QObject>
#include <QThread>

#include <atomic>

namespace tonebridge::gui {

class UiThreadRows : public core::RowAccess {
public:
    /// uiContext: an object living on the user-interface thread, alive for as long as this
    /// proxy is used; target: the rows that thread owns.
    UiThreadRows(QObject* uiContext, core::RowAccess& target)
        : m_context(uiContext), m_target(target) {}

    /// From now on every operation does nothing (and reads as an empty list row): the run
    /// then ends without touching the window again. Called on the user-interface thread.
    void detach() { m_detached.store(true); }
    bool detached() const { return m_detached.load(); }

    int rowCount() override;
    std::string cellText(int row, int column) override;
    void setCellText(int row, int column, const std::string& text) override;
    bool setRowTextColor(int row, uint32_t color) override;
    bool setRowBackgroundColor(int row, uint32_t color) override;
    void setCounterLine(const std::string& text) override;
    void ensureVisible(int row) override;
    void setSelected(int row, bool selected) override;

private:
    /// Runs op on the user-interface thread and waits; false when detached.
    template <typename Op> bool onUiThread(Op&& op) {
        if (m_detached.load()) {
            return false;
        }
        if (QThread::currentThread() == m_context->thread()) {
            op();
        } else {
            QMetaObject::invokeMethod(m_context, std::forward<Op>(op),
                                      Qt::BlockingQueuedConnection);
        }
        return true;
    }

    QObject* m_context;
    core::RowAccess& m_target;
    std::atomic<bool> m_detached{false};
};

} // namespace tonebridge::gui
