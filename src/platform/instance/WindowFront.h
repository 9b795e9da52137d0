#pragma once

class QWidget;

namespace kr {

// Brings a shown top-level window to the front and gives it the keyboard, as
// the user's own request: restored when minimised, raised, activated. On X11
// the request goes to the window manager as a pager's (or, without one,
// straight to the server), so focus-stealing prevention does not hold back a
// window the user has just asked for by starting the program again.
void BringToFront(QWidget* window);

} // namespace kr
