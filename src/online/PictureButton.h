#pragma once
#include <QRect>
#include <QWidget>

namespace kr {

// A picture used as a button: a pale cyan rounded button with black text and a
// small dark dot on its left, a hand cursor, and a click on release inside it.
class PictureButton final : public QWidget {
    Q_OBJECT
public:
    PictureButton(const QString& text, QWidget* parent);
    QString text() const { return m_text; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString m_text;
    bool m_pressed = false;
};

} // namespace kr
