#pragma once
#include "platform/DatabaseEngine.h"

#include <QString>

namespace kr {

enum class EmptyVaultResult { Created, Exists, Failed };

// Puts an empty database (table tblSite, no password, mode 0600) at path when
// nothing is there, not even a dangling link. An existing name is never touched,
// also when another process makes it at the same moment. On failure *error says
// what could not be done (in English, for the tools' output).
EmptyVaultResult MakeEmptyVault(IDatabaseEngine& engine, const QString& path, QString* error);

} // namespace kr
