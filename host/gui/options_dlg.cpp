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
    setFixedSize(du.size(259, 239));

    // Group boxes first, so the controls drawn over their frames stay on top.
    auto* destination = new QGroupBox(QString::fromLatin1(text::kDestinationGroup), this);
    destination->setGeometry(du.rect(7, 4, 242, 52));
    auto* formats = new QGroupBox(QString::fromLatin1(text::kFormatsGroup), this);
    formats->setGeometry(du.rect(7, 64, 245, 61));
    auto* connectors = new QGroupBox(QString::fromLatin1(text::kConnectorsGroup), this);
    connectors->setGeometry(du.rect(7, 134, 245, 65));

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

    auto* ok = new QPushButton(QString::fromLatin1(text::kOk), this);
    ok->setDefault(true);
    ok->setGeometry(du.rect(8, 214, 72, 14));
    auto* cancel = new QPushButton(QString::fromLatin1(text::kCancel), this);
    cancel->setAutoDefault(false);
    cancel->setGeometry(du.rect(178, 214, 72, 14));

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

    // Row i of each list is plug-in i of its kind (behind "None" for the connectors): the
    // registry admits only coders and connectors that have a name to show.
    const auto& coders = m_registry.coders();
    for (std::size_t i = 0; i < coders.size(); ++i) {
        if (const auto name = core::pluginText(coders[i], TB_EXPORT_GET_FORMAT_NAME)) {
            m_formats->addItem(QString::fromLocal8Bit(name->c_str()));
        }
        const auto id = core::pluginId(coders[i]);
        if (id && *id == m_settings.coderdllid && static_cast<int>(i) < m_formats->count()) {
            m_formats->setCurrentRow(static_cast<int>(i));
        }
    }
    if (selectedRow(m_formats) < 0 && m_formats->count() > 0) {
        m_formats->setCurrentRow(0);
    }

    m_connectors->addItem(QString::fromLatin1(text::kConnectorNone));
    m_connectors->setCurrentRow(0);
    const auto& connectors = m_registry.connectors();
    for (std::size_t i = 0; i < connectors.size(); ++i) {
        const auto name = core::pluginText(connectors[i], TB_EXPORT_GET_CONNECTOR_NAME);
        if (!name) {
            continue;
        }
        m_connectors->addItem(QString::fromLocal8Bit(name->c_str()));
        const auto id = core::pluginId(connectors[i]);
        if (m_settings.lauchconnector != 0 && id && *id == m_settings.connectordllid) {
            m_connectors->setCurrentRow(m_connectors->count() - 1);
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

    // A list left without a selection keeps the stored choice rather than reading past the
    // plug-in lists.
    const auto& coders = m_registry.coders();
    const int format = selectedRow(m_formats);
    if (format >= 0 && static_cast<std::size_t>(format) < coders.size()) {
        if (const auto id = core::pluginId(coders[static_cast<std::size_t>(format)])) {
            m_settings.coderdllid = *id;
        }
    }
    const auto& connectors = m_registry.connectors();
    const int connector = selectedRow(m_connectors);
    if (connector == 0) {
        m_settings.connectordllid = 0;
        m_settings.lauchconnector = 0;
    } else if (connector > 0 && static_cast<std::size_t>(connector - 1) < connectors.size()) {
        if (const auto id = core::pluginId(connectors[static_cast<std::size_t>(connector - 1)])) {
            m_settings.connectordllid = *id;
            m_settings.lauchconnector = 1;
        }
    }
    QDialog::accept();
}

} // namespace tonebridge::gui
