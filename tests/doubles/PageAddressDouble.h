#pragma once
// Page address double: hands out scripted replies in order (std::nullopt
// = the browser does not answer) and records every request.
#include "platform/Platform.h"

#include <QList>

namespace kr::test {

class ScriptedPageAddress final : public IPageAddress {
public:
    ScriptedPageAddress() = default;
    explicit ScriptedPageAddress(std::initializer_list<std::optional<QString>> replies)
    {
        for (const auto& reply : replies) {
            push(reply);
        }
    }

    void push(const std::optional<QString>& reply)
    {
        m_replies.append({reply.has_value(), reply.value_or(QString())});
    }

    // Once the script is used up, the browser stays silent.
    std::optional<QString> request(int timeoutMs = 5000) override
    {
        timeouts.append(timeoutMs);
        if (m_replies.isEmpty()) {
            return std::nullopt;
        }
        const Reply reply = m_replies.takeFirst();
        if (!reply.answers) {
            return std::nullopt;
        }
        return reply.text;
    }

    int requests() const { return int(timeouts.size()); }

    QList<int> timeouts; // the time-out of each request, in order

private:
    struct Reply {
        bool answers;
        QString text;
    };
    QList<Reply> m_replies;
};

} // namespace kr::test
