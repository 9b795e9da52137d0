#pragma once
#include "common/SiteRecord.h"
#include "platform/DatabaseEngine.h"

#include <QString>
#include <vector>

namespace kr {

// The password database BDMDP.MDB with its table tblSite, and the in-memory
// copy of its rows (SiteTable / SiteCount).
class PasswordStore {
public:
    PasswordStore(IDatabaseEngine& engine, QString databasePath);

    const QString& databasePath() const { return m_path; }

    // The master password held for the run (empty for a file without password).
    const QString& programPassword() const { return m_programPassword; }
    void setProgramPassword(const QString& password) { m_programPassword = password; }

    // The gate's test of a candidate master password: opens the file with it and
    // closes it again. On success sets ProgramPassword. Returns the error number
    // (0, 3024 missing file, 3031 not a valid password, or another).
    int CheckProgramPassword(const QString& password);

    // Rebuilds SiteTable from the file (rows in ascending Site order, rows whose
    // Site is Null skipped). On failure SiteTable is left empty.
    DbStatus LoadSiteList();
    const std::vector<SiteRecord>& siteTable() const { return m_siteTable; }
    int siteCount() const { return static_cast<int>(m_siteTable.size()); }

    DbStatus InsertSiteRecord(const QString& site, const QString& user, const QString& pass);
    DbStatus DeleteSiteRecords(const QString& site);

    // Changes the password of the file at path; false when the file is missing,
    // the exclusive open is refused, or the change could not be verified.
    bool ChangeDatabasePassword(const QString& path, const QString& oldPassword, const QString& newPassword);

    // The fixed statement texts, with every single quote inside a value doubled.
    static QString selectStatement();
    static QString insertStatement(const QString& site, const QString& user, const QString& pass);
    static QString deleteStatement(const QString& site);
    static QString connectString(const QString& password);

private:
    IDatabaseEngine& m_engine;
    QString m_path;
    QString m_programPassword;
    std::vector<SiteRecord> m_siteTable;
};

// Index of the first entry whose Site equals site exactly (case-sensitive), or -1.
int FindSiteExact(const std::vector<SiteRecord>& table, const QString& site);

} // namespace kr
