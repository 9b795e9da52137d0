// The real program with the reference vendor service on 127.0.0.1: the update
// check (current, newer, a silent server) and the suggestion sender.
#include "E2eSupport.h"
#include "MessageStore.h"

#include <QColor>
#include <QRegularExpression>
#include <QtTest>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

using namespace kr::e2e;

namespace {

const QString kUpdate = QStringLiteral("^Keyrovia$");
const QString kSuggest = QStringLiteral("^Commentaire, Bug, Suggestion\\.\\.\\.\\.$");

// The reference service as its own process, on a free port.
class VendorProcess {
public:
    explicit VendorProcess(const QStringList& args)
    {
        m_process.start(QStringLiteral(KEYROVIA_VENDOR_SERVICE),
                        QStringList{QStringLiteral("--port"), QStringLiteral("0")} + args);
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000 && !m_output.contains('\n')) {
            m_process.waitForReadyRead(200);
            m_output += m_process.readAllStandardOutput();
        }
        static const QRegularExpression listening(QStringLiteral("listening (\\d+)"));
        const auto m = listening.match(QString::fromLatin1(m_output));
        if (m.hasMatch())
            m_port = m.captured(1).toUShort();
    }
    ~VendorProcess() { stop(); }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished();
    }
    quint16 port() const { return m_port; }
    QString vendorSetting() const { return QStringLiteral("KEYROVIA_VENDOR_HOST=127.0.0.1:%1").arg(m_port); }
    // Waits until the service has handled a request line holding that text.
    bool waitForRequest(const QString& text, int timeoutMs = 10000)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < timeoutMs) {
            m_output += m_process.readAllStandardOutput();
            if (QString::fromLatin1(m_output).contains(text))
                return true;
            m_process.waitForReadyRead(100);
        }
        return false;
    }

private:
    QProcess m_process;
    QByteArray m_output;
    quint16 m_port = 0;
};

// The pixel of a window, read from the X server.
QColor pixelOf(const QString& window, int x, int y)
{
    Display* d = XOpenDisplay(nullptr);
    if (!d)
        return {};
    QColor c;
    if (XImage* img = XGetImage(d, static_cast<::Window>(window.toULong()), x, y, 1, 1, AllPlanes, ZPixmap)) {
        const unsigned long p = XGetPixel(img, 0, 0);
        c = QColor(int((p >> 16) & 0xff), int((p >> 8) & 0xff), int(p & 0xff));
        XDestroyImage(img);
    }
    XCloseDisplay(d);
    return c;
}

void click(const QString& window, int x, int y)
{
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(x),
             QString::number(y), QStringLiteral("click"), QStringLiteral("1")});
}

// A visible window with that title other than the one given.
QString waitForOtherWindow(const QString& titleRegex, const QString& except, int timeoutMs = 10000)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        for (const QString& id : findWindows(titleRegex)) {
            if (id != except)
                return id;
        }
        QThread::msleep(50);
    }
    return {};
}

} // namespace

class TestE2eOnline : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;

    // A program folder with a database without password and its settings, so
    // the main window opens at once.
    std::unique_ptr<ProgramFolder> prepared()
    {
        auto folder = std::make_unique<ProgramFolder>(QStringLiteral(KEYROVIA_EXE));
        if (!makeDatabase(*folder) || !writeSettings(*folder, 0, 0, 0))
            return {};
        return folder;
    }

    // A stand-in for the desktop's browser launcher that writes down what it is asked to open.
    QStringList recordingShellEnv()
    {
        const QString bin = scratch.filePath(QStringLiteral("bin"));
        QDir().mkpath(bin);
        const QString script = bin + QStringLiteral("/xdg-open");
        writeFile(script, "#!/bin/sh\necho \"$@\" >> \"" +
                              scratch.filePath(QStringLiteral("opened.txt")).toLocal8Bit() + "\"\n");
        QFile::setPermissions(script,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        return {QStringLiteral("PATH=") + bin + QLatin1Char(':') + qEnvironmentVariable("PATH")};
    }

    // The suggestion button sits on the second tab, two steps back from its tab bar.
    static QString openSuggestion(const QString& main)
    {
        focus(main);
        key(QStringLiteral("ctrl+Tab"));
        key(QStringLiteral("shift+Tab"));
        key(QStringLiteral("shift+Tab"));
        key(QStringLiteral("space"));
        return waitForWindow(kSuggest);
    }

private slots:
    void currentVersionLeavesTheProgramRunning()
    {
        VendorProcess vendor({QStringLiteral("--announce"), QStringLiteral("1.1.3"),
                              QStringLiteral("--database"), scratch.filePath(QStringLiteral("a.db"))});
        QVERIFY(vendor.port());
        auto folder = prepared();
        QVERIFY(folder);
        QProcess program;
        folder->start(program, {vendor.vendorSetting()});
        const QString main = waitForWindow(kMain);
        QVERIFY2(!main.isEmpty(), "the main window did not appear");
        QVERIFY(
            vendor.waitForRequest(QStringLiteral("GET http://127.0.0.1:%1/Realisation/Keyrovia/Verssion.php "
                                                 "HTTP/1.0")
                                      .arg(vendor.port())));
        QTest::qWait(1000);
        QVERIFY(findWindows(kUpdate).isEmpty());
        QCOMPARE(findWindows(kMain), QStringList{main});
        QCOMPARE(program.state(), QProcess::Running);
        QVERIFY(closeWindow(main)); // the check is over: nothing keeps the program
        QVERIFY(program.waitForFinished(5000));
    }

    void newerVersionTakesOverAndDownloadEnds()
    {
        VendorProcess vendor({QStringLiteral("--announce"), QStringLiteral("1.2"), QStringLiteral("--info"),
                              QStringLiteral("Ligne 1\\nLigne 2"), QStringLiteral("--database"),
                              scratch.filePath(QStringLiteral("b.db"))});
        QVERIFY(vendor.port());
        auto folder = prepared();
        QVERIFY(folder);
        QFile::remove(scratch.filePath(QStringLiteral("opened.txt")));
        QProcess program;
        folder->start(program, QStringList{vendor.vendorSetting()} + recordingShellEnv());
        const QString update = waitForWindow(kUpdate);
        QVERIFY2(!update.isEmpty(), "the update window did not appear");
        QVERIFY(waitForNoWindow(kMain));
        QCOMPARE(findWindows(QStringLiteral(".")), QStringList{update});

        // The frame blinks red and black, 700 ms each.
        bool red = false, black = false;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 2500 && !(red && black)) {
            const QColor c = pixelOf(update, 4, 100);
            red |= c == QColor(255, 0, 0);
            black |= c == QColor(0, 0, 0);
            QThread::msleep(100);
        }
        QVERIFY(red);
        QVERIFY(black);

        click(update, 48 + 31, 192 + 11); // "Aide"
        QVERIFY2(answerWithEnter(QStringLiteral("^Nouvelle Verssion$")), "no help message");
        QThread::msleep(300);
        QCOMPARE(program.state(), QProcess::Running);

        click(update, 200 + 46, 192 + 11); // "Download"
        const QString box = waitForOtherWindow(kUpdate, update);
        QVERIFY2(!box.isEmpty(), "no download message");
        focus(box);
        key(QStringLiteral("Return"));
        QVERIFY(program.waitForFinished(10000));
        QTRY_COMPARE_WITH_TIMEOUT(
            fileBytes(scratch.filePath(QStringLiteral("opened.txt"))).trimmed(),
            QStringLiteral("http://127.0.0.1:%1/download.php?ID=10").arg(vendor.port()).toLatin1(), 5000);
    }

    void suggestionArrivesInTheDatabase()
    {
        const QString db = scratch.filePath(QStringLiteral("c.db"));
        VendorProcess vendor({QStringLiteral("--database"), db});
        QVERIFY(vendor.port());
        auto folder = prepared();
        QVERIFY(folder);
        QProcess program;
        folder->start(program, {vendor.vendorSetting()});
        const QString main = waitForWindow(kMain);
        QVERIFY(!main.isEmpty());
        const QString suggest = openSuggestion(main);
        QVERIFY2(!suggest.isEmpty(), "the suggestion window did not appear");
        focus(suggest);
        type(QStringLiteral("Jean"));
        key(QStringLiteral("Return"));
        type(QStringLiteral("jean@example.org"));
        key(QStringLiteral("Return"));
        type(QStringLiteral("Super, programme"));
        key(QStringLiteral("Tab"));
        key(QStringLiteral("space"));
        QVERIFY2(answerWithEnter(QStringLiteral("^Merci !$")), "no thanks message");
        QVERIFY(waitForNoWindow(kSuggest));
        const QStringList stored = MessageStore::messages(db);
        QCOMPARE(stored.size(), 1);
        static const QRegularExpression shape(
            QStringLiteral("^Le \\d{1,2} \\S+ \\d{4}  a  \\d{1,2} \\d{1,2}\\r\\n\\r\\n"
                           "Nom : Jean    Email : jean@example.org\\r\\n\\r\\nSuper programme$"));
        QVERIFY2(shape.match(stored.constFirst()).hasMatch(), qPrintable(stored.constFirst()));
        program.kill();
        program.waitForFinished();
    }

    void stoppedServiceShowsTheSocketError()
    {
        VendorProcess vendor({QStringLiteral("--database"), scratch.filePath(QStringLiteral("d.db"))});
        QVERIFY(vendor.port());
        const QString setting = vendor.vendorSetting();
        vendor.stop();
        auto folder = prepared();
        QVERIFY(folder);
        QProcess program;
        folder->start(program, {setting});
        const QString main = waitForWindow(kMain);
        QVERIFY(!main.isEmpty());
        const QString suggest = openSuggestion(main);
        QVERIFY(!suggest.isEmpty());
        focus(suggest);
        key(QStringLiteral("Tab"));
        key(QStringLiteral("Tab"));
        type(QStringLiteral("Bonjour"));
        key(QStringLiteral("Tab"));
        key(QStringLiteral("space"));
        QVERIFY2(answerWithEnter(kUpdate), "no message about the unreachable server");
        QVERIFY(!waitForWindow(kSuggest).isEmpty()); // the window stays for another try
        program.kill();
        program.waitForFinished();
    }

    void silentServerCannotKeepTheProgramAlive()
    {
        VendorProcess vendor({QStringLiteral("--silent"), QStringLiteral("--database"),
                              scratch.filePath(QStringLiteral("e.db"))});
        QVERIFY(vendor.port());
        auto folder = prepared();
        QVERIFY(folder);
        QProcess program;
        folder->start(program, {vendor.vendorSetting()});
        const QString main = waitForWindow(kMain);
        QVERIFY(!main.isEmpty());
        // While the main window is open the check may wait as long as it likes.
        QThread::msleep(11000);
        QCOMPARE(program.state(), QProcess::Running);
        QVERIFY(closeWindow(main));
        QElapsedTimer t;
        t.start();
        QVERIFY(!program.waitForFinished(8000)); // the hidden check still has its time
        QVERIFY(program.waitForFinished(4500));
        QVERIFY2(t.elapsed() <= 11000, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    }
};

QTEST_GUILESS_MAIN(TestE2eOnline)
#include "tst_e2e_online.moc"
