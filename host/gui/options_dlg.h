// COptionsDlg: the destination, the output format, the connector and the filter of a
// conversion.
// Works on the main window's settings; they change only when OK is pressed.
#pragma once

#include "tonebridge/core/plugin_registry.h"
#include "tonebridge/core/settings.h"

#include <QDialog>

#include <functional>

class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace tonebridge::gui {

/// Asks the user for a folder; returns it, or empty when cancelled.
using FolderChooser = std::function<QString(QWidget* parent)>;

class COptionsDlg : public QDialog {
    Q_OBJECT
public:
    COptionsDlg(core::Settings& settings, const core::PluginRegistry& registry,
                QWidget* parent = nullptr);

    /// Replaces the folder browser (tests choose the folder themselves).
    void setFolderChooser(FolderChooser chooser) { m_chooseFolder = std::move(chooser); }

    QRadioButton* sameAsSourceButton() const { return m_sameAsSource; }
    QRadioButton* selectPathButton() const { return m_selectPath; }
    QLabel* pathText() const { return m_path; }
    QPushButton* browseButton() const { return m_browse; }
    QListWidget* formatsList() const { return m_formats; }
    QListWidget* connectorsList() const { return m_connectors; }
    QListWidget* filtersList() const { return m_filters; }

    /// Browse: puts the chosen folder into the path text; nothing is stored yet.
    void browse();

public slots:
    /// OK: stores the choices into the settings, then closes.
    void accept() override;

private:
    void buildControls();
    void initialise();
    void applyEnableRule();

    core::Settings& m_settings;
    const core::PluginRegistry& m_registry;
    FolderChooser m_chooseFolder;
    QRadioButton* m_sameAsSource = nullptr;
    QRadioButton* m_selectPath = nullptr;
    QLabel* m_path = nullptr;
    QPushButton* m_browse = nullptr;
    QListWidget* m_formats = nullptr;
    QListWidget* m_connectors = nullptr;
    QListWidget* m_filters = nullptr;
};

} // namespace tonebridge::gui
