#include "platform/PrivateFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace kr {

bool WritePrivateFile(const QString& path, const QByteArray& bytes)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo::exists(folder) &&
        !(QDir().mkpath(folder) &&
          QFile::setPermissions(folder,
                                QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner)))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace kr
