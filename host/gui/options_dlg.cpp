#include "options_dlg.h"

#include "dialog_units.h"
#include "gui_texts.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>

#include <optional>

namespace tonebridge::gui {

namespace {

QListWidget* makeList(QWidget* parent) {
    auto* list = new QListWidget(parent);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list->setSortingEnabled(false);
    return list;
}

/// The selected row of a single-selection list, or -1.
int selectedRow(const QListWidget* list) {
    const QModelIndexList rows = list->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

/// Adds a row showing the plug-in's name with its identifier as the row's data; plug-ins
/// without a name to show get no row.
QListWidgetItem* addPluginItem(QListWidget* list, const core::Plugin& plugin) {
    if (!plugin.displayName()) {
        return nullptr;
    }
    auto* item = new QListWidgetItem(QString::fromLocal8Bit(plugin.displayName()->c_str()), list);
    if (plugin.id()) {
        item->setData(Qt::UserRole, *plugin.id());
    }
    return item;
}

/// The identifier of the selected row, or none (no selection, or a row without one).
std::optional<int32_t> selectedId(const QListWidget* list) {
    const QList<QListWidgetItem*> items = list->selectedItems();
    if (items.isEmpty()) {
        return std::nullopt;
    }
    const QVariant data = items.front()->data(Qt::UserRole);
    if (!data.isValid()) {
        return std::nullopt;
    }
    return static_cast<int32_t>(data.toInt());
}

QString defaultFolderChooser(QWidget* parent) {
    return QFileDialog::getExistingDirectory(
        parent, QString::fromLatin1(text::kBrowseTitle),
        QStandardPaths::writableLocation(QStandardPaths::DesktopLocation),
        QFileDialog::ShowDirsOnly);
}

} // namespace

COptionsDlg::COptionsDlg(core::Settings& settings, const core::PluginRegistry& registry,
                         QWidget* parent)
    : QDialog(parent), m_settings(settings), m_registry(registry),
      m_chooseFolder(defaultFolderChooser) {
    buildControls();
    initialise();
}

void COptionsDlg::buildControls() {
    setWindowTitle(QString::fromLatin1(text::kOptionsTitle));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    const DialogUnits du(this);
    // The filters' group sits under the connectors; the dialog grows by its height and the
    // buttons move down with it.
    constexpr int kFiltersDrop = 62;
    setFixedSize(du.size(259, 239 + kFiltersDrop));

    // Group boxes first, so the controls drawn over their frames stay on top.
    auto* destination = new QGroupBox(QString::fromLatin1(text::kDestinationGroup), this);
    destination->setGeometry(du.rect(7, 4, 242, 52));
    auto* formats = new QGroupBox(QString::fromLatin1(text::kFormatsGroup), this);
    formats->setGeometry(du.rect(7, 64, 245, 61));
    auto* connectors = new QGroupBox(QString::fromLatin1(text::kConnectorsGroup), this);
    connectors->setGeometry(du.rect(7, 134, 245, 65));
    auto* filters = new QGroupBox(QString::fromLatin1(text::kFiltersGroup), this);
    filters->setGeometry(du.rect(7, 204, 245, 55));

    m_sameAsSource = new QRadioButton(QString::fromLatin1(text::kSameAsSource), this);
    m_sameAsSource->setGeometry(du.rect(15, 15, 114, 10));
    m_selectPath = new QRadioButton(QString::fromLatin1(text::kSelectPath), this);
    m_selectPath->setGeometry(du.rect(15, 27, 119, 10));
    m_path = new QLabel(this);
    m_path->setTextFormat(Qt::PlainText);
    m_path->setWordWrap(false);
    m_path->setGeometry(du.rect(27, 39, 171, 12));
    m_browse = new QPushButton(QString::fromLatin1(text::kBrowse), this);
    m_browse->setAutoDefault(false);
    m_browse->setGeometry(du.rect(202, 39, 39, 12));

    m_formats = makeList(this);
    m_formats->setGeometry(du.rect(14, 76, 232, 38));
    m_connectors = makeList(this);
    m_connectors->setGeometry(du.rect(13, 148, 233, 43));
    m_filters = makeList(this);
    m_filters->setGeometry(du.rect(13, 216, 233, 36));

    auto* ok = new QPushButton(QString::fromLatin1(text::kOk), this);
    ok->setDefault(true);
    ok->setGeometry(du.rect(8, 214 + kFiltersDrop, 72, 14));
    auto* cancel = new QPushButton(QString::fromLatin1(text::kCancel), this);
    cancel->setAutoDefault(false);
    cancel->setGeometry(du.rect(178, 214 + kFiltersDrop, 72, 14));

    connect(m_sameAsSource, &QRadioButton::clicked, this, &COptionsDlg::applyEnableRule);
    connect(m_selectPath, &QRadioButton::clicked, this, &COptionsDlg::applyEnableRule);
    connect(m_browse, &QPushButton::clicked, this, &COptionsDlg::browse);
    connect(ok, &QPushButton::clicked, this, &COptionsDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &COptionsDlg::reject);
}

void COptionsDlg::initialise() {
    m_selectPath->setChecked(m_settings.select == 1);
    if (!m_selectPath->isChecked()) {
        m_sameAsSource->setChecked(true);
    }
    applyEnableRule();
    m_path->setText(QFile::decodeName(QByteArray::fromStdString(m_settings.destdir)));

    for (const core::Plugin& coder : m_registry.coders()) {
        if (QListWidgetItem* item = addPluginItem(m_formats, coder);
            item != nullptr && coder.id() == m_settings.coderdllid) {
            m_formats->setCurrentItem(item);
        }
    }
    if (selectedRow(m_formats) < 0 && m_formats->count() > 0) {
        m_formats->setCurrentRow(0);
    }

    m_connectors->addItem(QString::fromLatin1(text::kConnectorNone));
    m_connectors->setCurrentRow(0);
    for (const core::Plugin& connector : m_registry.connectors()) {
        if (QListWidgetItem* item = addPluginItem(m_connectors, connector);
            item != nullptr && m_settings.lauchconnector != 0 &&
            connector.id() == m_settings.connectordllid) {
            m_connectors->setCurrentItem(item);
        }
    }

    m_filters->addItem(QString::fromLatin1(text::kConnectorNone));
    m_filters->setCurrentRow(0);
    for (const core::Plugin& filter : m_registry.filters()) {
        if (QListWidgetItem* item = addPluginItem(m_filters, filter);
            item != nullptr && m_settings.lauchfilter != 0 &&
            filter.id() == m_settings.filterdllid) {
            m_filters->setCurrentItem(item);
        }
    }
}

void COptionsDlg::applyEnableRule() {
    const bool enabled = m_selectPath->isChecked();
    m_path->setEnabled(enabled);
    m_browse->setEnabled(enabled);
}

void COptionsDlg::browse() {
    const QString folder = m_chooseFolder(this);
    if (!folder.isEmpty()) {
        m_path->setText(QDir::toNativeSeparators(folder));
    }
}

void COptionsDlg::accept() {
    m_settings.select = m_selectPath->isChecked() ? 1 : 0;
    m_settings.destdir = QFile::encodeName(m_path->text()).toStdString();

    // A list left without a selection keeps the stored choice.
    if (const std::optional<int32_t> id = selectedId(m_formats)) {
        m_settings.coderdllid = *id;
    }
    const int connector = selectedRow(m_connectors);
    if (connector == 0) {
        m_settings.connectordllid = 0;
        m_settings.lauchconnector = 0;
    } else if (const std::optional<int32_t> id = selectedId(m_connectors)) {
        m_settings.connectordllid = *id;
        m_settings.lauchconnector = 1;
    }
    const int filter = selectedRow(m_filters);
    if (filter == 0) {
        m_settings.filterdllid = 0;
        m_settings.lauchfilter = 0;
    } else if (const std::optional<int32_t> id = selectedId(m_filters)) {
        m_settings.filterdllid = *id;
        m_settings.lauchfilter = 1;
    }
    QDialog::accept();
}

} // namespace tonebridge::gui
