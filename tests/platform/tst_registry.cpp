// The registry layer: the same rules on the in-memory double and on the
// SQLite files, then what only real files can show (modes, damaged or foreign
// files, other processes writing at the same time).
#include "RegistryDouble.h"
#include "TestKit.h"
#include "platform/registry/SqliteRegistry.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

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
        const long s = r.createKey(HKEY_CURRENT_USER, path, QStringLiteral("REG DWORD"), 0, All, k);
        return s == RegOk ? k : 0;
    }
    RegKey open(const QString& path, quint32 access = All)
    {
        RegKey k = 0;
        return r.openKey(HKEY_CURRENT_USER, path, access, k) == RegOk ? k : 0;
    }
    QStringList subkeys(RegKey k)
    {
        QStringList names;
        QString name;
        for (quint32 i = 0; r.enumKey(k, i, 255, name) == RegOk; ++i)
            names << name;
        return names;
    }
    QStringList values(RegKey k)
    {
        QStringList out;
        QString name;
        quint32 type = 0;
        QByteArray data;
        for (quint32 i = 0; r.enumValue(k, i, 255, 255, name, type, data) == RegOk; ++i)
            out << name + QLatin1Char('=') + QString::fromLocal8Bit(data.left(data.size() - 1));
        return out;
    }
};

} // namespace

class TestRegistry : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;
    int m_folders = 0;

    QString newFolder() { return m_tmp.filePath(QStringLiteral("config%1/keyrovia").arg(++m_folders)); }

    std::unique_ptr<IRegistry> make(const QString& kind)
    {
        if (kind == QLatin1String("memory"))
            return std::make_unique<test::MemoryRegistry>();
        return std::make_unique<SqliteRegistry>(newFolder());
    }

    static void implementations()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("memory double") << QStringLiteral("memory");
        QTest::newRow("sqlite files") << QStringLiteral("sqlite");
    }

private slots:
    void keysAndValues_data() { implementations(); }
    void keysAndValues()
    {
        QFETCH(QString, kind);
        auto registry = make(kind);
        Reg reg{*registry};
        QCOMPARE(reg.open(kExtensionsKey), RegKey(0));

        // Creating a key makes the keys above it; names keep the case they were
        // first written in and compare without regard to it.
        const RegKey button = reg.create(kExtensionsKey + QStringLiteral("\\{B}"));
        QVERIFY(button != 0);
        QVERIFY(reg.create(QStringLiteral("SOFTWARE\\microsoft\\INTERNET explorer\\extensions\\{a}")) != 0);
        QVERIFY(reg.create(kExtensionsKey + QStringLiteral("\\{C}")) != 0);
        const RegKey parent = reg.open(QStringLiteral("software\\MICROSOFT\\internet EXPLORER\\EXTENSIONS"));
        QVERIFY(parent != 0);
        QCOMPARE(reg.subkeys(parent), (QStringList{"{a}", "{B}", "{C}"}));
        QCOMPARE(reg.subkeys(reg.open(QStringLiteral("Software"))), QStringList{"Microsoft"});

        // Values come back in the order they were first written; writing one
        // again keeps its place and its first name.
        QCOMPARE(registry->setValue(button, QStringLiteral("Exec"), REG_SZ, sz("/opt/k/Keyrovia")), RegOk);
        QCOMPARE(registry->setValue(button, QStringLiteral("Icon"), REG_SZ, sz("/opt/k/ICON.ico")), RegOk);
        QCOMPARE(registry->setValue(button, QStringLiteral("Empty"), REG_SZ, QByteArray()), RegOk);
        QCOMPARE(registry->setValue(button, QStringLiteral("EXEC"), REG_SZ, sz("/new/Keyrovia")), RegOk);
        QCOMPARE(reg.values(button), (QStringList{"Exec=/new/Keyrovia", "Icon=/opt/k/ICON.ico", "Empty="}));
        QString name;
        quint32 type = 0;
        QByteArray data("x");
        QCOMPARE(registry->enumValue(button, 2, 255, 255, name, type, data), RegOk);
        QCOMPARE(data.size(), 0); // zero-length data stays zero-length
        QCOMPARE(type, REG_SZ);

        // Another handle on the same key sees the same values.
        QCOMPARE(reg.values(reg.open(kExtensionsKey + QStringLiteral("\\{b}"))).size(), 3);
        QCOMPARE(registry->closeKey(button), RegOk);
        QCOMPARE(registry->closeKey(button), RegInvalidHandle);
        QCOMPARE(registry->setValue(button, QStringLiteral("x"), REG_SZ, sz("y")), RegInvalidHandle);
    }

    void bufferLimits_data() { implementations(); }
    void bufferLimits()
    {
        QFETCH(QString, kind);
        auto registry = make(kind);
        Reg reg{*registry};
        const QString fits(254, QLatin1Char('n'));
        const QString tooLong(255, QLatin1Char('L'));
        const RegKey parent = reg.create(kExtensionsKey);
        QVERIFY(reg.create(kExtensionsKey + QLatin1Char('\\') + fits) != 0);
        QVERIFY(reg.create(kExtensionsKey + QLatin1Char('\\') + tooLong) != 0);
        QCOMPARE(reg.create(kExtensionsKey + QLatin1Char('\\') + QString(256, QLatin1Char('x'))), RegKey(0));
        QString name;
        QCOMPARE(registry->enumKey(parent, 0, 255, name), RegMoreData); // 255 + NUL does not fit
        QVERIFY(name.isEmpty());
        QCOMPARE(registry->enumKey(parent, 1, 255, name), RegOk);
        QCOMPARE(name, fits);
        QCOMPARE(registry->enumKey(parent, 2, 255, name), RegNoMoreItems);

        const RegKey k = reg.open(kExtensionsKey + QLatin1Char('\\') + fits);
        registry->setValue(k, QStringLiteral("Icon"), REG_SZ, QByteArray(255, 'd'));
        registry->setValue(k, QStringLiteral("Caption"), REG_SZ, QByteArray(256, 'd'));
        registry->setValue(k, tooLong, REG_SZ, sz("v"));
        quint32 type = 0;
        QByteArray data;
        QCOMPARE(registry->enumValue(k, 0, 255, 255, name, type, data), RegOk);
        QCOMPARE(data.size(), 255);
        QCOMPARE(registry->enumValue(k, 1, 255, 255, name, type, data), RegMoreData);
        QCOMPARE(name, QStringLiteral("Caption")); // what fits comes back
        QVERIFY(data.isEmpty());
        QCOMPARE(registry->enumValue(k, 2, 255, 255, name, type, data), RegMoreData);
        QVERIFY(name.isEmpty());
        QCOMPARE(data, sz("v"));
        QCOMPARE(registry->enumValue(k, 3, 255, 255, name, type, data), RegNoMoreItems);
    }

    void deletionAndRights_data() { implementations(); }
    void deletionAndRights()
    {
        QFETCH(QString, kind);
        auto registry = make(kind);
        Reg reg{*registry};
        const RegKey mine = reg.create(kExtensionsKey + QStringLiteral("\\{MINE}"));
        registry->setValue(mine, QStringLiteral("Icon"), REG_SZ, sz("i.ico"));
        QVERIFY(reg.create(kExtensionsKey + QStringLiteral("\\{OTHER}\\Sub")) != 0);

        // Through the handle to the key itself, with an empty subkey name.
        QCOMPARE(registry->deleteKey(mine, QString()), RegOk);
        QCOMPARE(reg.open(kExtensionsKey + QStringLiteral("\\{mine}")), RegKey(0));
        QCOMPARE(registry->setValue(mine, QStringLiteral("x"), REG_SZ, sz("y")), RegKeyDeleted);
        QCOMPARE(registry->deleteKey(mine, QString()), RegKeyDeleted);
        registry->closeKey(mine);
        // A key with subkeys stays, and so does the parent of a deleted key.
        const RegKey other = reg.open(kExtensionsKey + QStringLiteral("\\{OTHER}"));
        QCOMPARE(registry->deleteKey(other, QString()), RegAccessDenied);
        QCOMPARE(registry->deleteKey(other, QStringLiteral("SUB")), RegOk);
        QCOMPARE(reg.subkeys(reg.open(kExtensionsKey)), QStringList{"{OTHER}"});
        QCOMPARE(registry->deleteKey(HKEY_CURRENT_USER, QString()), RegAccessDenied);

        // A handle has the rights it was opened with.
        const RegKey readOnly = reg.open(kExtensionsKey + QStringLiteral("\\{OTHER}"), KEY_QUERY_VALUE);
        QCOMPARE(registry->setValue(readOnly, QStringLiteral("x"), REG_SZ, sz("y")), RegAccessDenied);
        QString name;
        QCOMPARE(registry->enumKey(readOnly, 0, 255, name), RegAccessDenied);
        RegKey k = 0;
        QCOMPARE(registry->createKey(HKEY_CURRENT_USER, QStringLiteral("a\\\\b"), QString(), 0, All, k),
                 RegInvalidParameter);
        QCOMPARE(registry->openKey(0, QStringLiteral("a"), All, k), RegInvalidHandle);
        QCOMPARE(k, RegKey(0));
    }

    // ---- real files

    // A link where the file or the folder should be is never followed, by the
    // program nor by the companion (which only reads): the user's file behind
    // it keeps its bytes and its mode.
    void linksAreRefused_data()
    {
        QTest::addColumn<bool>("folderLink");
        QTest::newRow("file") << false;
        QTest::newRow("folder") << true;
    }
    void linksAreRefused()
    {
        QFETCH(bool, folderLink);
        const QString folder = newFolder();
        const QString mine = m_tmp.filePath(QStringLiteral("mine%1").arg(m_folders));
        QVERIFY(QDir().mkpath(folderLink ? mine : folder) && QDir().mkpath(QFileInfo(folder).path()));
        const QString target = folderLink ? mine + QStringLiteral("/HKEY_CURRENT_USER.sqlite") : mine;
        QVERIFY(writeFile(target, QByteArray()));
        QVERIFY(::chmod(QFile::encodeName(target).constData(), 0644) == 0);
        const int mineMode = fileMode(mine);
        QVERIFY(QFile::link(folderLink ? mine : target,
                            folderLink ? folder : folder + "/HKEY_CURRENT_USER.sqlite"));
        SqliteRegistry registry(folder);
        RegKey k = 0;
        QCOMPARE(registry.openKey(HKEY_CURRENT_USER, kExtensionsKey, 0x3F, k), long(RegSymbolicLink));
        QCOMPARE(registry.createKey(HKEY_CURRENT_USER, kExtensionsKey, QString(), 0, 0x3F, k),
                 long(RegSymbolicLink));
        QCOMPARE(fileBytes(target), QByteArray());
        QCOMPARE(fileMode(target), 0644);
        QCOMPARE(fileMode(mine), mineMode);
    }

    void filesArePrivateAndShared()
    {
        const QString folder = newFolder();
        SqliteRegistry writer(folder);
        QVERIFY(!QFile::exists(writer.fileOf(HKEY_CURRENT_USER)));
        {
            // Reading a store that was never written creates nothing.
            Reg reg{writer};
            QCOMPARE(reg.open(kExtensionsKey), RegKey(0));
            QCOMPARE(reg.subkeys(HKEY_CURRENT_USER), QStringList());
            QVERIFY(!QDir(folder).exists());
        }
        Reg w{writer};
        const RegKey k = w.create(kExtensionsKey + QStringLiteral("\\{K}"));
        writer.setValue(k, QStringLiteral("ButtonText"), REG_SZ, sz("Keyrovia"));
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
        QCOMPARE(w.subkeys(HKEY_CURRENT_USER), QStringList());
        QCOMPARE(w.subkeys(parent), QStringList());
        QVERIFY(w.create(QStringLiteral("Again")) != 0);
        QCOMPARE(r.subkeys(HKEY_CURRENT_USER), QStringList{"Again"});
    }

    // A file that is not our store (junk, damaged pages, text, another program's
    // SQLite tables) is never written; an empty one is a store never written.
    void badFilesAreNeverWritten_data()
    {
        QTest::addColumn<QByteArray>("content");
        QByteArray junk(8192, '\0');
        for (int i = 0; i < junk.size(); ++i)
            junk[i] = char((i * 7919) ^ (i >> 3));
        QTest::newRow("binary junk") << junk;
        QTemporaryDir dir;
        SqliteRegistry source(dir.path());
        Reg s{source};
        for (int i = 0; i < 40; ++i)
            source.setValue(s.create(kExtensionsKey + QStringLiteral("\\{%1}").arg(i)), QStringLiteral("Icon"),
                            REG_SZ, QByteArray(200, 'i'));
        QTest::newRow("damaged pages")
            << fileBytes(source.fileOf(HKEY_CURRENT_USER)).replace(4096, 4096, QByteArray(4096, '\x5A'));
        QTest::newRow("text file") << QByteArray("[Software]\nExec=/bin/sh\n");
        const QByteArray foreign = QFile::encodeName(dir.filePath("foreign.sqlite"));
        sqlite3* db = nullptr;
        sqlite3_open_v2(foreign.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        sqlite3_exec(db, "CREATE TABLE notes(x); INSERT INTO notes VALUES('keep');", nullptr, nullptr, nullptr);
        sqlite3_close_v2(db);
        QTest::newRow("another program's tables") << fileBytes(QFile::decodeName(foreign));
        QTest::newRow("empty file") << QByteArray();
    }
    void badFilesAreNeverWritten()
    {
        QFETCH(QByteArray, content);
        const QString folder = newFolder();
        QVERIFY(QDir().mkpath(folder));
        SqliteRegistry registry(folder);
        QVERIFY(writeFile(registry.fileOf(HKEY_CURRENT_USER), content));
        Reg reg{registry};
        if (content.isEmpty()) {
            QVERIFY(reg.create(kExtensionsKey) != 0);
            QCOMPARE(reg.subkeys(reg.open(QStringLiteral("Software\\Microsoft"))), QStringList{"Internet Explorer"});
            return;
        }
        RegKey k = 0;
        QString name;
        const long created = registry.createKey(HKEY_CURRENT_USER, kExtensionsKey + QStringLiteral("\\{X}"),
                                                QString(), 0, All, k);
        const long listed = registry.enumKey(HKEY_CURRENT_USER, 0, 255, name);
        // Damaged pages may only show once they are read: what a scan reaches fails.
        QVERIFY2(created == RegBadDb || listed == RegBadDb, qPrintable(QString::number(created)));
        QCOMPARE(k, RegKey(0));
        QCOMPARE(fileBytes(registry.fileOf(HKEY_CURRENT_USER)), content);
    }

    void unwritableStore()
    {
        // The configuration folder sits where a file is: nothing can be created.
        const QString blocker = m_tmp.filePath(QStringLiteral("not-a-folder"));
        QVERIFY(QFile(blocker).open(QIODevice::WriteOnly));
        SqliteRegistry registry(blocker + QStringLiteral("/keyrovia"));
        RegKey k = 0;
        const long status = registry.createKey(HKEY_CURRENT_USER, kExtensionsKey, QString(), 0, All, k);
        QVERIFY(status == RegCantWrite || status == RegAccessDenied);
        QCOMPARE(k, RegKey(0));
        QString name;
        QCOMPARE(registry.enumKey(HKEY_CURRENT_USER, 0, 255, name), RegNoMoreItems);
    }

    // Three programs writing their keys at once: every call succeeds, none is lost.
    // Few keys each: this is about the locking, not the volume (each write may wait
    // for the others' within the busy timeout, and a loaded machine is slow).
    void secondProcessWritesAtTheSameTime()
    {
        const QString folder = newFolder();
        constexpr int Count = 25;
        std::vector<std::unique_ptr<QProcess>> writers;
        for (const char* prefix : {"one", "two"}) {
            auto p = std::make_unique<QProcess>();
            p->setProcessChannelMode(QProcess::ForwardedChannels);
            p->start(QStringLiteral(KR_REGISTRY_WRITER),
                     {folder, QLatin1String(prefix), QString::number(Count)});
            QVERIFY(p->waitForStarted());
            writers.push_back(std::move(p));
        }
        SqliteRegistry registry(folder);
        Reg reg{registry};
        int failed = 0;
        for (int i = 0; i < Count; ++i) {
            const RegKey k = reg.create(kExtensionsKey + QStringLiteral("\\here-%1").arg(i));
            failed += k == 0 || registry.setValue(k, QStringLiteral("Icon"), REG_SZ, sz("here.ico")) != RegOk;
            registry.closeKey(k);
        }
        for (auto& p : writers) {
            QVERIFY(p->waitForFinished(120000));
            QCOMPARE(p->exitCode(), 0);
        }
        QCOMPARE(failed, 0);
        SqliteRegistry fresh(folder);
        Reg check{fresh};
        const QStringList names = check.subkeys(check.open(kExtensionsKey));
        QCOMPARE(names.size(), 3 * Count);
        for (const QString& n : names)
            QCOMPARE(check.values(check.open(kExtensionsKey + QLatin1Char('\\') + n)).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestRegistry)
#include "tst_registry.moc"
