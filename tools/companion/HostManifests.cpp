#include "HostManifests.h"
#include "platform/pageaddress/CompanionProtocol.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

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
        return {{userDataDir + QLatin1String("/NativeMessagingHosts/") + fileName,
                 chromiumManifest(hostPath),
                 {},
                 {}}};
    }
    const QString chromium = configHome + QLatin1String("/chromium");
    const QString chrome = configHome + QLatin1String("/google-chrome");
    const QString firefox = home + QLatin1String("/.mozilla");
    return {
        {chromium + QLatin1String("/NativeMessagingHosts/") + fileName,
         chromiumManifest(hostPath),
         chromium,
         {QStringLiteral("chromium"), QStringLiteral("chromium-browser")}},
        {chrome + QLatin1String("/NativeMessagingHosts/") + fileName,
         chromiumManifest(hostPath),
         chrome,
         {QStringLiteral("google-chrome"), QStringLiteral("google-chrome-stable")}},
        {firefox + QLatin1String("/native-messaging-hosts/") + fileName,
         firefoxManifest(hostPath),
         firefox,
         {QStringLiteral("firefox"), QStringLiteral("firefox-esr")}},
    };
}

QList<ManifestFile> installedBrowsers(const QList<ManifestFile>& files)
{
    QList<ManifestFile> installed;
    for (const ManifestFile& file : files) {
        bool present = file.programs.isEmpty() || QFileInfo(file.browserFolder).isDir();
        for (const QString& program : file.programs) {
            present = present || !QStandardPaths::findExecutable(program).isEmpty();
        }
        if (present) {
            installed << file;
        }
    }
    return installed;
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
        // rmdir: only an empty folder goes, so nothing of the browser's is touched.
        QDir().rmdir(QFileInfo(file.path).absolutePath());
        if (!file.browserFolder.isEmpty()) {
            QDir().rmdir(file.browserFolder);
        }
    }
    return removed;
}

} // namespace kr::companion
