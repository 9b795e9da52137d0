#include "common/Strings.h"

namespace kr {

std::optional<QString> StrBetween(const QString& source, const QString& startMarker, const QString& endMarker)
{
    const qsizetype start = source.indexOf(startMarker, 0, Qt::CaseSensitive);
    if (start < 0)
        return std::nullopt;
    const qsizetype from = start + startMarker.size();
    const qsizetype end = source.indexOf(endMarker, from, Qt::CaseSensitive);
    if (end < 0)
        return std::nullopt;
    return source.mid(from, end - from);
}

QString toDisplayLineBreaks(const QString& text)
{
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return out;
}

} // namespace kr
