#pragma once
#include "platform/Platform.h"

namespace kr {

// The page address as the keyrovia-companion host knows it: the browser
// extension tells the host, the host answers here over its local socket.
//
// Every host running (one per browser profile) is asked at once; the one whose
// browser spoke last answers for "the browser". No folder, no host, a host
// that stays silent or answers garbage, or a browser that shows no page: no
// answer. Blocks the calling thread for at most the time-out, in total.
class CompanionPageAddress final : public IPageAddress {
public:
    // socketDir: where the hosts put their sockets; by default
    // $XDG_RUNTIME_DIR/keyrovia. An empty folder name never answers.
    CompanionPageAddress();
    explicit CompanionPageAddress(QString socketDir);

    std::optional<QString> request(int timeoutMs = 5000) override;

private:
    QString m_socketDir;
};

} // namespace kr
