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

// The mandatory update check. Loading the window starts it, hidden: it asks
// the vendor's version service and, when another version is announced, closes
// every other window and shows itself blinking with the three picture buttons.
// Any failure ends the check silently.
class Ajour final : public Form {
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
    QFrame* fraMise() const { return m_fraMise; }
    QLabel* lblVer() const { return m_lblVer; }
    QLabel* lblNewVer() const { return m_lblNewVer; }
    QPlainTextEdit* Text2() const { return m_Text2; }
    QTimer* Timer2() const { return m_Timer2; }
    PictureButton* ImaAide() const { return m_ImaAide; }
    PictureButton* ImaSiteWeb() const { return m_ImaSiteWeb; }
    PictureButton* ImaDownload() const { return m_ImaDownload; }
    QString newVer() const { return m_newVer; }
    const ReplyBuffer& replyBuffer() const { return m_VERR; }

protected:
    std::unique_ptr<QWidget> createWidget() override;
    void onLoad() override;
    void onUnload() override;
    void onDestroyed() override;

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

    QPointer<QFrame> m_fraMise;
    QPointer<QLabel> m_lblVer;
    QPointer<QLabel> m_lblNewVer;
    QPointer<QPlainTextEdit> m_Text2;
    QPointer<QTimer> m_Timer2;
    QPointer<QTimer> m_aloneWatch;
    QPointer<PictureButton> m_ImaAide;
    QPointer<PictureButton> m_ImaSiteWeb;
    QPointer<PictureButton> m_ImaDownload;
};

} // namespace kr
