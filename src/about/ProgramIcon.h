#pragma once
#include <QIcon>
#include <QImage>
#include <QList>

namespace kr {

// The sizes drawn for the program's icon, in ICON.ico and in programIcon().
QList<int> programIconSizes();

// The program's icon: a gold padlock with a red body, on a transparent ground.
// Drawn in code so the windows and the icon file share one artwork. Needs no
// QGuiApplication (no text is drawn), so the build tool can call it.
QImage programIconImage(int size);

// The same artwork in every size of programIconSizes(), for window icons.
QIcon programIcon();

} // namespace kr
