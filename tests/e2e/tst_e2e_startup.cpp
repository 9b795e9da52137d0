// The real program under Xvfb, from its gate on: a refused password is logged
// (owner only) and ends the process; the right one on a database another
// program holds is told in a real box, not logged; the right one opens the
// main window, whose copied password another process reads from the
// clipboard; "SenDKeys" types the login into another program's form; a newer
// version announced by the reference vendor service on 127.0.0.1 takes over,
// and "Download" hands its address to the desktop's launcher and ends.
#include "E2eHarness.h"
#include "ReceiverProcess.h"
#include "platform/sqlcipher/SqlCipherEngine.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QtTest>

using namespace kr;
using namespace kr::e2e;

namespace {
// ASCII only: xdotool drops characters that are not on the keyboard layout.
const QString kPassword = QStringLiteral("Bon-Mot 2026");
} // namespace

class TestE2eStartup : public QObject {
    Q_OBJECT
private slots:
    void refusedAtTheGate_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("locked");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("log"); // empty: no log written
        QTest::newRow("wrong password")
            << "mauvais, essai" << false << QString()
            << "^Tentative d'acces Le : \\d{1,2} \\S+  a : \\d{1,2}:\\d{2}:\\d{2}( "
               "\\S+)?  :  Essai Avec Le Mot de Pass : mauvais, essai\\r\\n\\r\\n$";
        QTest::newRow("database held by another program")
            << kPassword << true << "^Base De Donn.+e Inaccessible$" << QString();
    }
    void refusedAtTheGate()
    {
        QFETCH(QString, typed);
        QFETCH(bool, locked);
        QFETCH(QString, box);
        QFETCH(QString, log);
        const auto folder = programFolder(kPassword);
        QVERIFY(folder);
        SqlCipherEngine otherProgram;
        std::unique_ptr<IDbConnection> holder;
        QProcess program;
        launch(*folder, program);
        QVERIFY(!waitForWindow(kGate).isEmpty());
        if (locked)
            QVERIFY(otherProgram.open(folder->path("BDMDP.MDB"), true, ";pwd=" + kPassword, holder).ok());
        QVERIFY2(passGate(typed), "the gate did not appear");
        if (!box.isEmpty())
            QVERIFY2(answerWithEnter(box), qPrintable(box));
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QVERIFY(findWindows(QStringLiteral("^Keyrovia ")).isEmpty());
        const QString logFile = folder->path(QStringLiteral("Logz.ini"));
        QCOMPARE(QFile::exists(logFile), !log.isEmpty());
        if (!log.isEmpty()) {
            const QByteArray written = fileBytes(logFile);
            QVERIFY2(QRegularExpression(log).match(QString::fromUtf8(written)).hasMatch(),
                     written.constData());
            QCOMPARE(QFile::permissions(logFile) & 0x0077, QFileDevice::Permissions());
        }
    }

    void rightPasswordOpensTheMainWindowAndCopiesToTheClipboard()
    {
        const auto folder = programFolder(
            kPassword, {{QStringLiteral("e2e.example"), QStringLiteral("jean"), "p@ss,{word}'"}});
        QVERIFY(folder);
        QProcess program;
        const QString main = openMainWindow(*folder, program, {}, kPassword);
        QVERIFY2(!main.isEmpty(), "the main window did not appear");
        QVERIFY(waitForNoWindow(kGate));
        keys(QStringLiteral("shift+Tab"), 10); // back from the site box to the list
        key(QStringLiteral("space"));          // selects the only login: details shown
        keys(QStringLiteral("Tab"), 7);        // to the password's copy button
        key(QStringLiteral("space"));
        QTRY_COMPARE_WITH_TIMEOUT(clipboard(), QStringLiteral("p@ss,{word}'"), 5000);
        QVERIFY(closeAndWait(main, program));
        QVERIFY(!QFile::exists(folder->path(QStringLiteral("Logz.ini"))));
    }

    void typesTheSelectedLoginIntoTheFocusedForm()
    {
        const QString user = QStringLiteral("Jörg.Usér-1");
        const QString pass = QStringLiteral("Aa1 !@#$%^&*()_+{}[]|:;\"'<>,.?/~\\`-=éß€ж");
        const auto folder = programFolder({}, {{QStringLiteral("bank.test"), user, pass}});
        QVERIFY(folder);
        QTemporaryDir runtime;
        QVERIFY(test::makePrivateFolder(runtime.path()));
        // The login form of another program, started first.
        test::ReceiverProcess receiver(QStringLiteral(KR_KEY_RECEIVER), runtime.path());
        QVERIFY(receiver.start());

        QProcess program;
        const QString main =
            openMainWindow(*folder, program, {QStringLiteral("XDG_RUNTIME_DIR=") + runtime.path()});
        QVERIFY2(!main.isEmpty(), "the main window did not appear");
        keys(QStringLiteral("shift+Tab"), 10); // from the site box back to the list
        key(QStringLiteral("space"));          // select the login
        keys(QStringLiteral("Tab"), 9);        // to "SenDKeys ( Envois Automatique )"
        key(QStringLiteral("space"));
        QVERIFY(waitForNoWindow(kMain, 1500)); // hidden at once

        // The user puts the cursor back into the form within the two seconds.
        const QString form = waitForWindow(QStringLiteral("^kr receiver "));
        QVERIFY(!form.isEmpty());
        focus(form);
        QVERIFY2(receiver.waitDone(), "the form never got its Enter");
        const std::optional<test::Received> got = receiver.result();
        QVERIFY(got.has_value());
        QCOMPARE(got->user, user);
        QCOMPARE(got->password, pass);
        QVERIFY(program.waitForFinished(10000)); // no window left: the program ends
    }

    void newerVersionTakesOverAndDownloadEnds()
    {
        QTemporaryDir scratch;
        QProcess vendor;
        const auto stopVendor = qScopeGuard([&] { vendor.kill(), vendor.waitForFinished(); });
        vendor.start(QStringLiteral(KEYROVIA_VENDOR_SERVICE),
                     {"--port", "0", "--announce", "1.2", "--info", "Ligne 1\\nLigne 2", "--database",
                      scratch.filePath("vendor.db")});
        QByteArray said;
        while (!said.contains('\n') && vendor.waitForReadyRead(10000))
            said += vendor.readAllStandardOutput();
        const quint16 port =
            QRegularExpression("listening (\\d+)").match(QString::fromLatin1(said)).captured(1).toUShort();
        QVERIFY2(port, said.constData());
        // A stand-in for the desktop's launcher that writes down what it is asked to open.
        const QString launcher = scratch.filePath("xdg-open");
        const QString opened = scratch.filePath("opened.txt");
        QVERIFY(writeFile(launcher, "#!/bin/sh\necho \"$@\" >> '" + opened.toLocal8Bit() + "'\n"));
        QVERIFY(QFile::setPermissions(launcher, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        const auto folder = programFolder();
        QVERIFY(folder);
        QProcess program;
        launch(*folder, program,
               {QStringLiteral("KEYROVIA_VENDOR_HOST=127.0.0.1:%1").arg(port),
                "PATH=" + scratch.path() + ':' + qEnvironmentVariable("PATH")});

        const QString kUpdate = QStringLiteral("^Keyrovia$");
        const QString update = waitForWindow(kUpdate);
        QVERIFY2(!update.isEmpty(), "the update window did not appear");
        QVERIFY(waitForNoWindow(kMain));
        QCOMPARE(findWindows(QStringLiteral(".")), QStringList{update});        // the only window left
        xdotool({"mousemove", "--window", update, "246", "203", "click", "1"}); // "Download"
        QStringList boxes;
        QTRY_VERIFY2_WITH_TIMEOUT((boxes = findWindows(kUpdate)).size() == 2, "no download message", 10000);
        boxes.removeAll(update);
        focus(boxes.constFirst());
        key(QStringLiteral("Return"));
        QVERIFY(program.waitForFinished(10000));
        QTRY_COMPARE_WITH_TIMEOUT(
            fileBytes(opened).trimmed(),
            QStringLiteral("http://127.0.0.1:%1/download.php?ID=10").arg(port).toLatin1(), 5000);
    }
};

QTEST_GUILESS_MAIN(TestE2eStartup)
#include "tst_e2e_startup.moc"
