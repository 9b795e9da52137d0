#pragma once
#include "platform/DatabaseEngine.h"

#include <QString>

namespace kr {

// Why BDMDP.MDB cannot be used, in the user's words: one sentence naming the
// cause (missing, locked, unreadable, damaged, incomplete).
QString DatabaseProblemText(const DbStatus& status);

// The gate's message when a typed password cannot be tried on the file.
QString GateDatabaseMessage(const DbStatus& status);
QString GateDatabaseTitle();

// The message shown before the first-use flow when the list cannot be read.
QString UnreadableListMessage(const DbStatus& status);
QString UnreadableListTitle();

} // namespace kr
