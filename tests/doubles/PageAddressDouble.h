#pragma once
// Page address double: hands out the scripted replies in order (std::nullopt =
// the browser does not answer; silent once they are used up) and records the
// time-out of each request.
#include "platform/Platform.h"

#include <QList>

namespace kr::test {

class ScriptedPageAddress final : public IPageAddress {
public:
    std::optional<QString> request(int timeoutMs = 5000) override
    {
        timeouts.append(timeoutMs);
        return replies.isEmpty() ? std::nullopt : replies.takeFirst();
    }

    QList<std::optional<QString>> replies;
    QList<int> timeouts;
};

} // namespace kr::test
