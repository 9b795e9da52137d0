#pragma once
#include <QString>

namespace kr {

// Where the vendor web site's services are reached. The setting is a host
// name, optionally followed by ":port" (80 otherwise); inside the requests the
// setting is written whole, in lower case.
struct VendorAddress {
    QString host;
    quint16 port = 80;
    // The setting as it stands in the requests' URLs.
    QString urlHost;
};

VendorAddress parseVendorAddress(const QString& setting);
// The program's own setting (vendorHost()).
VendorAddress vendorAddress();

} // namespace kr
