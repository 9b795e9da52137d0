// PasswordStore on real database files: statements, rows, the gate, password changes.
#include "StoreTestKit.h"
#include "store/PasswordStore.h"

#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace kr;
using namespace kr::test;

class StoreTest : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_file;
    SqlCipherEngine m_engine;

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_file = m_dir->filePath("BDMDP.MDB");
    }

    // Every quote inside a value is doubled, so no text can end its string early.
    void statementTexts()
    {
        const QString site = QStringLiteral("x'); DELETE FROM tblSite; --");
        QCOMPARE(PasswordStore::insertStatement(site, "d'arc", "''"),
                 QStringLiteral("INSERT INTO tblSite (Site,User,Pass) VALUES "
                                "('x''); DELETE FROM tblSite; --','d''arc','''''') "));
        QCOMPARE(PasswordStore::deleteStatement(site),
                 QStringLiteral("DELETE FROM tblSite WHERE [Site]='x''); DELETE FROM tblSite; --' "));
        QCOMPARE(PasswordStore::selectStatement(),
                 QStringLiteral("SELECT Site,User,Pass FROM tblSite ORDER BY Site "));
    }

    void textsRoundTrip_data()
    {
        QTest::addColumn<QStringList>("values"); // site, user, pass
        QTest::newRow("quotes") << QStringList{"l'\u00e9t\u00e9.fr", "'", "a''b'"};
        QTest::newRow("scripts") << QStringList{"caf\u00e9.example", "J\u00fcrgen \u00df",
                                                "\u20ac\u0436\u4e2d\U0001F600"};
        QTest::newRow("blanks, controls") << QStringList{" lead", "line\r\nbreak\t", "  \u0001"};
        QTest::newRow("1000 characters")
            << QStringList{QString(1000, u'\u00e9'), QString(1000, u'\''), QString(1000, u'x')};
        QTest::newRow("injection") << QStringList{"x'); DELETE FROM tblSite; --", "' OR '1'='1",
                                                  "');DROP TABLE tblSite;--"};
    }

    // Stored twice beside two other rows: read back as given, then both deleted, and only they.
    void textsRoundTrip()
    {
        QFETCH(QStringList, values);
        const SiteRecord record{values[0], values[1], values[2]};
        QVERIFY(makeDatabase(m_engine, m_file, QStringLiteral("\u00fc pw"), sampleRows(2)));
        PasswordStore store(m_engine, m_file);
        store.setProgramPassword(QStringLiteral("\u00fc pw"));
        for (int i = 0; i < 2; ++i)
            QVERIFY(store.InsertSiteRecord(record.Site, record.User, record.Pass).ok());
        QVERIFY(store.LoadSiteList().ok());
        QCOMPARE(store.siteCount(), 4);
        const int at = FindSiteExact(store.siteTable(), record.Site);
        QVERIFY(at >= 0);
        QCOMPARE(store.siteTable()[at], record);
        QVERIFY(store.DeleteSiteRecords(record.Site).ok());
        QVERIFY(store.LoadSiteList().ok());
        QCOMPARE(store.siteTable(), sampleRows(2));
    }

    void loadsEveryRowInSiteOrder()
    {
        // More than the old 601 rows, stored backwards, with case and accents.
        std::vector<SiteRecord> rows = sampleRows(700);
        std::reverse(rows.begin(), rows.end());
        rows[0].Site = QStringLiteral("\u00e9t\u00e9.example");
        rows[1].Site = QStringLiteral("Zeta.example");
        rows[2].Site = QStringLiteral("zeta.example");
        // A Null Site is skipped; an empty one, and Null User and Pass, are kept.
        QVERIFY(makeDatabase(m_engine, m_file, QStringLiteral("pw"), rows,
                             {"INSERT INTO tblSite VALUES (NULL,'u','p')",
                              "INSERT INTO tblSite VALUES ('a',NULL,NULL)",
                              "INSERT INTO tblSite VALUES ('',NULL,'p')"}));
        rows.push_back({"a", "", ""});
        rows.push_back({"", "", "p"});
        // SQLite's BINARY collation compares the UTF-8 bytes.
        std::sort(rows.begin(), rows.end(),
                  [](const SiteRecord& a, const SiteRecord& b) { return a.Site.toUtf8() < b.Site.toUtf8(); });
        PasswordStore store(m_engine, m_file);
        store.setProgramPassword(QStringLiteral("pw"));
        QVERIFY(store.LoadSiteList().ok());
        QCOMPARE(store.siteTable(), rows);
    }

    void failuresAreReportedAndLoseNothing_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<int>("expected");
        QTest::newRow("0-byte file, no table") << "empty" << 3078;
        QTest::newRow("file removed") << "removed" << 3024;
        QTest::newRow("locked by another process") << "locked" << 3045;
    }

    // The list, the insert and the delete report a failure as a status, and none
    // touches what is left of the file.
    void failuresAreReportedAndLoseNothing()
    {
        QFETCH(QString, damage);
        QFETCH(int, expected);
        QVERIFY(makeDatabase(m_engine, m_file, QStringLiteral("pw"), sampleRows(50)));
        PasswordStore store(m_engine, m_file);
        QCOMPARE(store.CheckProgramPassword(QStringLiteral("pw")), 0);
        QVERIFY(store.LoadSiteList().ok());

        SqlCipherEngine otherProcess;
        std::unique_ptr<IDbConnection> holder;
        if (damage == QLatin1String("empty"))
            QVERIFY(QFile::remove(m_file) && touch(m_file));
        else if (damage == QLatin1String("removed"))
            QVERIFY(QFile::remove(m_file));
        else
            QVERIFY(otherProcess.open(m_file, true, connectWith("pw"), holder).ok());
        const QByteArray before = fileBytes(m_file);

        QCOMPARE(store.LoadSiteList().number, expected);
        QVERIFY(store.siteTable().empty());
        QVERIFY(!store.InsertSiteRecord("new.example", "u", "p").ok());
        QVERIFY(!store.DeleteSiteRecords("site00001.example").ok());
        QCOMPARE(fileBytes(m_file), before);
        QCOMPARE(QFileInfo::exists(m_file), damage != QLatin1String("removed"));
    }

    void changePassword_data()
    {
        QTest::addColumn<QStringList>("passwords"); // old, new
        QTest::newRow("none -> some") << QStringList{"", "n\u00e9w pw"};
        QTest::newRow("some -> some") << QStringList{"old pw", "n\u00e9w pw"};
        QTest::newRow("some -> none") << QStringList{"old pw", ""};
        QTest::newRow("none -> none") << QStringList{"", ""};
    }

    void changePassword()
    {
        QFETCH(QStringList, passwords);
        const QString oldPassword = passwords[0], newPassword = passwords[1];
        QVERIFY(makeDatabase(m_engine, m_file, oldPassword, sampleRows(700)));
        QVERIFY(QFile::setPermissions(m_file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        PasswordStore store(m_engine, m_file);
        QVERIFY(store.ChangeDatabasePassword(m_file, oldPassword, newPassword));

        // Reopened as by the program's next run: the gate keeps only the password that opens.
        SqlCipherEngine fresh;
        PasswordStore reopened(fresh, m_file);
        if (oldPassword != newPassword)
            QCOMPARE(reopened.CheckProgramPassword(oldPassword), 3031);
        QCOMPARE(reopened.CheckProgramPassword(newPassword), 0);
        QCOMPARE(reopened.programPassword(), newPassword);
        QCOMPARE(readAll(fresh, m_file, newPassword), sampleRows(700));

        const bool plain = fileBytes(m_file).startsWith(QByteArray("SQLite format 3\0", 16));
        QCOMPARE(plain, newPassword.isEmpty());
        QCOMPARE(fileMode(m_file), 0600);
        QCOMPARE(folderEntries(m_dir->path()), QStringList{"BDMDP.MDB"});
    }

    void changePasswordRefused()
    {
        PasswordStore store(m_engine, m_file);
        QVERIFY(!store.ChangeDatabasePassword(m_file, "", "new"));
        QCOMPARE(folderEntries(m_dir->path()), QStringList()); // a missing file is not made
        QVERIFY(makeDatabase(m_engine, m_file, QStringLiteral("pw"), sampleRows(4)));
        const QByteArray before = fileBytes(m_file);
        QVERIFY(!store.ChangeDatabasePassword(m_file, "wrong", "new"));
        QVERIFY(!store.ChangeDatabasePassword(m_file, "", "new"));
        // A reader inside its transaction keeps a change out.
        std::unique_ptr<IDbConnection> reader;
        std::vector<DbRow> rows;
        QVERIFY(m_engine.open(m_file, false, connectWith("pw"), reader).ok());
        QVERIFY(reader->execute("BEGIN").ok());
        QVERIFY(reader->select("SELECT Site FROM tblSite", rows).ok());
        QVERIFY(!store.ChangeDatabasePassword(m_file, "pw", "new"));
        reader->close();
        QCOMPARE(fileBytes(m_file), before);
        QVERIFY(store.ChangeDatabasePassword(m_file, "pw", "new")); // once the reader is gone
    }
};

QTEST_GUILESS_MAIN(StoreTest)
#include "tst_store_passwords.moc"
