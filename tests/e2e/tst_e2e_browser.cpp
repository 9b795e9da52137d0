// Debian's Chromium, headless, with the extension and the companion host; the
// browser reaches nothing but 127.0.0.1. The program's client reads the page a
// tab shows (scheme and host only, also through a host that died and came
// back); the real program, past its gate, with "Automatique" opens on that
// site with its login selected, and another program reads the login's copied
// user name; the extension's toolbar action, read through DevTools in its
// service worker, follows the registry layer and its click starts the program
// the layer names (a recording stand-in).
#include "ButtonKeys.h"
#include "ChromiumSession.h"
#include "DevToolsSocket.h"
#include "E2eSupport.h"
#include "ScriptedServer.h"
#include "platform/pageaddress/CompanionPageAddress.h"
#include "platform/pageaddress/CompanionProtocol.h"
#include "platform/pageaddress/DevToolsPageAddress.h"
#include "platform/registry/SqliteRegistry.h"

#include <QtTest>

#include <signal.h>

using namespace kr;
using namespace kr::e2e;
using namespace kr::test;

class TestE2eBrowser : public QObject {
    Q_OBJECT
private slots:
    void pageProgramAndToolbarAction()
    {
        if (ChromiumSession::executable().isEmpty())
            QSKIP("chromium is not installed");
        QTemporaryDir root;
        const QString home = root.filePath("home"), runtime = root.filePath("runtime"),
                      profile = root.filePath("profile"), recorder = root.filePath("Keyrovia folder");
        QVERIFY(QDir().mkpath(home) && makePrivateFolder(runtime) && QDir().mkpath(profile) &&
                QDir().mkpath(recorder));
        QVERIFY(copyExecutable(KEYROVIA_RECORDER, recorder + "/Keyrovia"));
        QVERIFY(QFile::copy(KEYROVIA_ICON, recorder + "/ICON.ico"));
        const auto starts = [&] { return int(fileBytes(recorder + "/record").count("args=")); };
        // The browser's host reads the user's layer under ~/.config.
        SqliteRegistry registry(home + "/.config/keyrovia");
        const QString guid = QStringLiteral("{6F1C2B9A-3D4E-4F50-8A61-7B8C9D0E1F20}");
        QVERIFY(writeButtonKey(registry, guid, buttonValues(recorder + "/Keyrovia", recorder + "/ICON.ico")));
        ScriptedServer web([](const QByteArray&) {
            return httpResponse("200 OK", "<title>Connexion \"e2e\"</title><form>",
                                "text/html; charset=utf-8");
        });
        ChromiumSession chromium(home, runtime, profile);
        QVERIFY2(chromium.start(KEYROVIA_COMPANION, KEYROVIA_EXTENSION_DIR), "Chromium did not start");

        // Scheme and host only: the path and the title stay in the browser.
        CompanionPageAddress client(runtime + "/keyrovia");
        const auto reply = [&] { return client.request(1000).value_or(QString()); };
        const QString expected = QString("\"http://www.example.test:%1/\",\"\"").arg(web.port());
        QVERIFY(chromium.openTab(QString("http://www.example.test:%1/login").arg(web.port())));
        QTRY_COMPARE_WITH_TIMEOUT(reply(), expected, 60000);
        // The opt-in source reads the same tab.
        QCOMPARE(DevToolsPageAddress(chromium.devToolsPort()).request(5000).value_or(""), expected);

        // The real program with "Automatique", past its gate: the site box (focused)
        // holds the reduced site, and that site's login is shown: copy its user name and password.
        const QString site = QString("example.test:%1").arg(web.port());
        const QString password = "Bon-Mot 2026"; // xdotool types what the layout has
        const auto folder = programFolder(
            password, {{"aaa.test", "other-user", "x"}, {site, "e2e-user", "e2e-pass"}}, {0, 0, 1});
        QVERIFY(folder);
        const auto clipboard = [] { return run("xclip", {"-o", "-selection", "clipboard"}); };
        QProcess program;
        const QString main = openMainWindow(*folder, program, {"XDG_RUNTIME_DIR=" + runtime}, password);
        QVERIFY2(!main.isEmpty(), "the main window did not appear");
        key("ctrl+a");
        key("ctrl+c");
        QTRY_COMPARE_WITH_TIMEOUT(clipboard(), site, 5000);
        key("shift+Tab", 5);
        key("space");
        QTRY_COMPARE_WITH_TIMEOUT(clipboard(), QString("e2e-user"), 5000);
        key("Tab", 2); // the password, copied as a secret, is text for other programs too
        key("space");
        QTRY_COMPARE_WITH_TIMEOUT(clipboard(), QString("e2e-pass"), 5000);
        QVERIFY(findWindows("^Keyrovia$").isEmpty()); // no message box
        QVERIFY(closeWindow(main) && program.waitForFinished(10000));

        // The toolbar action, in the extension's service worker.
        const QString origin = QString("chrome-extension://%1/").arg(companion::kChromiumExtensionId);
        const auto worker = [&] {
            for (const QJsonValue& t : chromium.targets())
                if (t["type"] == "service_worker" && t["url"].toString().startsWith(origin))
                    return t["webSocketDebuggerUrl"].toString();
            return QString();
        };
        QTRY_VERIFY_WITH_TIMEOUT(!worker().isEmpty(), 60000);
        DevToolsSocket devTools;
        QVERIFY2(devTools.open(worker()), qPrintable(worker()));
        const auto action = [&] {
            const QString state =
                "(async () => (await chrome.action.isEnabled() ? 'enabled ' : 'disabled ') + "
                "await chrome.action.getTitle({}))()";
            return devTools.evaluate(state).value_or(QJsonValue("no answer")).toString();
        };
        // The action's click handler, as the toolbar runs it.
        const auto click = [&] { return devTools.evaluate("onActionClicked(), true").has_value(); };
        QTRY_COMPARE_WITH_TIMEOUT(action(), QString("enabled Keyrovia"), 30000);
        QCOMPARE(devTools.evaluate("shownIcon !== null").value_or(false).toBool(), true); // "Icon" shown
        QElapsedTimer clock;
        clock.start();
        QVERIFY(click());
        QTRY_COMPARE_WITH_TIMEOUT(starts(), 1, 10000);
        qInfo("the click started the program after %lld ms", clock.elapsed());

        // A host that dies is replaced: a click meanwhile still starts the
        // program; the new host clears the dead one's socket and learns the page.
        const auto sockets = [&] {
            return QDir(runtime + "/keyrovia").entryList({"companion-*.sock"}, QDir::System);
        };
        const QStringList before = sockets();
        QCOMPARE(before.size(), 1);
        const int hostPid = QString(before[0]).remove("companion-").remove(".sock").toInt();
        QTest::qWait(1100); // at most one start a second
        QVERIFY(hostPid > 0 && ::kill(hostPid, SIGKILL) == 0);
        QVERIFY(click());
        QTRY_COMPARE_WITH_TIMEOUT(starts(), 2, 15000);
        QTRY_VERIFY_WITH_TIMEOUT(sockets().size() == 1 && sockets() != before, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(reply(), expected, 30000);

        // "Afficher" unticked and applied: the key goes, and so does the button.
        QVERIFY(deleteButtonKey(registry, guid));
        clock.start();
        QTRY_VERIFY_WITH_TIMEOUT(action().startsWith("disabled Le bouton Keyrovia n'est pas enregistré"),
                                 10000);
        qInfo("the action followed the removed key after %lld ms", clock.elapsed());

        // Browser closed: the host goes, with its socket, and nobody answers.
        QVERIFY(chromium.stop());
        QTRY_VERIFY_WITH_TIMEOUT(sockets().isEmpty(), 10000);
        QVERIFY(!client.request(1000));
    }
};

QTEST_GUILESS_MAIN(TestE2eBrowser)
#include "tst_e2e_browser.moc"
