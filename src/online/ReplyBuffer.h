#pragma once
#include "common/AnsiCodePage.h"

#include <QByteArray>
#include <QString>

namespace kr {

// Collects a server's reply up to a bound; a longer reply is unusable and is
// not kept, so a hostile or broken server cannot fill the memory.
class ReplyBuffer {
public:
    static constexpr qsizetype kDefaultLimit = qsizetype{1024} * 1024;

    explicit ReplyBuffer(qsizetype limit = kDefaultLimit) : m_limit(limit) {}

    // False once the bound is passed; the buffer is then emptied.
    bool append(const QByteArray& piece)
    {
        if (m_overflowed)
            return false;
        if (m_bytes.size() + piece.size() > m_limit) {
            m_overflowed = true;
            m_bytes.clear();
            m_bytes.squeeze();
            return false;
        }
        m_bytes += piece;
        return true;
    }
    void clear()
    {
        m_bytes.clear();
        m_overflowed = false;
    }
    bool isEmpty() const { return m_bytes.isEmpty(); }
    bool overflowed() const { return m_overflowed; }
    const QByteArray& bytes() const { return m_bytes; }
    // The reply read as text in the vendor's code page, one byte per character.
    QString text() const { return fromAnsi(m_bytes); }

private:
    qsizetype m_limit;
    QByteArray m_bytes;
    bool m_overflowed = false;
};

} // namespace kr
