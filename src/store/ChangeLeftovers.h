#pragma once
#include <QString>
#include <QStringList>

namespace kr {

// What an interrupted password change can leave beside the database file
// (for BDMDP.MDB): ".BDMDP.MDB.new-XXXXXX" copies under the new password and
// their journals, ".BDMDP.MDB.old-<hex>" second names of an old file, and
// "BDMDP.MDB-mj<hex>" super-journals of the copy's transaction.
bool IsChangeLeftover(const QString& databaseName, const QString& fileName);

// Removes those leftovers: only regular files of ours, in the database's folder,
// never a name of the database file itself. Nothing is removed while another
// process holds a lock on the database (it may be changing its password right
// now), and no super-journal while the database has a journal of its own to
// recover. Must run while this process has no connection to the file open.
// Returns the names removed.
QStringList RemoveChangeLeftovers(const QString& databasePath);

} // namespace kr
