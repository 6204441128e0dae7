#include "versions_dlg.h"

#include "dialog_units.h"
#include "gui_texts.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include <array>
#include <utility>

namespace tonebridge::gui {

QStringList versionsReport(const core::PluginRegistry& registry) {
    using Kind = std::pair<const char*, const std::vector<core::PluginRegistry::Handle>*>;
    const std::array<Kind, 5> kinds = {{{text::kSectionCoder, &registry.coders()},
                                        {text::kSectionDecoder, &registry.decoders()},
                                        {text::kSectionConnector, &registry.connectors()},
                                        {text::kSectionFilter, &registry.filters()},
                                        {text::kSectionOther, &registry.others()}}};
    QStringList lines;
    for (const auto& [word, libraries] : kinds) {
        if (!libraries->empty()) {
            lines << text::kReportRule << word << text::kReportRule;
        }
        for (const auto handle : *libraries) {
            if (const auto name = core::pluginText(handle, TB_EXPORT_GET_NAME)) {
                lines << QString::fromLocal8Bit(name->c_str()) + text::kNameSuffix;
            }
            if (const auto version = core::pluginText(handle, TB_EXPORT_GET_VERSION)) {
                lines << text::kVersionPrefix + QString::fromLocal8Bit(version->c_str());
            }
            if (const auto date = core::pluginText(handle, TB_EXPORT_GET_DATE)) {
                lines << text::kDatePrefix + QString::fromLocal8Bit(date->c_str());
            }
            lines << QString();
        }
    }
    return lines;
}

CVersionsDlg::CVersionsDlg(const core::PluginRegistry& registry, QWidget* parent)
    : QDialog(parent), m_report(new QListWidget(this)) {
    setWindowTitle(QString::fromLatin1(text::kVersionsTitle));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    const DialogUnits du(this);
    setFixedSize(du.size(232, 220));

    auto* heading = new QLabel(QString::fromLatin1(text::kVersionsHeading), this);
    heading->setTextFormat(Qt::PlainText);
    heading->setGeometry(du.rect(7, 14, 218, 12));

    m_report->setSelectionMode(QAbstractItemView::SingleSelection);
    m_report->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_report->setGeometry(du.rect(7, 30, 218, 165));
    m_report->addItems(versionsReport(registry));

    auto* ok = new QPushButton(QString::fromLatin1(text::kOk), this);
    ok->setDefault(true);
    ok->setGeometry(du.rect(90, 199, 50, 14));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace tonebridge::gui
