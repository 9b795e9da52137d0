#include "ui/Twips.h"

#include <QLabel>
#include <cmath>

namespace kr {

int twips(int value)
{
    return int(std::lround(value / 15.0));
}

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

void placeLabel(QLabel* label, const QRect& where, Qt::Alignment horizontal)
{
    label->setAlignment((horizontal & Qt::AlignHorizontal_Mask) | Qt::AlignTop);
    label->setGeometry(where);
}

} // namespace kr
