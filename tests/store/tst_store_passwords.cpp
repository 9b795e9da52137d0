// PasswordStore on real database files: statements, rows, the gate, password changes.
#include "StoreTestKit.h"
#include "store/ChangeLeftovers.h"
#include "store/PasswordStore.h"

#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace kr;
using namespace kr::test;
using Step = SqlCipherEngine::ChangeStep;

namespace {

// The real engine, whose opens fail with "in use" once `opensLeft` have passed.
class FailingOpens final : public IDatabaseEngine {
public:
    explicit FailingOpens(IDatabaseEngine& real) : m_real(real) {}
    DbStatus open(const QString& path, bool exclusive, const QString& connect,
                  std::unique_ptr<IDbConnection>& connection) override
    {
        if (opensLeft-- <= 0)
            return {DbErrFileInUse, QStringLiteral("locked")};
        return m_real.open(path, exclusive, connect, connection);
    }
    int opensLeft = 1000;

private:
    IDatabaseEngine& m_real;
};

// A reader inside its transaction, as another program holds the file.
std::unique_ptr<IDbConnection> holdReading(IDatabaseEngine& engine, const QString& file,
                                           const QString& password)
{
    std::unique_ptr<IDbConnection> reader;
    std::vector<DbRow> rows;
    if (!engine.open(file, false, connectWith(password), reader).ok() || !reader->execute("BEGIN").ok() ||
        !reader->select("SELECT Site FROM tblSite", rows).ok())
        reader.reset();
    return reader;
}

} // namespace

class StoreTest : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_file;
    CountingDerivation m_keys;
    SqlCipherEngine m_engine{m_keys};

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_file = m_dir->filePath("BDMDP.MDB");
    }

    // Every row, more than the old 601, in the order a French reader expects: letters without
    // case or accents, then the select's order (capitals first). A Null Site is skipped; an
    // empty one, and Null User and Pass, are kept. Texts of every kind are stored and
    // deleted exactly as given, and only they.
    void rowsRoundTripInFrenchOrder()
    {
        const QStringList stored{"Zeta",  "\u00e9cole", "amazon", "gmail", "banque",
                                 "Gmail", "ecole",      "Amazon", ""};
        std::vector<SiteRecord> rows = sampleRows(700);
        std::reverse(rows.begin(), rows.end());
        for (int i = 0; i < stored.size(); ++i)
            rows.push_back({stored[i], QString::number(i), "p"});
        QVERIFY(makeDatabase(
            m_engine, m_file, QStringLiteral("\u00fc pw"), rows,
            {"INSERT INTO tblSite VALUES (NULL,'u','p')", "INSERT INTO tblSite VALUES ('a',NULL,NULL)"}));
        PasswordStore store(m_engine, m_file);
        store.setProgramPassword(QStringLiteral("\u00fc pw"));
        const std::vector<SiteRecord> texts{
            {"l'\u00e9t\u00e9.fr", "'", "a''b'"},
            {"caf\u00e9.example", "J\u00fcrgen \u00df", "\u20ac\u0436\u4e2d\U0001F600"},
            {" lead", "line\r\nbreak\t", "  \u0001"},
            {QString(1000, u'\u00e9'), QString(1000, u'\''), QString(1000, u'x')},
            {"x'); DELETE FROM tblSite; --", "' OR '1'='1", "');DROP TABLE tblSite;--"}};
        for (const SiteRecord& r : texts)
            for (int twice = 0; twice < 2; ++twice)
                QVERIFY(store.InsertSiteRecord(r.Site, r.User, r.Pass).ok());
        QVERIFY(store.LoadSiteList().ok());
        QCOMPARE(store.siteCount(), 700 + 10 + 2 * 5);
        for (const SiteRecord& r : texts) {
            const int at = FindSiteExact(store.siteTable(), r.Site);
            QVERIFY(at >= 0);
            QCOMPARE(store.siteTable()[at], r);
            QVERIFY(store.DeleteSiteRecords(r.Site).ok());
        }
        QVERIFY(store.LoadSiteList().ok());
        QStringList listed,
            expected{"/8/p",           "a//",       "Amazon/7/p", "amazon/2/p", "banque/4/p", "ecole/6/p",
                     "\u00e9cole/1/p", "Gmail/5/p", "gmail/3/p"};
        for (const SiteRecord& r : store.siteTable())
            listed << r.Site + '/' + r.User + '/' + r.Pass;
        for (const SiteRecord& r : sampleRows(700))
            expected << r.Site + '/' + r.User + '/' + r.Pass;
        QCOMPARE(listed, expected << "Zeta/0/p");
        QCOMPARE(FindSiteExact(store.siteTable(), "gmail"), 8); // details stay exact-case
    }

    void failuresAreReportedAndLoseNothing_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<int>("expected");
        QTest::newRow("0-byte file, no table") << "empty" << 3078;
        QTest::newRow("file removed") << "removed" << 3024;
        QTest::newRow("locked by another process") << "locked" << 3045;
    }

    // The list, the insert, the delete and a change of password report a failure, and none
    // touches what is left of the file (nor makes a missing one); nor does a change from a
    // wrong password.
    void failuresAreReportedAndLoseNothing()
    {
        QFETCH(QString, damage);
        QFETCH(int, expected);
        QVERIFY(makeDatabase(m_engine, m_file, QStringLiteral("pw"), sampleRows(50)));
        PasswordStore store(m_engine, m_file);
        QCOMPARE(store.CheckProgramPassword(QStringLiteral("pw")), 0);
        QVERIFY(store.LoadSiteList().ok());
        const QByteArray healthy = fileBytes(m_file);
        QVERIFY(!store.ChangeDatabasePassword(m_file, "wrong", "new"));
        QCOMPARE(fileBytes(m_file), healthy);
        SqlCipherEngine otherProcess{m_keys};
        std::unique_ptr<IDbConnection> holder;
        if (damage == QLatin1String("locked"))
            QVERIFY(otherProcess.open(m_file, true, connectWith("pw"), holder).ok());
        else
            QVERIFY(QFile::remove(m_file) && (damage == QLatin1String("removed") || touch(m_file)));
        const QByteArray before = fileBytes(m_file);
        QCOMPARE(store.LoadSiteList().number, expected);
        QVERIFY(store.siteTable().empty());
        QVERIFY(!store.InsertSiteRecord("new.example", "u", "p").ok());
        QVERIFY(!store.DeleteSiteRecords("site00001.example").ok());
        QVERIFY(damage == QLatin1String("empty") || !store.ChangeDatabasePassword(m_file, "pw", "new"));
        QCOMPARE(fileBytes(m_file), before);
        QCOMPARE(QFileInfo::exists(m_file), damage != QLatin1String("removed"));
    }

    void changeVerdictTellsWhichPasswordOpens_data()
    {
        QTest::addColumn<QStringList>("passwords"); // old, new
        QTest::addColumn<int>("failAt");            // -1: no step fails
        QTest::addColumn<bool>("rollBackFails");
        QTest::addColumn<int>("opensAllowed");
        QTest::addColumn<bool>("newInForce");
        const QStringList keyed{"old", "n\u00e9w"};
        QTest::newRow("confirmed, the file locked right after") << keyed << -1 << false << 1 << true;
        QTest::newRow("plain->plain") << QStringList{"", ""} << -1 << false << 1000 << true;
        for (const QStringList& passwords : {keyed, QStringList{"", "n\u00e9w"}, QStringList{"old", ""}}) {
            const QByteArray from = passwords[0].isEmpty() ? "plain" : "keyed";
            const QByteArray to = passwords[1].isEmpty() ? "plain" : "keyed";
            QTest::addRow("%s->%s", from.data(), to.data()) << passwords << -1 << false << 1000 << true;
            for (int step = 0; step < SqlCipherEngine::ChangeStepCount; ++step) {
                const QByteArray name = SqlCipherEngine::changeStepName(Step(step)).toUtf8();
                QTest::addRow("%s->%s fails at %s", from.data(), to.data(), name.data())
                    << passwords << step << false << 1000 << false;
                // Past the rename a failed roll-back leaves the new, verified file in place.
                if (passwords == keyed && step > int(Step::Rename))
                    QTest::addRow("fails at %s, roll-back fails", name.data())
                        << keyed << step << true << 1000 << true;
            }
        }
        QTest::newRow("file locked, neither opens") << keyed << -1 << false << 0 << false;
        QTest::newRow("a reader holds the file") << keyed << -2 << false << 1000 << false;
    }

    // ProgramPassword and the message always follow the password that opens the file. A
    // change that fails at any step leaves the old file as it was and nothing beside it; one
    // that goes through leaves one private file, plain exactly when the new password is empty.
    void changeVerdictTellsWhichPasswordOpens()
    {
        QFETCH(QStringList, passwords);
        QFETCH(int, failAt);
        QFETCH(bool, rollBackFails);
        QFETCH(int, opensAllowed);
        QFETCH(bool, newInForce);
        const QString oldPassword = passwords[0], newPassword = passwords[1];
        QVERIFY(makeDatabase(m_engine, m_file, oldPassword, sampleRows(3)));
        QVERIFY(QFile::setPermissions(m_file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        const QByteArray before = fileBytes(m_file);
        auto reader = failAt == -2 ? holdReading(m_engine, m_file, oldPassword) : nullptr;
        int reached = -1;
        m_engine.setFaultHook([&](Step at) {
            if (at != Step::RollBackRename)
                reached = std::max(reached, int(at));
            return int(at) == failAt || (rollBackFails && at == Step::RollBackRename);
        });
        FailingOpens engine(m_engine);
        engine.opensLeft = opensAllowed;
        PasswordStore store(engine, m_file);
        store.setProgramPassword(oldPassword);
        m_keys.count = 0;
        const PasswordChangeVerdict verdict = store.ChangeProgramPassword(newPassword);
        if (failAt == -1 && opensAllowed > 1) // the new key only, the old one is known
            QCOMPARE(m_keys.count, newPassword.isEmpty() ? 0 : 1);
        m_engine.setFaultHook({});
        reader.reset();

        SqlCipherEngine fresh{m_keys};
        const bool newOpens = openNumber(fresh, m_file, newPassword) == 0;
        QCOMPARE(newOpens, newInForce);
        if (oldPassword != newPassword)
            QCOMPARE(openNumber(fresh, m_file, newOpens ? oldPassword : newPassword), 3031);
        QCOMPARE(store.programPassword(), newOpens ? newPassword : oldPassword);
        QCOMPARE(verdict.message().isEmpty(), newOpens);
        if (opensAllowed == 0) {
            QCOMPARE(verdict.opens, PasswordChangeVerdict::Opens::Neither);
            QVERIFY(verdict.message().contains(QStringLiteral("verrouillé")));
        }
        if ((failAt >= 0 || failAt == -2) && !rollBackFails) {
            QCOMPARE(reached, failAt == -2 ? -1 : failAt);
            QCOMPARE(fileBytes(m_file), before);
        } else if (newOpens && !rollBackFails) {
            QCOMPARE(fileBytes(m_file).startsWith(QByteArray("SQLite format 3\0", 16)),
                     newPassword.isEmpty());
            QCOMPARE(fileMode(m_file), 0600);
        }
        if (!rollBackFails)
            QCOMPARE(folderEntries(m_dir->path()), QStringList{"BDMDP.MDB"});
        QCOMPARE(readAll(fresh, m_file, store.programPassword()), sampleRows(3));
    }

    void interruptedChangeLeavesNothingBehind_data()
    {
        QTest::addColumn<int>("killedAt");
        QTest::addColumn<bool>("upgrade"); // of an earlier version's vault, under the same password
        for (int step = 0; step < SqlCipherEngine::ChangeStepCount; ++step)
            QTest::addRow("killed before %s", qPrintable(SqlCipherEngine::changeStepName(Step(step))))
                << step << false;
        // The old file is still in place before the rename, the new one after it.
        for (const Step step : {Step::Export, Step::Confirm})
            QTest::addRow("upgrade killed before %s", qPrintable(SqlCipherEngine::changeStepName(step)))
                << int(step) << true;
    }

    // A change, or the upgrade of an old vault, killed at any step: the next gate
    // finds one whole file that opens with the password in force.
    void interruptedChangeLeavesNothingBehind()
    {
        QFETCH(int, killedAt);
        QFETCH(bool, upgrade);
        QVERIFY(upgrade ? makeOldVault(m_file, "old", sampleRows(20))
                        : makeDatabase(m_engine, m_file, QStringLiteral("old"), sampleRows(20)));
        const pid_t child = forkChild([&](const auto&) {
            SqlCipherEngine engine{m_keys};
            engine.setFaultHook([&](Step at) {
                if (int(at) == killedAt)
                    ::_exit(0);
                return false;
            });
            if (upgrade)
                return PasswordStore(engine, m_file).CheckProgramPassword("old");
            PasswordStore(engine, m_file).ChangeDatabasePassword(m_file, "old", "new");
            return 1;
        });
        QCOMPARE(exitCodeOf(child), 0);
        QVERIFY(killedAt == 0 || folderEntries(m_dir->path()).size() > 1);
        // A super-journal of a commit cut short, as a kill inside the export leaves it.
        QVERIFY(writeFile(m_file + "-mj1A2B3C9D4", {}));

        SqlCipherEngine fresh{m_keys};
        const QString password = killedAt > int(Step::Rename) && !upgrade ? "new" : "old";
        QCOMPARE(PasswordStore(fresh, m_file).CheckProgramPassword(password), 0);
        QCOMPARE(folderEntries(m_dir->path()), QStringList{"BDMDP.MDB"});
        QCOMPARE(readAll(fresh, m_file, password), sampleRows(20));
    }

    void derivationsPaid_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("oldVault");
        QTest::addColumn<int>("paid");
        QTest::newRow("right password") << "pw" << false << 1;
        QTest::newRow("wrong password") << "wrong" << false << 1;
        QTest::newRow("wrong password, earlier version's vault") << "wrong" << true << 2;
        // Today's key tried, the old one, then today's again with a new salt for the rewrite.
        QTest::newRow("right password, earlier version's vault rewritten") << "pw" << true << 3;
    }

    // One derivation per unlock (and per change of password, below); none for anything
    // else: not the list, an add, a delete, nor "Appliquer" with the same password.
    void derivationsPaid()
    {
        QFETCH(QString, typed);
        QFETCH(bool, oldVault);
        QFETCH(int, paid);
        QVERIFY(oldVault ? makeOldVault(m_file, "pw", sampleRows(3))
                         : makeDatabase(m_engine, m_file, "pw", sampleRows(3)));
        m_engine.forgetKeys(); // a new run
        m_keys.count = 0;
        PasswordStore store(m_engine, m_file);
        QCOMPARE(store.CheckProgramPassword(typed), typed == "pw" ? 0 : 3031);
        if (typed == "pw") {
            QVERIFY(store.ChangeProgramPassword(typed).message().isEmpty());
            QVERIFY(store.LoadSiteList().ok() && store.InsertSiteRecord("a", "b", "c").ok());
            QVERIFY(store.DeleteSiteRecords("a").ok() && store.LoadSiteList().ok());
        }
        QCOMPARE(m_keys.count, paid);
    }

    // An earlier version's vault opens with its password, and is rewritten under today's key
    // right after the gate, every row kept; while another program reads it, at the next start.
    void oldVaultIsUpgraded()
    {
        const QString password =
            QString(180, u'\u00e0') + QStringLiteral("\u00e9t\u00e9 'x' \"y\" {z} cl\u00e9 \U0001F511");
        QVERIFY(makeOldVault(m_file, password, sampleRows(700)));
        auto reader = holdReading(m_engine, m_file, password);
        QVERIFY(reader);
        const QByteArray before = fileBytes(m_file);
        QCOMPARE(PasswordStore(m_engine, m_file).CheckProgramPassword(password), 0);
        QCOMPARE(fileBytes(m_file), before);
        reader.reset();
        QCOMPARE(PasswordStore(m_engine, m_file).CheckProgramPassword(password), 0);
        CountingDerivation keys;
        SqlCipherEngine fresh{keys};
        QCOMPARE(readAll(fresh, m_file, password), sampleRows(700));
        QCOMPARE(keys.count, 1); // today's key at the first try
    }

    // Only our own patterns go, and nothing while a change may be running elsewhere.
    void leftoversCleanupIsCareful()
    {
        QVERIFY(makeDatabase(m_engine, m_file, QStringLiteral("pw"), sampleRows(2)));
        const QStringList ours{".BDMDP.MDB.new-a1B2c3", ".BDMDP.MDB.new-a1B2c3-journal",
                               ".BDMDP.MDB.old-7f3a", "BDMDP.MDB-mj0FA1239C2"};
        const QStringList others{".BDMDP.MDB.new-abc", ".OTHER.MDB.new-a1B2c3", "BDMDP.MDB-journal",
                                 "BDMDP.MDB.old-7f3a", "notes.txt"};
        for (const QString& name : ours + others)
            QVERIFY(touch(m_dir->filePath(name)));
        QVERIFY(QFile::link(m_dir->filePath("notes.txt"), m_dir->filePath(".BDMDP.MDB.old-1")));
        QStringList left = folderEntries(m_dir->path());

        // Another process holds the database: its change may be running.
        const pid_t other = forkChild([&](const std::function<void()>& ready) {
            SqlCipherEngine engine{m_keys};
            std::unique_ptr<IDbConnection> holder;
            if (!engine.open(m_file, true, connectWith("pw"), holder).ok())
                return 1;
            ready();
            ::pause();
            return 0;
        });
        const QStringList whileHeld = RemoveChangeLeftovers(m_file);
        ::kill(other, SIGKILL);
        QCOMPARE(exitCodeOf(other), -1); // it held the file until then
        QVERIFY(whileHeld.isEmpty());

        // A journal of the database to recover first keeps the super-journals.
        QVERIFY(writeFile(m_file + "-journal", "x"));
        QCOMPARE(RemoveChangeLeftovers(m_file), ours.mid(0, 3));
        QVERIFY(QFile::resize(m_file + "-journal", 0));
        QCOMPARE(RemoveChangeLeftovers(m_file), ours.mid(3));
        for (const QString& name : ours)
            left.removeOne(name);
        QCOMPARE(folderEntries(m_dir->path()), left);
        QCOMPARE(readAll(m_engine, m_file, "pw"), sampleRows(2));
    }
};

QTEST_GUILESS_MAIN(StoreTest)
#include "tst_store_passwords.moc"
