// The real program started by the companion host, as a click on the toolbar
// button starts it, while another window (the browser) has the focus: the
// gate comes up in front of that window and takes the focus.
#include "ButtonKeys.h"
#include "E2eSupport.h"
#include "platform/pageaddress/CompanionProtocol.h"
#include "platform/registry/SqliteRegistry.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QWidget>

#include <signal.h>

using namespace kr;
using namespace kr::e2e;
using namespace kr::test;

// In X11Stacking.cpp: Xlib's macros stay out of the moc's way.
int stackingIndex(unsigned long window);

namespace {

const QString kGuid = QStringLiteral("{0A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9}");

} // namespace

class ButtonGateTest : public QObject {
    Q_OBJECT
private slots:
    void gateComesInFrontOfTheBrowser()
    {
        ProgramFolder folder(KEYROVIA_EXE);
        QVERIFY(makeDatabase(folder, "secret"));
        QTemporaryDir config;
        QTemporaryDir runtime;
        {
            SqliteRegistry registry(config.filePath("keyrovia"));
            QVERIFY(writeButtonKey(
                registry, kGuid,
                {{"Exec", folder.executable()}, {"ButtonText", "Keyrovia"}, {"CLSID", kRunProgram}}));
        }

        // The browser, with the focus.
        QWidget browser;
        browser.setWindowTitle("Navigateur");
        browser.setGeometry(0, 0, 1000, 800);
        browser.show();
        const QString browserId = QString::number(browser.winId());
        QVERIFY(!waitForWindow("^Navigateur$").isEmpty());
        focus(browserId);
        QTRY_COMPARE(xdotool({"getwindowfocus"}), browserId);

        QProcess host;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("KEYROVIA_APP_DIR");
        env.insert("XDG_CONFIG_HOME", config.path());
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("KEYROVIA_VENDOR_HOST", "127.0.0.1:1"); // a refused local port
        host.setProcessEnvironment(env);
        host.start(KEYROVIA_COMPANION,
                   {QString("chrome-extension://%1/").arg(companion::kChromiumExtensionId)});
        QVERIFY(host.waitForStarted());
        host.write(companion::encodeFrame(
            QJsonDocument(QJsonObject{{"type", "launch"}, {"key", kGuid}}).toJson(QJsonDocument::Compact)));
        host.waitForBytesWritten();

        const QString gate = waitForWindow("^Form1$");
        QVERIFY2(!gate.isEmpty(), "the gate did not show");
        const qint64 pid = xdotool({"getwindowpid", gate}).toLongLong();
        QTRY_COMPARE(xdotool({"getwindowfocus"}), gate);
        QVERIFY(stackingIndex(gate.toULong()) > stackingIndex(browserId.toULong()));
        QVERIFY(pid > 0 && pid != host.processId());
        ::kill(pid_t(pid), SIGKILL);

        host.closeWriteChannel();
        QVERIFY(host.waitForFinished(5000));
    }
};

QTEST_MAIN(ButtonGateTest)
#include "tst_e2e_button_gate.moc"
