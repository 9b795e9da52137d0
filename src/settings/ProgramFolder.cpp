#include "settings/ProgramFolder.h"

#include "platform/Platform.h"
#include "store/EmptyVault.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>

#include <cstdlib>
#include <unistd.h>

namespace kr {

bool PrepareProgramFolder(const QString& folder, IDatabaseEngine& engine, const QString& iconSource)
{
    const QString dir = QDir::cleanPath(folder);
    if (!QDir().mkpath(QFileInfo(dir).absolutePath()))
        return false;
    // A folder that exists keeps its mode: it may be a per-user install's.
    if (::mkdir(QFile::encodeName(dir).constData(), S_IRWXU) != 0 && errno != EEXIST)
        return false;
    QString error;
    const bool vault =
        MakeEmptyVault(engine, dir + QStringLiteral("/BDMDP.MDB"), &error) != EmptyVaultResult::Failed;
    const QString icon = dir + QStringLiteral("/ICON.ico");
    if (QFileInfo::exists(icon) || QFileInfo(icon).isSymLink())
        return vault;
    const bool copied = QFile::copy(iconSource, icon) &&
                        QFile::setPermissions(icon, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return vault && copied;
}

bool ProgramFolder::writable() const
{
    // The mode bits do not tell it (root, read-only mounts, immutable folders):
    // only making a file does.
    QByteArray probe = QFile::encodeName(m_folder);
    if (!probe.endsWith('/'))
        probe += '/';
    probe += ".keyrovia-probe-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(probe.constData());
    return true;
}

bool ProgramFolder::checkWritable(IMessageBox& messages)
{
    if (writable())
        return true;
    if (!m_told) {
        m_told = true;
        messages.show(MsgExclamation, readOnlyMessage(), readOnlyTitle());
    }
    return false;
}

QString ProgramFolder::readOnlyMessage() const
{
    return QStringLiteral("Le dossier du programme ( %1 ) est en lecture seule.\r\n"
                          "Rien ne peut y être enregistré : ni les mots de passe, ni les paramètres, "
                          "ni le journal des accès.")
        .arg(m_folder);
}

QString ProgramFolder::readOnlyTitle()
{
    return QStringLiteral("Dossier En Lecture Seule");
}

} // namespace kr
