#pragma once
#include <QString>

namespace kr {

// The program's version record: three whole numbers, a comment and the
// application title (the caption of a message box without a title of its own).
struct ProgramVersion {
    int major;
    int minor;
    int revision;
};

ProgramVersion programVersion();
// major.minor.revision in decimal without leading zeros ("1.1.0").
QString versionText();
QString versionComment();
QString appTitle();
// File name of the running executable without its extension.
QString executableName();
// Full path of the executable that runs (links resolved).
QString executablePath();
// Host name of the vendor web site: KEYROVIA_VENDOR_HOST from the environment,
// else the value chosen at build time.
QString vendorHost();
// The vendor web site's home page: "http://" + vendorHost() + "/".
QString vendorHomePage();

} // namespace kr
