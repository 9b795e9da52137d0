// keyrovia-makedb: creates an empty database only where nothing is.
#include "StoreTestKit.h"
#include "store/PasswordStore.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace kr;
using namespace kr::test;

namespace {

int runMakeDb(const QString& file)
{
    QProcess tool;
    tool.start(QStringLiteral(KEYROVIA_MAKEDB), {file});
    const bool ran = tool.waitForFinished(30000) && tool.exitStatus() == QProcess::NormalExit;
    return ran ? tool.exitCode() : -1;
}

// What must stay as it was: type and mode (of a link itself), modification time, content.
QString snapshot(const QString& path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    const qint64 modified = info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec;
    return QStringLiteral("%1 %2 ").arg(info.st_mode).arg(modified) + fileBytes(path).toHex();
}

} // namespace

class MakeDbTest : public QObject {
    Q_OBJECT
private slots:
    void createsAnEmptyPrivateDatabase()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("BDMDP.MDB");
        const mode_t oldMask = ::umask(0);
        const int exitCode = runMakeDb(file);
        ::umask(oldMask);
        QCOMPARE(exitCode, 0);
        QCOMPARE(fileMode(file), 0600);
        QCOMPARE(folderEntries(dir.path()), QStringList{"BDMDP.MDB"});
        // No password, and an empty tblSite.
        SqlCipherEngine engine;
        PasswordStore store(engine, file);
        QCOMPARE(store.CheckProgramPassword(QString()), 0);
        QVERIFY(store.LoadSiteList().ok());
        QCOMPARE(store.siteCount(), 0);
    }

    void neverTouchesWhatIsThere_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("database with logins") << "keyed";
        QTest::newRow("0-byte file") << "empty";
        QTest::newRow("dangling link") << "link";
        QTest::newRow("folder") << "folder";
    }

    void neverTouchesWhatIsThere()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString file = dir.filePath("BDMDP.MDB");
        SqlCipherEngine engine;
        if (kind == QLatin1String("keyed"))
            QVERIFY(makeDatabase(engine, file, "pw", sampleRows(9)));
        else if (kind == QLatin1String("empty"))
            QVERIFY(touch(file));
        else if (kind == QLatin1String("link"))
            QVERIFY(QFile::link(dir.filePath("elsewhere.db"), file));
        else
            QVERIFY(QDir(dir.path()).mkdir("BDMDP.MDB"));
        const QString before = snapshot(file);
        const QStringList entries = folderEntries(dir.path());
        QCOMPARE(runMakeDb(file), 0);
        QCOMPARE(snapshot(file), before);
        QCOMPARE(folderEntries(dir.path()), entries);
    }
};

QTEST_GUILESS_MAIN(MakeDbTest)
#include "tst_store_makedb.moc"
