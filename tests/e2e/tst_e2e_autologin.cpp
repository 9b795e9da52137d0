// The real program under Xvfb types the selected login into another
// program's form two seconds after "SenDKeys", then its main window is gone.
#include "E2eSupport.h"
#include "ReceiverProcess.h"
#include "TestKit.h"

#include <QtTest>

using namespace kr;
using namespace kr::e2e;

namespace {
const QString kUser = QStringLiteral("Jörg.Usér-1");
const QString kPass = QStringLiteral("Aa1 !@#$%^&*()_+{}[]|:;\"'<>,.?/~\\`-=éß€ж");
} // namespace

class TestE2eAutoLogin : public QObject {
    Q_OBJECT
private slots:
    void typesTheSelectedLoginIntoTheFocusedForm()
    {
        ProgramFolder folder(QStringLiteral(KEYROVIA_EXE));
        QVERIFY(makeDatabase(folder, QString(), {{QStringLiteral("bank.test"), kUser, kPass}}));
        QVERIFY(writeSettings(folder, 0, 0, 0));
        QTemporaryDir runtime;
        QVERIFY(test::makePrivateFolder(runtime.path()));

        // The login form of another program, started first.
        test::ReceiverProcess receiver(QStringLiteral(KR_KEY_RECEIVER), runtime.path());
        QVERIFY(receiver.start());

        QProcess program;
        folder.start(program, {QStringLiteral("XDG_RUNTIME_DIR=") + runtime.path()});
        const QString main = waitForWindow(kMain);
        QVERIFY2(!main.isEmpty(), "the main window did not appear");
        focus(main);
        for (int i = 0; i < 10; ++i)
            key(QStringLiteral("shift+Tab")); // from the site box back to the list
        key(QStringLiteral("space"));         // select the login
        for (int i = 0; i < 9; ++i)
            key(QStringLiteral("Tab")); // to "SenDKeys ( Envois Automatique )"
        key(QStringLiteral("space"));
        QVERIFY(waitForNoWindow(kMain, 1500)); // hidden at once

        // The user puts the cursor back into the form within the two seconds.
        const QString form = waitForWindow(QStringLiteral("^kr receiver "));
        QVERIFY(!form.isEmpty());
        focus(form);

        QVERIFY2(receiver.waitDone(), "the form never got its Enter");
        const std::optional<test::Received> got = receiver.result();
        QVERIFY(got.has_value());
        QCOMPARE(got->user, kUser);
        QCOMPARE(got->password, kPass);
        // The main window closed after typing: with no window left the program ends.
        QVERIFY(program.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TestE2eAutoLogin)
#include "tst_e2e_autologin.moc"
