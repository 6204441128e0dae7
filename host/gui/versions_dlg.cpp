#include "versions_dlg.h"

#include "dialog_units.h"
#include "gui_texts.h"
#include "tonebridge/core/versions_report.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace tonebridge::gui {

QStringList versionsReportLines(const core::PluginRegistry& registry) {
    QStringList lines;
    for (const std::string& line : core::versionsReport(registry)) {
        lines << QString::fromLocal8Bit(line.c_str());
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
    m_report->addItems(versionsReportLines(registry));

    auto* ok = new QPushButton(QString::fromLatin1(text::kOk), this);
    ok->setDefault(true);
    ok->setGeometry(du.rect(90, 199, 50, 14));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace tonebridge::gui
