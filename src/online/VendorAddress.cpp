#include "online/VendorAddress.h"

#include "common/Version.h"

namespace kr {

VendorAddress parseVendorAddress(const QString& setting)
{
    VendorAddress a;
    const QString s = setting.trimmed();
    a.host = s;
    a.urlHost = s.toLower();
    const qsizetype colon = s.lastIndexOf(QLatin1Char(':'));
    // One colon only: an address with several is an IPv6 literal, not host:port.
    if (colon > 0 && s.indexOf(QLatin1Char(':')) == colon) {
        bool ok = false;
        const uint port = s.mid(colon + 1).toUInt(&ok);
        if (ok && port >= 1 && port <= 65535) {
            a.host = s.left(colon);
            a.port = static_cast<quint16>(port);
        }
    }
    return a;
}

VendorAddress vendorAddress()
{
    return parseVendorAddress(vendorHost());
}

} // namespace kr
