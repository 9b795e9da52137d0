#pragma once
#include <QRect>
#include <Qt>

class QLabel;

namespace kr {

// Window layouts are given in twips, at 15 twips per pixel.
int twips(int value);
QRect twipsRect(int left, int top, int width, int height);

// Puts a label of such a layout at its place. Its text starts at the top of its
// box, as labels of the classic toolkit draw, so a text taller than the box is
// cut at the bottom only; horizontal: left, centre or right.
void placeLabel(QLabel* label, const QRect& where, Qt::Alignment horizontal = Qt::AlignLeft);

} // namespace kr
