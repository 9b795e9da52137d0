// Debian's Chromium, headless, with the extension and the companion host: the
// extension's toolbar action follows the registry layer, and its click starts
// the program the layer names (a recording stand-in). The extension's state is
// read through the DevTools endpoint from its service worker.
#include "ButtonKeys.h"
#include "ChromiumSession.h"
#include "DevToolsSocket.h"
#include "platform/pageaddress/CompanionProtocol.h"
#include "platform/registry/SqliteRegistry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>

using namespace kr;
using namespace kr::test;

namespace {

const QString kGuid = QStringLiteral("{6F1C2B9A-3D4E-4F50-8A61-7B8C9D0E1F20}");

int starts(const QString& folder)
{
    return int(fileBytes(folder + "/record").count("args="));
}

} // namespace

class ButtonEndToEndTest : public QObject {
    Q_OBJECT
private slots:
    void actionFollowsTheLayerAndStartsTheProgram()
    {
        if (ChromiumSession::executable().isEmpty())
            QSKIP("chromium is not installed");
        QTemporaryDir root;
        const QString home = root.path() + "/home";
        const QString runtime = root.path() + "/runtime";
        const QString profile = root.path() + "/profile";
        const QString program = root.path() + "/Keyrovia folder";
        QVERIFY(QDir().mkpath(home) && makePrivateFolder(runtime) && QDir().mkpath(profile) &&
                QDir().mkpath(program));
        QVERIFY(copyExecutable(KEYROVIA_RECORDER, program + "/Keyrovia"));
        QVERIFY(QFile::copy(KEYROVIA_ICON, program + "/ICON.ico"));

        // The browser's host reads the user's layer under ~/.config.
        SqliteRegistry registry(home + "/.config/keyrovia");
        QVERIFY(writeButtonKey(registry, kGuid, buttonValues(program + "/Keyrovia", program + "/ICON.ico")));

        ChromiumSession chromium(home, runtime, profile);
        QVERIFY2(chromium.start(KEYROVIA_COMPANION, KEYROVIA_EXTENSION_DIR), "Chromium did not start");

        const QString origin = QString("chrome-extension://%1/").arg(companion::kChromiumExtensionId);
        QString worker;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                for (const QJsonValue& target : devToolsTargets(chromium.devToolsPort())) {
                    const QJsonObject t = target.toObject();
                    if (t.value("type") == "service_worker" && t.value("url").toString().startsWith(origin))
                        worker = t.value("webSocketDebuggerUrl").toString();
                }
                return !worker.isEmpty();
            }(),
            60000);
        DevToolsSocket devTools;
        QVERIFY2(devTools.open(worker, chromium.devToolsPort()), qPrintable(worker));
        const auto action = [&] {
            const auto value = devTools.evaluate(
                "(async () => [await chrome.action.isEnabled(), await chrome.action.getTitle({})])()");
            const QJsonArray state = value.value_or(QJsonValue()).toArray();
            return state.size() == 2
                       ? QString("%1 %2").arg(state[0].toBool() ? "enabled" : "disabled", state[1].toString())
                       : QString("no answer");
        };
        QTRY_COMPARE_WITH_TIMEOUT(action(), QString("enabled Keyrovia"), 30000);

        // The picture of "Icon" reached the action.
        QCOMPARE(devTools.evaluate("shownIcon !== null").value_or(false).toBool(), true);

        // The action's click handler, as the toolbar runs it.
        QElapsedTimer clicked;
        clicked.start();
        QVERIFY(devTools.evaluate("onActionClicked(), true").has_value());
        QTRY_COMPARE_WITH_TIMEOUT(starts(program), 1, 10000);
        qInfo("the click started the program after %lld ms", clicked.elapsed());

        // A click while the host is being restarted still starts the program.
        const QStringList sockets = QDir(runtime + "/keyrovia").entryList({"companion-*.sock"}, QDir::System);
        QCOMPARE(sockets.size(), 1);
        const int hostPid = QString(sockets[0]).remove("companion-").remove(".sock").toInt();
        QTest::qWait(1100);
        QVERIFY(hostPid > 0 && ::kill(hostPid, SIGKILL) == 0);
        QVERIFY(devTools.evaluate("onActionClicked(), true").has_value());
        QTRY_COMPARE_WITH_TIMEOUT(starts(program), 2, 15000);

        // "Afficher" unticked and applied: the key goes, and so does the button.
        QVERIFY(deleteButtonKey(registry, kGuid));
        QElapsedTimer followed;
        followed.start();
        QTRY_VERIFY_WITH_TIMEOUT(action().startsWith("disabled Le bouton Keyrovia n'est pas enregistré"),
                                 10000);
        qInfo("the action followed the removed key after %lld ms", followed.elapsed());
        QTest::qWait(1100);
        QVERIFY(devTools.evaluate("onActionClicked(), true").has_value());
        QTest::qWait(1000);
        QCOMPARE(starts(program), 2); // a disabled button starts nothing
        QVERIFY(chromium.stop());
    }
};

QTEST_GUILESS_MAIN(ButtonEndToEndTest)
#include "tst_button_e2e.moc"
