#pragma once
#include "online/ReplyBuffer.h"
#include "online/VendorAddress.h"
#include "platform/Platform.h"
#include "ui/Form.h"

#include "online/PictureButton.h"

#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>
#include <functional>

namespace kr {

// The controls of the update window, by their names.
struct AjourControls {
    QPointer<QFrame> fraMise;
    QPointer<QLabel> lblVer;
    QPointer<QLabel> lblNewVer;
    QPointer<QPlainTextEdit> Text2;
    QPointer<QTimer> Timer2;
    QPointer<QTimer> aloneWatch;
    QPointer<PictureButton> ImaAide;
    QPointer<PictureButton> ImaSiteWeb;
    QPointer<PictureButton> ImaDownload;
};

// The mandatory update check. Loading the window starts it, hidden: it asks
// the vendor's version service and, when another version is announced, closes
// every other window and shows itself blinking with the three picture buttons.
// Any failure ends the check silently.
class Ajour final : public FormOf<AjourControls> {
    Q_OBJECT
public:
    // closeOtherWindows: FermerMain, which unloads every other window.
    Ajour(Platform& platform, std::function<void()> closeOtherWindows, QObject* parent = nullptr);
    ~Ajour() override;

    // A check whose server neither answers nor closes gets this much more time
    // once it is the program's only loaded window.
    static constexpr int kAloneGraceMs = 10000;
    void setAloneGraceMs(int ms) { m_aloneGraceMs = ms; }

    // Handlers of the picture buttons and the blink timer.
    void ImaAide_Click();
    void ImaDownload_Click();
    void ImaSiteWeb_Click();
    void Timer2_Timer();

    // The controls, for whoever looks at the window.
    QFrame* fraMise() const { return m_ui.fraMise; }
    QLabel* lblVer() const { return m_ui.lblVer; }
    QLabel* lblNewVer() const { return m_ui.lblNewVer; }
    QPlainTextEdit* Text2() const { return m_ui.Text2; }
    QTimer* Timer2() const { return m_ui.Timer2; }
    PictureButton* ImaAide() const { return m_ui.ImaAide; }
    PictureButton* ImaSiteWeb() const { return m_ui.ImaSiteWeb; }
    PictureButton* ImaDownload() const { return m_ui.ImaDownload; }
    QString newVer() const { return m_newVer; }
    const ReplyBuffer& replyBuffer() const { return m_VERR; }

protected:
    std::unique_ptr<QWidget> createWidget() override;
    void onLoad() override;
    void onUnload() override;

private:
    void Winsock1_Connect();
    void Winsock1_DataArrival();
    void Winsock1_Close();
    void Winsock1_Error();
    void endCheck();
    void showMandatoryUpdate(const QString& newVersion, const QString& information);
    void leaveAndOpen(const QString& text, const QString& page);
    void setBackColor(int color);
    void watchAlone();

    Platform& m_platform;
    std::function<void()> m_closeOtherWindows;
    std::unique_ptr<ITcpClient> m_Winsock1;
    ReplyBuffer m_VERR;
    QString m_newVer;
    VendorAddress m_vendor;
    int m_backColor = 0;
    int m_aloneGraceMs = kAloneGraceMs;
    QElapsedTimer m_aloneSince;
};

} // namespace kr
