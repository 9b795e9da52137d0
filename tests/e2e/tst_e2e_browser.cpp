// The real program with Debian's Chromium, headless, the extension and the
// companion host: with "Automatique" ticked the program opens on the site of
// the page the browser shows, with its stored login selected. Without a
// browser the site box keeps its reduced text and no message appears.
#include "ChromiumSession.h"
#include "E2eSupport.h"
#include "ScriptedServer.h"
#include "TestKit.h"
#include "platform/pageaddress/CompanionPageAddress.h"

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QtTest>

using namespace kr;
using namespace kr::e2e;

namespace {

QString clipboard()
{
    return run(QStringLiteral("xclip"),
               {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")});
}

// Copies the focused text box's whole text and reads it from the clipboard.
QString copyFocusedBox()
{
    key(QStringLiteral("ctrl+a"));
    key(QStringLiteral("ctrl+c"));
    QThread::msleep(150);
    return clipboard();
}

} // namespace

class TestE2eBrowser : public QObject {
    Q_OBJECT

    QTemporaryDir root;
    QString runtime;
    std::unique_ptr<ProgramFolder> folder;

    void makeProgramFolder(const QString& site)
    {
        folder = std::make_unique<ProgramFolder>(QStringLiteral(KEYROVIA_EXE));
        QVERIFY(makeDatabase(*folder, QString(),
                             {{QStringLiteral("aaa.test"), QStringLiteral("other-user"), QStringLiteral("x")},
                              {site, QStringLiteral("e2e-user"), QStringLiteral("e2e-pass")}}));
        QVERIFY(writeSettings(*folder, 0, 0, 1));
    }

    QString startProgram(QProcess& program)
    {
        folder->start(program, {QStringLiteral("XDG_RUNTIME_DIR=") + runtime});
        const QString main = waitForWindow(kMain, 20000);
        if (!main.isEmpty())
            focus(main);
        return main;
    }

private slots:
    void initTestCase()
    {
        runtime = root.filePath(QStringLiteral("runtime"));
        QVERIFY(test::makePrivateFolder(runtime));
    }

    void opensOnTheBrowsersSite()
    {
        if (test::ChromiumSession::executable().isEmpty())
            QSKIP("chromium is not installed");
        const QString home = root.filePath(QStringLiteral("home"));
        const QString profile = root.filePath(QStringLiteral("profile"));
        QVERIFY(QDir().mkpath(home) && QDir().mkpath(profile));

        test::ScriptedServer web([](const QByteArray& request) -> std::optional<QByteArray> {
            if (request.startsWith("GET /login"))
                return test::httpResponse("200 OK", "<title>Connexion</title><form><input name=u></form>",
                                          "text/html; charset=utf-8");
            return test::httpResponse("404 Not Found", "", "text/plain");
        });
        const QString site = QStringLiteral("example.test:%1").arg(web.port());
        makeProgramFolder(site);

        test::ChromiumSession browser(home, runtime, profile);
        QVERIFY2(browser.start(KEYROVIA_COMPANION, KEYROVIA_EXTENSION_DIR), "Chromium did not start");
        const QString address = QStringLiteral("http://www.example.test:%1/login").arg(web.port());
        QVERIFY(browser.openTab(address));
        CompanionPageAddress companion(runtime + QStringLiteral("/keyrovia"));
        // Only scheme and host leave the browser.
        QTRY_COMPARE_WITH_TIMEOUT(companion.request(1000).value_or(QString()),
                                  QStringLiteral("\"http://www.example.test:%1/\",\"\"").arg(web.port()),
                                  60000);

        QProcess program;
        const QString main = startProgram(program);
        QVERIFY2(!main.isEmpty(), "the main window did not appear");
        // The site box (focused at opening) holds the reduced site...
        QCOMPARE(copyFocusedBox(), site);
        // ...and the stored login of that site is shown: copy its user name.
        for (int i = 0; i < 5; ++i)
            key(QStringLiteral("shift+Tab"));
        key(QStringLiteral("space"));
        QTRY_COMPARE_WITH_TIMEOUT(clipboard(), QStringLiteral("e2e-user"), 5000);
        QVERIFY(findWindows(QStringLiteral("^Keyrovia$")).isEmpty()); // no message box
        QVERIFY(closeWindow(main));
        QVERIFY(program.waitForFinished(10000));
    }

    void withoutBrowserTheBoxKeepsItsReducedText()
    {
        makeProgramFolder(QStringLiteral("other.test"));
        QDir(runtime + QStringLiteral("/keyrovia")).removeRecursively(); // no companion left
        QProcess program;
        const QString main = startProgram(program);
        QVERIFY2(!main.isEmpty(), "the main window did not appear");
        QCOMPARE(copyFocusedBox(), QString()); // nothing to reduce at opening
        type(QStringLiteral("https://www.other.test/account"));
        key(QStringLiteral("Tab")); // to "A"
        QElapsedTimer clock;
        clock.start();
        key(QStringLiteral("space")); // read the browser's site: nobody answers
        key(QStringLiteral("shift+Tab"));
        QCOMPARE(copyFocusedBox(), QStringLiteral("other.test"));
        QVERIFY(clock.elapsed() < 6000);
        QVERIFY(findWindows(QStringLiteral("^Keyrovia$")).isEmpty()); // no message box
        QVERIFY(closeWindow(main));
        QVERIFY(program.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TestE2eBrowser)
#include "tst_e2e_browser.moc"
