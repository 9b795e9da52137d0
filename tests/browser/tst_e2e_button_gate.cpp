// The real program started while another window (the browser, whose toolbar
// button starts it) has the focus: the gate comes up in front of that window
// and takes the focus.
#include "E2eSupport.h"

#include <QTest>
#include <QWidget>

using namespace kr::e2e;

namespace {

// The top-level windows, front first, as decimal ids.
QStringList stacking()
{
    QStringList ids;
    for (const QString& line : run("xwininfo", {"-root", "-children"}).split('\n'))
        if (line.trimmed().startsWith("0x"))
            ids << QString::number(line.trimmed().section(' ', 0, 0).toULong(nullptr, 16));
    return ids;
}

} // namespace

class ButtonGateTest : public QObject {
    Q_OBJECT
private slots:
    void gateComesInFrontOfTheBrowser()
    {
        ProgramFolder folder(KEYROVIA_EXE);
        QVERIFY(makeDatabase(folder, "secret"));
        QWidget browser;
        browser.setWindowTitle("Navigateur");
        browser.setGeometry(0, 0, 1000, 800);
        browser.show();
        const QString browserId = QString::number(browser.winId());
        QVERIFY(!waitForWindow("^Navigateur$").isEmpty());
        focus(browserId);
        QTRY_COMPARE(xdotool({"getwindowfocus"}), browserId);

        QProcess program;
        folder.start(program);
        const QString gate = waitForWindow("^Form1$");
        QVERIFY2(!gate.isEmpty(), "the gate did not show");
        QTRY_COMPARE(xdotool({"getwindowfocus"}), gate);
        const QStringList front = stacking();
        QVERIFY2(front.contains(gate) && front.indexOf(gate) < front.indexOf(browserId),
                 qPrintable(front.join(' ')));
        program.kill();
        program.waitForFinished();
    }
};

QTEST_MAIN(ButtonGateTest)
#include "tst_e2e_button_gate.moc"
