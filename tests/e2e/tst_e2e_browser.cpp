// The real program with Debian's Chromium, headless, the extension and the
// companion host: with "Automatique" ticked the program opens on the site of
// the page the browser shows, with its stored login selected. Without a
// browser the site box keeps its reduced text and no message appears.
#include "E2eSupport.h"
#include "ScriptedServer.h"
#include "platform/pageaddress/CompanionPageAddress.h"
#include "platform/sqlcipher/SqlCipherEngine.h"
#include "store/PasswordStore.h"

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QtTest>

using namespace kr;
using namespace kr::e2e;

namespace {

const QString kMain = QStringLiteral("^Keyrovia 1\\.1\\.0 - Http://");

QString clipboard()
{
    return run(QStringLiteral("xclip"), {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")});
}

// Copies the focused text box's whole text and reads it from the clipboard.
QString copyFocusedBox()
{
    key(QStringLiteral("ctrl+a"));
    key(QStringLiteral("ctrl+c"));
    QThread::msleep(150);
    return clipboard();
}

bool openTab(quint16 devToolsPort, const QString& address)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), devToolsPort);
    if (!socket.waitForConnected(5000))
        return false;
    socket.write("PUT /json/new?" + address.toUtf8() + " HTTP/1.1\r\nHost: 127.0.0.1:" +
                 QByteArray::number(devToolsPort) + "\r\nConnection: close\r\n\r\n");
    QByteArray response;
    while (!response.contains("\r\n\r\n") && socket.waitForReadyRead(10000))
        response += socket.readAll();
    return response.startsWith("HTTP/1.1 200");
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
        int code = -1;
        run(QStringLiteral(KEYROVIA_MAKEDB), {folder->path(QStringLiteral("BDMDP.MDB"))}, 15000, &code);
        QCOMPARE(code, 0);
        SqlCipherEngine engine;
        PasswordStore store(engine, folder->path(QStringLiteral("BDMDP.MDB")));
        QVERIFY(store.InsertSiteRecord(QStringLiteral("aaa.test"), QStringLiteral("other-user"), QStringLiteral("x")).ok());
        QVERIFY(store.InsertSiteRecord(site, QStringLiteral("e2e-user"), QStringLiteral("e2e-pass")).ok());
        QVERIFY(writeFile(folder->path(QStringLiteral("PARAM.ini")),
                          "%%AFFICHERIE%%=0=%%ENDAFFICHERIE%%%%TJSVISIBLE%%=0=%%ENDTJSVISIBLE%%"
                          "%%RECUPAUTO%%=1=%%ENDRECUPAUTO%%"));
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
        QVERIFY(QDir().mkpath(runtime));
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    void opensOnTheBrowsersSite()
    {
        const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
        if (chromium.isEmpty())
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

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        env.remove(QStringLiteral("XDG_CONFIG_HOME"));
        QProcess install;
        install.setProcessEnvironment(env);
        install.start(QStringLiteral(KEYROVIA_COMPANION),
                      {QStringLiteral("--install"), QStringLiteral("--user-data-dir"), profile});
        QVERIFY(install.waitForFinished(10000));
        QCOMPARE(install.exitCode(), 0);

        QProcess browser;
        browser.setProcessEnvironment(env);
        browser.setStandardOutputFile(QProcess::nullDevice());
        browser.setStandardErrorFile(QProcess::nullDevice());
        browser.start(chromium,
                      {"--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                       "--disable-background-networking", "--disable-component-update", "--disable-sync",
                       "--user-data-dir=" + profile,
                       "--load-extension=" + QStringLiteral(KEYROVIA_EXTENSION_DIR) + "/chromium",
                       "--host-resolver-rules=MAP * 127.0.0.1", "--remote-debugging-port=0"});
        QVERIFY(browser.waitForStarted(10000));
        auto stopBrowser = qScopeGuard([&] {
            browser.terminate();
            if (!browser.waitForFinished(15000)) {
                browser.kill();
                browser.waitForFinished();
            }
        });
        quint16 devTools = 0;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                QFile file(profile + "/DevToolsActivePort");
                if (file.open(QIODevice::ReadOnly))
                    devTools = quint16(file.readLine().trimmed().toUInt());
                return devTools != 0;
            }(),
            60000);
        const QString address = QStringLiteral("http://www.example.test:%1/login").arg(web.port());
        QVERIFY(openTab(devTools, address));
        CompanionPageAddress companion(runtime + QStringLiteral("/keyrovia"));
        QTRY_VERIFY_WITH_TIMEOUT(companion.request(1000).value_or(QString()).startsWith("\"" + address), 60000);

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
        key(QStringLiteral("Tab"));   // to "A"
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
