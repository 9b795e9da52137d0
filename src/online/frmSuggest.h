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

// The controls of the suggestion window, by their names.
struct SuggestControls {
    QPointer<QLineEdit> txtName;
    QPointer<QLineEdit> txtEmail;
    QPointer<SuggestTextBox> txtInfo;
    QPointer<QPushButton> cmdSend;
    QPointer<QLabel> lblSite;
};

// The suggestion sender: a message with an optional name and e-mail address,
// dated and sent to the vendor's suggestion service. The reply text collected
// so far (SuggestReply) belongs to the object and outlives the window.
class frmSuggest final : public FormOf<SuggestControls> {
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

    QLineEdit* txtName() const { return m_ui.txtName; }
    QLineEdit* txtEmail() const { return m_ui.txtEmail; }
    SuggestTextBox* txtInfo() const { return m_ui.txtInfo; }
    QPushButton* cmdSend() const { return m_ui.cmdSend; }
    QLabel* lblSite() const { return m_ui.lblSite; }

protected:
    std::unique_ptr<QWidget> createWidget() override;
    void onLoad() override;
    void onUnload() override;
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
};

// The character code a key press gives a text box (Ctrl+letter as 1 to 26),
// or -1 for a key that types nothing (arrows, Tab, Delete, ...).
int keyAsciiOf(const QKeyEvent* key);

} // namespace kr
