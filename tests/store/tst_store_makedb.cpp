// keyrovia-makedb: creates an empty database only where nothing is.
#include "StoreTestKit.h"
#include "store/PasswordStore.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace kr;
using namespace kr::test;

namespace {

int runMakeDb(const QStringList& arguments) {
    QProcess tool;
    tool.start(QStringLiteral(KEYROVIA_MAKEDB), arguments);
    if (!tool.waitForFinished(30000) || tool.exitStatus() != QProcess::NormalExit)
        return -1;
    return tool.exitCode();
}

struct Snapshot {
    QByteArray bytes;
    int mode = -1;
    qint64 modified = 0;
    bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(const QString& path) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return {fileHead(path, 1 << 20), static_cast<int>(info.st_mode),
            qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

} // namespace

class MakeDbTest : public QObject {
    Q_OBJECT
private slots:
    void createsAnEmptyPrivateDatabase();
    void neverTouchesWhatIsThere_data();
    void neverTouchesWhatIsThere();
    void badTargetsFailCleanly_data();
    void badTargetsFailCleanly();
};

void MakeDbTest::createsAnEmptyPrivateDatabase() {
    QTemporaryDir dir;
    const QString file = dir.filePath("BDMDP.MDB");
    const mode_t oldMask = ::umask(0);
    const int exitCode = runMakeDb({file});
    ::umask(oldMask);
    QCOMPARE(exitCode, 0);
    QCOMPARE(fileMode(file), 0600);
    QCOMPARE(folderEntries(dir.path()), QStringList{"BDMDP.MDB"});
    QCOMPARE(fileHead(file, 16), QByteArray("SQLite format 3\0", 16)); // no password

    SqlCipherEngine engine;
    PasswordStore store(engine, file);
    QCOMPARE(store.CheckProgramPassword(QString()), int(DbOk));
    QVERIFY(store.LoadSiteList().ok());
    QCOMPARE(store.siteCount(), 0);
    QVERIFY(store.InsertSiteRecord("example.com", "bob", "pw").ok());
    QVERIFY(store.LoadSiteList().ok());
    QCOMPARE(store.siteTable(), (std::vector<SiteRecord>{{"example.com", "bob", "pw"}}));
    std::vector<DbRow> info;
    std::unique_ptr<IDbConnection> connection;
    QVERIFY(engine.open(file, false, connectWith(QString()), connection).ok());
    QVERIFY(connection->select("PRAGMA table_info(tblSite)", info).ok());
    QStringList columns;
    for (const DbRow& column : info)
        columns << column.at(1).value_or("?") + " " + column.at(2).value_or("?");
    QCOMPARE(columns, (QStringList{"Site TEXT", "User TEXT", "Pass TEXT"}));
}

void MakeDbTest::neverTouchesWhatIsThere_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("database with logins") << "keyed";
    QTest::newRow("0-byte file") << "empty";
    QTest::newRow("text file") << "text";
    QTest::newRow("dangling link") << "link";
    QTest::newRow("folder") << "folder";
}

void MakeDbTest::neverTouchesWhatIsThere() {
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString file = dir.filePath("BDMDP.MDB");
    SqlCipherEngine engine;
    if (kind == QLatin1String("keyed")) {
        QVERIFY(makeDatabase(engine, file, "pw", sampleRows(9)));
    } else if (kind == QLatin1String("empty")) {
        QVERIFY(touch(file));
    } else if (kind == QLatin1String("text")) {
        QFile text(file);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("not a database\r\n");
    } else if (kind == QLatin1String("link")) {
        QVERIFY(QFile::link(dir.filePath("elsewhere.db"), file));
    } else {
        QVERIFY(QDir(dir.path()).mkdir("BDMDP.MDB"));
    }
    const Snapshot before = snapshot(file);
    const QStringList entries = folderEntries(dir.path());

    QCOMPARE(runMakeDb({file}), 0);
    QCOMPARE(runMakeDb({file}), 0);

    QVERIFY(snapshot(file) == before);
    QCOMPARE(folderEntries(dir.path()), entries);
    QVERIFY(!QFileInfo::exists(dir.filePath("elsewhere.db")));
    if (kind == QLatin1String("keyed"))
        QCOMPARE(readAll(engine, file, "pw"), std::optional(asDbRows(sampleRows(9))));
}

void MakeDbTest::badTargetsFailCleanly_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("expected");
    QTest::newRow("no argument") << QStringList() << 2;
    QTest::newRow("empty path") << QStringList{""} << 2;
    QTest::newRow("missing folder") << QStringList{"<dir>/missing/BDMDP.MDB"} << 1;
}

void MakeDbTest::badTargetsFailCleanly() {
    QFETCH(QStringList, arguments);
    QFETCH(int, expected);
    QTemporaryDir dir;
    arguments.replaceInStrings(QStringLiteral("<dir>"), dir.path());
    QCOMPARE(runMakeDb(arguments), expected);
    QCOMPARE(folderEntries(dir.path()), QStringList());
}

QTEST_GUILESS_MAIN(MakeDbTest)
#include "tst_store_makedb.moc"
