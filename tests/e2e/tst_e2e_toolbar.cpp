// The real program under Xvfb and openbox, first use: "Appliquer" registers the
// toolbar button of this folder in the per-user registry file; the tutorial
// question and the tutorial carry the program's icon; the main window stays
// minimised while the tutorial pages back and forth, until it closes.
#include "E2eSupport.h"
#include "platform/registry/SqliteRegistry.h"

#include <QtTest>

using namespace kr;
using namespace kr::e2e;

namespace {

// "Exec" and "Icon" of the only button key in the registry file itself.
QStringList onlyButton(const QString& configHome)
{
    SqliteRegistry registry(configHome + QStringLiteral("/keyrovia"));
    RegKey parent = 0, button = 0;
    QString name, value;
    quint32 type = 0;
    QByteArray data;
    QStringList values;
    if (registry.openKey(HKEY_CURRENT_USER, test::kExtensionsKey, 0x3F, parent) == RegOk &&
        registry.enumKey(parent, 0, 256, name) == RegOk && registry.enumKey(parent, 1, 256, value) != RegOk &&
        registry.openKey(parent, name, 0x3F, button) == RegOk) {
        for (quint32 v = 0; v < 2 && registry.enumValue(button, v, 256, 4096, value, type, data) == RegOk;
             ++v)
            values << value + QLatin1Char('=') + QString::fromLocal8Bit(data.chopped(1));
        registry.closeKey(button);
    }
    registry.closeKey(parent);
    return values;
}

// The state the window manager keeps for a window: "Normal", "Iconic", "Withdrawn".
QString wmState(const QString& id)
{
    const QString out = xprop({"-id", id}, QStringLiteral("WM_STATE"));
    return out.section(QStringLiteral("window state: "), 1).section(QLatin1Char('\n'), 0, 0).trimmed();
}

// Whether the window carries an icon of its own (_NET_WM_ICON).
bool hasIcon(const QString& id)
{
    return xprop({"-id", id}, QStringLiteral("_NET_WM_ICON")).contains("Icon (");
}

} // namespace

class TestE2eToolbar : public QObject {
    Q_OBJECT
    QProcess m_openbox; // Debian's openbox on the test's display: it keeps the window states

private slots:
    void initTestCase()
    {
        m_openbox.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        QTRY_VERIFY_WITH_TIMEOUT(xprop({"-root"}, "_NET_SUPPORTING_WM_CHECK").contains("window id"), 10000);
    }
    void cleanupTestCase()
    {
        m_openbox.terminate();
        m_openbox.waitForFinished();
    }

    void tutorialHoldsTheMainWindowMinimised()
    {
        const auto folder = programFolder({}, {}, {}); // no settings: first use
        QVERIFY(folder);
        QTemporaryDir configHome;
        QProcess program;
        folder->start(program, {QStringLiteral("XDG_CONFIG_HOME=") + configHome.path()});
        // First use, "Afficher" and "Visible" ticked by default: "Appliquer" without a password.
        QVERIFY(answer(QStringLiteral("^Configuration$")));
        const QString main = waitForWindow(kMain);
        QVERIFY(!main.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(wmState(main), QStringLiteral("Normal"), 10000);
        focus(main);
        key(QStringLiteral("Tab"), 2);
        key(QStringLiteral("Return")); // Enter presses the focused "Appliquer"
        QVERIFY(answer(QStringLiteral("^T Sur \\?$")));
        QVERIFY(answer(QStringLiteral("^Configuration Enregistrer'$")));
        const QString question = waitForWindow(QStringLiteral("^Voir Tutorial \\?$"));
        QVERIFY2(hasIcon(question), "the message box has no icon of its own");
        QCOMPARE(onlyButton(configHome.path()),
                 QStringList({"Exec=" + folder->executable(), "Icon=" + folder->path("ICON.ico")}));
        QVERIFY(answer(QStringLiteral("^Voir Tutorial \\?$"))); // Yes

        const QString kTutorial = QStringLiteral("^Tutorial Pour ajouter l'icone a internet explorer 7\\.$");
        const QString tutorial = waitForWindow(kTutorial);
        QVERIFY2(hasIcon(tutorial), "the tutorial has no icon of its own");
        QTRY_COMPARE_WITH_TIMEOUT(wmState(main), QStringLiteral("Iconic"), 10000);
        QThread::msleep(1500); // nothing brings it back while the tutorial is open
        focus(tutorial);
        for (const char* page : {"Suivant", "Précédent"}) {
            QVERIFY2(wmState(main) == QStringLiteral("Iconic"), page);
            key(QStringLiteral("space")); // on the tutorial's only button
            QThread::msleep(300);
        }
        QCOMPARE(wmState(main), QStringLiteral("Iconic"));
        QCOMPARE(wmState(tutorial), QStringLiteral("Normal"));
        QVERIFY(closeWindow(tutorial));
        QTRY_VERIFY_WITH_TIMEOUT(findWindows(kTutorial).isEmpty(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(wmState(main), QStringLiteral("Normal"), 10000); // restored
        QVERIFY(closeWindow(main) && program.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TestE2eToolbar)
#include "tst_e2e_toolbar.moc"
