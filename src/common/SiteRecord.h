#pragma once
#include <QString>

namespace kr {

// One stored login: a row of tblSite.
struct SiteRecord {
    QString Site;
    QString User;
    QString Pass;
    bool operator==(const SiteRecord&) const = default;
};

} // namespace kr
