#include "app/ClipboardGuard.h"

#include "platform/Platform.h"

#include <QCryptographicHash>

namespace kr {
namespace {

QByteArray digestOf(const QString& text)
{
    return QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256);
}

} // namespace

ClipboardGuard::ClipboardGuard()
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(DefaultDelayMs);
    connect(&m_timer, &QTimer::timeout, this, &ClipboardGuard::expire);
}

void ClipboardGuard::copySecret(IClipboard& clipboard, const QString& text)
{
    clipboard.clear();
    clipboard.setText(text, true);
    m_clipboard = &clipboard;
    m_digest = digestOf(text);
    m_timer.start();
}

void ClipboardGuard::expire()
{
    m_timer.stop();
    if (!m_clipboard || m_digest.isEmpty())
        return;
    const std::optional<QString> now = m_clipboard->text();
    // Something the user copied since stays where it is.
    if (now && digestOf(*now) == m_digest)
        m_clipboard->clear();
    m_digest.clear();
}

} // namespace kr
