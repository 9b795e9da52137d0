// The real program started from a temporary program folder under Xvfb: the
// gate refuses a wrong password (logged, program ended), accepts the right one
// (main window, gate gone), reports a missing or locked database and clears
// what an interrupted password change left.
#include "E2eSupport.h"
#include "platform/sqlcipher/SqlCipherEngine.h"

#include <QRegularExpression>
#include <QtTest>

using namespace kr;
using namespace kr::e2e;

class TestE2eStartup : public QObject {
    Q_OBJECT

    // A program folder with a database protected by password (empty = none).
    static void prepare(ProgramFolder& folder, const QString& password, bool withParam = true)
    {
        QVERIFY(makeDatabase(folder, password));
        if (withParam)
            QVERIFY(writeSettings(folder, 0, 0, 0));
    }

    // Starts the program and waits for its gate.
    static QString startAtGate(const ProgramFolder& folder, QProcess& program)
    {
        folder.start(program);
        const QString gate = waitForWindow(QStringLiteral("^Form1$"));
        if (!gate.isEmpty())
            focus(gate);
        return gate;
    }

private slots:
    void wrongPasswordIsLoggedAndEndsTheProgram()
    {
        ProgramFolder folder(QStringLiteral(KEYROVIA_EXE));
        prepare(folder, QStringLiteral("Bon-Mot-2026"));
        QProcess program;
        QVERIFY2(!startAtGate(folder, program).isEmpty(), "the gate did not appear");
        type(QStringLiteral("mauvais, essai"));
        key(QStringLiteral("Return"));
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        const QByteArray log = fileBytes(folder.path(QStringLiteral("Logz.ini")));
        static const QRegularExpression line(QStringLiteral(
            "^Tentative d'acces Le : \\d{1,2} \\S+  a : \\d{1,2}:\\d{2}:\\d{2}( \\S+)?  :  Essai Avec Le "
            "Mot de Pass : mauvais, essai\\r\\n\\r\\n$"));
        QVERIFY2(line.match(QString::fromUtf8(log)).hasMatch(), log.constData());
        QCOMPARE(QFile::permissions(folder.path(QStringLiteral("Logz.ini"))) & 0x0077,
                 QFileDevice::Permissions());
        QVERIFY(findWindows(QStringLiteral("^Keyrovia ")).isEmpty());
    }

    void rightPasswordOpensTheMainWindow()
    {
        ProgramFolder folder(QStringLiteral(KEYROVIA_EXE));
        prepare(folder, QStringLiteral("Bon-Mot-2026"));
        QProcess program;
        QVERIFY(!startAtGate(folder, program).isEmpty());
        type(QStringLiteral("Bon-Mot-2026"));
        key(QStringLiteral("Return"));
        const QString main = waitForWindow(kMain);
        QVERIFY2(!main.isEmpty(), "the main window did not appear");
        QVERIFY(waitForNoWindow(QStringLiteral("^Form1$")));
        QVERIFY(!QFile::exists(folder.path(QStringLiteral("Logz.ini"))));
        QCOMPARE(program.state(), QProcess::Running);
        QVERIFY(closeWindow(main)); // the last window closed: the program ends
        QVERIFY(program.waitForFinished(10000));
    }

    void databaseWithoutPasswordPassesAtOnce()
    {
        ProgramFolder folder(QStringLiteral(KEYROVIA_EXE));
        prepare(folder, QString(), /*withParam=*/false);
        QProcess program;
        folder.start(program);
        // No settings yet: the first-use message comes, then the main window.
        QVERIFY2(answerWithEnter(QStringLiteral("^Configuration$")), "the first-use message did not appear");
        QVERIFY(!waitForWindow(QStringLiteral("^Keyrovia 1\\.1\\.0 - ")).isEmpty());
        QVERIFY(waitForNoWindow(QStringLiteral("^Form1$")));
        program.kill();
        program.waitForFinished();
    }

    void missingDatabaseIsReported()
    {
        ProgramFolder folder(QStringLiteral(KEYROVIA_EXE));
        QProcess program;
        folder.start(program);
        QVERIFY2(answerWithEnter(QStringLiteral("^Fichier Introuvable$")),
                 "no message about the missing database");
        QVERIFY(program.waitForFinished(10000));
        QVERIFY(!QFile::exists(folder.path(QStringLiteral("Logz.ini"))));
        QVERIFY(!QFile::exists(folder.path(QStringLiteral("BDMDP.MDB"))));
    }

    // The right password on a file another program holds: told, not logged.
    void lockedDatabaseIsToldAndThePasswordNotLogged()
    {
        ProgramFolder folder(QStringLiteral(KEYROVIA_EXE));
        prepare(folder, QStringLiteral("Bon-Mot-2026"));
        SqlCipherEngine otherProgram;
        std::unique_ptr<IDbConnection> holder;
        QProcess program;
        QVERIFY(!startAtGate(folder, program).isEmpty());
        QVERIFY(otherProgram
                    .open(folder.path(QStringLiteral("BDMDP.MDB")), true, QStringLiteral(";pwd=Bon-Mot-2026"),
                          holder)
                    .ok());
        type(QStringLiteral("Bon-Mot-2026"));
        key(QStringLiteral("Return"));
        QVERIFY2(answerWithEnter(QStringLiteral("^Base De Donn.+e Inaccessible$")),
                 "no message about the lock");
        QVERIFY(program.waitForFinished(10000));
        QVERIFY(!QFile::exists(folder.path(QStringLiteral("Logz.ini"))));
    }

    // What a change killed half-way left is gone once the gate is up.
    void leftoversOfAnInterruptedChangeAreRemoved()
    {
        ProgramFolder folder(QStringLiteral(KEYROVIA_EXE));
        prepare(folder, QStringLiteral("x"));
        const QStringList leftovers{".BDMDP.MDB.new-Ab12Cd", ".BDMDP.MDB.old-5eed", "BDMDP.MDB-mj0A1B2C9D3"};
        for (const QString& name : leftovers)
            QVERIFY(writeFile(folder.path(name), "old"));
        QVERIFY(writeFile(folder.path(QStringLiteral("notes.txt")), "mine"));
        QProcess program;
        QVERIFY(!startAtGate(folder, program).isEmpty());
        for (const QString& name : leftovers)
            QVERIFY2(!QFile::exists(folder.path(name)), qPrintable(name));
        QVERIFY(QFile::exists(folder.path(QStringLiteral("notes.txt"))));
        QVERIFY(QFile::exists(folder.path(QStringLiteral("BDMDP.MDB"))));
        program.kill();
        program.waitForFinished();
    }

    void quitButtonIsLogged()
    {
        ProgramFolder folder(QStringLiteral(KEYROVIA_EXE));
        prepare(folder, QStringLiteral("x"));
        QProcess program;
        QVERIFY(!startAtGate(folder, program).isEmpty());
        key(QStringLiteral("Tab"));
        key(QStringLiteral("space")); // the "X" button
        QVERIFY(program.waitForFinished(10000));
        const QByteArray log = fileBytes(folder.path(QStringLiteral("Logz.ini")));
        QVERIFY2(log.startsWith("Il a Ouvert Le Prog Sans Metre De MDP Le : "), log.constData());
        QVERIFY(log.endsWith("\r\n\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestE2eStartup)
#include "tst_e2e_startup.moc"
