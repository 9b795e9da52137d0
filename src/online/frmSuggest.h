#pragma once
#include "online/ReplyBuffer.h"
#include "online/VendorAddress.h"
#include "platform/Platform.h"
#include "ui/Form.h"

#include "online/SuggestTextBox.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <functional>

namespace kr {

// The suggestion sender: a message with an optional name and e-mail address,
// dated and sent to the vendor's suggestion service. The reply text collected
// so far (SuggestReply) belongs to the object and outlives the window.
class frmSuggest final : public Form {
    Q_OBJECT
public:
    // mainWindow: the main window's widget, nullptr when it is not loaded.
    // keepMainOnTop: whether its box "Visible" (chkParamTjsVisi) is ticked.
    frmSuggest(Platform& platform, std::function<QWidget*()> mainWindow, std::function<bool()> keepMainOnTop,
               QObject* parent = nullptr);
    ~frmSuggest() override;

    void cmdSend_Click();
    void lblSite_Click();

    QString SuggestReply() const { return m_SuggestReply.text(); }

    QLineEdit* txtName() const { return m_txtName; }
    QLineEdit* txtEmail() const { return m_txtEmail; }
    SuggestTextBox* txtInfo() const { return m_txtInfo; }
    QPushButton* cmdSend() const { return m_cmdSend; }
    QLabel* lblSite() const { return m_lblSite; }

protected:
    std::unique_ptr<QWidget> createWidget() override;
    void onLoad() override;
    void onUnload() override;
    void onDestroyed() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void wskSuggest_Connect();
    void wskSuggest_DataArrival();
    void wskSuggest_Close();
    void wskSuggest_Error();
    bool filterKey(QObject* box, QKeyEvent* key);
    void filterCommit(QObject* box, QInputMethodEvent* event);
    QString allowedChars(QObject* box) const;
    void clearPlaceholder();
    void closeSocket();

    Platform& m_platform;
    std::function<QWidget*()> m_mainWindow;
    std::function<bool()> m_keepMainOnTop;
    std::unique_ptr<ITcpClient> m_wskSuggest;
    ReplyBuffer m_SuggestReply;
    VendorAddress m_vendor;

    QPointer<QLineEdit> m_txtName;
    QPointer<QLineEdit> m_txtEmail;
    QPointer<SuggestTextBox> m_txtInfo;
    QPointer<QPushButton> m_cmdSend;
    QPointer<QLabel> m_lblSite;
};

// The character code a key press gives a text box (Ctrl+letter as 1 to 26),
// or -1 for a key that types nothing (arrows, Tab, Delete, ...).
int keyAsciiOf(const QKeyEvent* key);

} // namespace kr
