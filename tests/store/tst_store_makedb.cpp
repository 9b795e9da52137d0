// keyrovia-makedb: creates an empty database only where nothing is.
#include "StoreTestKit.h"
#include "store/PasswordStore.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace kr;
using namespace kr::test;

namespace {

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
    void neverTouchesWhatIsThere_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("nothing: an empty private database") << "nothing";
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
        else if (kind == QLatin1String("folder"))
            QVERIFY(QDir(dir.path()).mkdir("BDMDP.MDB"));
        const QString before = snapshot(file);
        QProcess tool;
        const mode_t oldMask = ::umask(0);
        tool.start(QStringLiteral(KEYROVIA_MAKEDB), {file});
        QVERIFY(tool.waitForFinished(30000));
        ::umask(oldMask);
        QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tool.exitCode(), 0);
        QCOMPARE(folderEntries(dir.path()), QStringList{"BDMDP.MDB"}); // nothing made through a link
        if (kind != QLatin1String("nothing")) {
            QCOMPARE(snapshot(file), before);
            return;
        }
        QCOMPARE(fileMode(file), 0600);    // whatever the umask
        PasswordStore store(engine, file); // no password, and an empty tblSite
        QCOMPARE(store.CheckProgramPassword(QString()), 0);
        QVERIFY(store.LoadSiteList().ok());
        QCOMPARE(store.siteCount(), 0);
    }
};

QTEST_GUILESS_MAIN(MakeDbTest)
#include "tst_store_makedb.moc"
