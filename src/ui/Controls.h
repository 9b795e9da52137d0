#pragma once
#include <QCheckBox>
#include <QLabel>
#include <QString>

class QLineEdit;

namespace kr {

// A check box that the user switches between ticked and not ticked only; the
// greyed state can come from the settings file alone.
class TwoStateCheckBox final : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override;
};

// Check-box states as the settings file writes them: 0, 1 and 2 (greyed).
int checkValue(const QCheckBox* box);
void setCheckValue(QCheckBox* box, int value);

// A password box masked with "*", as every password box of the program.
QLineEdit* passwordBox(QWidget* parent, const QString& name);
// Overwrites the box's text where it lies (and every copy that shares it), then empties it.
void wipeBox(QLineEdit* box);

// Fills a text box as the program does, showing the text's beginning: a
// value longer than the box shows "andré.dupont@exem", not its end.
void setBoxText(QLineEdit* box, const QString& text);

// Gives a control its name (the one tests and messages use) and its tool tip.
template <typename T> T* named(T* w, const QString& name, const QString& toolTip = QString())
{
    w->setObjectName(name);
    if (!toolTip.isEmpty())
        w->setToolTip(toolTip);
    return w;
}

inline QLabel* label(QWidget* parent, const QString& text, const QString& name,
                     const QString& toolTip = QString())
{
    return named(new QLabel(text, parent), name, toolTip);
}

} // namespace kr
