#pragma once
#include "platform/Platform.h"

#include <QByteArray>

namespace kr {

// The page address from a Chromium-family browser's remote debugging endpoint
// on 127.0.0.1: GET /json/list, first entry of type "page" (the most recently
// active tab).
//
// Opt-in only: that endpoint gives every local program full control of the
// browser, so it is asked only when the user already runs a debugging profile
// and says so by setting KEYROVIA_DEVTOOLS_PORT to its port
// (chromium --remote-debugging-port=9222 ... and KEYROVIA_DEVTOOLS_PORT=9222).
class DevToolsPageAddress final : public IPageAddress {
public:
    explicit DevToolsPageAddress(quint16 port);

    // The port that KEYROVIA_DEVTOOLS_PORT names (1-65535); std::nullopt when
    // it is unset or not a port number.
    static std::optional<quint16> configuredPort();

    // Blocks for at most timeoutMs; never runs the event loop.
    std::optional<QString> request(int timeoutMs = 5000) override;

    // The reply from the body of a /json/list answer; std::nullopt when it
    // lists no page.
    static std::optional<QString> replyFromList(const QByteArray& json);

private:
    quint16 m_port;
};

} // namespace kr
