#pragma once
// What the Wayland benchmarks type and how they see it arrive: a native
// terminal writes every byte it receives to $KR_TYPED_FILE.
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QThread>

namespace kr::bench {

// The README's 40-character login, half of it off a US layout.
inline const QString LoginUser =
    QStringLiteral(u"J\u00f6rg.\u00c9m\u00efl\u00e9-202\u00df\u20ac\u0436\u0434\u0444\u03b1");
inline const QString LoginPassword =
    QStringLiteral(u"Pa1!\u03b2\u03b3\u03b4\u03b5\u03b6\u03b7\u03b8x{}%9q\u0153\u00e7\u2603");

inline qint64 typedSize()
{
    return QFile(qEnvironmentVariable("KR_TYPED_FILE")).size();
}

// What the terminal wrote after `from` bytes, once a line is complete
// (empty after 10 s without one).
inline QString waitForLine(qint64 from)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000) {
        QFile file(qEnvironmentVariable("KR_TYPED_FILE"));
        if (file.open(QIODevice::ReadOnly) && file.seek(from)) {
            const QByteArray bytes = file.readAll();
            if (bytes.endsWith('\n'))
                return QString::fromUtf8(bytes);
        }
        QThread::usleep(500);
    }
    return {};
}

} // namespace kr::bench
