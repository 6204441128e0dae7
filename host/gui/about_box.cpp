#include "about_box.h"

#include "gui_texts.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace tonebridge::gui {

namespace {
constexpr const char* kAboutPicture = ":/tonebridge/about.png";
} // namespace

QString aboutVersionLine() {
    return QString::fromLatin1(text::kTitle) + text::kAboutVersionJoin + text::kVersion;
}

CAboutBox::CAboutBox(QWidget* parent) : QDialog(parent), m_version(new QLabel(this)) {
    setWindowTitle(QString::fromLatin1(text::kAboutTitle));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    auto* picture = new QLabel(this);
    picture->setPixmap(QPixmap(QString::fromLatin1(kAboutPicture)));
    picture->setAlignment(Qt::AlignCenter);

    m_version->setText(aboutVersionLine());
    m_version->setTextFormat(Qt::PlainText);
    m_version->setAlignment(Qt::AlignCenter);
    m_version->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QString::fromLatin1(text::kOk), QDialogButtonBox::AcceptRole)
        ->setDefault(true);
    buttons->setCenterButtons(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(picture, 0, Qt::AlignHCenter);
    layout->addWidget(m_version);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace tonebridge::gui
