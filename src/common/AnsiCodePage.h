#pragma once
#include <QByteArray>
#include <QString>

namespace kr {

// Text as the vendor's web site takes and gives it: one byte per character in
// Windows-1252, the Latin ANSI code page. A character the code page lacks is
// sent as "?", as the platform's own conversion does.
QByteArray toAnsi(const QString& text);
QString fromAnsi(const QByteArray& bytes);

} // namespace kr
