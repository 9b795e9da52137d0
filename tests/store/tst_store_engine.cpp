// The SQLCipher engine: error numbers for every kind of file, the README's way out, and
// keyrovia-makedb, which creates an empty database only where nothing is.
#include "StoreTestKit.h"
#include "store/PasswordStore.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace kr;
using namespace kr::test;

namespace {

const QString Secret = QStringLiteral("s3cr\u00e9t ';x");

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

class EngineTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    CountingDerivation m_keys;
    SqlCipherEngine m_setup{m_keys}; // builds the fixtures and so knows their keys
    const std::vector<SiteRecord> m_rows = sampleRows(25);

    QString fixture(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(makeDatabase(m_setup, fixture("plain.db"), QString(), m_rows));
        QVERIFY(makeDatabase(m_setup, fixture("keyed.db"), Secret, m_rows));
        QVERIFY(touch(fixture("empty.db")));
        QVERIFY(writeFile(fixture("short.db"), "0123456789"));
        QVERIFY(writeFile(fixture("foreign.txt"),
                          QByteArray("Site,User,Pass\r\nexample.com,bob,pw\r\n").repeated(200)));
        // Page 1 of an encrypted file fails its HMAC; a plain one loses its header.
        const struct {
            const char* name;
            const char* from;
            qint64 at;
            QByteArray bytes; // none: the file is cut there
        } damages[] = {{"damaged-keyed.db", "keyed.db", 200, QByteArray(16, '\x5a')},
                       {"truncated-keyed.db", "keyed.db", 700, {}},
                       {"damaged-plain.db", "plain.db", 16, QByteArray(84, '\xff')}};
        for (const auto& d : damages) {
            QFile file(fixture(d.name));
            QVERIFY(QFile::copy(fixture(d.from), file.fileName()) && file.open(QIODevice::ReadWrite));
            QVERIFY(d.bytes.isEmpty() ? file.resize(d.at) : file.seek(d.at) && file.write(d.bytes) > 0);
        }
    }

    void openErrors_data()
    {
        QTest::addColumn<QStringList>("fileAndPassword");
        QTest::addColumn<int>("expected"); // the numbers callers decide on
        QTest::newRow("missing") << QStringList{"missing.db", "x"} << 3024;
        QTest::newRow("plain") << QStringList{"plain.db", ""} << 0;
        QTest::newRow("plain, a password") << QStringList{"plain.db", "x"} << 3031;
        QTest::newRow("keyed") << QStringList{"keyed.db", Secret} << 0;
        QTest::newRow("keyed, no password") << QStringList{"keyed.db", ""} << 3031;
        QTest::newRow("keyed, wrong password") << QStringList{"keyed.db", "wrong"} << 3031;
        QTest::newRow("0-byte file") << QStringList{"empty.db", ""} << 0;
        // Not whole pages: damaged, whatever the password (a cut-off file is no wrong password).
        QTest::newRow("foreign file") << QStringList{"foreign.txt", ""} << 3343;
        QTest::newRow("truncated keyed") << QStringList{"truncated-keyed.db", Secret} << 3343;
        QTest::newRow("damaged keyed") << QStringList{"damaged-keyed.db", Secret} << 3343;
        QTest::newRow("damaged keyed, wrong password") << QStringList{"damaged-keyed.db", "wrong"} << 3031;
        QTest::newRow("shorter than a salt") << QStringList{"short.db", Secret} << 3343;
        QTest::newRow("damaged plain") << QStringList{"damaged-plain.db", ""} << 3343;
    }

    void openErrors()
    {
        QFETCH(QStringList, fileAndPassword);
        QFETCH(int, expected);
        const QString file = fixture(fileAndPassword[0]);
        const QByteArray before = fileBytes(file);
        for (const bool exclusive : {false, true}) {
            SqlCipherEngine engine{m_keys};
            std::unique_ptr<IDbConnection> connection;
            QCOMPARE(engine.open(file, exclusive, connectWith(fileAndPassword[1]), connection).number,
                     expected);
            QCOMPARE(bool(connection), expected == DbOk);
        }
        QCOMPARE(fileBytes(file), before); // and a missing file is not made
        QCOMPARE(QFileInfo::exists(file), expected != DbErrFileNotFound);
    }

    // The README's commands, pasted into a shell, open a vault made at the real
    // cost with Debian's argon2 and sqlcipher tools.
    void readmeCommandsOpenTheVault()
    {
        QFile readme(QStringLiteral(KEYROVIA_README));
        QVERIFY(readme.open(QIODevice::ReadOnly));
        const QRegularExpressionMatch block =
            QRegularExpression(QStringLiteral("```sh\n(IFS= read -rs[^`]*sqlcipher[^`]*)```"))
                .match(QString::fromUtf8(readme.readAll()));
        QVERIFY(block.hasMatch());
        QTemporaryDir dir;
        SqlCipherEngine engine;
        QVERIFY(makeDatabase(engine, dir.filePath("BDMDP.MDB"), " " + Secret, m_rows));
        QProcess shell;
        shell.setWorkingDirectory(dir.path());
        shell.start(QStringLiteral("bash"), {QStringLiteral("-c"), block.captured(1)});
        shell.write((" " + Secret + "\n").toUtf8());
        shell.closeWriteChannel();
        QVERIFY(shell.waitForFinished(60000));
        const QString out = QString::fromUtf8(shell.readAllStandardOutput() + shell.readAllStandardError());
        for (const SiteRecord& r : m_rows)
            QVERIFY2(out.contains(r.Site + '|' + r.User + '|' + r.Pass), qPrintable(out));
    }

    // Mode 000: no wrong password but a file that cannot be read (3051). Root reads
    // anything, so the open runs as an ordinary user then.
    void unreadableFileIsNoWrongPassword()
    {
        QTemporaryDir dir;
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                      QFile::ReadOther | QFile::ExeOther));
        const QString file = dir.filePath("BDMDP.MDB");
        QVERIFY(QFile::copy(fixture("keyed.db"), file) && QFile::setPermissions(file, {}));
        const pid_t child = forkChild([&](const auto&) {
            if (::geteuid() == 0 && ::setuid(65534) != 0)
                return 99;
            SqlCipherEngine engine{m_keys};
            return openNumber(engine, file, Secret) == DbErrNoPermission ? 0 : 1;
        });
        QCOMPARE(exitCodeOf(child), 0);
    }

    void makeDbNeverTouchesWhatIsThere_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("nothing: an empty private database") << "nothing";
        QTest::newRow("database with logins") << "keyed.db";
        QTest::newRow("0-byte file") << "empty.db";
        QTest::newRow("dangling link") << "link";
        QTest::newRow("folder") << "folder";
    }

    void makeDbNeverTouchesWhatIsThere()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString file = dir.filePath("BDMDP.MDB");
        if (kind.endsWith(QLatin1String(".db")))
            QVERIFY(QFile::copy(fixture(kind), file));
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
        QCOMPARE(fileMode(file), 0600); // whatever the umask
        SqlCipherEngine engine;
        PasswordStore store(engine, file); // no password, and an empty tblSite
        QCOMPARE(store.CheckProgramPassword(QString()), 0);
        QVERIFY(store.LoadSiteList().ok());
        QCOMPARE(store.siteCount(), 0);
    }
};

QTEST_GUILESS_MAIN(EngineTest)
#include "tst_store_engine.moc"
