#include "common/Version.h"

#include "VersionConfig.h" // generated from CMakeLists.txt

#include <QCoreApplication>
#include <QFileInfo>

namespace kr {

ProgramVersion programVersion()
{
    return {KEYROVIA_VERSION_MAJOR, KEYROVIA_VERSION_MINOR, KEYROVIA_VERSION_REVISION};
}

QString versionText()
{
    const auto v = programVersion();
    return QStringLiteral("%1.%2.%3").arg(v.major).arg(v.minor).arg(v.revision);
}

QString versionComment()
{
    return QStringLiteral(KEYROVIA_VERSION_COMMENT);
}

QString appTitle()
{
    return QStringLiteral(KEYROVIA_APP_TITLE);
}

QString executablePath()
{
    QString path = QCoreApplication::applicationFilePath();
    if (path.isEmpty() && !QCoreApplication::arguments().isEmpty())
        path = QFileInfo(QCoreApplication::arguments().constFirst()).absoluteFilePath();
    return path;
}

QString executableName()
{
    return QFileInfo(executablePath()).completeBaseName();
}

QString vendorHost()
{
    const QString fromEnv = qEnvironmentVariable("KEYROVIA_VENDOR_HOST").trimmed();
    return fromEnv.isEmpty() ? QStringLiteral(KEYROVIA_DEFAULT_VENDOR_HOST) : fromEnv;
}

QString vendorHomePage()
{
    return QStringLiteral("http://") + vendorHost() + QLatin1Char('/');
}

} // namespace kr
