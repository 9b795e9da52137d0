#include "ui/WindowOrder.h"

#include <QWidget>
#include <QWindow>

namespace kr {

void SetTopmost(QWidget* window, bool on)
{
    if (!window)
        return;
    QWidget* top = window->window();
    if (QWindow* handle = top->windowHandle()) {
        // Changing the flag on the native window updates the window manager's
        // state in place; QWidget::setWindowFlag would hide and re-create it.
        handle->setFlag(Qt::WindowStaysOnTopHint, on);
        return;
    }
    top->setWindowFlag(Qt::WindowStaysOnTopHint, on);
}

void SetAlwaysOnTop(QWidget* window)
{
    SetTopmost(window, true);
}

void ClearAlwaysOnTop(QWidget* window)
{
    SetTopmost(window, false);
}

bool IsAlwaysOnTop(const QWidget* window)
{
    if (!window)
        return false;
    const QWidget* top = window->window();
    if (const QWindow* handle = top->windowHandle())
        return handle->flags().testFlag(Qt::WindowStaysOnTopHint);
    return top->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

} // namespace kr
