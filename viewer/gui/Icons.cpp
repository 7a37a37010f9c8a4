#include "viewer/gui/Icons.h"

#include "viewer/gui/CommandIds.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

constexpr int S = NodeIcons::kSize;

QImage Blank(int size = S) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// A sheet of paper with a folded corner, the base of the document kinds.
void Page(QPainter& p, QColor paper, QColor edge = QColor(70, 70, 70)) {
    QPolygon sheet({QPoint(4, 1), QPoint(13, 1), QPoint(17, 5), QPoint(17, 18), QPoint(4, 18)});
    p.setPen(edge);
    p.setBrush(paper);
    p.drawPolygon(sheet);
    p.setBrush(paper.darker(120));
    p.drawPolygon(QPolygon({QPoint(13, 1), QPoint(13, 5), QPoint(17, 5)}));
}

void Glyph(QPainter& p, const QString& text, QColor colour, QRect box = QRect(4, 5, 14, 13), int pixel = 8) {
    QFont font("Arial");
    font.setPixelSize(pixel);
    font.setBold(true);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(box, Qt::AlignCenter, text);
}

void Lines(QPainter& p, QColor colour, int from = 6, int to = 16) {
    p.setPen(colour);
    for (int y = from; y <= to; y += 3) p.drawLine(6, y, 14, y);
}

// One case per kind. Long, but each case is a handful of drawing calls that
// read best beside each other; a function per icon would only scatter them.
QImage Draw(int kind) {
    QImage image = Blank();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    switch (kind) {
    case 1: {  // a link to another server: a globe
        p.setPen(QPen(QColor(20, 60, 140), 1.2));
        p.setBrush(QColor(120, 170, 235));
        p.drawEllipse(QRectF(2.5, 2.5, 15, 15));
        p.drawEllipse(QRectF(6.5, 2.5, 7, 15));
        p.drawLine(QPointF(2.5, 10), QPointF(17.5, 10));
        break;
    }
    case 2:  // a page on this server, not loaded: an empty sheet with an arrow
        Page(p, QColor(235, 235, 235));
        p.setPen(QPen(QColor(40, 110, 40), 1.6));
        p.drawLine(QPointF(6, 12), QPointF(14, 12));
        p.drawLine(QPointF(11, 9), QPointF(14, 12));
        p.drawLine(QPointF(11, 15), QPointF(14, 12));
        break;
    case 3:  // ftp: a folder
        p.setPen(QColor(110, 80, 10));
        p.setBrush(QColor(240, 200, 80));
        p.drawRect(QRectF(2.5, 6.5, 15, 10));
        p.drawRect(QRectF(2.5, 4.5, 6, 2));
        Glyph(p, "F", QColor(90, 60, 0), QRect(2, 6, 16, 11));
        break;
    case 4:  // mailto: an envelope
        p.setPen(QColor(60, 60, 60));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(2.5, 5.5, 15, 10));
        p.drawLine(QPointF(2.5, 5.5), QPointF(10, 11));
        p.drawLine(QPointF(17.5, 5.5), QPointF(10, 11));
        break;
    case 5:  // gopher
        p.setPen(QColor(30, 90, 30));
        p.setBrush(QColor(150, 210, 130));
        p.drawEllipse(QRectF(2.5, 2.5, 15, 15));
        Glyph(p, "G", QColor(20, 70, 20), QRect(2, 2, 16, 16), 10);
        break;
    case 6:  // news: a newspaper
        p.setPen(QColor(60, 60, 60));
        p.setBrush(QColor(250, 250, 240));
        p.drawRect(QRectF(2.5, 3.5, 15, 13));
        p.fillRect(QRectF(4, 5, 12, 3), QColor(60, 60, 60));
        Lines(p, QColor(110, 110, 110), 10, 15);
        break;
    case 7:  // another scheme: a chain link
        p.setPen(QPen(QColor(90, 90, 90), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(2, 7, 9, 6), 3, 3);
        p.drawRoundedRect(QRectF(9, 7, 9, 6), 3, 3);
        break;
    case 8:  // server error or failed load: a red disc with "!"
        p.setPen(QColor(120, 0, 0));
        p.setBrush(QColor(215, 40, 40));
        p.drawEllipse(QRectF(2.5, 2.5, 15, 15));
        Glyph(p, "!", Qt::white, QRect(2, 2, 16, 16), 12);
        break;
    case 9: {  // other client errors: an orange warning sign
        p.setPen(QColor(130, 70, 0));
        p.setBrush(QColor(250, 160, 30));
        p.drawPolygon(QPolygonF({QPointF(10, 2), QPointF(18, 17), QPointF(2, 17)}));
        Glyph(p, "!", Qt::black, QRect(2, 6, 16, 11), 10);
        break;
    }
    case 10:  // not found: a sheet crossed out
        Page(p, Qt::white);
        p.setPen(QPen(QColor(210, 30, 30), 2));
        p.drawLine(QPointF(6, 7), QPointF(15, 16));
        p.drawLine(QPointF(15, 7), QPointF(6, 16));
        break;
    case 11:  // no access: a padlock
        p.setPen(QPen(QColor(90, 70, 20), 1.6));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(5.5, 2.5, 9, 10), 0, 180 * 16);
        p.drawLine(QPointF(5.5, 7.5), QPointF(5.5, 9));
        p.drawLine(QPointF(14.5, 7.5), QPointF(14.5, 9));
        p.setPen(QColor(90, 70, 20));
        p.setBrush(QColor(230, 185, 60));
        p.drawRect(QRectF(3.5, 9.5, 13, 8));
        break;
    case 12:  // moved: a sheet with a bent arrow
    case 13: {  // found elsewhere (302)
        Page(p, Qt::white);
        QColor arrow = kind == 12 ? QColor(30, 80, 190) : QColor(120, 40, 170);
        p.setPen(QPen(arrow, 1.8));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(6, 7, 8, 8), 90 * 16, 180 * 16);
        p.drawLine(QPointF(10, 15), QPointF(14, 15));
        p.setBrush(arrow);
        p.drawPolygon(QPolygonF({QPointF(14, 12.5), QPointF(16.5, 15), QPointF(14, 17.5)}));
        break;
    }
    case 14:  // html page: a sheet with angle brackets
        Page(p, Qt::white);
        Glyph(p, "<>", QColor(20, 70, 180), QRect(4, 6, 14, 12), 9);
        break;
    case 15:  // a frame set
        Page(p, Qt::white);
        p.setPen(QColor(20, 70, 180));
        p.drawRect(6, 7, 8, 9);
        p.drawLine(10, 7, 10, 16);
        break;
    case 16:  // text: a sheet with lines
        Page(p, Qt::white);
        Lines(p, QColor(90, 90, 90));
        break;
    case 17: {  // picture: a landscape
        p.setPen(QColor(60, 60, 60));
        p.setBrush(QColor(170, 215, 250));
        p.drawRect(QRectF(1.5, 3.5, 17, 13));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(70, 150, 60));
        p.drawPolygon(QPolygonF({QPointF(2, 16), QPointF(8, 8), QPointF(12, 13), QPointF(14, 11), QPointF(18, 16)}));
        p.setBrush(QColor(250, 210, 40));
        p.drawEllipse(QRectF(13, 5, 3.5, 3.5));
        break;
    }
    case 18: {  // sound: a note
        p.setPen(QPen(QColor(40, 40, 40), 1.6));
        p.drawLine(QPointF(8.5, 4), QPointF(8.5, 14));
        p.drawLine(QPointF(15.5, 3), QPointF(15.5, 12));
        p.drawLine(QPointF(8.5, 4), QPointF(15.5, 3));
        p.setBrush(QColor(40, 40, 40));
        p.drawEllipse(QRectF(4, 12, 5, 4));
        p.drawEllipse(QRectF(11, 10, 5, 4));
        break;
    }
    case 19:  // video: a film strip
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 40, 40));
        p.drawRect(QRectF(2, 3, 16, 14));
        p.setBrush(QColor(220, 220, 220));
        for (int y = 4; y < 16; y += 3) {
            p.drawRect(QRectF(3, y, 1.5, 1.5));
            p.drawRect(QRectF(15.5, y, 1.5, 1.5));
        }
        p.setBrush(QColor(120, 180, 230));
        p.drawRect(QRectF(5.5, 5, 9, 10));
        break;
    case 20:  // application data: a gear-like box
    case 21:
        p.setPen(QColor(60, 60, 60));
        p.setBrush(kind == 20 ? QColor(200, 200, 215) : QColor(215, 200, 230));
        p.drawRect(QRectF(2.5, 4.5, 15, 12));
        p.fillRect(QRectF(3, 5, 14, 3), QColor(40, 60, 130));
        Glyph(p, kind == 20 ? "01" : "*", QColor(40, 40, 40), QRect(3, 8, 14, 9), 7);
        break;
    case 22:  // zip archive: a box with a zipper
        p.setPen(QColor(90, 60, 20));
        p.setBrush(QColor(215, 170, 100));
        p.drawRect(QRectF(3.5, 2.5, 13, 15));
        p.setPen(QColor(60, 40, 10));
        for (int y = 4; y < 16; y += 2) p.drawLine(9, y, y % 4 == 0 ? 11 : 8, y);
        break;
    default:  // unknown type: a grey sheet with a question mark
        Page(p, QColor(225, 225, 225));
        Glyph(p, "?", QColor(70, 70, 70), QRect(4, 5, 14, 13), 10);
        break;
    }
    return image;
}

bool HasOwnIcon(int kind) {
    return kind >= 0 && kind < NodeIcons::kKinds;
}

// One case per tool box command; long for the same reason as Draw.
QPixmap ToolPixmap(int id) {
    constexpr int size = 22;
    QImage image = Blank(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QColor ink(30, 60, 130);
    switch (id) {
    case cmd::kOpenNetLocation:
    case cmd::kAddNetLocation: {
        p.setPen(QPen(ink, 1.3));
        p.setBrush(QColor(140, 185, 240));
        p.drawEllipse(QRectF(2.5, 2.5, 14, 14));
        p.drawEllipse(QRectF(6.5, 2.5, 6, 14));
        p.drawLine(QPointF(2.5, 9.5), QPointF(16.5, 9.5));
        if (id == cmd::kAddNetLocation) {
            p.setPen(QPen(QColor(20, 130, 30), 2.4));
            p.drawLine(QPointF(17, 13), QPointF(17, 21));
            p.drawLine(QPointF(13, 17), QPointF(21, 17));
        }
        break;
    }
    case cmd::kOverview:
        p.setPen(QColor(60, 60, 60));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(2.5, 3.5, 17, 15));
        p.setBrush(QColor(90, 90, 90));
        p.drawRect(QRectF(5.5, 6.5, 7, 6));
        break;
    case cmd::kPageIndex:
        p.setPen(QColor(60, 60, 60));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3.5, 2.5, 15, 17));
        for (int y = 6; y <= 16; y += 3) p.drawLine(6, y, 16, y);
        break;
    case cmd::kStartOptimization:
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 140, 40));
        p.drawPolygon(QPolygonF({QPointF(6, 3), QPointF(18, 11), QPointF(6, 19)}));
        break;
    case cmd::kStopOptimization:
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(190, 30, 30));
        p.drawRect(QRectF(5, 5, 12, 12));
        break;
    case cmd::kRearrange:
        p.setPen(QColor(50, 50, 50));
        p.setBrush(QColor(250, 250, 250));
        for (int r = 0; r < 2; r++)
            for (int c = 0; c < 2; c++) p.drawRect(QRectF(2.5 + c * 10, 3.5 + r * 9, 7, 5));
        p.drawLine(QPointF(9.5, 6), QPointF(12.5, 6));
        p.drawLine(QPointF(6, 8.5), QPointF(6, 12.5));
        break;
    case cmd::kHelpContents:
        p.setPen(QColor(30, 60, 130));
        p.setBrush(QColor(250, 240, 160));
        p.drawEllipse(QRectF(2.5, 2.5, 17, 17));
        Glyph(p, "?", ink, QRect(2, 2, 18, 18), 13);
        break;
    default:
        return QPixmap();
    }
    p.end();
    return QPixmap::fromImage(image);
}

}  // namespace

NodeIcons::NodeIcons() {
    for (int kind = 0; kind < kKinds; kind++) {
        icons_[kind] = Draw(kind);
        own_[kind] = HasOwnIcon(kind);
    }
}

const QImage& NodeIcons::Icon(int kind) const {
    if (kind < 0 || kind >= kKinds || !own_[kind]) return icons_[0];
    return icons_[kind];
}

QIcon ToolIcon(int commandId) {
    QPixmap pixmap = ToolPixmap(commandId);
    return pixmap.isNull() ? QIcon() : QIcon(pixmap);
}

QIcon WindowIcon() {
    QImage image = Blank(32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1.5));
    p.drawLine(9, 9, 23, 23);
    p.drawLine(9, 9, 24, 8);
    p.setBrush(QColor(255, 0, 0));
    p.drawEllipse(QRectF(3, 3, 12, 12));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(18, 3, 10, 10));
    p.drawEllipse(QRectF(18, 18, 10, 10));
    p.end();
    return QIcon(QPixmap::fromImage(image));
}

QCursor PinCursor() {
    QImage image = Blank(24);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 40), 1.5));
    p.drawLine(QPointF(2, 22), QPointF(10, 14));
    p.setBrush(QColor(220, 30, 30));
    p.drawEllipse(QRectF(9, 3, 12, 12));
    p.end();
    return QCursor(QPixmap::fromImage(image), 2, 22);
}

QImage SplashImage() {
    QImage image(360, 160, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(0xF2, 0xF0, 0xEA));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(90, 90, 90), 2));
    p.drawRect(1, 1, 357, 157);
    QPoint nodes[] = {{60, 50}, {40, 110}, {110, 120}, {120, 40}};
    p.drawLine(nodes[0], nodes[1]);
    p.drawLine(nodes[0], nodes[2]);
    p.drawLine(nodes[0], nodes[3]);
    p.setBrush(QColor(255, 0, 0));
    p.drawEllipse(nodes[0], 12, 12);
    p.setBrush(Qt::white);
    for (int i = 1; i < 4; i++) p.drawEllipse(nodes[i], 9, 9);
    QFont font("Arial");
    font.setPixelSize(36);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(40, 40, 40));
    p.drawText(QRect(150, 40, 200, 50), Qt::AlignLeft | Qt::AlignVCenter, "Vantlow");
    font.setPixelSize(13);
    font.setBold(false);
    p.setFont(font);
    p.drawText(QRect(150, 90, 200, 30), Qt::AlignLeft | Qt::AlignVCenter, "Web sites as graphs");
    p.end();
    return image;
}
