#pragma once
#include "platform/Platform.h"
#include "ui/Form.h"

#include <QPointer>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kr {

// The controls of the About window, by their names.
struct AboutControls {
    QPointer<QLineEdit> txtProg;
    QPointer<QLineEdit> txtVersion;
    QPointer<QLineEdit> txtComments;
    QPointer<QPushButton> cmdQuit;
    QPointer<QLabel> lblQuillmark;
    QPointer<QLabel> lblSite;
};

// The About window: the program's name, version and version comment, a short
// presentation, the maker's name and the vendor web site, which both links open.
// While it is open the main window loses its topmost state; on unloading the
// main window gets back what its "Visible" box asks for.
class frmAbout : public FormOf<AboutControls> {
    Q_OBJECT
public:
    // mainWindow: the main window's widget, nullptr when it is not loaded (it is
    // never loaded from here). keepMainOnTop: whether the main window's box
    // "Visible" (chkParamTjsVisi) is ticked.
    frmAbout(Platform& platform, std::function<QWidget*()> mainWindow, std::function<bool()> keepMainOnTop,
             QObject* parent = nullptr);

protected:
    std::unique_ptr<QWidget> createWidget() override;
    void onLoad() override;
    void onUnload() override;

private:
    void cmdQuit_Click();
    void lblSite_Click();
    void lblQuillmark_Click();
    void openSite();

    Platform& m_platform;
    std::function<QWidget*()> m_mainWindow;
    std::function<bool()> m_keepMainOnTop;
};

} // namespace kr
