#pragma once
#include <QString>

namespace kr {

// The host part of an address reply: the text after the first "://" up to the
// first "/" after it (empty when either is missing).
QString HostBetweenSchemeAndPath(const QString& reply);

// Drops a leading "www." or "WWW." (exactly these two forms, compared by
// character codes); any other text comes back unchanged.
QString WithoutWwwPrefix(const QString& site);

} // namespace kr
