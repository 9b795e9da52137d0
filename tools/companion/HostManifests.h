#pragma once
// The per-user files that tell browsers where keyrovia-companion lives.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kr::companion {

struct ManifestFile {
    QString path;
    QByteArray contents;
};

// Chromium, Chrome and Firefox manifests for the host at hostPath, under home
// (Chromium and Chrome below configHome, normally home/.config). With a
// userDataDir, only the one for that Chromium profile folder
// (<dir>/NativeMessagingHosts/), as read by chromium --user-data-dir=<dir>.
QList<ManifestFile> hostManifests(const QString& hostPath, const QString& home, const QString& configHome,
                                  const QString& userDataDir);

// Writes the files (creating their folders); false and a message on the
// first failure.
bool writeManifests(const QList<ManifestFile>& files, QString* error);
// Removes those that exist; returns the paths removed.
QStringList removeManifests(const QList<ManifestFile>& files);

} // namespace kr::companion
