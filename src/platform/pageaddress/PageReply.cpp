#include "platform/pageaddress/PageReply.h"

namespace kr::page {

QString withoutCredentials(const QString& address)
{
    const qsizetype schemeEnd = address.indexOf(QLatin1String("://"));
    if (schemeEnd < 0) {
        return address;
    }
    const qsizetype authorityStart = schemeEnd + 3;
    qsizetype authorityEnd = authorityStart;
    while (authorityEnd < address.size()) {
        const QChar c = address.at(authorityEnd);
        if (c == u'/' || c == u'?' || c == u'#' || c == u'\\') {
            break;
        }
        ++authorityEnd;
    }
    // The user information ends at the last "@" of the authority, as browsers
    // parse it.
    const qsizetype at = address.lastIndexOf(u'@', authorityEnd > authorityStart ? authorityEnd - 1 : 0);
    if (at < authorityStart || at >= authorityEnd) {
        return address;
    }
    return address.left(authorityStart) + address.mid(at + 1);
}

QString siteOrigin(const QString& address)
{
    const QString clean = withoutCredentials(address);
    const qsizetype schemeEnd = clean.indexOf(QLatin1String("://"));
    if (schemeEnd < 0) {
        const qsizetype colon = clean.indexOf(u':');
        return colon < 0 ? QString() : clean.left(colon + 1);
    }
    qsizetype end = schemeEnd + 3;
    while (end < clean.size()) {
        const QChar c = clean.at(end);
        if (c == u'/' || c == u'?' || c == u'#' || c == u'\\') {
            break;
        }
        ++end;
    }
    return clean.left(end) + u'/';
}

// Cuts without splitting a surrogate pair.
static QString leftWhole(const QString& text, qsizetype count)
{
    if (text.size() <= count) {
        return text;
    }
    if (count > 0 && text.at(count - 1).isHighSurrogate()) {
        --count;
    }
    return text.left(count);
}

QString cleanAddress(const QString& address)
{
    return leftWhole(withoutCredentials(address), kMaxAddressChars);
}

QString cleanTitle(const QString& title)
{
    return leftWhole(title, kMaxTitleChars);
}

static bool isControl(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7f;
}

QString quotedReply(const QString& address, const QString& title)
{
    const QString a = cleanAddress(address);
    const QString t = cleanTitle(title);
    QString reply;
    reply.reserve(a.size() + t.size() + 8);
    reply += u'"';
    for (const QChar c : a) {
        if (c == u'"' || isControl(c)) {
            reply += QStringLiteral("%%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
        } else {
            reply += c;
        }
    }
    reply += QLatin1String("\",\"");
    for (const QChar c : t) {
        if (c == u'"') {
            reply += QLatin1String("\"\"");
        } else if (isControl(c)) {
            reply += u' ';
        } else {
            reply += c;
        }
    }
    reply += u'"';
    return reply;
}

} // namespace kr::page
