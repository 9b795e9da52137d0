#pragma once

class QWidget;

namespace kr {

// Places a top-level window above all non-topmost windows, or back among them,
// keeping its position, size and visibility.
void SetAlwaysOnTop(QWidget* window);
void ClearAlwaysOnTop(QWidget* window);
bool IsAlwaysOnTop(const QWidget* window);

} // namespace kr
