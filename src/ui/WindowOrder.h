#pragma once

class QWidget;

namespace kr {

// Places a top-level window above all non-topmost windows, or back among them,
// keeping its position, size and visibility.
void SetAlwaysOnTop(QWidget* window);
void ClearAlwaysOnTop(QWidget* window);
// SetAlwaysOnTop when on, ClearAlwaysOnTop otherwise. A null window is left alone.
void SetTopmost(QWidget* window, bool on);
bool IsAlwaysOnTop(const QWidget* window);

} // namespace kr
