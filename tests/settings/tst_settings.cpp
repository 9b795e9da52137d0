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

    bool note(const QString& call, bool result = true)
    {
        calls << call;
        return result;
    }
    void setSettingBox(SettingKey key, int value) override
    {
        boxes[int(key)] = value;
        note(QStringLiteral("set %1=%2").arg(settingKeyName(key)).arg(value));
    }
    int settingBox(SettingKey key) override { return boxes[int(key)]; }
    void showMainWindow() override { note("show"); }
    void unloadGate() override { note("unloadGate"); }
    bool loadSiteList() override { return note("load", listLoads); }
    void recupSiteIE() override { note("recup"); }
    void setMainWindowOnTop(bool onTop) override { note(onTop ? "onTop" : "notOnTop"); }
    void setLogText(const QString& text) override { log = text, note("log"); }
    void clearGateOnTop() override { note("clearGateOnTop"); }
    void disablePasswordTab() override { note("disableTab"); }
};

const QStringList kFirstUse = {QStringLiteral("clearGateOnTop"), QStringLiteral("disableTab"),
                               QStringLiteral("show"), QStringLiteral("unloadGate")};

} // namespace

class TestSettings : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase() { qputenv("KEYROVIA_APP_DIR", m_dir.path().toLocal8Bit()); }
    void init() { QFile::remove(m_dir.filePath(QStringLiteral("PARAM.ini"))); }

    void readValue()
    {
        const QString k = QStringLiteral("%%RECUPAUTO%%=%1=%%ENDRECUPAUTO%%");
        const std::pair<QString, std::optional<int>> rows[] = {
            {k.arg("1"), 1},
            {k.arg("0"), 0},
            {k.arg("2"), 2},                           // greyed
            {"%%TJSVISIBLE%%=1=%%ENDTJSVISIBLE%%", 0}, // markers absent
            {"%%RECUPAUTO%%=1", 0},                    // no end marker
            {"%%recupauto%%=1=%%ENDRECUPAUTO%%", 0},   // a lower-case marker is absent
            {k.arg(""), std::nullopt},
            {k.arg("oui"), std::nullopt},
            {k.arg("3"), std::nullopt},
            {k.arg("-1"), std::nullopt},
            {k.arg("1e400"), std::nullopt},
            {k.arg("0.5"), 0}, // halves to even
            {k.arg("1.5"), 2},
            {k.arg("2.5"), 2},
            {k.arg("1.4"), 1},
            {k.arg(" 1 "), 1},
            {k.arg("1") + k.arg("oops"), 1}}; // the first occurrence wins
        for (const auto& [text, value] : rows)
            QCOMPARE(ReadSettingValue(text, SettingKey::RecupAuto), value);
    }

    void fileText()
    {
        const QString path = m_dir.filePath(QStringLiteral("PARAM.ini"));
        QVERIFY(WriteTextFile(path, SettingsFileText(ProgramSettings{2, 0, 1})));
        QCOMPARE(test::fileBytes(path), test::paramIni(2, 0, 1));
    }

    void enterWithSettings_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("listLoads");
        QTest::addColumn<QStringList>("calls");
        const auto entered = [](int afficher, int visible, int recup) {
            return QStringList{QStringLiteral("set AFFICHERIE=%1").arg(afficher),
                               QStringLiteral("set TJSVISIBLE=%1").arg(visible),
                               QStringLiteral("set RECUPAUTO=%1").arg(recup)} +
                   QStringList{"show", "unloadGate", "load"} +
                   (recup == 1 ? QStringList{"recup"} : QStringList()) +
                   QStringList{visible == 1 ? "onTop" : "notOnTop", "log"};
        };
        QTest::newRow("all ticked") << test::paramIni(1, 1, 1) << true << entered(1, 1, 1);
        QTest::newRow("one line, other order, greyed values")
            << QByteArray("%%RECUPAUTO%%=2=%%ENDRECUPAUTO%% %%TJSVISIBLE%%=2=%%ENDTJSVISIBLE%%"
                          "%%AFFICHERIE%%=0=%%ENDAFFICHERIE%%")
            << true << entered(0, 2, 2);
        QTest::newRow("RECUPAUTO missing unticks Automatique")
            << QByteArray("%%AFFICHERIE%%=1=%%ENDAFFICHERIE%%%%TJSVISIBLE%%=0=%%ENDTJSVISIBLE%%") << true
            << entered(1, 0, 0);
        QTest::newRow("empty RECUPAUTO: first use after two boxes")
            << QByteArray("%%AFFICHERIE%%=0=%%ENDAFFICHERIE%%%%TJSVISIBLE%%=0=%%ENDTJSVISIBLE%%"
                          "%%RECUPAUTO%%==%%ENDRECUPAUTO%%")
            << true << (QStringList{"set AFFICHERIE=0", "set TJSVISIBLE=0"} + kFirstUse);
        QTest::newRow("no PARAM.ini: first use") << QByteArray() << true << kFirstUse;
        QTest::newRow("empty file: every value 0") << QByteArray("") << true << entered(0, 0, 0);
        QTest::newRow("binary garbage reads as absent markers")
            << QByteArray("\x00\xff\xfe,\"\r\n\x01", 8) << true << entered(0, 0, 0);
        QTest::newRow("list cannot load: first use, no recup")
            << test::paramIni(1, 1, 1) << false << (entered(1, 1, 1).mid(0, 6) + kFirstUse);
    }
    void enterWithSettings()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, listLoads);
        QFETCH(QStringList, calls);
        QVERIFY(file.isNull() || test::writeFile(m_dir.filePath(QStringLiteral("PARAM.ini")), file));
        // The log's commas split its lines on reading.
        QVERIFY(test::writeFile(m_dir.filePath(QStringLiteral("Logz.ini")), "Essai : a,b\r\n\r\n"));
        RecordingHost host;
        host.listLoads = listLoads;
        test::RecordingMessageBox box;
        const bool firstUse = calls.contains(QStringLiteral("disableTab"));
        QCOMPARE(EnterMainWindow(host, box), !firstUse);
        QCOMPARE(host.calls, calls);
        QCOMPARE(host.log, firstUse ? QString() : QStringLiteral("Essai : a\r\nb\r\n"));
        QCOMPARE(box.shown.size(), firstUse ? size_t(1) : size_t(0));
        if (firstUse) {
            QCOMPARE(box.shown[0].style, 64);
            QCOMPARE(box.shown[0].title, QStringLiteral("Configuration"));
            QCOMPARE(box.shown[0].text,
                     QStringLiteral("Ses Votre Premiere Utilisation\r\nVeiller Configurer Le Plugin"));
        }
    }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
