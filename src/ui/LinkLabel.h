#pragma once
#include <QLabel>

namespace kr {

// A label shown as a web link: blue text on a transparent ground and a hand
// cursor. It is clicked like a button: the left button pressed on it and
// released on it; other buttons, and a press released elsewhere, do nothing.
class LinkLabel final : public QLabel {
    Q_OBJECT
public:
    explicit LinkLabel(const QString& text, QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_pressed = false;
};

} // namespace kr
