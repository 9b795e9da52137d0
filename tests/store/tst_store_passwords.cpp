// PasswordStore on real database files: statements, rows, the gate, password changes.
#include "StoreTestKit.h"
#include "store/PasswordStore.h"

#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace kr;
using namespace kr::test;

namespace {

std::vector<SiteRecord> sortedBySiteBytes(std::vector<SiteRecord> rows) {
    // SQLite's BINARY collation: memcmp of the UTF-8 bytes, stable for equal sites.
    std::stable_sort(rows.begin(), rows.end(), [](const SiteRecord& a, const SiteRecord& b) {
        return a.Site.toUtf8() < b.Site.toUtf8();
    });
    return rows;
}

} // namespace

class StoreTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void statementTexts_data();
    void statementTexts();
    void textsRoundTrip_data();
    void textsRoundTrip();
    void loadsEveryRowInOrder_data();
    void loadsEveryRowInOrder();
    void nullFields();
    void checkProgramPassword_data();
    void checkProgramPassword();
    void failuresAreReportedAndLoseNothing_data();
    void failuresAreReportedAndLoseNothing();
    void lockedFileLosesNothing();
    void deleteRemovesEveryRowOfThatSiteOnly();
    void changePassword_data();
    void changePassword();
    void changePasswordRefused();
    void findSiteExact();

private:
    QString m_file;
    std::unique_ptr<QTemporaryDir> m_dir;
    SqlCipherEngine m_engine;
};

void StoreTest::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_file = m_dir->filePath("BDMDP.MDB");
}

void StoreTest::statementTexts_data() {
    QTest::addColumn<QStringList>("values"); // site, user, pass
    QTest::addColumn<QString>("insert");
    QTest::addColumn<QString>("remove");
    QTest::newRow("well-formed")
        << QStringList{"example.com", "bob", "pw 1"}
        << "INSERT INTO tblSite (Site,User,Pass) VALUES ('example.com','bob','pw 1') "
        << "DELETE FROM tblSite WHERE [Site]='example.com' ";
    QTest::newRow("quotes doubled")
        << QStringList{"o'neil.com", "d'arc", "''"}
        << "INSERT INTO tblSite (Site,User,Pass) VALUES ('o''neil.com','d''arc','''''') "
        << "DELETE FROM tblSite WHERE [Site]='o''neil.com' ";
    QTest::newRow("injection")
        << QStringList{"x'); DELETE FROM tblSite; --", "u", "p"}
        << "INSERT INTO tblSite (Site,User,Pass) VALUES ('x''); DELETE FROM tblSite; --','u','p') "
        << "DELETE FROM tblSite WHERE [Site]='x''); DELETE FROM tblSite; --' ";
}

void StoreTest::statementTexts() {
    QFETCH(QStringList, values);
    QFETCH(QString, insert);
    QFETCH(QString, remove);
    QCOMPARE(PasswordStore::insertStatement(values[0], values[1], values[2]), insert);
    QCOMPARE(PasswordStore::deleteStatement(values[0]), remove);
    QCOMPARE(PasswordStore::selectStatement(),
             QStringLiteral("SELECT Site,User,Pass FROM tblSite ORDER BY Site "));
    QCOMPARE(PasswordStore::connectString(QString()), QStringLiteral(";pwd="));
    QCOMPARE(PasswordStore::connectString(values[1]), QStringLiteral(";pwd=") + values[1]);
}

void StoreTest::textsRoundTrip_data() {
    QTest::addColumn<QString>("site");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("pass");
    QTest::newRow("quotes") << "l'\u00e9t\u00e9.fr"
                            << "'"
                            << "a''b'";
    QTest::newRow("accents and scripts") << "caf\u00e9.example"
                                         << "J\u00fcrgen \u00df"
                                         << "\u20ac\u0436\u4e2d\U0001F600";
    QTest::newRow("key-string braces") << "{TAB}"
                                       << "+^%~(){}"
                                       << "{ENTER}{{}{}}";
    QTest::newRow("blanks kept") << " lead"
                                 << "trail "
                                 << "  ";
    QTest::newRow("control characters") << "tab\there"
                                        << "line\r\nbreak"
                                        << "\u0001";
    QTest::newRow("1000 characters")
        << QString(1000, QChar(u'\u00e9')) << QString(1000, u'\'') << QString(1000, u'x');
    QTest::newRow("injection") << "x'); DELETE FROM tblSite; --"
                               << "' OR '1'='1"
                               << "');DROP TABLE tblSite;--";
    QTest::newRow("always true") << "' OR '1'='1"
                                 << "NULL"
                                 << "x'); DELETE FROM tblSite; --";
}

void StoreTest::textsRoundTrip() {
    QFETCH(QString, site);
    QFETCH(QString, user);
    QFETCH(QString, pass);
    QVERIFY(makeDatabase(m_engine, m_file, QStringLiteral("\u00fc pw"), sampleRows(2)));
    PasswordStore store(m_engine, m_file);
    store.setProgramPassword(QStringLiteral("\u00fc pw"));
    QVERIFY(store.InsertSiteRecord(site, user, pass).ok());
    QVERIFY(store.LoadSiteList().ok());
    QCOMPARE(store.siteCount(), 3);
    const int at = FindSiteExact(store.siteTable(), site);
    QVERIFY(at >= 0);
    QCOMPARE(store.siteTable()[at], (SiteRecord{site, user, pass}));
    QVERIFY(store.DeleteSiteRecords(site).ok()); // that row, and only that row
    QVERIFY(store.LoadSiteList().ok());
    QCOMPARE(store.siteTable(), sampleRows(2));
}

void StoreTest::loadsEveryRowInOrder_data() {
    QTest::addColumn<int>("count");
    QTest::newRow("601, the old capacity") << 601;
    QTest::newRow("602") << 602;
    QTest::newRow("20000") << 20000;
}

void StoreTest::loadsEveryRowInOrder() {
    QFETCH(int, count);
    // Inserted out of order, with case, accents and a duplicate site.
    std::vector<SiteRecord> rows = sampleRows(count);
    std::reverse(rows.begin(), rows.end());
    rows[0].Site = QStringLiteral("\u00e9t\u00e9.example");
    rows[1].Site = QStringLiteral("Zeta.example");
    rows[2].Site = QStringLiteral("zeta.example");
    rows[3].Site = rows[4].Site;
    QVERIFY(makeDatabase(m_engine, m_file, QStringLiteral("pw"), rows));
    PasswordStore store(m_engine, m_file);
    store.setProgramPassword(QStringLiteral("pw"));
    QVERIFY(store.LoadSiteList().ok());
    QCOMPARE(store.siteCount(), count);
    const std::vector<SiteRecord> expected = sortedBySiteBytes(rows);
    QVERIFY(std::equal(expected.begin(), expected.end(), store.siteTable().begin(),
                       [](const SiteRecord& a, const SiteRecord& b) { return a.Site == b.Site; }));
    for (const SiteRecord& row : store.siteTable())
        QCOMPARE(row.User.mid(4), row.Pass.mid(7)); // every row kept its own fields
}

void StoreTest::nullFields() {
    QVERIFY(makeDatabase(m_engine, m_file, QString(), {{"b", "ub", "pb"}}));
    QVERIFY(run(m_engine, m_file, QString(),
                {"INSERT INTO tblSite VALUES (NULL,'u','p')",
                 "INSERT INTO tblSite VALUES ('a',NULL,NULL)",
                 "INSERT INTO tblSite VALUES ('',NULL,'p')"}));
    PasswordStore store(m_engine, m_file);
    QVERIFY(store.LoadSiteList().ok());
    const std::vector<SiteRecord> expected{{"", "", "p"}, {"a", "", ""}, {"b", "ub", "pb"}};
    QCOMPARE(store.siteTable(), expected);
    QCOMPARE(store.siteCount(), 3);
}

void StoreTest::checkProgramPassword_data() {
    QTest::addColumn<QString>("filePassword"); // "<none>": no file at all
    QTest::addColumn<QString>("candidate");
    QTest::addColumn<int>("expected");
    QTest::newRow("missing file") << "<none>"
                                  << "" << int(DbErrFileNotFound);
    QTest::newRow("missing file, password") << "<none>"
                                            << "pw" << int(DbErrFileNotFound);
    QTest::newRow("plain file, empty") << ""
                                       << "" << int(DbOk);
    QTest::newRow("plain file, password") << ""
                                          << "pw" << int(DbErrNotValidPassword);
    QTest::newRow("keyed, right") << "pw \u00e9"
                                  << "pw \u00e9" << int(DbOk);
    QTest::newRow("keyed, wrong") << "pw \u00e9"
                                  << "pw e" << int(DbErrNotValidPassword);
    QTest::newRow("keyed, empty") << "pw \u00e9"
                                  << "" << int(DbErrNotValidPassword);
}

void StoreTest::checkProgramPassword() {
    QFETCH(QString, filePassword);
    QFETCH(QString, candidate);
    QFETCH(int, expected);
    if (filePassword != QLatin1String("<none>"))
        QVERIFY(makeDatabase(m_engine, m_file, filePassword, sampleRows(2)));
    PasswordStore store(m_engine, m_file);
    store.setProgramPassword(QStringLiteral("before"));
    QCOMPARE(store.CheckProgramPassword(candidate), expected);
    QCOMPARE(store.programPassword(), expected == DbOk ? candidate : QStringLiteral("before"));
    if (expected == DbOk) {
        QVERIFY(store.LoadSiteList().ok()); // later operations open with it
        QCOMPARE(store.siteTable(), sampleRows(2));
    }
}

void StoreTest::failuresAreReportedAndLoseNothing_data() {
    QTest::addColumn<QString>("damage");
    QTest::addColumn<int>("expected");
    QTest::newRow("0-byte file, no table") << "empty" << int(DbErrNoSuchTable);
    QTest::newRow("file removed") << "removed" << int(DbErrFileNotFound);
    QTest::newRow("password changed elsewhere") << "rekeyed" << int(DbErrNotValidPassword);
    QTest::newRow("truncated file") << "truncated" << int(DbErrUnrecognized);
}

// The list, the insert and the delete report a failure as a status; none crashes
// and none touches what is left of the file.
void StoreTest::failuresAreReportedAndLoseNothing() {
    QFETCH(QString, damage);
    QFETCH(int, expected);
    QVERIFY(makeDatabase(m_engine, m_file, QStringLiteral("pw"), sampleRows(3000)));
    PasswordStore store(m_engine, m_file);
    QCOMPARE(store.CheckProgramPassword(QStringLiteral("pw")), int(DbOk));
    QVERIFY(store.LoadSiteList().ok());
    QCOMPARE(store.siteCount(), 3000);

    if (damage == QLatin1String("empty")) {
        QVERIFY(QFile::remove(m_file));
        QVERIFY(touch(m_file));
    } else if (damage == QLatin1String("removed")) {
        QVERIFY(QFile::remove(m_file));
    } else if (damage == QLatin1String("rekeyed")) {
        QVERIFY(PasswordStore(m_engine, m_file).ChangeDatabasePassword(m_file, "pw", "other"));
    } else {
        QFile file(m_file);
        QVERIFY(file.resize(file.size() / 2));
    }
    const QByteArray before = fileHead(m_file, 1 << 24);

    const DbStatus loaded = store.LoadSiteList();
    QCOMPARE(loaded.number, expected);
    QCOMPARE(store.siteCount(), 0);
    QVERIFY(store.siteTable().empty());
    QVERIFY(!store.InsertSiteRecord("new.example", "u", "p").ok());
    QVERIFY(!store.DeleteSiteRecords("site00001.example").ok());
    QCOMPARE(fileHead(m_file, 1 << 24), before);
    QCOMPARE(QFileInfo::exists(m_file), damage != QLatin1String("removed"));
}

void StoreTest::lockedFileLosesNothing() {
    QVERIFY(makeDatabase(m_engine, m_file, QStringLiteral("pw"), sampleRows(5)));
    PasswordStore store(m_engine, m_file);
    QCOMPARE(store.CheckProgramPassword(QStringLiteral("pw")), int(DbOk));
    {
        SqlCipherEngine otherProcess;
        std::unique_ptr<IDbConnection> holder;
        QVERIFY(otherProcess.open(m_file, true, connectWith("pw"), holder).ok());
        QCOMPARE(store.InsertSiteRecord("new.example", "u", "p").number, int(DbErrFileInUse));
        QCOMPARE(store.DeleteSiteRecords("site00001.example").number, int(DbErrFileInUse));
        QCOMPARE(store.LoadSiteList().number, int(DbErrFileInUse));
        QCOMPARE(store.CheckProgramPassword(QStringLiteral("pw")), int(DbErrFileInUse));
        QVERIFY(!store.ChangeDatabasePassword(m_file, "pw", "new"));
    }
    QVERIFY(store.LoadSiteList().ok());
    QCOMPARE(store.siteTable(), sampleRows(5));
    QVERIFY(store.InsertSiteRecord("new.example", "u", "p").ok());
    QVERIFY(store.LoadSiteList().ok());
    QCOMPARE(store.siteCount(), 6);
}

void StoreTest::deleteRemovesEveryRowOfThatSiteOnly() {
    QVERIFY(makeDatabase(m_engine, m_file, QString(),
                         {{"dup.example", "u1", "p1"},
                          {"keep.example", "u", "p"},
                          {"dup.example", "u2", "p2"},
                          {"Dup.example", "u3", "p3"},
                          {"dup.example ", "u4", "p4"}}));
    PasswordStore store(m_engine, m_file);
    QVERIFY(store.DeleteSiteRecords("dup.example").ok());
    QVERIFY(store.DeleteSiteRecords("absent.example").ok());
    QVERIFY(store.LoadSiteList().ok());
    const std::vector<SiteRecord> expected{
        {"Dup.example", "u3", "p3"}, {"dup.example ", "u4", "p4"}, {"keep.example", "u", "p"}};
    QCOMPARE(store.siteTable(), expected);
}

void StoreTest::changePassword_data() {
    QTest::addColumn<QString>("oldPassword");
    QTest::addColumn<QString>("newPassword");
    QTest::newRow("none -> some") << ""
                                  << "n\u00e9w pw";
    QTest::newRow("some -> some") << "old pw"
                                  << "n\u00e9w pw";
    QTest::newRow("some -> none") << "old pw"
                                  << "";
    QTest::newRow("none -> none") << ""
                                  << "";
    QTest::newRow("some -> same") << "old pw"
                                  << "old pw";
}

void StoreTest::changePassword() {
    QFETCH(QString, oldPassword);
    QFETCH(QString, newPassword);
    const std::vector<SiteRecord> rows = sampleRows(700);
    QVERIFY(makeDatabase(m_engine, m_file, oldPassword, rows));
    QVERIFY(run(m_engine, m_file, oldPassword,
                {"PRAGMA user_version = 42", "INSERT INTO tblSite VALUES (NULL,'kept','too')"}));
    const auto before = readAll(m_engine, m_file, oldPassword);
    QVERIFY(before);
    QVERIFY(QFile::setPermissions(m_file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));

    PasswordStore store(m_engine, m_file);
    QVERIFY(store.ChangeDatabasePassword(m_file, oldPassword, newPassword));

    SqlCipherEngine fresh;
    PasswordStore reopened(fresh, m_file);
    QCOMPARE(reopened.CheckProgramPassword(newPassword), int(DbOk));
    if (oldPassword != newPassword)
        QCOMPARE(reopened.CheckProgramPassword(oldPassword), int(DbErrNotValidPassword));
    QCOMPARE(readAll(fresh, m_file, newPassword), before);
    std::unique_ptr<IDbConnection> connection;
    QVERIFY(fresh.open(m_file, false, connectWith(newPassword), connection).ok());
    std::vector<DbRow> version;
    QVERIFY(connection->select("PRAGMA user_version", version).ok());
    QCOMPARE(version, (std::vector<DbRow>{{QStringLiteral("42")}}));
    connection->close();

    QCOMPARE(fileHead(m_file, 16) == QByteArray("SQLite format 3\0", 16), newPassword.isEmpty());
    QCOMPARE(fileMode(m_file), 0600);
    QCOMPARE(folderEntries(m_dir->path()), QStringList{"BDMDP.MDB"});
}

void StoreTest::changePasswordRefused() {
    PasswordStore store(m_engine, m_file);
    QVERIFY(!store.ChangeDatabasePassword(m_file, "", "new"));
    QVERIFY(!QFileInfo::exists(m_file));
    QCOMPARE(folderEntries(m_dir->path()), QStringList());

    QVERIFY(makeDatabase(m_engine, m_file, QStringLiteral("pw"), sampleRows(4)));
    const QByteArray before = fileHead(m_file, 1 << 20);
    QVERIFY(!store.ChangeDatabasePassword(m_file, "wrong", "new"));
    QVERIFY(!store.ChangeDatabasePassword(m_file, "", "new"));
    QCOMPARE(fileHead(m_file, 1 << 20), before);
}

void StoreTest::findSiteExact() {
    const std::vector<SiteRecord> table{{"a.example", "", ""},
                                        {"b.example", "1", ""},
                                        {"b.example", "2", ""},
                                        {"B.example", "", ""}};
    QCOMPARE(FindSiteExact(table, "b.example"), 1); // the first of two
    QCOMPARE(FindSiteExact(table, "B.example"), 3); // case matters
    QCOMPARE(FindSiteExact(table, "b.example "), -1);
    QCOMPARE(FindSiteExact(table, "z.example"), -1);
}

QTEST_GUILESS_MAIN(StoreTest)
#include "tst_store_passwords.moc"
