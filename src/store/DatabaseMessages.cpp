#include "store/DatabaseMessages.h"

namespace kr {

QString DatabaseProblemText(const DbStatus& status)
{
    if (status.number == DbErrOutOfMemory)
        return QStringLiteral(
            "Mémoire insuffisante : la clé du fichier de base de donnée ( BDMDP.MDB ) demande "
            "64 Mo de mémoire libre. Fermez d'autres programmes puis réessayez.");
    const QString file = QStringLiteral("Le fichier de base de donnée ( BDMDP.MDB ) ");
    switch (status.number) {
    case DbErrFileNotFound:
        return file + QStringLiteral("est introuvable.");
    case DbErrFileInUse:
        return file + QStringLiteral("est verrouillé par un autre programme.");
    case DbErrNoPermission:
        return file + QStringLiteral("ne peut pas être lu : accès refusé.");
    case DbErrNoSuchTable:
        return file + QStringLiteral("ne contient pas la table tblSite.");
    case DbErrMissingColumn:
        return file + QStringLiteral("est incomplet : il manque une colonne à la table tblSite.");
    default:
        return file + QStringLiteral("est endommagé.");
    }
}

QString GateDatabaseMessage(const DbStatus& status)
{
    return DatabaseProblemText(status) + QStringLiteral("\r\nLe programme va se fermer");
}

QString GateDatabaseTitle()
{
    return QStringLiteral("Base De Donnée Inaccessible");
}

QString UnreadableListMessage(const DbStatus& status)
{
    return QStringLiteral("Vos mots de passe n'ont pas pu être lus.\r\n") + DatabaseProblemText(status) +
           QStringLiteral("\r\nLe fichier n'a pas été modifié.");
}

QString UnreadableListTitle()
{
    return QStringLiteral("Base De Donnée Illisible");
}

} // namespace kr
