// Draws the program's pictures: the four tool bar images, the program icon in the sizes the
// desktop uses, and the About box picture. Not part of the build; run it after changing a
// drawing and commit the images it writes:
//   g++ -std=c++20 -fPIC packaging/draw_icons.cpp $(pkg-config --cflags --libs Qt6Gui) -o
//   /tmp/draw_icons QT_QPA_PLATFORM=offscreen /tmp/draw_icons host/gui/icons packaging/icons
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

const QColor kInk(40, 48, 64);
const QColor kPaper(250, 250, 244);
const QColor kBlue(46, 110, 196);
const QColor kGreen(44, 160, 72);
const QColor kRed(204, 52, 44);
const QColor kGold(236, 176, 40);

QImage canvas(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

/// A sheet with a folded corner and a note on it, in a 50x40 button image.
void drawSheet(QPainter& p) {
    QPainterPath sheet;
    sheet.moveTo(12, 3);
    sheet.lineTo(30, 3);
    sheet.lineTo(38, 11);
    sheet.lineTo(38, 37);
    sheet.lineTo(12, 37);
    sheet.closeSubpath();
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(kPaper);
    p.drawPath(sheet);
    p.drawLine(QPointF(30, 3), QPointF(30, 11));
    p.drawLine(QPointF(30, 11), QPointF(38, 11));
    // An eighth note.
    p.setBrush(kInk);
    p.drawEllipse(QRectF(17, 25, 7, 5));
    p.drawLine(QPointF(23.5, 27), QPointF(23.5, 14));
    p.drawLine(QPointF(23.5, 14), QPointF(28, 18));
}

void drawBadge(QPainter& p, const QColor& color, bool plus) {
    p.setPen(QPen(Qt::white, 1.5));
    p.setBrush(color);
    p.drawEllipse(QRectF(28, 20, 17, 17));
    p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap));
    if (plus) {
        p.drawLine(QPointF(36.5, 24), QPointF(36.5, 33));
        p.drawLine(QPointF(32, 28.5), QPointF(41, 28.5));
    } else {
        p.drawLine(QPointF(33, 25), QPointF(40, 32));
        p.drawLine(QPointF(40, 25), QPointF(33, 32));
    }
}

QImage addImage() {
    QImage image = canvas(50, 40);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawSheet(p);
    drawBadge(p, kGreen, true);
    return image;
}

QImage deleteImage() {
    QImage image = canvas(50, 40);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawSheet(p);
    drawBadge(p, kRed, false);
    return image;
}

/// A note turning into a small phone, joined by an arrow.
QImage convertImage() {
    QImage image = canvas(50, 40);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(kInk);
    p.drawEllipse(QRectF(3, 25, 9, 6.5));
    p.drawLine(QPointF(11.3, 28), QPointF(11.3, 8));
    p.drawLine(QPointF(11.3, 8), QPointF(17, 13));
    // Arrow.
    p.setPen(QPen(kBlue, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(18, 21), QPointF(30, 21));
    p.setBrush(kBlue);
    p.drawPolygon(QPolygonF({QPointF(28, 15.5), QPointF(34, 21), QPointF(28, 26.5)}));
    // Phone.
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(QColor(200, 208, 220));
    p.drawRoundedRect(QRectF(36, 6, 11, 30), 2, 2);
    p.setBrush(QColor(150, 220, 160));
    p.drawRect(QRectF(38, 9, 7, 9));
    p.setBrush(kInk);
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 2; ++col) {
            p.drawEllipse(QRectF(38.5 + col * 4, 21 + row * 4.5, 2, 2));
        }
    }
    return image;
}

/// Three sliders.
QImage optionsImage() {
    QImage image = canvas(50, 40);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const double knobs[] = {30, 17, 24};
    for (int i = 0; i < 3; ++i) {
        const double y = 9 + i * 11;
        p.setPen(QPen(kInk, 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8, y), QPointF(42, y));
        p.setPen(QPen(kInk, 1.5));
        p.setBrush(i == 1 ? kGold : kBlue);
        p.drawRoundedRect(QRectF(knobs[i] - 3.5, y - 5, 7, 10), 2, 2);
    }
    return image;
}

/// The program icon: a blue tile with a bell and a note on it.
QImage appIcon(int size) {
    QImage image = canvas(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    QLinearGradient tile(0, 0, 0, 64);
    tile.setColorAt(0, QColor(70, 140, 220));
    tile.setColorAt(1, QColor(30, 80, 160));
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    // Bell.
    QPainterPath bell;
    bell.moveTo(14, 44);
    bell.cubicTo(18, 40, 18, 30, 20, 24);
    bell.cubicTo(22, 16, 34, 16, 36, 24);
    bell.cubicTo(38, 30, 38, 40, 42, 44);
    bell.closeSubpath();
    p.setBrush(kGold);
    p.setPen(QPen(QColor(120, 80, 10), 1.5));
    p.drawPath(bell);
    p.drawEllipse(QRectF(25, 43, 6, 6));
    // Note.
    p.setPen(QPen(Qt::white, 2.5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(40, 40, 9, 7));
    p.drawLine(QPointF(48, 43), QPointF(48, 14));
    p.drawLine(QPointF(48, 14), QPointF(55, 20));
    return image;
}

QImage aboutPicture() {
    QImage image(211, 111, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 211, 111);
    sky.setColorAt(0, QColor(236, 242, 250));
    sky.setColorAt(1, QColor(200, 216, 240));
    p.fillRect(image.rect(), sky);
    p.drawImage(QPointF(14, 23), appIcon(64));
    // A staff with a few notes.
    p.setPen(QPen(kInk, 1));
    for (int line = 0; line < 5; ++line) {
        p.drawLine(QPointF(94, 34 + line * 8), QPointF(200, 34 + line * 8));
    }
    p.setBrush(kInk);
    const double notes[][2] = {{104, 62}, {124, 54}, {144, 46}, {164, 58}, {184, 42}};
    for (const auto& note : notes) {
        p.drawEllipse(QRectF(note[0], note[1], 9, 7));
        p.drawLine(QPointF(note[0] + 8.5, note[1] + 3), QPointF(note[0] + 8.5, note[1] - 20));
    }
    return image;
}

bool save(const QImage& image, const QString& path) {
    if (!image.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: draw_icons GUI_ICON_DIR PACKAGING_ICON_DIR\n");
        return 2;
    }
    const QString gui = QString::fromLocal8Bit(argv[1]);
    const QString packaging = QString::fromLocal8Bit(argv[2]);
    bool ok =
        save(addImage(), gui + "/add.png") && save(deleteImage(), gui + "/delete.png") &&
        save(convertImage(), gui + "/convert.png") && save(optionsImage(), gui + "/options.png") &&
        save(appIcon(64), gui + "/tonebridge.png") && save(aboutPicture(), gui + "/about.png");
    for (int size : {16, 32, 48, 64, 128, 256}) {
        ok = ok && save(appIcon(size), QString("%1/tonebridge-%2.png").arg(packaging).arg(size));
    }
    return ok ? 0 : 1;
}
