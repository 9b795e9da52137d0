// The real program under Xvfb, from its gate on: the right password opens the
// main window, and "SenDKeys" types the login into another program's form.
// Addresses go to the desktop's launcher.
#include "E2eSupport.h"
#include "ReceiverProcess.h"
#include "platform/QtServices.h"

#include <QtTest>

using namespace kr;
using namespace kr::e2e;

class TestE2eStartup : public QObject {
    Q_OBJECT
private slots:
    void gateThenTypesTheLoginIntoTheFocusedForm()
    {
        const QString password = QStringLiteral("Bon-Mot 2026"); // xdotool types what the layout has
        const QString user = QStringLiteral("Jörg.Usér-1");
        const QString pass = QStringLiteral("Aa1 !@#$%^&*()_+{}[]|:;\"'<>,.?/~\\`-=éß€ж");
        const auto folder = programFolder(password, {{QStringLiteral("bank.test"), user, pass}});
        QVERIFY(folder);
        QTemporaryDir runtime;
        QVERIFY(test::makePrivateFolder(runtime.path()));
        const QStringList env{QStringLiteral("XDG_RUNTIME_DIR=") + runtime.path()};
        // The login form of another program, started first.
        test::ReceiverProcess receiver(QStringLiteral(KR_KEY_RECEIVER), runtime.path());
        QVERIFY(receiver.start());
        QProcess program;
        const QString main = openMainWindow(*folder, program, env, password);
        QVERIFY2(!main.isEmpty(), "the main window did not appear");
        QTRY_VERIFY(findWindows(kGate).isEmpty());
        sendFirstLogin();
        QTRY_VERIFY_WITH_TIMEOUT(findWindows(kMain).isEmpty(), 1500); // hidden at once
        // The user puts the cursor back into the form within the two seconds.
        focus(waitForWindow(QStringLiteral("^kr receiver ")));
        const std::optional<test::Received> got = receiver.result();
        QVERIFY2(got, "the form never got its Enter");
        QCOMPARE(got->user, user);
        QCOMPARE(got->password, pass);
        QVERIFY(program.waitForFinished(10000)); // no window left: the program ends
    }

    // "Download" and the site links hand their address to the desktop's launcher.
    void addressesGoToTheDesktopLauncher()
    {
        QTemporaryDir scratch;
        const QString launcher = scratch.filePath("xdg-open");
        const QString opened = scratch.filePath("opened.txt");
        QVERIFY(writeFile(launcher, "#!/bin/sh\necho \"$@\" >> '" + opened.toLocal8Bit() + "'\n"));
        QVERIFY(QFile::setPermissions(launcher, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        qputenv("PATH", QFile::encodeName(scratch.path() + ':' + qEnvironmentVariable("PATH")));
        const QString address = QStringLiteral("http://127.0.0.1:1/download.php?ID=10");
        DesktopShell().open(address);
        QTRY_COMPARE(QString(fileBytes(opened).trimmed()), address);
    }
};

QTEST_MAIN(TestE2eStartup)
#include "tst_e2e_startup.moc"
