#include "update/documents/about_pictures.h"

#include "update/widgets/layout_font.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <array>

namespace ckupdate {
namespace {

const QColor kBrand(244, 15, 96);
const QColor kInk(40, 44, 52);

QFont PictureFont(int pixelSize, bool bold) { return LayoutFont(QStringLiteral("Arial"), pixelSize, bold); }

// The font at most pixelSize high in which the text fits the width (the
// fallback fonts of a system without Arial are wider).
QFont FittingFont(const QString& text, double width, int pixelSize, bool bold) {
    QFont font = PictureFont(pixelSize, bold);
    while (pixelSize > 6 && QFontMetricsF(font).horizontalAdvance(text) > width) font = PictureFont(--pixelSize, bold);
    return font;
}

// A tooth-shaped shade tab: a rounded crown on a short grip.
void DrawShadeTab(QPainter& p, const QRectF& r, const QColor& shade) {
    QPainterPath crown;
    crown.moveTo(r.left() + r.width() * 0.12, r.top() + r.height() * 0.35);
    crown.cubicTo(r.left(), r.top() + r.height() * 0.75, r.left() + r.width() * 0.25, r.bottom(), r.center().x(),
                  r.bottom());
    crown.cubicTo(r.right() - r.width() * 0.25, r.bottom(), r.right(), r.top() + r.height() * 0.75,
                  r.right() - r.width() * 0.12, r.top() + r.height() * 0.35);
    crown.closeSubpath();
    const QRectF grip(r.left() + r.width() * 0.12, r.top(), r.width() * 0.76, r.height() * 0.38);

    QLinearGradient metal(grip.topLeft(), grip.topRight());
    metal.setColorAt(0, QColor(150, 155, 165));
    metal.setColorAt(0.5, QColor(225, 228, 232));
    metal.setColorAt(1, QColor(140, 145, 155));
    p.setPen(QPen(QColor(110, 115, 125), 1));
    p.setBrush(metal);
    p.drawRoundedRect(grip, 3, 3);

    QLinearGradient enamel(r.topLeft(), r.bottomLeft());
    enamel.setColorAt(0, shade.lighter(108));
    enamel.setColorAt(1, shade.darker(112));
    p.setPen(QPen(shade.darker(135), 1));
    p.setBrush(enamel);
    p.drawPath(crown);
}

}  // namespace

QPixmap MakerLogo() {
    QPixmap pixmap(88, 37);
    pixmap.fill(Qt::white);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    // A stylised facet mark beside the short name.
    QPainterPath mark;
    mark.moveTo(4, 6);
    mark.lineTo(16, 31);
    mark.lineTo(28, 6);
    mark.lineTo(22, 6);
    mark.lineTo(16, 19);
    mark.lineTo(10, 6);
    mark.closeSubpath();
    QLinearGradient g(4, 6, 28, 31);
    g.setColorAt(0, kBrand.lighter(120));
    g.setColorAt(1, kBrand.darker(120));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawPath(mark);

    p.setPen(kInk);
    p.setFont(FittingFont(QStringLiteral("Veltrona"), 55, 12, true));
    p.drawText(QRectF(32, 3, 56, 20), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Veltrona"));
    p.setPen(QColor(120, 124, 132));
    p.setFont(PictureFont(8, false));
    p.drawText(QRectF(32, 21, 56, 12), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("DENTAL"));
    return pixmap;
}

QPixmap ProductPicture() {
    QPixmap pixmap(425, 374);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    QRadialGradient backdrop(212, 150, 300);
    backdrop.setColorAt(0, QColor(255, 255, 255));
    backdrop.setColorAt(1, QColor(218, 224, 232));
    p.fillRect(pixmap.rect(), backdrop);

    // The instrument, tilted, its measuring head to the upper left.
    p.save();
    p.translate(230, 160);
    p.rotate(-28);

    // shadow
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawRoundedRect(QRectF(-128, -38, 270, 92), 40, 40);

    // neck and head
    QLinearGradient neck(0, -16, 0, 16);
    neck.setColorAt(0, QColor(210, 214, 220));
    neck.setColorAt(0.5, QColor(250, 250, 252));
    neck.setColorAt(1, QColor(170, 176, 186));
    p.setBrush(neck);
    p.setPen(QPen(QColor(120, 126, 136), 1.2));
    QPainterPath head;
    head.moveTo(-120, -14);
    head.lineTo(-190, -8);
    head.quadTo(-200, 0, -190, 8);
    head.lineTo(-120, 14);
    head.closeSubpath();
    p.drawPath(head);
    p.setBrush(QColor(60, 64, 72));
    p.drawEllipse(QPointF(-194, 0), 5, 9);

    // body
    QLinearGradient body(0, -44, 0, 44);
    body.setColorAt(0, QColor(96, 102, 114));
    body.setColorAt(0.45, QColor(58, 62, 72));
    body.setColorAt(1, QColor(30, 32, 38));
    p.setBrush(body);
    p.setPen(QPen(QColor(20, 22, 26), 1.5));
    p.drawRoundedRect(QRectF(-130, -44, 270, 88), 42, 42);

    // accent stripe
    p.setPen(Qt::NoPen);
    p.setBrush(kBrand);
    p.drawRoundedRect(QRectF(-112, 30, 230, 5), 2.5, 2.5);

    // display with a measured shade
    QLinearGradient screen(-60, -28, 40, 20);
    screen.setColorAt(0, QColor(20, 40, 60));
    screen.setColorAt(1, QColor(8, 16, 28));
    p.setBrush(screen);
    p.setPen(QPen(QColor(150, 156, 166), 1.5));
    p.drawRoundedRect(QRectF(-62, -28, 104, 50), 6, 6);
    p.setBrush(QColor(236, 226, 196));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(-54, -20, 30, 34), 4, 4);
    p.setPen(QColor(120, 230, 255));
    p.setFont(PictureFont(24, true));
    p.drawText(QRectF(-20, -24, 58, 42), Qt::AlignCenter, QStringLiteral("A2"));

    // measuring button
    QRadialGradient button(98, -14, 16);
    button.setColorAt(0, kBrand.lighter(140));
    button.setColorAt(1, kBrand.darker(130));
    p.setBrush(button);
    p.setPen(QPen(kBrand.darker(160), 1));
    p.drawEllipse(QPointF(98, -14), 13, 13);

    // name on the body
    p.setPen(QColor(220, 224, 230));
    p.setFont(FittingFont(QStringLiteral("Chromatik V"), 70, 10, true));
    p.drawText(QRectF(36, 4, 80, 16), Qt::AlignCenter, QStringLiteral("Chromatik V"));
    p.restore();

    // A row of shade tabs along the bottom.
    const std::array<QColor, 8> shades = {
        QColor(244, 238, 222), QColor(240, 228, 200), QColor(236, 220, 186), QColor(232, 212, 172),
        QColor(238, 226, 206), QColor(230, 214, 184), QColor(222, 204, 170), QColor(214, 194, 158),
    };
    for (std::size_t i = 0; i < shades.size(); ++i) {
        DrawShadeTab(p, QRectF(46 + static_cast<double>(i) * 42, 262, 34, 78), shades[i]);
    }
    return pixmap;
}

}  // namespace ckupdate
