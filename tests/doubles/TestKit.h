#pragma once
// Small helpers that many tests share: rows of texts, registry text data, the
// browser's extensions key, files read and written whole, PARAM.ini, private
// folders and copied executables, file modes.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTest>

#include <initializer_list>

#include <sys/stat.h>

namespace kr::test {

// A data row whose columns are all texts, in column order.
inline void textRow(const char* name, std::initializer_list<QString> texts)
{
    QTestData& row = QTest::newRow(name);
    for (const QString& text : texts)
        row << text;
}

// The key under which browser toolbar buttons are registered.
inline const QString kExtensionsKey = QStringLiteral("Software\\Microsoft\\Internet Explorer\\Extensions");

// Text data as the registry stores it: local 8-bit with its terminating NUL.
inline QByteArray sz(const QString& text)
{
    return text.toLocal8Bit() + QByteArray(1, '\0');
}

// A folder only its owner may enter (as XDG_RUNTIME_DIR must be), with the
// extra permissions given.
inline bool makePrivateFolder(const QString& path, QFileDevice::Permissions extra = {})
{
    return QDir().mkpath(path) &&
           QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ExeOwner | extra);
}

inline QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// PARAM.ini with the three settings, as the program writes it.
inline QByteArray paramIni(int afficherIE, int tjsVisible, int recupAuto)
{
    return QStringLiteral("%%AFFICHERIE%%=%1=%%ENDAFFICHERIE%%\r\n%%TJSVISIBLE%%=%2=%%ENDTJSVISIBLE%%\r\n"
                          "%%RECUPAUTO%%=%3=%%ENDRECUPAUTO%%\r\n\r\n")
        .arg(afficherIE)
        .arg(tjsVisible)
        .arg(recupAuto)
        .toLatin1();
}

// Copies an executable, keeping it executable.
inline bool copyExecutable(const QString& from, const QString& to)
{
    return QFile::copy(from, to) && QFile::setPermissions(to, QFile::permissions(from));
}

// Permission bits, or -1 when there is no file.
inline int fileMode(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

} // namespace kr::test
