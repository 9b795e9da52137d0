// keyrovia-companion's toolbar messages over the browser's pipe: the buttons
// it finds in registry files written by the real layer, and the programs it
// starts (a recording stand-in) or refuses to start.
#include "ButtonKeys.h"
#include "CompanionHost.h"
#include "platform/registry/SqliteRegistry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace kr;
using namespace kr::test;

namespace {

QString guid(int n)
{
    return QStringLiteral("{%1-0000-4000-8000-000000000000}").arg(n, 8, 10, QLatin1Char('0'));
}

// The host as the browser runs it, reading this test's registry files.
struct Host : CompanionHost {
    Host(const QString& configHome, const QString& runtime)
        : CompanionHost(runtime, {{"XDG_CONFIG_HOME", configHome}, {"RECORDER_WAIT_MS", "1500"}})
    {}
    QStringList buttonKeys()
    {
        QStringList keys;
        const QJsonObject reply = ask(R"({"type":"buttons"})");
        if (reply.value("type") != "buttons")
            return {"no reply"};
        for (const QJsonValue& button : reply.value("buttons").toArray())
            keys << button.toObject().value("key").toString();
        return keys;
    }
    QJsonObject launch(const QString& key)
    {
        return ask(QJsonDocument(QJsonObject{{"type", "launch"}, {"key", key}}).toJson());
    }
};

// The recorder's notes of every start: one map per start.
QList<QMap<QString, QString>> records(const QString& folder)
{
    QList<QMap<QString, QString>> starts;
    for (const QByteArray& line : fileBytes(folder + "/record").split('\n')) {
        if (line.startsWith("args="))
            starts.append(QMap<QString, QString>());
        const qsizetype eq = line.indexOf('=');
        if (!starts.isEmpty() && !line.isEmpty())
            starts.last().insert(QString::fromUtf8(eq < 0 ? line : line.left(eq)),
                                 QString::fromUtf8(eq < 0 ? QByteArray() : line.mid(eq + 1)));
    }
    return starts;
}

} // namespace

class ToolbarButtonsTest : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_root;
    QString m_config;
    QString m_runtime;
    QString m_program; // a folder with blanks and quotes, as program folders may have
    QString m_recorder;

    std::unique_ptr<SqliteRegistry> registry() const
    {
        return std::make_unique<SqliteRegistry>(m_config + "/keyrovia");
    }

private slots:
    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        m_config = m_root->filePath("config");
        m_runtime = m_root->filePath("runtime");
        m_program = m_root->filePath("Mes programmes/Key \"rovia\"");
        QVERIFY(QDir().mkpath(m_config) && makePrivateFolder(m_runtime) && QDir().mkpath(m_program));
        m_recorder = m_program + "/Keyrovia";
        QVERIFY(copyExecutable(KEYROVIA_RECORDER, m_recorder));
        QVERIFY(QFile::copy(KEYROVIA_ICON, m_program + "/ICON.ico"));
    }

    // Which keys make a button: the run-a-program class in any letter case
    // and an "Exec" that names an executable file.
    void whichKeysAreButtons_data()
    {
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QString>("clsid");
        QTest::addColumn<bool>("button");
        const QString up = kRunProgram.toUpper();
        QTest::newRow("ours") << "%1/Keyrovia" << kRunProgram << true;
        QTest::newRow("class in upper case") << "%1/Keyrovia" << up << true;
        QTest::newRow("quoted path") << "\"%1/Keyrovia\"" << kRunProgram << true;
        QTest::newRow("another class") << "%1/Keyrovia"
                                       << "{00000000-0000-0000-0000-000000000000}" << false;
        QTest::newRow("folder") << "%1" << kRunProgram << false;
        QTest::newRow("not executable") << "%1/ICON.ico" << kRunProgram << false;
        QTest::newRow("folder moved") << "%1/../Keyrovia" << kRunProgram << false;
        QTest::newRow("relative path") << "Keyrovia" << kRunProgram << false;
        QTest::newRow("empty") << "" << kRunProgram << false;
    }
    void whichKeysAreButtons()
    {
        QFETCH(QString, exec);
        QFETCH(QString, clsid);
        QFETCH(bool, button);
        QVERIFY(writeButtonKey(
            *registry(), guid(1),
            buttonValues(QString(exec).replace("%1", m_program), m_program + "/ICON.ico", clsid)));
        Host host(m_config, m_runtime);
        QCOMPARE(host.buttonKeys(), button ? QStringList{guid(1)} : QStringList{});
        // A key that is no button cannot be started either.
        const QJsonObject reply = host.launch(guid(1));
        QCOMPARE(reply.value("started").toBool(), button);
        QTRY_COMPARE(records(m_program).size(), button ? 1 : 0);
    }

    // The reply carries the title and a picture the browser can show; a
    // missing, huge or false icon leaves the button without one.
    void titleAndIcon()
    {
        Host host(m_config, m_runtime);
        const std::pair<const char*, QByteArray> icons[] = {
            {"ICON.ico", {}}, // the delivered one, the only one shown
            {"nothing.ico", {}},
            {"false.ico", "MZ this is no picture"},
            {"huge.ico", QByteArray(2 * 1024 * 1024, '\x7f')},
            {"giant.ico",
             QByteArray::fromHex("000001000100ffff000001002000ffffff0f16000000")}}; // claims a giant
        for (const auto& [name, contents] : icons) {
            const QString file = m_program + '/' + name;
            QVERIFY(contents.isEmpty() || writeFile(file, contents));
            QVERIFY(writeButtonKey(*registry(), guid(7), buttonValues(m_recorder, file)));
            const QJsonArray buttons = host.ask(R"({"type":"buttons"})").value("buttons").toArray();
            QCOMPARE(buttons.size(), 1);
            const QJsonObject button = buttons.at(0).toObject();
            QCOMPARE(button.value("title").toString(), QString("Keyrovia"));
            QCOMPARE(button.contains("icon"), name == QLatin1String("ICON.ico"));
            if (!button.contains("icon"))
                continue;
            const QJsonObject icon = button.value("icon").toObject();
            QCOMPARE(icon.value("size").toInt(), 32);
            const QByteArray rgba = QByteArray::fromBase64(icon.value("rgba").toString().toLatin1());
            QCOMPARE(rgba.size(), 32 * 32 * 4);
            int opaque = 0;
            for (qsizetype i = 3; i < rgba.size(); i += 4)
                opaque += uchar(rgba[i]) == 255;
            QVERIFY2(opaque > 100, "the picture is empty");
        }
    }

    // The program runs with nothing of the browser's: no arguments, its own
    // folder, its own session, /dev/null for its output, the default signal
    // handling, and it outlives the host.
    void launchIsDetached()
    {
        QVERIFY(writeButtonKey(*registry(), guid(2), buttonValues(m_recorder, m_program + "/ICON.ico")));
        auto host = std::make_unique<Host>(m_config, m_runtime);
        const qint64 hostPid = host->process.processId();
        // Whatever else the message says, only the key counts.
        host->send(QJsonDocument(QJsonObject{{"type", "launch"},
                                             {"key", guid(2).toLower()},
                                             {"exec", "/bin/touch"},
                                             {"args", QJsonArray{"-h", "http://www.site.com/"}},
                                             {"url", "http://www.site.com/"}})
                       .toJson());
        QCOMPARE(host->next().value("started").toBool(), true);
        QTRY_COMPARE(records(m_program).size(), 1);
        host.reset(); // the browser goes away
        QTRY_VERIFY_WITH_TIMEOUT(records(m_program).at(0).contains("alive"), 5000);
        const auto start = records(m_program).at(0);
        QCOMPARE(start.value("args"), QString("0"));
        QCOMPARE(start.value("cwd"), QDir(m_program).canonicalPath());
        QCOMPARE(start.value("stdin"), QString("/dev/null"));
        QCOMPARE(start.value("stdout"), QString("/dev/null"));
        QCOMPARE(start.value("stderr"), QString("/dev/null"));
        QCOMPARE(start.value("extra_fds"), QString("0"));
        QVERIFY(start.value("sid").toLongLong() != ::getsid(0));
        QVERIFY(start.value("ppid").toLongLong() != hostPid);
        QCOMPARE(start.value("blocked"), QString("0000000000000000"));
        // Signals 32 and 33 belong to the C library, which lets nobody change them.
        QCOMPARE(start.value("ignored").toULongLong(nullptr, 16) & ~0x180000000ULL, 0ULL);
    }

    // Clicks as fast as they come: one start per second at most.
    void atMostOncePerSecond()
    {
        QVERIFY(writeButtonKey(*registry(), guid(3), buttonValues(m_recorder, m_program + "/ICON.ico")));
        Host host(m_config, m_runtime);
        QElapsedTimer timer;
        timer.start();
        int started = 0;
        while (timer.elapsed() < 1500)
            started += host.launch(guid(3)).value("started").toBool();
        QVERIFY2(started == 2 || (started == 1 && timer.elapsed() < 2000),
                 qPrintable(QString::number(started)));
        QTRY_COMPARE(records(m_program).size(), started);
    }

    // What runs is what the layer names now, and nothing when it names
    // nothing: a removed key, another key, a message of a kind the host does
    // not know, a damaged or missing file.
    void refusals()
    {
        QVERIFY(writeButtonKey(*registry(), guid(4), buttonValues(m_recorder, m_program + "/ICON.ico")));
        Host host(m_config, m_runtime);
        QCOMPARE(host.buttonKeys(), QStringList{guid(4)});
        QCOMPARE(host.launch(guid(5)).value("reason").toString(), QString("no such button"));
        QCOMPARE(host.launch(QString()).value("started").toBool(), false);
        const QString touched = m_root->filePath("touched");
        host.send(QJsonDocument(
                      QJsonObject{{"type", "run"}, {"program", "/bin/touch"}, {"args", QJsonArray{touched}}})
                      .toJson());
        host.send(R"({"type":"launch","key":{"$ne":1}})");
        QCOMPARE(host.next().value("started").toBool(), false);
        QVERIFY(deleteButtonKey(*registry(), guid(4)));
        QCOMPARE(host.buttonKeys(), QStringList{}); // afresh, no restart
        QCOMPARE(host.launch(guid(4)).value("started").toBool(), false);

        const QString file = m_config + "/keyrovia/HKEY_CURRENT_USER.sqlite";
        QVERIFY(QFile::remove(file));
        QCOMPARE(host.buttonKeys(), QStringList{});
        QVERIFY(writeFile(file, QByteArray(8192, '\xee')));
        QCOMPARE(host.buttonKeys(), QStringList{});
        QCOMPARE(host.launch(guid(4)).value("started").toBool(), false);
        QCOMPARE(host.process.state(), QProcess::Running);
        QCOMPARE(records(m_program).size(), 0);
        QVERIFY(!QFile::exists(touched));
    }
};

QTEST_GUILESS_MAIN(ToolbarButtonsTest)
#include "tst_toolbar_buttons.moc"
