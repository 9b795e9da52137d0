#include "platform/pageaddress/BrowserPageAddress.h"
#include "platform/pageaddress/CompanionPageAddress.h"
#include "platform/pageaddress/DevToolsPageAddress.h"

#include <QDeadlineTimer>

namespace kr {

static std::unique_ptr<IPageAddress> configuredDevTools()
{
    if (const auto port = DevToolsPageAddress::configuredPort()) {
        return std::make_unique<DevToolsPageAddress>(*port);
    }
    return nullptr;
}

BrowserPageAddress::BrowserPageAddress()
    : BrowserPageAddress(std::make_unique<CompanionPageAddress>(), configuredDevTools())
{}

BrowserPageAddress::BrowserPageAddress(std::unique_ptr<IPageAddress> companion,
                                       std::unique_ptr<IPageAddress> devTools)
    : m_companion(std::move(companion)), m_devTools(std::move(devTools))
{}

BrowserPageAddress::~BrowserPageAddress() = default;

std::optional<QString> BrowserPageAddress::request(int timeoutMs)
{
    const QDeadlineTimer deadline(std::max(timeoutMs, 0));
    for (IPageAddress* source : {m_companion.get(), m_devTools.get()}) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0) {
            break;
        }
        if (source) {
            if (auto reply = source->request(int(left))) {
                return reply;
            }
        }
    }
    return std::nullopt;
}

} // namespace kr
