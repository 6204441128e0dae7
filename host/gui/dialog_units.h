// Dialog layouts given in dialog units: a quarter of the font's average character width
// horizontally, an eighth of its height vertically.
#pragma once

#include <QFontMetrics>
#include <QRect>
#include <QSize>
#include <QWidget>

namespace tonebridge::gui {

class DialogUnits {
public:
    explicit DialogUnits(const QWidget* widget) {
        const QFontMetrics metrics(widget->font());
        // The average over the Latin letters, rounded, as dialog templates measure it.
        const QString letters =
            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        m_baseX = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
        m_baseY = metrics.height();
    }

    int x(int units) const { return units * m_baseX / 4; }
    int y(int units) const { return units * m_baseY / 8; }
    QRect rect(int left, int top, int width, int height) const {
        return QRect(x(left), y(top), x(width), y(height));
    }
    QSize size(int width, int height) const { return QSize(x(width), y(height)); }

private:
    int m_baseX;
    int m_baseY;
};

} // namespace tonebridge::gui
