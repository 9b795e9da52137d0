#pragma once
// The per-user files that tell browsers where keyrovia-companion lives.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kr::companion {

struct ManifestFile {
    QString path;
    QByteArray contents;
    // The browser's own folder and the names of its program: a browser counts as
    // installed when one of them is there. None for a given profile folder.
    QString browserFolder;
    QStringList programs;
};

// Chromium, Chrome and Firefox manifests for the host at hostPath, under home
// (Chromium and Chrome below configHome, normally home/.config). With a
// userDataDir, only the one for that Chromium profile folder
// (<dir>/NativeMessagingHosts/), as read by chromium --user-data-dir=<dir>.
QList<ManifestFile> hostManifests(const QString& hostPath, const QString& home, const QString& configHome,
                                  const QString& userDataDir);

// Those of browsers that are installed: no folder is made for a browser the
// user does not have.
QList<ManifestFile> installedBrowsers(const QList<ManifestFile>& files);

// Writes the files (creating their folders); false and a message on the
// first failure.
bool writeManifests(const QList<ManifestFile>& files, QString* error);
// Removes those that exist, then their folder and the browser's folder when
// that leaves them empty; returns the paths removed.
QStringList removeManifests(const QList<ManifestFile>& files);

} // namespace kr::companion
