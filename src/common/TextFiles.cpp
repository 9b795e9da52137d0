#include "common/TextFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace kr {

bool ProgramFolderIsUserData()
{
#ifdef KEYROVIA_SYSTEM_INSTALL
    return true;
#else
    return false;
#endif
}

QString AppDir()
{
    QString dir = qEnvironmentVariable("KEYROVIA_APP_DIR");
    // Installed system-wide, the executable's folder is shared and read-only:
    // each user's vault, settings and log live in their own data folder, the
    // one a per-user install uses too.
    if (dir.isEmpty() && ProgramFolderIsUserData())
        dir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
              QStringLiteral("/keyrovia");
    if (dir.isEmpty())
        dir = QCoreApplication::applicationDirPath();
    if (dir.isEmpty())
        dir = QDir::currentPath();
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

QString ParseDelimitedItems(const QByteArray& bytes)
{
    const qsizetype n = bytes.size();
    qsizetype pos = 0;
    QString text;
    auto isLineEnd = [](char c) { return c == '\r' || c == '\n'; };
    // Consumes one delimiter (comma, CRLF, CR or LF) at pos, if there is one.
    auto skipDelimiter = [&] {
        if (pos >= n)
            return;
        if (bytes[pos] == ',' || bytes[pos] == '\n') {
            ++pos;
        } else if (bytes[pos] == '\r') {
            ++pos;
            if (pos < n && bytes[pos] == '\n')
                ++pos;
        }
    };

    while (pos < n) {
        while (pos < n && bytes[pos] == ' ')
            ++pos;
        QByteArray item;
        if (pos < n && bytes[pos] == '"') {
            ++pos;
            const qsizetype close = bytes.indexOf('"', pos);
            const qsizetype end = close < 0 ? n : close;
            item = bytes.mid(pos, end - pos);
            pos = close < 0 ? n : close + 1;
            // Whatever follows the closing quote up to the delimiter is dropped.
            while (pos < n && bytes[pos] != ',' && !isLineEnd(bytes[pos]))
                ++pos;
        } else {
            const qsizetype start = pos;
            while (pos < n && bytes[pos] != ',' && !isLineEnd(bytes[pos]))
                ++pos;
            item = bytes.mid(start, pos - start);
        }
        skipDelimiter();
        const QString value = QString::fromLocal8Bit(item);
        if (text.isEmpty())
            text = value;
        else
            text += QStringLiteral("\r\n") + value;
    }
    return text;
}

ReadResult ReadTextFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return {true, ParseDelimitedItems(file.readAll())};
}

bool WriteTextFile(const QString& path, const QString& text, FileAccess access)
{
    QSaveFile file(path);
    // A folder that takes no new file (read-only program folder) but holds a
    // writable file: write that file in place rather than lose the text.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (access == FileAccess::OwnerOnly)
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QByteArray bytes = text.toLocal8Bit();
    bytes += "\r\n";
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace kr
