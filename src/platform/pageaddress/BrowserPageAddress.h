#pragma once
#include "platform/Platform.h"

#include <memory>

namespace kr {

// The program's page address: the companion host first, then, only when the
// user configured one (KEYROVIA_DEVTOOLS_PORT), the browser's debugging
// endpoint. Both together wait at most the time-out.
class BrowserPageAddress final : public IPageAddress {
public:
    // Companion under $XDG_RUNTIME_DIR/keyrovia, DevTools when configured.
    BrowserPageAddress();
    // Either source may be null.
    BrowserPageAddress(std::unique_ptr<IPageAddress> companion, std::unique_ptr<IPageAddress> devTools);
    ~BrowserPageAddress() override;

    std::optional<QString> request(int timeoutMs = 5000) override;

private:
    std::unique_ptr<IPageAddress> m_companion;
    std::unique_ptr<IPageAddress> m_devTools;
};

} // namespace kr
