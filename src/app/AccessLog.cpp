#include "app/AccessLog.h"

#include "common/TextFiles.h"

#include <QLocale>
#include <QRegularExpression>

namespace kr {

QString logPath()
{
    return AppDir() + QStringLiteral("Logz.ini");
}

namespace {

QString timeText(const QTime& time)
{
    // The system's long time format without its time-zone part.
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("\\s*t+")));
    format = format.trimmed();
    if (format.isEmpty())
        format = QStringLiteral("HH:mm:ss");
    return QLocale::system().toString(time, format);
}

QString datePieces(const QDateTime& when)
{
    const QDate date = when.date();
    return QString::number(date.day()) + QLatin1Char(' ') +
           QLocale::system().monthName(date.month(), QLocale::LongFormat) + QStringLiteral("  a : ") +
           timeText(when.time());
}

} // namespace

QString gateLeftEntry(const QDateTime& when)
{
    return QStringLiteral("Il a Ouvert Le Prog Sans Metre De MDP Le : ") + datePieces(when) +
           QStringLiteral("\r\n");
}

QString refusedPasswordEntry(const QDateTime& when)
{
    // The same whatever was typed: neither the text nor its length shows.
    return QStringLiteral("Tentative d'acces Le : ") + datePieces(when) +
           QStringLiteral("  :  Essai Avec Le Mot de Pass : ********\r\n");
}

bool AppendLogEntry(const QString& entry)
{
    const QString old = ReadTextFile(logPath()).text;
    return WriteTextFile(logPath(), old + entry, FileAccess::OwnerOnly);
}

bool EraseLog()
{
    return WriteTextFile(logPath(), QString(), FileAccess::OwnerOnly);
}

} // namespace kr
