// The SQLCipher engine: error numbers, statements, locks, kept keys, password changes.
#include "StoreTestKit.h"

#define SQLITE_HAS_CODEC 1
#include <sqlcipher/sqlite3.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace kr;
using namespace kr::test;
using Step = SqlCipherEngine::ChangeStep;

namespace {

const QString Secret = QStringLiteral("s3cr\u00e9t ';x");

// Opens with SQLite's own calls, choosing the iteration count.
int rawOpen(const QString& path, const QByteArray& key, int kdfIter) {
    sqlite3* db = nullptr;
    int rc =
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK && !key.isEmpty()) {
        rc = sqlite3_key(db, key.constData(), static_cast<int>(key.size()));
        if (rc == SQLITE_OK && kdfIter > 0)
            rc = sqlite3_exec(
                db, ("PRAGMA kdf_iter = " + QByteArray::number(kdfIter) + ";").constData(), nullptr,
                nullptr, nullptr);
    }
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master;", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db);
    return rc;
}

void overwrite(const QString& path, qint64 offset, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek(offset));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace

class EngineTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void openErrors_data();
    void openErrors();
    void keyedFilesUseTheFullIterationCount();
    void derivedKeyIsReused();
    void executeRunsOneStatementOnly_data();
    void executeRunsOneStatementOnly();
    void exclusiveOpenShutsOthersOut();
    void changeNeedsExclusiveOpenAndOldPassword();
    void changeThroughALinkChangesTheFile();
    void changeFaultLeavesOldFile_data();
    void changeFaultLeavesOldFile();
    void crashDuringChangeLosesNothing_data();
    void crashDuringChangeLosesNothing();

private:
    QString fixture(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
    SqlCipherEngine m_setup; // builds the fixtures and so knows their keys
    std::vector<SiteRecord> m_rows = sampleRows(25);
};

void EngineTest::initTestCase() {
    QVERIFY(m_dir.isValid());
    QVERIFY(makeDatabase(m_setup, fixture("plain.db"), QString(), m_rows));
    QVERIFY(makeDatabase(m_setup, fixture("keyed.db"), Secret, m_rows));
    QVERIFY(run(m_setup, fixture("plain.db"), QString(), {"PRAGMA user_version = 7"}));
    QVERIFY(run(m_setup, fixture("keyed.db"), Secret, {"PRAGMA user_version = 7"}));
    QVERIFY(touch(fixture("empty.db")));
    QFile foreign(fixture("foreign.txt"));
    QVERIFY(foreign.open(QIODevice::WriteOnly));
    foreign.write(QByteArray("Site,User,Pass\r\nexample.com,bob,secret\r\n").repeated(200));
    foreign.close();

    // Page 1 of an encrypted file fails its HMAC; a plain one loses its header.
    QVERIFY(QFile::copy(fixture("keyed.db"), fixture("damaged-keyed.db")));
    overwrite(fixture("damaged-keyed.db"), 200, QByteArray(16, '\x5a'));
    QVERIFY(QFile::copy(fixture("plain.db"), fixture("damaged-plain.db")));
    overwrite(fixture("damaged-plain.db"), 16, QByteArray(84, '\xff'));
    QVERIFY(QDir(m_dir.path()).mkdir("folder.db"));
}

void EngineTest::openErrors_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("expected");
    QTest::newRow("missing, no password") << "missing.db"
                                          << "" << int(DbErrFileNotFound);
    QTest::newRow("missing, password") << "missing.db"
                                       << "x" << int(DbErrFileNotFound);
    QTest::newRow("missing folder") << "nowhere/missing.db"
                                    << "" << int(DbErrFileNotFound);
    QTest::newRow("plain, no password") << "plain.db"
                                        << "" << int(DbOk);
    QTest::newRow("plain, a password") << "plain.db"
                                       << "x" << int(DbErrNotValidPassword);
    QTest::newRow("keyed, right password") << "keyed.db" << Secret << int(DbOk);
    QTest::newRow("keyed, no password") << "keyed.db"
                                        << "" << int(DbErrNotValidPassword);
    QTest::newRow("keyed, wrong password") << "keyed.db"
                                           << "wrong" << int(DbErrNotValidPassword);
    QTest::newRow("keyed, other case")
        << "keyed.db" << Secret.toUpper() << int(DbErrNotValidPassword);
    QTest::newRow("keyed, prefix") << "keyed.db" << Secret.left(4) << int(DbErrNotValidPassword);
    QTest::newRow("foreign, no password") << "foreign.txt"
                                          << "" << int(DbErrNotValidPassword);
    QTest::newRow("foreign, password") << "foreign.txt"
                                       << "x" << int(DbErrNotValidPassword);
    QTest::newRow("damaged keyed") << "damaged-keyed.db" << Secret << int(DbErrNotValidPassword);
    QTest::newRow("damaged plain header") << "damaged-plain.db"
                                          << "" << int(DbErrUnrecognized);
    QTest::newRow("0-byte file opens") << "empty.db"
                                       << "" << int(DbOk);
    QTest::newRow("folder") << "folder.db"
                            << "" << int(DbErrUnrecognized);
}

void EngineTest::openErrors() {
    QFETCH(QString, file);
    QFETCH(QString, password);
    QFETCH(int, expected);
    const QByteArray before = fileHead(fixture(file), 1 << 20);
    for (const bool exclusive : {false, true}) {
        SqlCipherEngine engine;
        std::unique_ptr<IDbConnection> connection;
        const DbStatus status =
            engine.open(fixture(file), exclusive, connectWith(password), connection);
        QCOMPARE(status.number, expected);
        QCOMPARE(bool(connection), expected == DbOk);
        if (!status.ok())
            QVERIFY(!status.description.isEmpty());
    }
    QVERIFY(!QFileInfo::exists(fixture("missing.db"))); // an open never creates the file
    QCOMPARE(fileHead(fixture(file), 1 << 20), before);
}

void EngineTest::keyedFilesUseTheFullIterationCount() {
    // Made by a first write under a key, and by a password change.
    const QString changed = fixture("changed-to-keyed.db");
    QVERIFY(makeDatabase(m_setup, changed, QString(), m_rows));
    std::unique_ptr<IDbConnection> connection;
    QVERIFY(m_setup.open(changed, true, connectWith(QString()), connection).ok());
    QVERIFY(connection->changePassword(QString(), Secret).ok());
    for (const QString& file : {fixture("keyed.db"), changed}) {
        QCOMPARE(rawOpen(file, Secret.toUtf8(), 256000), SQLITE_OK);
        QCOMPARE(rawOpen(file, Secret.toUtf8(), 0), SQLITE_NOTADB); // SQLCipher's own 64,000
        QVERIFY(fileHead(file, 16) != QByteArray("SQLite format 3\0", 16));
    }
}

void EngineTest::derivedKeyIsReused() {
    const QString file = fixture("reuse.db");
    QVERIFY(QFile::copy(fixture("keyed.db"), file));
    const QStringList files = folderEntries(m_dir.path());
    SqlCipherEngine engine;
    QCOMPARE(openNumber(engine, file, Secret), int(DbOk));
    const int afterGate = engine.keyDerivations();
    QVERIFY(afterGate >= 1);
    for (const bool exclusive : {false, true, false})
        QCOMPARE(openNumber(engine, file, Secret, exclusive), int(DbOk));
    QCOMPARE(readAll(engine, file, Secret), std::optional(asDbRows(m_rows)));
    QCOMPARE(engine.keyDerivations(), afterGate);

    // A wrong password is never answered from memory.
    QCOMPARE(openNumber(engine, file, "wrong"), int(DbErrNotValidPassword));
    QVERIFY(engine.keyDerivations() > afterGate);

    // A change gives a new salt: the new password derives once, then not again.
    std::unique_ptr<IDbConnection> connection;
    QVERIFY(engine.open(file, true, connectWith(Secret), connection).ok());
    QVERIFY(connection->changePassword(Secret, "next").ok());
    int count = engine.keyDerivations();
    QCOMPARE(openNumber(engine, file, "next"), int(DbOk));
    QVERIFY(engine.keyDerivations() > count);
    count = engine.keyDerivations();
    QCOMPARE(openNumber(engine, file, "next"), int(DbOk));
    QCOMPARE(openNumber(engine, file, Secret), int(DbErrNotValidPassword));
    QCOMPARE(engine.keyDerivations(), count + 1);

    engine.forgetKeys();
    QCOMPARE(openNumber(engine, file, "next"), int(DbOk));
    QVERIFY(engine.keyDerivations() > count + 1);
    QCOMPARE(folderEntries(m_dir.path()), files); // kept in memory only
}

void EngineTest::executeRunsOneStatementOnly_data() {
    QTest::addColumn<QString>("statement");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("rowsAfter");
    QTest::newRow("one, trailing blank")
        << "DELETE FROM tblSite WHERE Site='site00000.example' " << int(DbOk) << 24;
    QTest::newRow("one, trailing comment")
        << "DELETE FROM tblSite WHERE 0; -- nothing" << int(DbOk) << 25;
    QTest::newRow("second statement")
        << "DELETE FROM tblSite WHERE 0; DROP TABLE tblSite" << int(DbErrUnrecognized) << 25;
    QTest::newRow("smuggled delete")
        << "INSERT INTO tblSite (Site,User,Pass) VALUES ('x'); DELETE FROM tblSite; --','u','p') "
        << int(DbErrUnrecognized) << 25;
    QTest::newRow("empty") << "" << int(DbErrUnrecognized) << 25;
    QTest::newRow("syntax error") << "DELETE FROM tblSite WHERE" << int(DbErrUnrecognized) << 25;
    QTest::newRow("no such table") << "DELETE FROM tblSites" << int(DbErrNoSuchTable) << 25;
}

void EngineTest::executeRunsOneStatementOnly() {
    QFETCH(QString, statement);
    QFETCH(int, expected);
    QFETCH(int, rowsAfter);
    const QString file = fixture("one-statement.db");
    QFile::remove(file);
    QVERIFY(makeDatabase(m_setup, file, QString(), m_rows));
    std::unique_ptr<IDbConnection> connection;
    QVERIFY(m_setup.open(file, false, connectWith(QString()), connection).ok());
    QCOMPARE(connection->execute(statement).number, expected);
    connection->close();
    const auto rows = readAll(m_setup, file, QString());
    QVERIFY(rows);
    QCOMPARE(int(rows->size()), rowsAfter);
}

void EngineTest::exclusiveOpenShutsOthersOut() {
    const QString file = fixture("exclusive.db");
    QVERIFY(makeDatabase(m_setup, file, Secret, m_rows));
    SqlCipherEngine engine;
    std::unique_ptr<IDbConnection> holder;
    QVERIFY(engine.open(file, true, connectWith(Secret), holder).ok());
    QCOMPARE(openNumber(engine, file, Secret), int(DbErrFileInUse));
    QCOMPARE(openNumber(engine, file, Secret, true), int(DbErrFileInUse));
    holder->close();
    QCOMPARE(openNumber(engine, file, Secret, true), int(DbOk));

    // A reader inside its transaction keeps an exclusive open out.
    std::unique_ptr<IDbConnection> reader;
    QVERIFY(engine.open(file, false, connectWith(Secret), reader).ok());
    std::vector<DbRow> rows;
    QVERIFY(reader->execute("BEGIN").ok());
    QVERIFY(reader->select("SELECT Site FROM tblSite", rows).ok());
    QCOMPARE(openNumber(engine, file, Secret, true), int(DbErrFileInUse));
    QVERIFY(reader->execute("COMMIT").ok());
    QCOMPARE(openNumber(engine, file, Secret, true), int(DbOk));
}

void EngineTest::changeNeedsExclusiveOpenAndOldPassword() {
    const QString file = fixture("guarded.db");
    QVERIFY(makeDatabase(m_setup, file, Secret, m_rows));
    const QByteArray before = fileHead(file, 1 << 20);
    SqlCipherEngine engine;
    std::unique_ptr<IDbConnection> shared;
    QVERIFY(engine.open(file, false, connectWith(Secret), shared).ok());
    QVERIFY(!shared->changePassword(Secret, "new").ok());
    shared->close();
    std::unique_ptr<IDbConnection> exclusive;
    QVERIFY(engine.open(file, true, connectWith(Secret), exclusive).ok());
    QCOMPARE(exclusive->changePassword("not it", "new").number, int(DbErrNotValidPassword));
    QCOMPARE(exclusive->changePassword(QString(), "new").number, int(DbErrNotValidPassword));
    exclusive->close();
    QVERIFY(!exclusive->changePassword(Secret, "new").ok()); // closed
    QCOMPARE(fileHead(file, 1 << 20), before);
}

void EngineTest::changeThroughALinkChangesTheFile() {
    QTemporaryDir dir;
    const QString file = dir.filePath("real.db");
    const QString link = dir.filePath("BDMDP.MDB");
    QVERIFY(QFile::copy(fixture("keyed.db"), file));
    QVERIFY(QFile::link(file, link));
    std::unique_ptr<IDbConnection> connection;
    QVERIFY(m_setup.open(link, true, connectWith(Secret), connection).ok());
    QVERIFY(connection->changePassword(Secret, QString()).ok());
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(readAll(m_setup, link, QString()), std::optional(asDbRows(m_rows)));
    QCOMPARE(folderEntries(dir.path()), (QStringList{"BDMDP.MDB", "real.db"}));
}

void EngineTest::changeFaultLeavesOldFile_data() {
    QTest::addColumn<QString>("oldPassword");
    QTest::addColumn<QString>("newPassword");
    QTest::addColumn<int>("step");
    const std::pair<const char*, std::pair<QString, QString>> directions[] = {
        {"keyed->keyed", {Secret, "n\u00e9w"}},
        {"plain->keyed", {"", "n\u00e9w"}},
        {"keyed->plain", {Secret, ""}},
    };
    for (const auto& [name, passwords] : directions)
        for (int step = 0; step < SqlCipherEngine::ChangeStepCount; ++step)
            QTest::addRow("%s at %s", name, qPrintable(SqlCipherEngine::changeStepName(Step(step))))
                << passwords.first << passwords.second << step;
}

void EngineTest::changeFaultLeavesOldFile() {
    QFETCH(QString, oldPassword);
    QFETCH(QString, newPassword);
    QFETCH(int, step);
    QTemporaryDir dir;
    const QString file = dir.filePath("BDMDP.MDB");
    QVERIFY(QFile::copy(fixture(oldPassword.isEmpty() ? "plain.db" : "keyed.db"), file));
    const QByteArray before = fileHead(file, 1 << 20);

    // m_setup already knows the fixture's key: only the change itself derives.
    int reached = -1;
    m_setup.setFaultHook([&](Step at) {
        reached = std::max(reached, int(at));
        return int(at) == step;
    });
    std::unique_ptr<IDbConnection> connection;
    QVERIFY(m_setup.open(file, true, connectWith(oldPassword), connection).ok());
    const DbStatus status = connection->changePassword(oldPassword, newPassword);
    m_setup.setFaultHook({});
    QVERIFY(!status.ok());
    QCOMPARE(reached, step);
    QVERIFY(status.description.contains(SqlCipherEngine::changeStepName(Step(step))));

    // The failed change left the connection on the old file, still exclusive.
    std::vector<DbRow> rows;
    QVERIFY(connection->select("SELECT Site,User,Pass FROM tblSite ORDER BY rowid", rows).ok());
    QCOMPARE(rows, asDbRows(m_rows));
    QCOMPARE(openNumber(m_setup, file, oldPassword), int(DbErrFileInUse));
    connection->close();

    QCOMPARE(fileHead(file, 1 << 20), before);
    QCOMPARE(folderEntries(dir.path()), QStringList{"BDMDP.MDB"});
    QCOMPARE(readAll(m_setup, file, oldPassword), std::optional(asDbRows(m_rows)));
    QCOMPARE(openNumber(m_setup, file, newPassword), int(DbErrNotValidPassword));
}

void EngineTest::crashDuringChangeLosesNothing_data() {
    QTest::addColumn<int>("step");
    QTest::addColumn<bool>("newInPlace");
    for (int step = 0; step < SqlCipherEngine::ChangeStepCount; ++step)
        QTest::newRow(qPrintable(SqlCipherEngine::changeStepName(Step(step))))
            << step << (step > int(Step::Rename));
}

// The process dies just before a step, with no clean-up at all.
void EngineTest::crashDuringChangeLosesNothing() {
    QFETCH(int, step);
    QFETCH(bool, newInPlace);
    QTemporaryDir dir;
    const QString file = dir.filePath("BDMDP.MDB");
    QVERIFY(QFile::copy(fixture("keyed.db"), file));
    QProcess crasher;
    crasher.start(
        QStringLiteral(STORE_CHANGE_CRASHER),
        {file, Secret, QStringLiteral("after"), SqlCipherEngine::changeStepName(Step(step))});
    QVERIFY(crasher.waitForFinished(60000));
    QCOMPARE(crasher.exitStatus(), QProcess::NormalExit);
    QCOMPARE(crasher.exitCode(), 3);

    const QString inPlace = newInPlace ? QStringLiteral("after") : Secret;
    const QString gone = newInPlace ? Secret : QStringLiteral("after");
    QCOMPARE(readAll(m_setup, file, inPlace), std::optional(asDbRows(m_rows)));
    QCOMPARE(openNumber(m_setup, file, gone), int(DbErrNotValidPassword));
    QCOMPARE(fileMode(file), 0600);

    // Leftovers of the crash do not stand in the way of the next change.
    std::unique_ptr<IDbConnection> connection;
    QVERIFY(m_setup.open(file, true, connectWith(inPlace), connection).ok());
    QVERIFY(connection->changePassword(inPlace, QString()).ok());
    QCOMPARE(readAll(m_setup, file, QString()), std::optional(asDbRows(m_rows)));
}

QTEST_GUILESS_MAIN(EngineTest)
#include "tst_store_engine.moc"
