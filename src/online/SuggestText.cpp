#include "online/SuggestText.h"

#include "common/AnsiCodePage.h"
#include "common/Strings.h"

namespace kr {
namespace {

const QString kLetters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");

} // namespace

QString nameKeyChars()
{
    return QStringLiteral(" ,.'1234567890") + kLetters + QStringLiteral("\r\n\r\n");
}

QString emailKeyChars()
{
    return QStringLiteral(" 1234567890") + kLetters + QStringLiteral("@.");
}

QString infoKeyChars()
{
    return QStringLiteral(" .,'1234567890") + kLetters + QStringLiteral("\r\n\r\n");
}

QString sendChars()
{
    return QStringLiteral(" .'1234567890") + kLetters + QStringLiteral("\r\n\r\n");
}

QString suggestPlaceholder()
{
    return QStringLiteral("Écriver votre Texte Ici\r\n");
}

bool keyPasses(int keyAscii, const QString& allowed)
{
    switch (keyAscii) {
    case 3:
    case 8:
    case 22:
    case 24:
    case 26:
        return true;
    default:
        break;
    }
    if (keyAscii <= 0 || keyAscii > 0xFFFF)
        return false;
    return allowed.contains(QChar(static_cast<char16_t>(keyAscii)));
}

QString StrForceChange(QString& str)
{
    // Removing the first stranger and scanning again from the start leaves
    // exactly the characters of the set, in order: one pass does the same.
    const QString allowed = sendChars();
    QString kept;
    kept.reserve(str.size());
    for (const QChar c : std::as_const(str)) {
        if (allowed.contains(c))
            kept.append(c);
    }
    str = kept;
    return str;
}

QString ReplaceString(QString sTarget, const QString& sSearch, const QString& sNew)
{
    if (sSearch.isEmpty())
        return sTarget;
    // After a replacement, a new occurrence can only start where the joined
    // text begins to differ: from one search length before the new piece.
    // A replacement that holds what it replaces is stepped over, so the loop ends.
    const bool selfContaining = sNew.contains(sSearch);
    qsizetype at = sTarget.indexOf(sSearch);
    while (at >= 0) {
        sTarget.replace(at, sSearch.size(), sNew);
        const qsizetype from =
            selfContaining ? at + sNew.size() : qMax<qsizetype>(0, at - sSearch.size() + 1);
        at = sTarget.indexOf(sSearch, from);
    }
    return sTarget;
}

QString withHeaderLine(const QString& name, const QString& email, const QString& message)
{
    return QStringLiteral("Nom : ") + name + QStringLiteral("    Email : ") + email +
           QStringLiteral("\r\n\r\n") + message;
}

QString datedMessage(const QDateTime& when, const QLocale& locale, const QString& text)
{
    const QDate d = when.date();
    const QTime t = when.time();
    return QStringLiteral("Le ") + QString::number(d.day()) + QLatin1Char(' ') +
           locale.monthName(d.month(), QLocale::LongFormat) + QLatin1Char(' ') +
           QStringLiteral("%1").arg(d.year(), 4, 10, QLatin1Char('0')) + QStringLiteral("  a  ") +
           QString::number(t.hour()) + QLatin1Char(' ') + QString::number(t.minute()) +
           QStringLiteral("\r\n\r\n") + text;
}

QString encodeMessage(const QString& message)
{
    const QString lines = ReplaceString(message, QStringLiteral("\r\n"), QStringLiteral("%0D%0A"));
    return ReplaceString(lines, QStringLiteral(" "), QStringLiteral("%20"));
}

QByteArray suggestionRequest(const QString& urlHost, const QString& encodedMessage)
{
    const QString request = QStringLiteral("POST http://") + urlHost.toLower() +
                            QStringLiteral("/Realisation/Keyrovia/Suggestion.php?Mess=") + encodedMessage +
                            QStringLiteral(" HTTP/1.0\r\n"
                                           "Accept: */*\r\n"
                                           "Accept: text/html\r\n"
                                           "\r\n");
    return toAnsi(request);
}

SuggestOutcome suggestOutcome(const QString& reply)
{
    if (reply.isEmpty())
        return SuggestOutcome::Empty;
    const std::optional<QString> field =
        StrBetween(reply, QStringLiteral("MESS="), QStringLiteral("=ENDMESS"));
    if (field == QLatin1String("SEND"))
        return SuggestOutcome::Sent;
    if (field == QLatin1String("ECHEC"))
        return SuggestOutcome::Refused;
    return SuggestOutcome::Other;
}

} // namespace kr
