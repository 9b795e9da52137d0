// The real program on a Wayland desktop (headless sway, see
// tools/run-under-sway.sh): its own windows go through XWayland even when
// Qt is told to use Wayland, and "SenDKeys" types the login into a native
// Wayland terminal through the compositor's virtual keyboard.
#include "E2eSupport.h"

#include <QtTest>

using namespace kr;
using namespace kr::e2e;

class TestE2eWayland : public QObject {
    Q_OBJECT
private slots:
    void typesTheLoginIntoANativeWaylandWindow()
    {
        const QString user = QStringLiteral("Jörg.Usér-1");
        const QString pass = QStringLiteral("Aa1 !@#$%^&*()_+{}[]|:;\"'<>,.?/~\\`-=éß€ж");
        const auto folder = programFolder({}, {{QStringLiteral("bank.test"), user, pass}});
        QVERIFY(folder);
        QTemporaryDir runtime;
        QVERIFY(test::makePrivateFolder(runtime.path()));
        QProcess program;
        const QString main =
            openMainWindow(*folder, program,
                           {"XDG_RUNTIME_DIR=" + runtime.path(), QStringLiteral("QT_QPA_PLATFORM=wayland")});
        QVERIFY2(!main.isEmpty(), "the main window did not appear on XWayland");
        sendFirstLogin(); // sway gives the focus back to the terminal

        QVERIFY(program.waitForFinished(15000));
        const QString typedFile = qEnvironmentVariable("KR_TYPED_FILE");
        QString typed;
        QTRY_VERIFY((typed = QString::fromUtf8(fileBytes(typedFile))).endsWith(u'\n'));
        QCOMPARE(typed, user + u'\t' + pass + u'\n');
        // XWayland, a Wayland program focused later, makes the key map it was
        // handed last its X keyboard: a layout, without the password's symbols.
        const QString xkeys = run(QStringLiteral("xmodmap"), {QStringLiteral("-pke")});
        QVERIFY(!xkeys.contains(QStringLiteral("eacute")) && xkeys.count(QStringLiteral("= a A")) == 1 &&
                xkeys.count(QStringLiteral("= ")) > 48);
    }
};

QTEST_GUILESS_MAIN(TestE2eWayland)
#include "tst_e2e_wayland.moc"
