#include "HostManifests.h"
#include "platform/pageaddress/CompanionProtocol.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace kr::companion {

namespace {

QJsonObject commonManifest(const QString& hostPath)
{
    QJsonObject manifest;
    manifest.insert(QLatin1String("name"), QLatin1String(kHostName));
    manifest.insert(QLatin1String("description"),
                    QLatin1String("Keyrovia: the address of the page the browser shows"));
    manifest.insert(QLatin1String("path"), hostPath);
    manifest.insert(QLatin1String("type"), QLatin1String("stdio"));
    return manifest;
}

QByteArray chromiumManifest(const QString& hostPath)
{
    QJsonObject manifest = commonManifest(hostPath);
    manifest.insert(
        QLatin1String("allowed_origins"),
        QJsonArray{QStringLiteral("chrome-extension://%1/").arg(QLatin1String(kChromiumExtensionId))});
    return QJsonDocument(manifest).toJson();
}

QByteArray firefoxManifest(const QString& hostPath)
{
    QJsonObject manifest = commonManifest(hostPath);
    manifest.insert(QLatin1String("allowed_extensions"), QJsonArray{QLatin1String(kFirefoxExtensionId)});
    return QJsonDocument(manifest).toJson();
}

} // namespace

QList<ManifestFile> hostManifests(const QString& hostPath, const QString& home, const QString& configHome,
                                  const QString& userDataDir)
{
    const QString fileName = QLatin1String(kHostName) + QLatin1String(".json");
    if (!userDataDir.isEmpty()) {
        return {
            {userDataDir + QLatin1String("/NativeMessagingHosts/") + fileName, chromiumManifest(hostPath)}};
    }
    return {
        {configHome + QLatin1String("/chromium/NativeMessagingHosts/") + fileName,
         chromiumManifest(hostPath)},
        {configHome + QLatin1String("/google-chrome/NativeMessagingHosts/") + fileName,
         chromiumManifest(hostPath)},
        {home + QLatin1String("/.mozilla/native-messaging-hosts/") + fileName, firefoxManifest(hostPath)},
    };
}

bool writeManifests(const QList<ManifestFile>& files, QString* error)
{
    for (const ManifestFile& file : files) {
        if (!QDir().mkpath(QFileInfo(file.path).absolutePath())) {
            *error = QStringLiteral("cannot create the folder of %1").arg(file.path);
            return false;
        }
        QSaveFile out(file.path);
        if (!out.open(QIODevice::WriteOnly) || out.write(file.contents) != file.contents.size() ||
            !out.commit()) {
            *error = QStringLiteral("cannot write %1").arg(file.path);
            return false;
        }
        // Browsers only need to read it; nobody else needs to write it.
        QFile::setPermissions(file.path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                             QFileDevice::ReadGroup | QFileDevice::ReadOther);
    }
    return true;
}

QStringList removeManifests(const QList<ManifestFile>& files)
{
    QStringList removed;
    for (const ManifestFile& file : files) {
        if (QFile::exists(file.path) && QFile::remove(file.path)) {
            removed << file.path;
        }
    }
    return removed;
}

} // namespace kr::companion
