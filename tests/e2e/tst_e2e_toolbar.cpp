// The real program under Xvfb and openbox, first use: "Appliquer" registers the
// toolbar button of this folder in the per-user registry file; the tutorial
// question and the tutorial carry the program's icon; the main window stays
// minimised until the tutorial closes, by any path.
#include "E2eHarness.h"
#include "platform/registry/SqliteRegistry.h"

#include <QtTest>

using namespace kr;
using namespace kr::e2e;

namespace {

// "name=text" of the values of the only button in the registry file itself.
QStringList onlyButton(const QString& configHome)
{
    SqliteRegistry registry(configHome + QStringLiteral("/keyrovia"));
    RegKey parent = 0, button = 0;
    QString name, valueName;
    quint32 type = 0;
    QByteArray data;
    QStringList values;
    if (registry.openKey(HKEY_CURRENT_USER, test::kExtensionsKey, 0x3F, parent) == RegOk &&
        registry.enumKey(parent, 0, 256, name) == RegOk &&
        registry.enumKey(parent, 1, 256, valueName) != RegOk &&
        registry.openKey(parent, name, 0x3F, button) == RegOk) {
        for (quint32 v = 0; registry.enumValue(button, v, 256, 4096, valueName, type, data) == RegOk; ++v)
            values << valueName + QLatin1Char('=') + QString::fromLocal8Bit(data.chopped(1));
        registry.closeKey(button);
    }
    registry.closeKey(parent);
    return values;
}

} // namespace

class TestE2eToolbar : public QObject {
    Q_OBJECT

    WindowManager wm;

private slots:
    void initTestCase() { QVERIFY2(wm.running(), "openbox did not start"); }

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
        const auto folder = programFolder({}, {}, {}); // no settings: first use
        QVERIFY(folder);
        QTemporaryDir configHome;
        QProcess program;
        launch(*folder, program, {QStringLiteral("XDG_CONFIG_HOME=") + configHome.path()});
        // First use, "Afficher" and "Visible" ticked by default: "Appliquer" without a password.
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
        QCOMPARE(onlyButton(configHome.path()).mid(0, 2),
                 QStringList({"Exec=" + folder->executable(), "Icon=" + folder->path("ICON.ico")}));
        QVERIFY(answerWithEnter(QStringLiteral("^Voir Tutorial \\?$"))); // Yes

        const QString kTutorial = QStringLiteral("^Tutorial Pour ajouter l'icone a internet explorer 7\\.$");
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
        QVERIFY(closeAndWait(main, program));
    }
};

QTEST_GUILESS_MAIN(TestE2eToolbar)
#include "tst_e2e_toolbar.moc"
