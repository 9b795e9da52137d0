#pragma once
#include <QDateTime>
#include <QString>

namespace kr {

QString logPath(); // AppDir + "Logz.ini"

// The two kinds of entry, each ending in CRLF. Day without leading zero, the
// month's full name in the system's language, the time of day in the system's
// format (hours:minutes:seconds).
QString gateLeftEntry(const QDateTime& when);
QString refusedPasswordEntry(const QDateTime& when, const QString& typed);

// Reads the whole log, adds the entry at its end and writes it back. The log
// holds refused passwords in clear: it is readable by its owner only.
bool AppendLogEntry(const QString& entry);

// Erasing leaves a file that holds one CRLF.
bool EraseLog();

} // namespace kr
