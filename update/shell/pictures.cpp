#include "update/shell/pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace ckupdate {
namespace {

QPixmap Canvas(int size) {
    QPixmap p(size, size);
    p.fill(Qt::transparent);
    return p;
}

// A lamp: a dark ring with a lit, shaded disc inside.
void DrawLamp(QPainter& g, const QRectF& r, const QColor& lit) {
    g.setPen(Qt::NoPen);
    g.setBrush(QColor(40, 40, 40));
    g.drawEllipse(r);
    const QRectF disc = r.adjusted(r.width() * 0.08, r.height() * 0.08, -r.width() * 0.08, -r.height() * 0.08);
    QRadialGradient shade(disc.center() - QPointF(disc.width() * 0.18, disc.height() * 0.18), disc.width() * 0.7);
    shade.setColorAt(0.0, lit.lighter(160));
    shade.setColorAt(1.0, lit.darker(115));
    g.setBrush(shade);
    g.drawEllipse(disc);
}

}  // namespace

QPixmap DrawStepPicture(StepPicture picture, int size) {
    QPixmap p = Canvas(size);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    const QRectF r(0.5, 0.5, size - 1.0, size - 1.0);
    const double s = size;
    QPen mark(Qt::white, s * 0.11, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    switch (picture) {
        case StepPicture::Wait: {
            DrawLamp(g, r, QColor(245, 176, 0));
            // A clock: the face and two hands.
            g.setPen(QPen(Qt::white, s * 0.08));
            g.setBrush(Qt::NoBrush);
            g.drawEllipse(r.center(), s * 0.24, s * 0.24);
            g.setPen(mark);
            g.drawLine(r.center(), r.center() + QPointF(0, -s * 0.16));
            g.drawLine(r.center(), r.center() + QPointF(s * 0.12, 0));
            break;
        }
        case StepPicture::Go: {
            DrawLamp(g, r, QColor(30, 170, 60));
            g.setPen(mark);
            QPainterPath tick;
            tick.moveTo(s * 0.30, s * 0.52);
            tick.lineTo(s * 0.44, s * 0.66);
            tick.lineTo(s * 0.71, s * 0.36);
            g.drawPath(tick);
            break;
        }
        case StepPicture::Stop: {
            DrawLamp(g, r, QColor(215, 35, 35));
            g.setPen(mark);
            g.drawLine(QPointF(s * 0.34, s * 0.34), QPointF(s * 0.66, s * 0.66));
            g.drawLine(QPointF(s * 0.66, s * 0.34), QPointF(s * 0.34, s * 0.66));
            break;
        }
    }
    return p;
}

namespace {

// A stylised tooth in the square (x, y, w).
QPainterPath Tooth(double x, double y, double w) {
    QPainterPath t;
    t.moveTo(x + w * 0.50, y + w * 0.16);
    t.cubicTo(x + w * 0.62, y + w * 0.06, x + w * 0.90, y + w * 0.06, x + w * 0.90, y + w * 0.34);
    t.cubicTo(x + w * 0.90, y + w * 0.56, x + w * 0.78, y + w * 0.62, x + w * 0.74, y + w * 0.92);
    t.cubicTo(x + w * 0.72, y + w * 0.98, x + w * 0.64, y + w * 0.98, x + w * 0.62, y + w * 0.90);
    t.cubicTo(x + w * 0.58, y + w * 0.72, x + w * 0.55, y + w * 0.64, x + w * 0.50, y + w * 0.64);
    t.cubicTo(x + w * 0.45, y + w * 0.64, x + w * 0.42, y + w * 0.72, x + w * 0.38, y + w * 0.90);
    t.cubicTo(x + w * 0.36, y + w * 0.98, x + w * 0.28, y + w * 0.98, x + w * 0.26, y + w * 0.92);
    t.cubicTo(x + w * 0.22, y + w * 0.62, x + w * 0.10, y + w * 0.56, x + w * 0.10, y + w * 0.34);
    t.cubicTo(x + w * 0.10, y + w * 0.06, x + w * 0.38, y + w * 0.06, x + w * 0.50, y + w * 0.16);
    t.closeSubpath();
    return t;
}

// A round badge with a downward arrow: "new firmware goes in".
void DrawArrowBadge(QPainter& g, const QPointF& centre, double radius) {
    g.setPen(QPen(Qt::white, radius * 0.16));
    g.setBrush(QColor(30, 170, 60));
    g.drawEllipse(centre, radius, radius);
    QPen arrow(Qt::white, radius * 0.26, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    g.setPen(arrow);
    g.drawLine(centre + QPointF(0, -radius * 0.50), centre + QPointF(0, radius * 0.45));
    QPainterPath head;
    head.moveTo(centre + QPointF(-radius * 0.42, radius * 0.08));
    head.lineTo(centre + QPointF(0, radius * 0.50));
    head.lineTo(centre + QPointF(radius * 0.42, radius * 0.08));
    g.setBrush(Qt::NoBrush);
    g.drawPath(head);
}

void DrawIcon(QPainter& g, double s) {
    g.setRenderHint(QPainter::Antialiasing);
    QLinearGradient back(0, 0, 0, s);
    back.setColorAt(0.0, QColor(44, 127, 208));
    back.setColorAt(1.0, QColor(24, 79, 150));
    g.setPen(Qt::NoPen);
    g.setBrush(back);
    g.drawRoundedRect(QRectF(s * 0.03, s * 0.03, s * 0.94, s * 0.94), s * 0.18, s * 0.18);
    g.setBrush(QColor(250, 246, 232));
    g.setPen(QPen(QColor(214, 200, 160), s * 0.02));
    g.drawPath(Tooth(s * 0.10, s * 0.10, s * 0.66));
    DrawArrowBadge(g, QPointF(s * 0.72, s * 0.72), s * 0.19);
}

}  // namespace

QPixmap DrawUpdateButtonPicture(int size) {
    QPixmap p = Canvas(size);
    QPainter g(&p);
    DrawIcon(g, size);
    return p;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap p = Canvas(size);
        QPainter g(&p);
        DrawIcon(g, size);
        g.end();
        icon.addPixmap(p);
    }
    return icon;
}

}  // namespace ckupdate
