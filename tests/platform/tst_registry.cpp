// The registry layer on its SQLite files: the rules callers rely on, then what
// only real files can show (modes, links, damaged or foreign files, other
// processes writing at the same time).
#include "TestKit.h"
#include "platform/registry/SqliteRegistry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#define SQLITE_HAS_CODEC 1
#include <sqlcipher/sqlite3.h>

using namespace kr;
using namespace kr::test;

namespace {

constexpr quint32 All = 0x3F;

struct Reg {
    IRegistry& r;

    RegKey create(const QString& path)
    {
        RegKey k = 0;
        return r.createKey(HKEY_CURRENT_USER, path, QStringLiteral("REG DWORD"), 0, All, k) == RegOk ? k : 0;
    }
    RegKey open(const QString& path, quint32 access = All)
    {
        RegKey k = 0;
        return r.openKey(HKEY_CURRENT_USER, path, access, k) == RegOk ? k : 0;
    }
    long set(RegKey k, const QString& name, const QByteArray& data)
    {
        return r.setValue(k, name, REG_SZ, data);
    }
    QStringList subkeys(RegKey k)
    {
        QStringList names;
        QString name;
        for (quint32 i = 0; r.enumKey(k, i, 255, name) == RegOk; ++i)
            names << name;
        return names;
    }
    // "name=text" for text data, "name=#<size>" for data without its NUL.
    QStringList values(RegKey k)
    {
        QStringList out;
        QString name;
        quint32 type = 0;
        QByteArray data;
        for (quint32 i = 0; r.enumValue(k, i, 255, 255, name, type, data) == RegOk; ++i)
            out << name + u'=' +
                       (data.endsWith('\0') ? QString::fromLocal8Bit(data.chopped(1))
                                            : u'#' + QString::number(data.size()));
        return out;
    }
};

} // namespace

class TestRegistry : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;
    int m_folders = 0;

    QString newFolder() { return m_tmp.filePath(QStringLiteral("config%1/keyrovia").arg(++m_folders)); }

private slots:
    void keysAndValues()
    {
        SqliteRegistry registry(newFolder());
        Reg reg{registry};
        QCOMPARE(reg.open(kExtensionsKey), RegKey(0));

        // Creating a key makes the keys above it; names keep the case they were
        // first written in and compare without regard to it.
        const RegKey button = reg.create(kExtensionsKey + QStringLiteral("\\{B}"));
        QVERIFY(reg.create(QStringLiteral("SOFTWARE\\microsoft\\INTERNET explorer\\extensions\\{a}")) != 0);
        QVERIFY(reg.create(kExtensionsKey + QStringLiteral("\\{C}")) != 0);
        const RegKey parent = reg.open(QStringLiteral("software\\MICROSOFT\\internet EXPLORER\\EXTENSIONS"));
        QCOMPARE(reg.subkeys(parent), (QStringList{"{a}", "{B}", "{C}"}));
        QCOMPARE(reg.subkeys(reg.open(QStringLiteral("Software"))), QStringList{"Microsoft"});

        // Values come back in the order they were first written; writing one
        // again keeps its place and its first name. Another handle sees them.
        QCOMPARE(reg.set(button, QStringLiteral("Exec"), sz("/opt/k/Keyrovia")), RegOk);
        QCOMPARE(reg.set(button, QStringLiteral("Icon"), sz("/opt/k/ICON.ico")), RegOk);
        QCOMPARE(reg.set(button, QStringLiteral("Empty"), QByteArray()), RegOk);
        QCOMPARE(reg.set(button, QStringLiteral("EXEC"), sz("/new/Keyrovia")), RegOk);
        QCOMPARE(reg.values(reg.open(kExtensionsKey + QStringLiteral("\\{b}"))),
                 (QStringList{"Exec=/new/Keyrovia", "Icon=/opt/k/ICON.ico", "Empty=#0"}));
        // A name past the callers' 255-character buffer comes back empty, with what fits.
        QCOMPARE(reg.set(button, QString(255, u'n'), sz("v")), RegOk);
        QString name;
        quint32 type = 0;
        QByteArray data;
        QCOMPARE(registry.enumValue(button, 3, 255, 255, name, type, data), RegMoreData);
        QCOMPARE(name + data, QStringLiteral("v") + QChar(0));
        QCOMPARE(registry.closeKey(button), RegOk);
        QCOMPARE(registry.closeKey(button), RegInvalidHandle);
        QCOMPARE(reg.set(button, QStringLiteral("x"), sz("y")), RegInvalidHandle);
    }

    void deletionAndRights()
    {
        SqliteRegistry registry(newFolder());
        Reg reg{registry};
        const RegKey mine = reg.create(kExtensionsKey + QStringLiteral("\\{MINE}"));
        reg.set(mine, QStringLiteral("Icon"), sz("i.ico"));
        QVERIFY(reg.create(kExtensionsKey + QStringLiteral("\\{OTHER}\\Sub")) != 0);

        // Through the handle to the key itself, with an empty subkey name.
        QCOMPARE(registry.deleteKey(mine, QString()), RegOk);
        QCOMPARE(reg.open(kExtensionsKey + QStringLiteral("\\{mine}")), RegKey(0));
        QCOMPARE(reg.set(mine, QStringLiteral("x"), sz("y")), RegKeyDeleted);
        QCOMPARE(registry.deleteKey(mine, QString()), RegKeyDeleted);
        // A key with subkeys stays, and so does the parent of a deleted key.
        const RegKey other = reg.open(kExtensionsKey + QStringLiteral("\\{OTHER}"));
        QCOMPARE(registry.deleteKey(other, QString()), RegAccessDenied);
        QCOMPARE(registry.deleteKey(other, QStringLiteral("SUB")), RegOk);
        QCOMPARE(reg.subkeys(reg.open(kExtensionsKey)), QStringList{"{OTHER}"});
        QCOMPARE(registry.deleteKey(HKEY_CURRENT_USER, QString()), RegAccessDenied);

        // A handle has the rights it was opened with.
        const RegKey readOnly = reg.open(kExtensionsKey + QStringLiteral("\\{OTHER}"), KEY_QUERY_VALUE);
        QCOMPARE(reg.set(readOnly, QStringLiteral("x"), sz("y")), RegAccessDenied);
        QString name;
        QCOMPARE(registry.enumKey(readOnly, 0, 255, name), RegAccessDenied);
        RegKey k = 0;
        // An empty or over-long name.
        for (const QString& bad : {QStringLiteral("a\\\\b"), QString(256, u'x')})
            QCOMPARE(registry.createKey(HKEY_CURRENT_USER, bad, QString(), 0, All, k), RegInvalidParameter);
        QCOMPARE(registry.openKey(0, QStringLiteral("a"), All, k), RegInvalidHandle);
        QCOMPARE(k, RegKey(0));
    }

    void filesArePrivateAndShared()
    {
        const QString folder = newFolder();
        SqliteRegistry writer(folder);
        Reg w{writer};
        // Reading a store that was never written creates nothing.
        QCOMPARE(w.open(kExtensionsKey), RegKey(0));
        QCOMPARE(w.subkeys(HKEY_CURRENT_USER), QStringList());
        QVERIFY(!QDir(folder).exists());
        w.set(w.create(kExtensionsKey + QStringLiteral("\\{K}")), QStringLiteral("ButtonText"),
              sz("Keyrovia"));
        QCOMPARE(fileMode(folder), 0700);
        QCOMPARE(fileMode(writer.fileOf(HKEY_CURRENT_USER)), 0600);
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"HKEY_CURRENT_USER.sqlite"});

        // Another program sees the key, and what it adds shows in an
        // enumeration that had already begun here.
        SqliteRegistry reader(folder);
        Reg r{reader};
        QCOMPARE(r.values(r.open(kExtensionsKey + QStringLiteral("\\{k}"))),
                 QStringList{"ButtonText=Keyrovia"});
        const RegKey parent = w.open(kExtensionsKey);
        QCOMPARE(w.subkeys(parent), QStringList{"{K}"});
        QVERIFY(r.create(kExtensionsKey + QStringLiteral("\\{L}")) != 0);
        QCOMPARE(w.subkeys(parent), (QStringList{"{K}", "{L}"}));

        // The file removed behind our back: the root reads empty, and is made anew.
        QVERIFY(QFile::remove(writer.fileOf(HKEY_CURRENT_USER)));
        QCOMPARE(w.subkeys(parent), QStringList());
        QVERIFY(w.create(QStringLiteral("Again")) != 0);
        QCOMPARE(r.subkeys(HKEY_CURRENT_USER), QStringList{"Again"});
        // An empty file is a store never written.
        QVERIFY(writeFile(writer.fileOf(HKEY_CURRENT_USER), {}));
        QVERIFY(w.create(QStringLiteral("Anew")) != 0);
        QCOMPARE(r.subkeys(HKEY_CURRENT_USER), QStringList{"Anew"});
    }

    // A file that is not our store (text, damaged pages, another program's
    // SQLite tables) is never written, nor is a link where the file or the folder
    // should be followed: the user's file keeps its bytes and its mode.
    void foreignFilesAreNeverWritten_data()
    {
        QTest::addColumn<QString>("place"); // of the user's file
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<long>("refusal"); // of a create, or else of a scan
        QTemporaryDir dir;
        SqliteRegistry source(dir.path());
        Reg s{source};
        for (int i = 0; i < 40; ++i)
            s.set(s.create(kExtensionsKey + QStringLiteral("\\{%1}").arg(i)), "Icon", QByteArray(200, 'i'));
        QTest::newRow("damaged pages")
            << "file"
            << fileBytes(source.fileOf(HKEY_CURRENT_USER)).replace(4096, 4096, QByteArray(4096, 'Z'))
            << long(RegBadDb);
        QTest::newRow("text file") << "file" << QByteArray("[Software]\nExec=/bin/sh\n") << long(RegBadDb);
        const QByteArray foreign = QFile::encodeName(dir.filePath("foreign.sqlite"));
        sqlite3* db = nullptr;
        sqlite3_open_v2(foreign.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        sqlite3_exec(db, "CREATE TABLE notes(x); INSERT INTO notes VALUES('keep');", nullptr, nullptr,
                     nullptr);
        sqlite3_close_v2(db);
        QTest::newRow("another program's tables")
            << "file" << fileBytes(QFile::decodeName(foreign)) << long(RegBadDb);
        QTest::newRow("link as the file") << "file link" << QByteArray() << long(RegSymbolicLink);
        QTest::newRow("link as the folder") << "folder link" << QByteArray() << long(RegSymbolicLink);
        QTest::newRow("a file where a folder above should be")
            << "above" << QByteArray("x") << long(RegCantWrite);
    }
    void foreignFilesAreNeverWritten()
    {
        QFETCH(QString, place);
        QFETCH(QByteArray, content);
        QFETCH(long, refusal);
        const QString folder = newFolder();
        const QString store = folder + QStringLiteral("/HKEY_CURRENT_USER.sqlite");
        const QString mine = m_tmp.filePath(QStringLiteral("mine%1").arg(m_folders));
        const QString file = place == "file"          ? store
                             : place == "file link"   ? mine
                             : place == "folder link" ? mine + QStringLiteral("/HKEY_CURRENT_USER.sqlite")
                                                      : QFileInfo(folder).path();
        if (place == "folder link")
            QVERIFY(QDir().mkpath(mine) && QDir().mkpath(QFileInfo(folder).path()) &&
                    QFile::link(mine, folder));
        else if (place != "above")
            QVERIFY(QDir().mkpath(folder));
        QVERIFY(place != "file link" || QFile::link(mine, store));
        QVERIFY(writeFile(file, content));
        QVERIFY(::chmod(QFile::encodeName(file).constData(), 0644) == 0);
        SqliteRegistry registry(folder);
        RegKey k = 0;
        QString name;
        const long created = registry.createKey(HKEY_CURRENT_USER, kExtensionsKey, QString(), 0, All, k);
        const long listed = registry.enumKey(HKEY_CURRENT_USER, 0, 255, name);
        // Damaged pages may only show once they are read: what a scan reaches fails.
        QVERIFY2(created == refusal || listed == refusal,
                 qPrintable(QStringLiteral("%1 %2").arg(created).arg(listed)));
        QCOMPARE(k, RegKey(0));
        QCOMPARE(fileBytes(file), content);
        QCOMPARE(fileMode(file), 0644);
    }

    // Three processes writing their keys at once: every call succeeds, none is lost.
    // Few keys each: this is about the locking, not the volume.
    void secondProcessWritesAtTheSameTime()
    {
        const QString folder = newFolder();
        constexpr int Count = 25;
        const auto writeKeys = [&](const QString& prefix) {
            SqliteRegistry registry(folder);
            Reg reg{registry};
            int failed = 0;
            for (int i = 0; i < Count; ++i) {
                const RegKey k = reg.create(kExtensionsKey + QStringLiteral("\\%1-%2").arg(prefix).arg(i));
                failed += k == 0 || reg.set(k, QStringLiteral("Icon"), sz(prefix + ".ico")) != RegOk;
                registry.closeKey(k);
            }
            return failed;
        };
        std::vector<pid_t> writers;
        for (const char* prefix : {"one", "two"})
            if (const pid_t child = ::fork(); child == 0)
                ::_exit(writeKeys(prefix) == 0 ? 0 : 1);
            else
                writers.push_back(child);
        QCOMPARE(writeKeys("here"), 0);
        for (const pid_t child : writers) {
            int status = -1;
            QCOMPARE(::waitpid(child, &status, 0), child);
            QCOMPARE(status, 0);
        }
        SqliteRegistry fresh(folder);
        Reg check{fresh};
        const QStringList names = check.subkeys(check.open(kExtensionsKey));
        QCOMPARE(names.size(), 3 * Count);
        for (const QString& n : names)
            QCOMPARE(check.values(check.open(kExtensionsKey + u'\\' + n)).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestRegistry)
#include "tst_registry.moc"
