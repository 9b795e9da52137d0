#pragma once
#include <QDateTime>
#include <QString>

namespace kr {

QString logPath(); // AppDir + "Logz.ini"

// The two kinds of entry, each ending in CRLF. Day without leading zero, the
// month's full name in the system's language, the time of day in the system's
// format (hours:minutes:seconds).
QString gateLeftEntry(const QDateTime& when);
// A refused password is shown by a fixed mask, never by what was typed: a typing
// slip of the real password would leave nearly all of it beside the vault.
QString refusedPasswordEntry(const QDateTime& when);

// Reads the whole log, adds the entry at its end and writes it back. Entries of
// earlier versions may hold typed text: the log is readable by its owner only.
bool AppendLogEntry(const QString& entry);

// Erasing leaves a file that holds one CRLF.
bool EraseLog();

} // namespace kr
