// The real program under Xvfb and openbox, first use: "Appliquer" with
// "Afficher" ticked registers the toolbar button in the per-user registry file,
// asks about the tutorial, and Yes shows the tutorial with the main window
// minimised until the tutorial closes, by any path. A second "Appliquer" with
// "Afficher" unticked removes the button and leaves another program's button alone.
#include "E2eSupport.h"
#include "platform/registry/SqliteRegistry.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace kr;
using namespace kr::e2e;

namespace {

const QString kTutorial = QStringLiteral("^Tutorial Pour ajouter l'icone a internet explorer 7\\.$");
const QString kParent = QStringLiteral("Software\\Microsoft\\Internet Explorer\\Extensions");
const QString kForeign = QStringLiteral("{0B5A2C4E-1111-2222-3333-444455556666}");
const QString kPassword = QStringLiteral("Cle-Toolbar 7");

void keys(const QString& name, int times)
{
    for (int i = 0; i < times; ++i)
        key(name);
}

struct Button {
    QString name;
    QStringList values; // "name=text", in the stored order
};

// The buttons under the extensions key, read from the registry file itself.
QList<Button> buttons(const QString& configHome)
{
    SqliteRegistry registry(configHome + QStringLiteral("/keyrovia"));
    QList<Button> out;
    RegKey parent = 0;
    if (registry.openKey(HKEY_CURRENT_USER, kParent, 0x3F, parent) != RegOk)
        return out;
    QString name;
    for (quint32 i = 0; registry.enumKey(parent, i, 256, name) != RegNoMoreItems; ++i) {
        Button b{name, {}};
        RegKey key = 0;
        if (registry.openKey(parent, name, 0x3F, key) == RegOk) {
            QString valueName;
            quint32 type = 0;
            QByteArray data;
            for (quint32 v = 0;
                 registry.enumValue(key, v, 256, 4096, valueName, type, data) != RegNoMoreItems; ++v)
                b.values << valueName + QLatin1Char('=') + QString::fromLocal8Bit(data.chopped(1));
            registry.closeKey(key);
        }
        out << b;
    }
    registry.closeKey(parent);
    return out;
}

} // namespace

class TestE2eToolbar : public QObject {
    Q_OBJECT

    std::unique_ptr<WindowManager> wm;

private slots:
    void initTestCase()
    {
        wm = std::make_unique<WindowManager>();
        QVERIFY2(wm->running(), "openbox did not start");
    }
    void cleanupTestCase() { wm.reset(); }

    void tutorialHoldsTheMainWindowMinimised_data()
    {
        QTest::addColumn<QStringList>("keysInTutorial"); // on its only button
        QTest::newRow("close box") << QStringList();
        QTest::newRow("Suivant, close box") << QStringList{"space"};
        QTest::newRow("Suivant, Précédent, close box") << QStringList{"space", "space"};
    }

    void tutorialHoldsTheMainWindowMinimised()
    {
        QFETCH(QStringList, keysInTutorial);
        ProgramFolder folder(QStringLiteral(KEYROVIA_EXE));
        QVERIFY(makeDatabase(folder));
        QTemporaryDir configHome;
        QProcess program;
        folder.start(program, {QStringLiteral("XDG_CONFIG_HOME=") + configHome.path()});
        // First use, "Visible" ticked by default: "Appliquer" without a password.
        QVERIFY(answerWithEnter(QStringLiteral("^Configuration$")));
        const QString main = waitForWindow(kMain);
        QVERIFY(!main.isEmpty());
        QVERIFY(waitForWmState(main, QStringLiteral("Normal")));
        focus(main);
        keys(QStringLiteral("Tab"), 2);
        key(QStringLiteral("Return")); // Enter presses the focused "Appliquer"
        QVERIFY(answerWithEnter(QStringLiteral("^T Sur \\?$")));
        QVERIFY(answerWithEnter(QStringLiteral("^Configuration Enregistrer'$")));
        const QString question = waitForWindow(QStringLiteral("^Voir Tutorial \\?$"));
        QVERIFY(!question.isEmpty());
        QVERIFY2(hasIcon(question), "the message box has no icon of its own");
        QVERIFY(answerWithEnter(QStringLiteral("^Voir Tutorial \\?$")));

        const QString tutorial = waitForWindow(kTutorial);
        QVERIFY2(!tutorial.isEmpty(), "the tutorial did not appear");
        QVERIFY2(hasIcon(tutorial), "the tutorial has no icon of its own");
        QVERIFY2(waitForWmState(main, QStringLiteral("Iconic")), "the main window was not minimised");
        QThread::msleep(1500); // nothing brings it back while the tutorial is open
        focus(tutorial);
        for (const QString& k : keysInTutorial) {
            QCOMPARE(wmState(main), QStringLiteral("Iconic"));
            key(k);
            QThread::msleep(300);
        }
        QCOMPARE(wmState(main), QStringLiteral("Iconic"));
        QCOMPARE(wmState(tutorial), QStringLiteral("Normal"));
        QVERIFY(closeWindow(tutorial));
        QVERIFY(waitForNoWindow(kTutorial));
        QVERIFY2(waitForWmState(main, QStringLiteral("Normal")), "the main window was not restored");
        QVERIFY(closeWindow(main));
        QVERIFY(program.waitForFinished(10000));
    }

    void appliquerRegistersAndRemoves()
    {
        ProgramFolder folder(QStringLiteral(KEYROVIA_EXE));
        QVERIFY(makeDatabase(folder));
        QTemporaryDir configHome;
        const QStringList env{QStringLiteral("XDG_CONFIG_HOME=") + configHome.path()};
        {
            // Another program's button, there before Keyrovia.
            SqliteRegistry registry(configHome.path() + QStringLiteral("/keyrovia"));
            RegKey k = 0;
            QCOMPARE(registry.createKey(HKEY_CURRENT_USER, kParent + QLatin1Char('\\') + kForeign, QString(),
                                        0, 0x3F, k),
                     long(RegOk));
            registry.setValue(k, QStringLiteral("Icon"), REG_SZ, QByteArray("/opt/autre/autre.ico", 21));
            registry.setValue(k, QStringLiteral("ButtonText"), REG_SZ, QByteArray("Autre", 6));
            registry.closeKey(k);
        }
        // First use: no PARAM.ini, the parameters tab in front, the password box focused.
        QProcess program;
        folder.start(program, env);
        QVERIFY2(answerWithEnter(QStringLiteral("^Configuration$")), "no first-use message");
        QVERIFY(waitForNoWindow(QStringLiteral("^Configuration$")));
        QString main = waitForWindow(kMain);
        QVERIFY(!main.isEmpty());
        QThread::msleep(300); // the window takes the focus once it is mapped
        focus(main);
        type(kPassword);
        keys(QStringLiteral("Tab"), 2); // "Paramètre Par Défault", then "Appliquer"
        key(QStringLiteral("space"));
        QVERIFY2(answerWithEnter(QStringLiteral("^Configuration Enregistrer'$")), "no confirmation");
        QVERIFY2(answerWithEnter(QStringLiteral("^Voir Tutorial \\?$"), QStringLiteral("Escape")),
                 "no tutorial question"); // No: the tutorial is judged above

        const QString ownIcon = folder.path(QStringLiteral("ICON.ico"));
        QList<Button> found = buttons(configHome.path());
        QCOMPARE(found.size(), 2);
        const Button own = found[0].name == kForeign ? found[1] : found[0];
        QVERIFY(own.name != kForeign);
        QCOMPARE(own.name.size(), 38);
        QCOMPARE(own.values,
                 QStringList({QStringLiteral("Exec=") + folder.path(QStringLiteral("Keyrovia")),
                              QStringLiteral("Icon=") + ownIcon, QStringLiteral("HotIcon=") + ownIcon,
                              QStringLiteral("ButtonText=Keyrovia"),
                              QStringLiteral("CLSID={1FBA04EE-3024-11d2-8F1F-0000F87ABD16}"),
                              QStringLiteral("Default Visible=yes")}));
        const QString file = configHome.path() + QStringLiteral("/keyrovia/HKEY_CURRENT_USER.sqlite");
        QCOMPARE(QFile::permissions(file) & 0x0077, QFileDevice::Permissions());

        QVERIFY(closeWindow(main));
        QVERIFY(program.waitForFinished(10000));

        // Second run, PARAM.ini gone again: the first-use flow puts the
        // parameters tab in front with the accepted password in its box.
        QVERIFY(QFile::remove(folder.path(QStringLiteral("PARAM.ini"))));
        folder.start(program, env);
        const QString gate = waitForWindow(QStringLiteral("^Form1$"));
        QVERIFY(!gate.isEmpty());
        focus(gate);
        type(kPassword);
        key(QStringLiteral("Return"));
        QVERIFY(answerWithEnter(QStringLiteral("^Configuration$")));
        QVERIFY(waitForNoWindow(QStringLiteral("^Configuration$")));
        main = waitForWindow(kMain);
        QVERIFY(!main.isEmpty());
        QThread::msleep(300);
        focus(main);
        keys(QStringLiteral("shift+Tab"), 3); // back to "Afficher"
        key(QStringLiteral("space"));
        keys(QStringLiteral("Tab"), 5); // on to "Appliquer"
        key(QStringLiteral("space"));
        QVERIFY(answerWithEnter(QStringLiteral("^Configuration Enregistrer'$")));
        QThread::msleep(500);
        QVERIFY2(findWindows(QStringLiteral("^Voir Tutorial \\?$")).isEmpty(), "asked although unticked");
        QVERIFY(fileBytes(folder.path(QStringLiteral("PARAM.ini"))).startsWith("%%AFFICHERIE%%=0="));

        found = buttons(configHome.path());
        QCOMPARE(found.size(), 1);
        QCOMPARE(found[0].name, kForeign);
        QCOMPARE(found[0].values, QStringList({QStringLiteral("Icon=/opt/autre/autre.ico"),
                                               QStringLiteral("ButtonText=Autre")}));
        QVERIFY(closeWindow(main));
        QVERIFY(program.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TestE2eToolbar)
#include "tst_e2e_toolbar.moc"
