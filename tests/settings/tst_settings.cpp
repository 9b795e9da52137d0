// PARAM.ini reading and the way into the main window, with a recording host.
#include "PlatformDoubles.h"
#include "TestKit.h"
#include "common/TextFiles.h"
#include "settings/EnterMainWindow.h"
#include "settings/ParamIni.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace kr;

namespace {

class RecordingHost final : public MainWindowEntryHost {
public:
    QStringList calls;
    int boxes[3] = {1, 1, 1}; // ticked when the main window is created
    bool listLoads = true;
    QString log;

    static int index(SettingKey k) { return static_cast<int>(k); }
    void setSettingBox(SettingKey key, int value) override
    {
        calls << QStringLiteral("set %1=%2").arg(settingKeyName(key)).arg(value);
        boxes[index(key)] = value;
    }
    int settingBox(SettingKey key) override { return boxes[index(key)]; }
    void showMainWindow() override { calls << QStringLiteral("show"); }
    void unloadGate() override { calls << QStringLiteral("unloadGate"); }
    bool loadSiteList() override
    {
        calls << QStringLiteral("load");
        return listLoads;
    }
    void recupSiteIE() override { calls << QStringLiteral("recup"); }
    void setMainWindowOnTop(bool onTop) override { calls << (onTop ? "onTop" : "notOnTop"); }
    void setLogText(const QString& text) override
    {
        calls << QStringLiteral("log");
        log = text;
    }
    void clearGateOnTop() override { calls << QStringLiteral("clearGateOnTop"); }
    void disablePasswordTab() override { calls << QStringLiteral("disableTab"); }
};

const QStringList kFirstUse = {QStringLiteral("clearGateOnTop"), QStringLiteral("disableTab"),
                               QStringLiteral("show"), QStringLiteral("unloadGate")};

} // namespace

class TestSettings : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    void writeParam(const QByteArray& bytes)
    {
        QVERIFY(test::writeFile(m_dir.filePath(QStringLiteral("PARAM.ini")), bytes));
    }

private slots:
    void initTestCase() { qputenv("KEYROVIA_APP_DIR", m_dir.path().toLocal8Bit()); }
    void init()
    {
        QFile::remove(m_dir.filePath(QStringLiteral("PARAM.ini")));
        QFile::remove(m_dir.filePath(QStringLiteral("Logz.ini")));
    }

    void readValue_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected"); // -1 = reading fails
        const QString k = QStringLiteral("%%RECUPAUTO%%=%1=%%ENDRECUPAUTO%%");
        QTest::newRow("1") << k.arg("1") << 1;
        QTest::newRow("0") << k.arg("0") << 0;
        QTest::newRow("2 greyed") << k.arg("2") << 2;
        QTest::newRow("markers absent") << QStringLiteral("%%TJSVISIBLE%%=1=%%ENDTJSVISIBLE%%") << 0;
        QTest::newRow("no end marker") << QStringLiteral("%%RECUPAUTO%%=1") << 0;
        QTest::newRow("empty value fails") << k.arg("") << -1;
        QTest::newRow("letters fail") << k.arg("oui") << -1;
        QTest::newRow("3 fails") << k.arg("3") << -1;
        QTest::newRow("-1 fails") << k.arg("-1") << -1;
        QTest::newRow("0.5 halves to even 0") << k.arg("0.5") << 0;
        QTest::newRow("1.5 halves to even 2") << k.arg("1.5") << 2;
        QTest::newRow("2.5 halves to even 2") << k.arg("2.5") << 2;
        QTest::newRow("1.4 rounds to 1") << k.arg("1.4") << 1;
        QTest::newRow("blanks around") << k.arg(" 1 ") << 1;
        QTest::newRow("huge number fails") << k.arg("1e400") << -1;
        QTest::newRow("first occurrence wins") << k.arg("1") + k.arg("oops") << 1;
        QTest::newRow("lower-case marker is absent")
            << QStringLiteral("%%recupauto%%=1=%%ENDRECUPAUTO%%") << 0;
    }
    void readValue()
    {
        QFETCH(QString, text);
        QFETCH(int, expected);
        const auto v = ReadSettingValue(text, SettingKey::RecupAuto);
        if (expected < 0)
            QVERIFY(!v.has_value());
        else
            QCOMPARE(v.value_or(-99), expected);
    }

    void fileTextIs108Bytes()
    {
        const QString path = m_dir.filePath(QStringLiteral("PARAM.ini"));
        QVERIFY(WriteTextFile(path, SettingsFileText(ProgramSettings{})));
        const QByteArray bytes = test::fileBytes(path);
        QCOMPARE(bytes.size(), 108);
        QVERIFY(bytes.startsWith("%%AFFICHERIE%%=1=%%ENDAFFICHERIE%%\r\n%%TJSVISIBLE%%=1="));
        QVERIFY(bytes.endsWith("=%%ENDRECUPAUTO%%\r\n\r\n"));
        // What is written reads back the same, 2 included.
        ProgramSettings s{2, 0, 1};
        QVERIFY(WriteTextFile(path, SettingsFileText(s)));
        const QString back = ReadTextFile(path).text;
        QCOMPARE(ReadSettingValue(back, SettingKey::AfficherIE), std::optional<int>(2));
        QCOMPARE(ReadSettingValue(back, SettingKey::TjsVisible), std::optional<int>(0));
        QCOMPARE(ReadSettingValue(back, SettingKey::RecupAuto), std::optional<int>(1));
    }

    void enterWithSettings_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("calls");
        const QStringList sets = {"set AFFICHERIE=1", "set TJSVISIBLE=1", "set RECUPAUTO=1"};
        QTest::newRow("all ticked")
            << QByteArray("%%AFFICHERIE%%=1=%%ENDAFFICHERIE%%\r\n%%TJSVISIBLE%%=1=%%ENDTJSVISIBLE%%\r\n"
                          "%%RECUPAUTO%%=1=%%ENDRECUPAUTO%%\r\n\r\n")
            << (sets + QStringList{"show", "unloadGate", "load", "recup", "onTop", "log"});
        QTest::newRow("one line, other order, greyed values")
            << QByteArray("%%RECUPAUTO%%=2=%%ENDRECUPAUTO%% %%TJSVISIBLE%%=2=%%ENDTJSVISIBLE%%"
                          "%%AFFICHERIE%%=0=%%ENDAFFICHERIE%%")
            << QStringList{"set AFFICHERIE=0", "set TJSVISIBLE=2",
                           "set RECUPAUTO=2",  "show",
                           "unloadGate",       "load",
                           "notOnTop",         "log"};
        QTest::newRow("RECUPAUTO missing unticks Automatique")
            << QByteArray("%%AFFICHERIE%%=1=%%ENDAFFICHERIE%%%%TJSVISIBLE%%=0=%%ENDTJSVISIBLE%%")
            << QStringList{"set AFFICHERIE=1", "set TJSVISIBLE=0",
                           "set RECUPAUTO=0",  "show",
                           "unloadGate",       "load",
                           "notOnTop",         "log"};
        QTest::newRow("empty RECUPAUTO: first use after two boxes")
            << QByteArray("%%AFFICHERIE%%=0=%%ENDAFFICHERIE%%%%TJSVISIBLE%%=0=%%ENDTJSVISIBLE%%"
                          "%%RECUPAUTO%%==%%ENDRECUPAUTO%%")
            << (QStringList{"set AFFICHERIE=0", "set TJSVISIBLE=0"} + kFirstUse);
        QTest::newRow("empty file: every value 0")
            << QByteArray() << QStringList{"set AFFICHERIE=0", "set TJSVISIBLE=0",
                                           "set RECUPAUTO=0",  "show",
                                           "unloadGate",       "load",
                                           "notOnTop",         "log"};
        QTest::newRow("binary garbage reads as absent markers")
            << QByteArray("\x00\xff\xfe,\"\r\n\x01", 8) << QStringList{"set AFFICHERIE=0", "set TJSVISIBLE=0",
                                                                       "set RECUPAUTO=0",  "show",
                                                                       "unloadGate",       "load",
                                                                       "notOnTop",         "log"};
    }
    void enterWithSettings()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, calls);
        writeParam(file);
        RecordingHost host;
        test::RecordingMessageBox box;
        EnterMainWindow(host, box);
        QCOMPARE(host.calls, calls);
        const bool firstUse = calls.contains(QStringLiteral("disableTab"));
        QCOMPARE(box.shown.size(), firstUse ? size_t(1) : size_t(0));
    }

    void firstUseWithoutParamIni()
    {
        RecordingHost host;
        test::RecordingMessageBox box;
        QVERIFY(!EnterMainWindow(host, box));
        QCOMPARE(host.calls, kFirstUse);
        QCOMPARE(box.shown.size(), size_t(1));
        QCOMPARE(box.shown[0].style, 64);
        QCOMPARE(box.shown[0].title, QStringLiteral("Configuration"));
        QCOMPARE(box.shown[0].text,
                 QStringLiteral("Ses Votre Premiere Utilisation\r\nVeiller Configurer Le Plugin"));
        QCOMPARE(host.boxes[0] + host.boxes[1] + host.boxes[2], 3); // all still ticked
    }

    void listLoadFailureRunsFirstUse()
    {
        writeParam(SettingsFileText(ProgramSettings{}).toLatin1());
        RecordingHost host;
        host.listLoads = false;
        test::RecordingMessageBox box;
        QVERIFY(!EnterMainWindow(host, box));
        QCOMPARE(host.calls.mid(3, 3), (QStringList{"show", "unloadGate", "load"}));
        QCOMPARE(host.calls.mid(6), kFirstUse);
        QVERIFY(!host.calls.contains(QStringLiteral("recup")));
    }

    void logShownWhenPresent()
    {
        writeParam(SettingsFileText(ProgramSettings{1, 1, 0}).toLatin1());
        QVERIFY(test::writeFile(
            m_dir.filePath(QStringLiteral("Logz.ini")),
            "Tentative d'acces Le : 6 December  a : 10:00:00  :  Essai Avec Le Mot de Pass : a,b\r\n\r\n"));
        RecordingHost host;
        test::RecordingMessageBox box;
        QVERIFY(EnterMainWindow(host, box));
        QVERIFY(host.log.endsWith(QStringLiteral("Mot de Pass : a\r\nb\r\n")));
        QVERIFY(!host.calls.contains(QStringLiteral("recup")));
    }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
