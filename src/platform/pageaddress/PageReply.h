#pragma once
// The reply the rest of the program reads: the address of the page in double
// quotes, a comma, the title in double quotes. Only the address part is parsed
// later (the host name between "://" and the next "/"), so everything here
// keeps that part intact.
#include <QString>

namespace kr::page {

// Longer addresses (data: URLs, say) and titles are cut; the host name sits at
// the front and survives.
inline constexpr qsizetype kMaxAddressChars = 8192;
inline constexpr qsizetype kMaxTitleChars = 1024;

// The address without "user:password@" in front of the host. Addresses without
// an authority ("mailto:a@b", "about:blank") come back unchanged.
QString withoutCredentials(const QString& address);

// "scheme://host[:port]/": all the program uses of an address. Path, query and
// fragment (session tokens, one-time codes) and credentials are dropped. An
// address without "://" keeps only its scheme ("about:").
QString siteOrigin(const QString& address);
// Strips credentials and cuts the address to kMaxAddressChars.
QString cleanAddress(const QString& address);

// Cuts the title to kMaxTitleChars.
QString cleanTitle(const QString& title);

// "<address>","<title>" from a raw address and title: credentials stripped,
// both bounded. A double quote or control character in the address is
// percent-encoded (the browser never leaves one there anyway); in the title a
// double quote is doubled and a control character becomes a space, so the
// reply stays one line.
QString quotedReply(const QString& address, const QString& title);

} // namespace kr::page
