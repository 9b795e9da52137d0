#include "store/PasswordStore.h"

#include "common/Strings.h"
#include "store/ChangeLeftovers.h"
#include "store/DatabaseMessages.h"

#include <QCollator>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
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

// The order a French reader expects: "amazon, banque, école, Gmail, Zeta".
// Made once: a collator is costly to set up.
const QCollator& SiteCollator()
{
    static const QCollator collator = [] {
        QCollator c{QLocale(QLocale::French, QLocale::France)};
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return collator;
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

int PasswordStore::CheckProgramPassword(const QString& password, DbStatus* outcome)
{
    // What an interrupted password change left goes before anything opens the file.
    if (!m_leftoversRemoved) {
        RemoveChangeLeftovers(m_path);
        m_leftoversRemoved = true;
    }
    std::unique_ptr<IDbConnection> connection;
    const DbStatus status = m_engine.open(m_path, false, connectString(password), connection);
    if (outcome)
        *outcome = status;
    if (!status.ok())
        return status.number;
    const bool oldKey = connection->usesOldKey();
    connection->close();
    m_programPassword = password;
    if (oldKey)
        upgradeKey();
    return DbOk;
}

// A vault keyed by an earlier version is rewritten under today's key, through
// the crash-safe path of a password change. Where that cannot be done now (a
// read-only folder, another program holding the file) the vault stays as it
// is, nothing is said, and the next start tries again.
void PasswordStore::upgradeKey()
{
    std::unique_ptr<IDbConnection> connection;
    if (!m_engine.open(m_path, true, connectString(m_programPassword), connection).ok())
        return;
    // Another program may have upgraded it meanwhile.
    if (connection->usesOldKey())
        connection->changePassword(m_programPassword, m_programPassword);
    connection->close();
    RemoveChangeLeftovers(m_path);
}

void PasswordStore::forgetSecrets()
{
    WipeText(m_programPassword);
    for (SiteRecord& record : m_siteTable)
        WipeText(record.Pass);
    m_loaded = false;
    m_engine.forgetKeys();
}

DbStatus PasswordStore::LoadSiteList()
{
    m_lastLoad = loadRows();
    m_loaded = m_lastLoad.ok();
    return m_lastLoad;
}

int PasswordStore::SitePosition(const QString& site) const
{
    // The order of SortSiteTable over rows that come in the engine's order
    // (by code units): by the collator first, by code units among equals.
    const QCollator& collator = SiteCollator();
    const auto after = std::upper_bound(m_siteTable.begin(), m_siteTable.end(), site,
                                        [&collator](const QString& wanted, const SiteRecord& entry) {
                                            const int order = collator.compare(wanted, entry.Site);
                                            return order != 0 ? order < 0 : wanted < entry.Site;
                                        });
    return static_cast<int>(after - m_siteTable.begin());
}

void PasswordStore::PutSiteRecord(int row, SiteRecord record)
{
    const auto at = std::clamp<std::ptrdiff_t>(row, 0, static_cast<std::ptrdiff_t>(m_siteTable.size()));
    m_siteTable.insert(m_siteTable.begin() + at, std::move(record));
}

// A damaged page may lie outside what the select reads: the first load of a run
// looks at every page once.
DbStatus PasswordStore::checkIntegrity(IDbConnection& connection)
{
    std::vector<DbRow> rows;
    DbStatus status = connection.select(QStringLiteral("PRAGMA quick_check"), rows);
    if (!status.ok())
        return status;
    if (rows.size() != 1 || rows[0].empty() || rows[0][0] != QStringLiteral("ok"))
        return {DbErrUnrecognized, QStringLiteral("the integrity check failed")};
    m_integrityChecked = true;
    return {};
}

DbStatus PasswordStore::CheckDatabase()
{
    // The select's own columns, without a row: a missing table or column
    // shows as it would in the load.
    std::vector<DbRow> none;
    return readRows(selectStatement() + QStringLiteral("LIMIT 0"), none);
}

DbStatus PasswordStore::readRows(const QString& statement, std::vector<DbRow>& rows)
{
    std::unique_ptr<IDbConnection> connection;
    DbStatus status = m_engine.open(m_path, false, connectString(m_programPassword), connection);
    if (!status.ok())
        return status;
    status = connection->select(statement, rows);
    if (status.ok() && !m_integrityChecked)
        status = checkIntegrity(*connection);
    connection->close();
    if (!status.ok())
        rows.clear();
    return status;
}

std::pair<int, int> PasswordStore::SiteRows(const QString& site) const
{
    const int first = FindSiteExact(m_siteTable, site);
    if (first < 0)
        return {0, 0};
    int last = first;
    while (last + 1 < siteCount() && m_siteTable[static_cast<size_t>(last) + 1].Site == site)
        ++last;
    return {first, last - first + 1};
}

void PasswordStore::DropSiteRows(int first, int count)
{
    const auto begin = m_siteTable.begin() + first;
    m_siteTable.erase(begin, begin + count);
}

DbStatus PasswordStore::loadRows()
{
    m_siteTable.clear();
    std::vector<DbRow> rows;
    DbStatus status = readRows(selectStatement(), rows);
    if (!status.ok())
        return status;
    // Every row is kept: the table has no fixed capacity here. The texts are
    // moved, not copied.
    m_siteTable.reserve(rows.size());
    for (DbRow& row : rows) {
        if (row.size() < 3 || !row[0])
            continue;
        m_siteTable.push_back(SiteRecord{std::move(*row[0]), std::move(row[1]).value_or(QString()),
                                         std::move(row[2]).value_or(QString())});
    }
    rows = {};
    SortSiteTable(m_siteTable);
    return {};
}

void SortSiteTable(std::vector<SiteRecord>& table)
{
    // The engine orders by bytes (capitals first, accents last); a French reader
    // expects "amazon, banque, école, Gmail, Zeta". Equal names keep their order.
    const QCollator& collator = SiteCollator();
    std::vector<std::pair<QCollatorSortKey, std::size_t>> keys;
    keys.reserve(table.size());
    for (std::size_t i = 0; i < table.size(); ++i)
        keys.emplace_back(collator.sortKey(table[i].Site), i);
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a.first.compare(b.first) < 0; });
    std::vector<SiteRecord> sorted;
    sorted.reserve(table.size());
    for (const auto& key : keys)
        sorted.push_back(std::move(table[key.second]));
    table = std::move(sorted);
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

DbStatus PasswordStore::changeFilePassword(const QString& path, const QString& oldPassword,
                                           const QString& newPassword)
{
    if (!QFileInfo::exists(path))
        return {DbErrFileNotFound, QStringLiteral("the database file is missing")};
    std::unique_ptr<IDbConnection> connection;
    DbStatus status = m_engine.open(path, true, connectString(oldPassword), connection);
    if (!status.ok())
        return status;
    // The engine verifies the new file before it reports success: its word is final.
    status = connection->changePassword(oldPassword, newPassword);
    connection->close();
    RemoveChangeLeftovers(path);
    return status;
}

bool PasswordStore::ChangeDatabasePassword(const QString& path, const QString& oldPassword,
                                           const QString& newPassword)
{
    return changeFilePassword(path, oldPassword, newPassword).ok();
}

DbStatus PasswordStore::tryOpen(const QString& password)
{
    std::unique_ptr<IDbConnection> connection;
    DbStatus status = m_engine.open(m_path, false, connectString(password), connection);
    if (connection)
        connection->close();
    return status;
}

PasswordChangeVerdict PasswordStore::ChangeProgramPassword(const QString& newPassword)
{
    PasswordChangeVerdict verdict;
    verdict.failure = changeFilePassword(m_path, m_programPassword, newPassword);
    if (verdict.failure.ok()) {
        verdict.opens = PasswordChangeVerdict::Opens::NewPassword;
        m_programPassword = newPassword;
        return verdict;
    }
    // A failure late in the change (a roll-back that could not put the old file
    // back) may leave the new password in force: ask the file itself.
    verdict.probe = tryOpen(newPassword);
    if (verdict.probe.ok()) {
        verdict.opens = PasswordChangeVerdict::Opens::NewPassword;
        m_programPassword = newPassword;
        return verdict;
    }
    const DbStatus old = tryOpen(m_programPassword);
    if (old.ok()) {
        verdict.opens = PasswordChangeVerdict::Opens::OldPassword;
        return verdict;
    }
    verdict.opens = PasswordChangeVerdict::Opens::Neither;
    if (verdict.probe.number == DbErrNotValidPassword)
        verdict.probe = old;
    return verdict;
}

QString PasswordChangeVerdict::message() const
{
    switch (opens) {
    case Opens::NewPassword:
        return QString();
    case Opens::OldPassword:
        return QStringLiteral("Le mot de passe n'a pas pu être changé.\r\n") +
               (failure.number == DbErrOutOfMemory ? DatabaseProblemText(failure) + QStringLiteral("\r\n")
                                                   : QString()) +
               QStringLiteral("L'ancien mot de passe reste valable.");
    case Opens::Neither:
        break;
    }
    return QStringLiteral("Le mot de passe n'a peut-être pas été changé : la base de donnée ne s'ouvre pour "
                          "l'instant ni avec l'ancien ni avec le nouveau mot de passe.\r\n") +
           DatabaseProblemText(probe) + QStringLiteral("\r\nL'ancien mot de passe reste celui du programme.");
}

int FindSiteExact(const std::vector<SiteRecord>& table, const QString& site)
{
    for (std::size_t i = 0; i < table.size(); ++i)
        if (table[i].Site == site)
            return static_cast<int>(i);
    return -1;
}

} // namespace kr
