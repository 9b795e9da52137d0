#pragma once
#include "ui/Form.h"

#include <QPointer>
#include <functional>

class QLabel;
class QPushButton;

namespace kr {

// The controls of the toolbar tutorial, by their names.
struct AddIeControls {
    QPointer<QLabel> page1;
    QPointer<QLabel> page2;
    QPointer<QPushButton> next;
};

// The tutorial: two pages of one picture each, showing how the user puts the
// registered button into the browser's toolbar. The main window is minimised
// while it is open; closing it, by any path, restores the main window.
class frmAddIe final : public FormOf<AddIeControls> {
    Q_OBJECT
public:
    // mainWindow: the main window's widget, nullptr when it is not loaded.
    explicit frmAddIe(std::function<QWidget*()> mainWindow, QObject* parent = nullptr);

    // Switches between the pages; the caption tells which one is shown.
    void CmdAfter_Click();

    // The controls; touching them loads the window.
    QLabel* imaAddIE1();
    QLabel* imaAddIE2();
    QPushButton* CmdAfter();

protected:
    std::unique_ptr<QWidget> createWidget() override;
    void onUnload() override;

private:
    std::function<QWidget*()> m_mainWindow;
};

} // namespace kr
