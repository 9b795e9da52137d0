#pragma once
#include <QByteArray>
#include <QString>

namespace kr {

// Writes a file of the user's configuration that nobody else may read: its
// folder is made, readable by the user only, when missing; the file is
// written atomically, readable and writable by the user only.
bool WritePrivateFile(const QString& path, const QByteArray& bytes);

} // namespace kr
