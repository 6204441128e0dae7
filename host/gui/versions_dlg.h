// CVersionsDlg: the read-only report of every loaded plug-in library, grouped by kind.
#pragma once

#include "tonebridge/core/plugin_registry.h"

#include <QDialog>
#include <QStringList>

class QListWidget;

namespace tonebridge::gui {

/// The report's lines: per kind present (coders, decoders, connectors, filters, others) a
/// rule, the kind's word and a rule; then per library its name, version and date lines
/// (each only when the library exports it) and an empty line.
QStringList versionsReportLines(const core::PluginRegistry& registry);

class CVersionsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CVersionsDlg(const core::PluginRegistry& registry, QWidget* parent = nullptr);

    QListWidget* reportList() const { return m_report; }

private:
    QListWidget* m_report;
};

} // namespace tonebridge::gui
