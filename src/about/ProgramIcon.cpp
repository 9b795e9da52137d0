#include "about/ProgramIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>

namespace kr {
namespace {

const QColor kGoldLight(0xFF, 0xE0, 0x82);
const QColor kGold(0xE8, 0xB0, 0x2A);
const QColor kGoldDark(0x9A, 0x6A, 0x0C);
const QColor kRedLight(0xE8, 0x4A, 0x3C);
const QColor kRed(0xB8, 0x1C, 0x1C);
const QColor kRedDark(0x6E, 0x0C, 0x10);

} // namespace

QList<int> programIconSizes()
{
    return {16, 32, 48, 256};
}

QImage programIconImage(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // The artwork is laid out on a 256 x 256 grid and scaled, so every size
    // shows the same shapes.
    p.scale(size / 256.0, size / 256.0);
    // Small sizes get thicker strokes, or the shackle fades to a hairline.
    const qreal boost = size <= 16 ? 1.35 : (size <= 32 ? 1.15 : 1.0);

    // Shackle: a thick gold arch standing on the body.
    QPainterPath shackle;
    shackle.moveTo(76, 124);
    shackle.lineTo(76, 84);
    shackle.arcTo(QRectF(76, 24, 104, 120), 180, -180);
    shackle.lineTo(180, 124);
    QLinearGradient shackleGrad(60, 0, 196, 0);
    shackleGrad.setColorAt(0.0, kGoldDark);
    shackleGrad.setColorAt(0.35, kGoldLight);
    shackleGrad.setColorAt(0.65, kGold);
    shackleGrad.setColorAt(1.0, kGoldDark);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QBrush(kGoldDark), 34 * boost, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    p.drawPath(shackle);
    p.setPen(QPen(QBrush(shackleGrad), 26 * boost, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    p.drawPath(shackle);

    // Body: a red block with a gold rim.
    const QRectF body(36, 112, 184, 136);
    QLinearGradient bodyGrad(0, body.top(), 0, body.bottom());
    bodyGrad.setColorAt(0.0, kRedLight);
    bodyGrad.setColorAt(0.55, kRed);
    bodyGrad.setColorAt(1.0, kRedDark);
    p.setPen(QPen(kGold, 12 * boost));
    p.setBrush(bodyGrad);
    p.drawRoundedRect(body, 28, 28);

    // A soft highlight across the top of the body.
    if (size >= 32) {
        QLinearGradient shine(0, body.top(), 0, body.top() + 60);
        shine.setColorAt(0.0, QColor(255, 255, 255, 90));
        shine.setColorAt(1.0, QColor(255, 255, 255, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(shine);
        p.drawRoundedRect(body.adjusted(12, 10, -12, -70), 18, 18);
    }

    // Keyhole in gold.
    QRadialGradient holeGrad(128, 168, 30);
    holeGrad.setColorAt(0.0, kGoldLight);
    holeGrad.setColorAt(1.0, kGold);
    p.setPen(Qt::NoPen);
    p.setBrush(holeGrad);
    QPainterPath keyhole;
    keyhole.addEllipse(QPointF(128, 166), 22 * boost, 22 * boost);
    QPainterPath slot;
    slot.moveTo(128 - 9 * boost, 172);
    slot.lineTo(128 + 9 * boost, 172);
    slot.lineTo(128 + 16 * boost, 224);
    slot.lineTo(128 - 16 * boost, 224);
    slot.closeSubpath();
    p.drawPath(keyhole.united(slot));
    p.end();

    return image;
}

QIcon programIcon()
{
    QIcon icon;
    for (int size : programIconSizes())
        icon.addPixmap(QPixmap::fromImage(programIconImage(size)));
    return icon;
}

} // namespace kr
