#pragma once
#include "common/Version.h"

#include <QByteArray>
#include <QString>

namespace kr {

// The request of the version service: an absolute URL, two Accept lines, no Host.
QByteArray versionRequest(const QString& urlHost);

// "major.minor", the piece of our own version that the announced one is compared with.
QString comparedVersionText(const ProgramVersion& own);

// The announced version counts as current when its first three characters
// (all of it when shorter) equal "major.minor".
bool isCurrentVersion(const QString& announced, const ProgramVersion& own);

struct UpdateDecision {
    enum Kind {
        NoReply,   // nothing was received
        Unusable,  // the end mark is not exactly "1"
        Current,   // nothing to do
        Mandatory, // another version: the update window takes over
    };
    Kind kind = NoReply;
    QString newVersion;  // the whole Ver field (empty when absent)
    QString information; // the Info field (empty when absent), CRLF line breaks
};

UpdateDecision decideUpdate(const QString& reply, const ProgramVersion& own);

} // namespace kr
