#include "common/Strings.h"

#include <algorithm>

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

void WipeText(QString& text)
{
    QString::DataPointer& data = text.data_ptr();
    // Text of the program's own (a literal) is no secret and is not writable.
    if (data.isMutable())
        std::fill_n(data.data(), data.size, u'\0');
    text.clear();
}

QString toDisplayLineBreaks(const QString& text)
{
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return out;
}

} // namespace kr
