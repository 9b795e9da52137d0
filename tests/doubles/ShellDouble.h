#pragma once
#include "platform/Platform.h"

#include <QStringList>

namespace kr::test {

// Records every address the program hands to the desktop shell, in order.
class RecordingShell : public IShell {
public:
    void open(const QString& address) override { opened.append(address); }

    QStringList opened;
};

} // namespace kr::test
