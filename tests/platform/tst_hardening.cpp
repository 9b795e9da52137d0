// Secrets stay out of core files and away from other processes: the program
// and the companion host harden themselves first thing.
#include "platform/ProcessHardening.h"
#include "platform/ThreadFailure.h"
#include "platform/pageaddress/CompanionProtocol.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray procFile(qint64 pid, const char* name)
{
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// "Max core file size  0  0  bytes" and "Umask: 0077".
bool hardenedFromOutside(qint64 pid)
{
    static const QRegularExpression core(QStringLiteral("Max core file size\\s+0\\s+0\\s"));
    static const QRegularExpression mask(QStringLiteral("Umask:\\s+0077\\n"));
    return core.match(QString::fromLatin1(procFile(pid, "limits"))).hasMatch() &&
           mask.match(QString::fromLatin1(procFile(pid, "status"))).hasMatch();
}

} // namespace

class HardeningTest : public QObject {
    Q_OBJECT
private slots:
    // Not dumpable, which from outside only shows to an ordinary user (below). In a
    // child, so that the test process itself stays as it was.
    void hardenedProcessIsNotDumpable()
    {
        const pid_t child = ::fork();
        if (child == 0) {
            kr::HardenProcess();
            ::_exit(::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) == 0 ? 0 : 1);
        }
        int status = -1;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QCOMPARE(status, 0);
    }

    // A thread refused for want of address space (ulimit -v) ends the process at once.
    void threadRefusedEndsTheProcess()
    {
#ifdef __SANITIZE_ADDRESS__
        QSKIP("the address sanitizer's shadow memory takes no address-space limit");
#endif
        const pid_t child = ::fork();
        if (child == 0) {
            kr::EndOnThreadFailure();
            const rlimit tight{1u << 30, RLIM_INFINITY};
            QThread* thread = QThread::create([] {});
            thread->setStackSize(2u << 30); // more than the whole limit
            ::setrlimit(RLIMIT_AS, &tight);
            thread->start();
            ::_exit(0); // went on without its thread
        }
        int status = -1;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    }

    void executablesHardenThemselves_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("Keyrovia") << QStringLiteral(KEYROVIA_EXE);
        QTest::newRow("companion host") << QStringLiteral(KEYROVIA_COMPANION);
    }
    void executablesHardenThemselves()
    {
        QFETCH(QString, program);
        QTemporaryDir dir; // no database: the program waits on its message box
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KEYROVIA_APP_DIR"), dir.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(env);
        process.start(program,
                      {QStringLiteral("chrome-extension://%1/").arg(kr::companion::kChromiumExtensionId)});
        QVERIFY(process.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(hardenedFromOutside(process.processId()), 10000);
        if (::geteuid() != 0) // a process that cannot be dumped has its /proc files owned by root
            QTRY_COMPARE(QFileInfo(QStringLiteral("/proc/%1/mem").arg(process.processId())).ownerId(), 0u);
        process.kill();
        process.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(HardeningTest)
#include "tst_hardening.moc"
