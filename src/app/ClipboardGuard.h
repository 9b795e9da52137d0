#pragma once
#include <QByteArray>
#include <QObject>
#include <QTimer>

namespace kr {

class IClipboard;

// A password put on the clipboard goes away again after a while, unless the
// user has copied something else meanwhile. Only a digest of it is kept here.
class ClipboardGuard final : public QObject {
    Q_OBJECT
public:
    static constexpr int DefaultDelayMs = 10000;

    ClipboardGuard();

    // Empties the clipboard, puts the text on it marked as a secret, and arms
    // the clearing.
    void copySecret(IClipboard& clipboard, const QString& text);

    int delayMs() const { return m_timer.interval(); }
    void setDelayMs(int ms) { m_timer.setInterval(ms); }
    bool isArmed() const { return m_timer.isActive(); }

    // Clears the clipboard now if it still holds the copied text.
    void expire();

private:
    QTimer m_timer;
    IClipboard* m_clipboard = nullptr;
    QByteArray m_digest;
};

} // namespace kr
