#include "online/PictureButton.h"

#include <QMouseEvent>
#include <QPainter>

namespace kr {

PictureButton::PictureButton(const QString& text, QWidget* parent) : QWidget(parent), m_text(text)
{
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(text);
}

void PictureButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const QColor face = m_pressed ? QColor(0x9C, 0xE0, 0xEC) : QColor(0xC8, 0xF4, 0xFA);
    p.setPen(QPen(QColor(0x4A, 0x8C, 0x9A), 1));
    p.setBrush(face);
    p.drawRoundedRect(r, 8, 8);
    // The dark dot on the left.
    const qreal d = 6;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x20, 0x20, 0x40));
    p.drawEllipse(QRectF(7, (height() - d) / 2.0, d, d));
    QFont f = font();
    f.setFamily(QStringLiteral("MS Sans Serif"));
    f.setPointSizeF(8.25);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::black);
    p.drawText(QRectF(16, 0, width() - 20, height()), Qt::AlignCenter, m_text);
}

void PictureButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_pressed = true;
    update();
}

void PictureButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_pressed)
        return;
    m_pressed = false;
    update();
    if (rect().contains(event->position().toPoint()))
        emit clicked();
}

} // namespace kr
