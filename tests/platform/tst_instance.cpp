// One program per program folder, without a desktop: only a running program holds the
// starts' line, and without a usable runtime folder the program folder itself is locked.
#include "platform/instance/FileLock.h"
#include "platform/instance/LocalSingleInstance.h"

#include <QtTest>

#include <pwd.h>
#include <unistd.h>

using namespace kr;
using Outcome = FileLock::Outcome;

class TestInstance : public QObject {
    Q_OBJECT
private slots:
    void onlyARunningProgramHoldsTheLine_data()
    {
        QTest::addColumn<QString>("left"); // what lies at the lock's place
        QTest::addColumn<Outcome>("outcome");
        QTest::newRow("empty file") << "" << Outcome::Locked;
        QTest::newRow("garbage") << "\x01garbage 99999\n" << Outcome::Locked;
        QTest::newRow("link") << "link" << Outcome::Locked;
        QTest::newRow("held by a running start") << "held" << Outcome::Held;
    }
    void onlyARunningProgramHoldsTheLine()
    {
        QFETCH(QString, left);
        QFETCH(Outcome, outcome);
        QTemporaryDir dir;
        const QString path = dir.filePath("line.lock"), target = dir.filePath("target");
        QFile file(left == "link" ? target : path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(left.toUtf8()) >= 0);
        file.close();
        FileLock running;
        if (left == "held")
            QCOMPARE(running.lockFile(path, 0), Outcome::Locked);
        if (left == "link")
            QVERIFY(QFile::link(target, path));
        QCOMPARE(FileLock().lockFile(path, 0), outcome);
        QVERIFY(QFile::exists(target) == (left == "link")); // a link's target is left alone
    }

    void oneProgramPerFolderWithoutRuntimeFolder()
    {
        QTemporaryDir tmp, folder, other;
        // Neither $XDG_RUNTIME_DIR nor Qt's fallback folder can be used.
        const QString notAFolder = tmp.filePath(QStringLiteral("runtime-") + getpwuid(geteuid())->pw_name);
        QFile squat(notAFolder);
        QVERIFY(squat.open(QIODevice::WriteOnly));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(notAFolder));
        qputenv("TMPDIR", QFile::encodeName(tmp.path()));
        QVERIFY(LocalSingleInstance::socketPath(folder.path()).isEmpty());
        LocalSingleInstance first, second, elsewhere;
        const auto none = [] { return nullptr; };
        QVERIFY(first.claim(folder.path(), none));
        QVERIFY(!second.claim(folder.path() + "/.", none));
        QVERIFY(elsewhere.claim(other.path(), none));
    }
};

QTEST_GUILESS_MAIN(TestInstance)
#include "tst_instance.moc"
