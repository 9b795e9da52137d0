#include "online/UpdateCheck.h"

#include "common/AnsiCodePage.h"
#include "common/Strings.h"

namespace kr {

QByteArray versionRequest(const QString& urlHost)
{
    const QString request = QStringLiteral("GET http://") + urlHost.toLower() +
                            QStringLiteral("/Realisation/Keyrovia/Verssion.php HTTP/1.0\r\n"
                                           "Accept: */*\r\n"
                                           "Accept: text/html\r\n"
                                           "\r\n");
    return toAnsi(request);
}

QString comparedVersionText(const ProgramVersion& own)
{
    return QString::number(own.major) + QLatin1Char('.') + QString::number(own.minor);
}

bool isCurrentVersion(const QString& announced, const ProgramVersion& own)
{
    return announced.left(3) == comparedVersionText(own);
}

UpdateDecision decideUpdate(const QString& reply, const ProgramVersion& own)
{
    UpdateDecision d;
    if (reply.isEmpty())
        return d;
    if (StrBetween(reply, QStringLiteral("FIN="), QStringLiteral("=FIN")).value_or(QString()) !=
        QLatin1String("1")) {
        d.kind = UpdateDecision::Unusable;
        return d;
    }
    const QString announced =
        StrBetween(reply, QStringLiteral("Ver="), QStringLiteral("=EndVer")).value_or(QString());
    if (isCurrentVersion(announced, own)) {
        d.kind = UpdateDecision::Current;
        return d;
    }
    d.kind = UpdateDecision::Mandatory;
    d.newVersion = announced;
    d.information =
        StrBetween(reply, QStringLiteral("Info="), QStringLiteral("=EndInfo")).value_or(QString());
    return d;
}

} // namespace kr
