// One program per program folder, under Xvfb: a later start brings the running gate to the front and
// ends; a killed program's socket does not hold back the next start; of racing starts exactly one runs.
#include "E2eSupport.h"

#include <QtTest>

using namespace kr::e2e;

class TestE2eInstance : public QObject {
    Q_OBJECT
    QTemporaryDir m_runtime; // XDG_RUNTIME_DIR of the started programs
    const QStringList m_env{QStringLiteral("XDG_RUNTIME_DIR=") + m_runtime.path()};
    static QStringList gates() { return findWindows(kGate); }
    // A program folder whose database has a password, so that its gate waits.
    static std::unique_ptr<ProgramFolder> gated()
    {
        return programFolder(QStringLiteral("Mot-2026"), {}, {});
    }

private slots:
    void laterStartBringsTheRunningGateToTheFront()
    {
        const auto folder = gated(), other = gated();
        QVERIFY(folder && other);
        QProcess first, second, later;
        folder->start(first, m_env);
        const QString gate = waitForWindow(kGate);
        other->start(second, m_env); // another folder, another program: its gate takes the keyboard
        QTRY_COMPARE_WITH_TIMEOUT(gates().size(), 2, 15000);
        focus(gates().constLast() == gate ? gates().constFirst() : gates().constLast());
        QVERIFY(xdotool({"getwindowfocus"}) != gate);
        folder->start(later, m_env);
        QVERIFY(later.waitForFinished(10000) && later.exitCode() == 0);
        QTRY_COMPARE(xdotool({"getwindowfocus"}), gate);
        QCOMPARE(gates().size(), 2);
        const QFileInfoList sockets = QDir(m_runtime.path()).entryInfoList(QDir::System);
        QVERIFY(sockets.size() == 2 && kr::test::fileMode(sockets.constFirst().filePath()) == 0600);
        first.kill(); // its socket stays behind, and does not hold back the next start
        QTRY_COMPARE(gates().size(), 1);
        folder->start(later, m_env);
        QTRY_COMPARE_WITH_TIMEOUT(gates().size(), 2, 15000);
    }

    void racingStartsLeaveOneProgram()
    {
        const auto folder = gated();
        QVERIFY(folder);
        QProcess a, b;
        folder->start(a, m_env);
        folder->start(b, m_env);
        QTRY_VERIFY_WITH_TIMEOUT((a.state() == QProcess::Running) != (b.state() == QProcess::Running), 15000);
        QTest::qWait(1000);
        QVERIFY((a.state() == QProcess::Running) != (b.state() == QProcess::Running));
        QCOMPARE(gates().size(), 1);
    }
};

QTEST_MAIN(TestE2eInstance)
#include "tst_e2e_instance.moc"
