#include "store/PasswordStore.h"

#include <QFileInfo>
#include <utility>

namespace kr {
namespace {

// The SQL escape of a quote inside a quoted text; nothing else needs one.
QString quoted(const QString& value)
{
    QString text = value;
    text.replace(QLatin1Char('\''), QLatin1String("''"));
    return text;
}

} // namespace

PasswordStore::PasswordStore(IDatabaseEngine& engine, QString databasePath)
    : m_engine(engine), m_path(std::move(databasePath))
{}

QString PasswordStore::selectStatement()
{
    return QStringLiteral("SELECT Site,User,Pass FROM tblSite ORDER BY Site ");
}

QString PasswordStore::insertStatement(const QString& site, const QString& user, const QString& pass)
{
    return QLatin1String("INSERT INTO tblSite (Site,User,Pass) VALUES ('") + quoted(site) +
           QLatin1String("','") + quoted(user) + QLatin1String("','") + quoted(pass) + QLatin1String("') ");
}

QString PasswordStore::deleteStatement(const QString& site)
{
    return QLatin1String("DELETE FROM tblSite WHERE [Site]='") + quoted(site) + QLatin1String("' ");
}

QString PasswordStore::connectString(const QString& password)
{
    return QLatin1String(";pwd=") + password;
}

int PasswordStore::CheckProgramPassword(const QString& password)
{
    std::unique_ptr<IDbConnection> connection;
    const DbStatus status = m_engine.open(m_path, false, connectString(password), connection);
    if (!status.ok())
        return status.number;
    connection->close();
    m_programPassword = password;
    return DbOk;
}

DbStatus PasswordStore::LoadSiteList()
{
    m_siteTable.clear();
    std::unique_ptr<IDbConnection> connection;
    DbStatus status = m_engine.open(m_path, false, connectString(m_programPassword), connection);
    if (!status.ok())
        return status;
    std::vector<DbRow> rows;
    status = connection->select(selectStatement(), rows);
    connection->close();
    if (!status.ok())
        return status;
    // Every row is kept: the table has no fixed capacity here.
    m_siteTable.reserve(rows.size());
    for (const DbRow& row : rows) {
        if (row.size() < 3 || !row[0])
            continue;
        m_siteTable.push_back(SiteRecord{*row[0], row[1].value_or(QString()), row[2].value_or(QString())});
    }
    return {};
}

DbStatus PasswordStore::InsertSiteRecord(const QString& site, const QString& user, const QString& pass)
{
    std::unique_ptr<IDbConnection> connection;
    DbStatus status = m_engine.open(m_path, false, connectString(m_programPassword), connection);
    if (!status.ok())
        return status;
    status = connection->execute(insertStatement(site, user, pass));
    connection->close();
    return status;
}

DbStatus PasswordStore::DeleteSiteRecords(const QString& site)
{
    std::unique_ptr<IDbConnection> connection;
    DbStatus status = m_engine.open(m_path, false, connectString(m_programPassword), connection);
    if (!status.ok())
        return status;
    status = connection->execute(deleteStatement(site));
    connection->close();
    return status;
}

bool PasswordStore::ChangeDatabasePassword(const QString& path, const QString& oldPassword,
                                           const QString& newPassword)
{
    if (!QFileInfo::exists(path))
        return false;
    std::unique_ptr<IDbConnection> connection;
    if (!m_engine.open(path, true, connectString(oldPassword), connection).ok())
        return false;
    const DbStatus changed = connection->changePassword(oldPassword, newPassword);
    connection->close();
    if (!changed.ok())
        return false;
    std::unique_ptr<IDbConnection> check;
    if (!m_engine.open(path, false, connectString(newPassword), check).ok())
        return false;
    check->close();
    return true;
}

int FindSiteExact(const std::vector<SiteRecord>& table, const QString& site)
{
    for (std::size_t i = 0; i < table.size(); ++i)
        if (table[i].Site == site)
            return static_cast<int>(i);
    return -1;
}

} // namespace kr
