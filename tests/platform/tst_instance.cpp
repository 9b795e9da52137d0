// One program per program folder, without a desktop: only a running start holds the
// starts' line, and without a usable runtime folder the program folder itself is locked.
#include "platform/instance/FileLock.h"
#include "platform/instance/LocalSingleInstance.h"

#include <QtTest>

#include <pwd.h>
#include <unistd.h>

class TestInstance : public QObject {
    Q_OBJECT
private slots:
    // An empty, garbled or linked lock file holds back no start; a link's target is left alone.
    void leftLockFileHoldsNobody()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("line.lock"), target = dir.filePath("target");
        for (const QByteArray left : {"", "\x01garbage 99999\n", "link"}) {
            QFile file(left == "link" ? target : path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(left) >= 0 &&
                    (left != "link" || (QFile::remove(path) && file.link(path))));
            QCOMPARE(kr::FileLock().lockFile(path, 0), kr::FileLock::Outcome::Locked);
        }
        QVERIFY(QFile::exists(target) && !QFileInfo(path).isSymLink());
    }

    void oneProgramPerFolderWithoutRuntimeFolder()
    {
        QTemporaryDir tmp, folder, other; // $XDG_RUNTIME_DIR and Qt's fallback folder name a file
        const QString notAFolder = tmp.filePath(QStringLiteral("runtime-") + getpwuid(geteuid())->pw_name);
        QVERIFY(QFile(notAFolder).open(QIODevice::WriteOnly));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(notAFolder));
        qputenv("TMPDIR", QFile::encodeName(tmp.path()));
        kr::LocalSingleInstance first, second, elsewhere;
        const auto none = [] { return nullptr; };
        QVERIFY(first.claim(folder.path(), none) && elsewhere.claim(other.path(), none));
        QVERIFY(!second.claim(folder.path() + "/.", none));
    }
};

QTEST_GUILESS_MAIN(TestInstance)
#include "tst_instance.moc"
