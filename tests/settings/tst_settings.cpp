// PARAM.ini reading and the way into the main window, with a recording host;
// the program folder that a system-wide install makes at the first start.
#include "PlatformDoubles.h"
#include "TestKit.h"
#include "platform/sqlcipher/SqlCipherEngine.h"
#include "settings/EnterMainWindow.h"
#include "settings/ParamIni.h"
#include "settings/ProgramFolder.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace kr;

namespace {

class RecordingHost final : public MainWindowEntryHost {
public:
    QStringList calls;
    int boxes[3] = {1, 1, 1}; // ticked when the main window is created

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
    bool loadSiteList() override { return note("load"); }
    void recupSiteIE() override { note("recup"); }
    void setMainWindowOnTop(bool onTop) override { note(onTop ? "onTop" : "notOnTop"); }
    void setLogText(const QString&) override { note("log"); }
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
    void prepareProgramFolder();

    void readValue()
    {
        const QString k = QStringLiteral("%%RECUPAUTO%%=%1=%%ENDRECUPAUTO%%");
        const std::pair<QString, std::optional<int>> rows[] = {
            {k.arg("1"), 1},
            {k.arg("2"), 2},                           // greyed
            {"%%TJSVISIBLE%%=1=%%ENDTJSVISIBLE%%", 0}, // markers absent
            {k.arg(""), std::nullopt},
            {k.arg("oui"), std::nullopt},
            {k.arg("3"), std::nullopt},
            {k.arg("1e400"), std::nullopt},
            {k.arg("0.5"), 0}, // halves to even
            {k.arg("2.5"), 2},
            {k.arg(" 1 "), 1}};
        for (const auto& [text, value] : rows)
            QCOMPARE(ReadSettingValue(text, SettingKey::RecupAuto), value);
    }

    void enterWithSettings_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("calls");
        const auto entered = [](int afficher, int visible, int recup) {
            return QStringList{QStringLiteral("set AFFICHERIE=%1").arg(afficher),
                               QStringLiteral("set TJSVISIBLE=%1").arg(visible),
                               QStringLiteral("set RECUPAUTO=%1").arg(recup)} +
                   QStringList{"show", "unloadGate", "load"} +
                   (recup == 1 ? QStringList{"recup"} : QStringList()) +
                   QStringList{visible == 1 ? "onTop" : "notOnTop", "log"};
        };
        QTest::newRow("all ticked") << test::paramIni(1, 1, 1) << entered(1, 1, 1);
        QTest::newRow("one line, other order, greyed values")
            << QByteArray("%%RECUPAUTO%%=2=%%ENDRECUPAUTO%% %%TJSVISIBLE%%=2=%%ENDTJSVISIBLE%%"
                          "%%AFFICHERIE%%=0=%%ENDAFFICHERIE%%")
            << entered(0, 2, 2);
        QTest::newRow("empty RECUPAUTO: first use after two boxes")
            << QByteArray("%%AFFICHERIE%%=0=%%ENDAFFICHERIE%%%%TJSVISIBLE%%=0=%%ENDTJSVISIBLE%%"
                          "%%RECUPAUTO%%==%%ENDRECUPAUTO%%")
            << (QStringList{"set AFFICHERIE=0", "set TJSVISIBLE=0"} + kFirstUse);
        QTest::newRow("binary garbage reads as absent markers")
            << QByteArray("\x00\xff\xfe,\"\r\n\x01", 8) << entered(0, 0, 0);
    }
    void enterWithSettings()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, calls);
        QVERIFY(test::writeFile(m_dir.filePath(QStringLiteral("PARAM.ini")), file));
        RecordingHost host;
        test::RecordingMessageBox box;
        const bool firstUse = calls.contains(QStringLiteral("disableTab"));
        QCOMPARE(EnterMainWindow(host, box), !firstUse);
        QCOMPARE(host.calls, calls);
        QCOMPARE(box.shown.size(), firstUse ? size_t(1) : size_t(0));
        if (firstUse) // its style and title: the first-use tests of the gate
            QCOMPARE(box.shown[0].text,
                     QStringLiteral("Ses Votre Premiere Utilisation\r\nVeiller Configurer Le Plugin"));
    }
};

// A first start makes the folder private with an empty vault and the icon; a
// later one, or a folder a per-user install made, keeps what is there.
void TestSettings::prepareProgramFolder()
{
    const QString folder = m_dir.path() + QStringLiteral("/data/keyrovia");
    const QString vault = folder + QStringLiteral("/BDMDP.MDB"), icon = folder + QStringLiteral("/ICON.ico");
    const QString iconSource = m_dir.path() + QStringLiteral("/ICON.ico");
    auto groupOrOther = [](const QString& path) { return QFileInfo(path).permissions().toInt() & 0x0077; };
    QVERIFY(test::writeFile(iconSource, "icon"));
    SqlCipherEngine engine;
    QVERIFY(PrepareProgramFolder(folder, engine, iconSource));
    QCOMPARE(groupOrOther(folder), 0);
    QCOMPARE(groupOrOther(vault), 0);
    QVERIFY(QFileInfo(vault).size() > 0);
    QCOMPARE(test::fileBytes(icon), QByteArray("icon"));

    QVERIFY(test::writeFile(vault, "vault") && test::writeFile(icon, "own icon"));
    QVERIFY(QFile::setPermissions(folder, QFileInfo(folder).permissions() | QFileDevice::ReadOther));
    QVERIFY(PrepareProgramFolder(folder, engine, iconSource));
    QCOMPARE(test::fileBytes(vault), QByteArray("vault"));
    QCOMPARE(test::fileBytes(icon), QByteArray("own icon"));
    QCOMPARE(groupOrOther(folder), 0x0004);
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
