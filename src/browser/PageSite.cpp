#include "browser/PageSite.h"

#include "common/Strings.h"

namespace kr {

QString HostBetweenSchemeAndPath(const QString& reply)
{
    return StrBetween(reply, QStringLiteral("://"), QStringLiteral("/")).value_or(QString());
}

QString WithoutWwwPrefix(const QString& site)
{
    const QString head = site.left(4);
    if (head == QLatin1String("www.") || head == QLatin1String("WWW."))
        return site.mid(4);
    return site;
}

} // namespace kr
