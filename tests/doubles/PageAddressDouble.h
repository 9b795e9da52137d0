#pragma once
// Page address double: hands out scripted replies in order (std::nullopt
// = the browser does not answer) and records every request.
#include "platform/Platform.h"

#include <QList>

namespace kr::test {

class ScriptedPageAddress final : public IPageAddress {
public:
    void push(const std::optional<QString>& reply) { m_replies.append(reply); }

    // Once the script is used up, the browser stays silent.
    std::optional<QString> request(int timeoutMs = 5000) override
    {
        timeouts.append(timeoutMs);
        return m_replies.isEmpty() ? std::nullopt : m_replies.takeFirst();
    }

    int requests() const { return int(timeouts.size()); }

    QList<int> timeouts; // the time-out of each request, in order

private:
    QList<std::optional<QString>> m_replies;
};

} // namespace kr::test
