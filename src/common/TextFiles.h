#pragma once
#include <QString>

namespace kr {

// The program folder with a trailing '/': every file of the program lives there.
// KEYROVIA_APP_DIR overrides it (used by the tests and by a portable set-up).
// Otherwise it is the executable's folder, or, in a build installed system-wide,
// ${XDG_DATA_HOME:-~/.local/share}/keyrovia/.
QString AppDir();
// Whether this build keeps the program folder in the user's data folder
// (KEYROVIA_SYSTEM_INSTALL at build time).
bool ProgramFolderIsUserData();

struct ReadResult {
    bool ok = false; // false when the file is missing or unreadable
    QString text;    // the items joined with CRLF
};

// Reads the file item by item the way the classic runtime's delimited input does:
// an item ends at a comma or a line end, leading blanks are skipped, an item that
// begins with a double quote runs to the closing quote (commas included) and loses
// its quotes. Items are joined with CRLF; while the text gathered so far is empty
// the next item replaces it, so leading empty items vanish.
ReadResult ReadTextFile(const QString& path);

// Same, on bytes already in memory (the file's content).
QString ParseDelimitedItems(const QByteArray& bytes);

enum class FileAccess { Shared, OwnerOnly };

// Writes text + CRLF in the system's 8-bit encoding, atomically (temporary file
// then rename): a crash never leaves a half-written file. Where the folder takes
// no new file, an existing writable file is written in place. Returns false on failure.
bool WriteTextFile(const QString& path, const QString& text, FileAccess access = FileAccess::Shared);

} // namespace kr
