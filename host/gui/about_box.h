// CAboutBox: the program's picture, its name and version, and OK.
#pragma once

#include <QDialog>

class QLabel;

namespace tonebridge::gui {

/// "Chimewright - V4.10".
QString aboutVersionLine();

class CAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit CAboutBox(QWidget* parent = nullptr);

    QLabel* versionLabel() const { return m_version; }

private:
    QLabel* m_version;
};

} // namespace tonebridge::gui
