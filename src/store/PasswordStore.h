#pragma once
#include "common/SiteRecord.h"
#include "platform/DatabaseEngine.h"

#include <QString>
#include <utility>
#include <vector>

namespace kr {

// The outcome of a change of the master password: which password opens the file now.
struct PasswordChangeVerdict {
    enum class Opens { NewPassword, OldPassword, Neither };
    Opens opens = Opens::OldPassword;
    DbStatus failure; // ok when the engine confirmed the change
    DbStatus probe;   // for Neither: why the file did not open
    // What the user must be told; empty when the new password is in place.
    QString message() const;
};

// The password database BDMDP.MDB with its table tblSite, and the in-memory
// copy of its rows (SiteTable / SiteCount).
class PasswordStore {
public:
    PasswordStore(IDatabaseEngine& engine, QString databasePath);

    const QString& databasePath() const { return m_path; }

    // The master password held for the run (empty for a file without password).
    const QString& programPassword() const { return m_programPassword; }
    void setProgramPassword(const QString& password) { m_programPassword = password; }
    // Wipes ProgramPassword, the stored passwords of SiteTable and the engine's
    // keys, once nothing will open the file again in this run.
    void forgetSecrets();

    // The gate's test of a candidate master password: opens the file with it and
    // closes it again. On success sets ProgramPassword, and rewrites a vault of an
    // earlier version under today's key. Returns the error number
    // (0, 3024 missing file, 3031 not a valid password, 7 no memory for the key, or another).
    // outcome, when given, receives the engine's full status.
    int CheckProgramPassword(const QString& password, DbStatus* outcome = nullptr);

    // Rebuilds SiteTable from the file (rows in ascending Site order, rows whose
    // Site is Null skipped). On failure SiteTable is left empty. The first load
    // of a run also checks the file's integrity.
    DbStatus LoadSiteList();
    const DbStatus& lastLoadStatus() const { return m_lastLoad; }
    const std::vector<SiteRecord>& siteTable() const { return m_siteTable; }
    // Whether SiteTable is the file's rows as the last load read them.
    bool siteTableLoaded() const { return m_loaded; }
    // Where an entry with that Site stands in SiteTable's order: after every
    // entry that sorts before it or equal to it, as a new load would put it.
    int SitePosition(const QString& site) const;
    // Puts a row just inserted into the file at row of SiteTable (from
    // SitePosition), instead of loading and sorting everything again.
    void PutSiteRecord(int row, SiteRecord record);
    // The entries whose Site is site exactly (what the delete statement
    // removes): they stand together. {first row, number of rows}.
    std::pair<int, int> SiteRows(const QString& site) const;
    // Takes count entries from first out of SiteTable, after a delete.
    void DropSiteRows(int first, int count);
    int siteCount() const { return static_cast<int>(m_siteTable.size()); }

    // Whether the file can be listed, without loading it: opens it with
    // ProgramPassword, asks for the select's columns and, once a run, checks
    // every page. The same outcome as a LoadSiteList that would fail.
    DbStatus CheckDatabase();

    DbStatus InsertSiteRecord(const QString& site, const QString& user, const QString& pass);
    DbStatus DeleteSiteRecords(const QString& site);

    // Changes the password of the file at path; false when the file is missing,
    // the exclusive open is refused, or the engine could not complete the change.
    bool ChangeDatabasePassword(const QString& path, const QString& oldPassword, const QString& newPassword);

    // Changes the file's password from ProgramPassword to newPassword. The engine's
    // verdict is final; after a failure the file is tried with both passwords and
    // ProgramPassword becomes the one that opens it (unchanged when neither does).
    PasswordChangeVerdict ChangeProgramPassword(const QString& newPassword);

    // The fixed statement texts, with every single quote inside a value doubled.
    static QString selectStatement();
    static QString insertStatement(const QString& site, const QString& user, const QString& pass);
    static QString deleteStatement(const QString& site);
    static QString connectString(const QString& password);

private:
    DbStatus changeFilePassword(const QString& path, const QString& oldPassword, const QString& newPassword);
    DbStatus tryOpen(const QString& password);
    void upgradeKey();
    DbStatus loadRows();
    DbStatus readRows(const QString& statement, std::vector<DbRow>& rows);
    DbStatus checkIntegrity(IDbConnection& connection);

    IDatabaseEngine& m_engine;
    QString m_path;
    QString m_programPassword;
    bool m_leftoversRemoved = false;
    bool m_integrityChecked = false;
    bool m_loaded = false;
    DbStatus m_lastLoad;
    std::vector<SiteRecord> m_siteTable;
};

// Orders the table by Site as French text, without regard to letter case or
// accents; rows with equal names keep their order.
void SortSiteTable(std::vector<SiteRecord>& table);

// Index of the first entry whose Site equals site exactly (case-sensitive), or -1.
int FindSiteExact(const std::vector<SiteRecord>& table, const QString& site);

} // namespace kr
