// The real program under Xvfb, first use: "Appliquer" with "Afficher" ticked
// registers the toolbar button in the per-user registry file, asks about the
// tutorial, and Yes shows the tutorial with the main window minimised until the
// tutorial closes. A second "Appliquer" with "Afficher" unticked removes the
// button and leaves another program's button alone.
#include "E2eSupport.h"
#include "platform/registry/SqliteRegistry.h"

#include <QTemporaryDir>
#include <QtTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

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

// Xvfb runs without a window manager, so nobody answers a window's request to
// be minimised. This stands in for that one part of a window manager: it
// iconifies a window that asks for it (WM_STATE Iconic, then unmapped).
class IconifyingManager {
public:
    IconifyingManager() : m_display(XOpenDisplay(nullptr))
    {
        if (!m_display)
            return;
        m_changeState = XInternAtom(m_display, "WM_CHANGE_STATE", False);
        m_wmState = XInternAtom(m_display, "WM_STATE", False);
        XSelectInput(m_display, DefaultRootWindow(m_display), StructureNotifyMask | SubstructureNotifyMask);
        XFlush(m_display);
    }
    ~IconifyingManager()
    {
        if (m_display)
            XCloseDisplay(m_display);
    }
    // Serves requests until the window asked to be minimised; false on timeout.
    bool waitForIconify(const QString& id, int timeoutMs = 10000)
    {
        if (!m_display)
            return false;
        const Window wanted = static_cast<Window>(id.toULong());
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < timeoutMs) {
            while (XPending(m_display)) {
                XEvent e;
                XNextEvent(m_display, &e);
                if (e.type != ClientMessage || e.xclient.message_type != m_changeState ||
                    e.xclient.data.l[0] != IconicState)
                    continue;
                const long state[2] = {IconicState, 0};
                XChangeProperty(m_display, e.xclient.window, m_wmState, m_wmState, 32, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(state), 2);
                XUnmapWindow(m_display, e.xclient.window);
                XFlush(m_display);
                if (e.xclient.window == wanted)
                    return true;
            }
            QThread::msleep(20);
        }
        return false;
    }

private:
    Display* m_display;
    Atom m_changeState = 0;
    Atom m_wmState = 0;
};

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

private slots:
    void appliquerRegistersShowsTheTutorialAndRemoves()
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
        IconifyingManager manager;

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
        QVERIFY2(answerWithEnter(QStringLiteral("^Voir Tutorial \\?$")), "no tutorial question");

        const QString tutorial = waitForWindow(kTutorial);
        QVERIFY2(!tutorial.isEmpty(), "the tutorial did not appear");
        QVERIFY2(manager.waitForIconify(main), "the main window was not minimised");
        QVERIFY(waitForNoWindow(kMain));

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

        // Closing the tutorial brings the main window back.
        QVERIFY(closeWindow(tutorial));
        QVERIFY(waitForNoWindow(kTutorial));
        main = waitForWindow(kMain);
        QVERIFY2(!main.isEmpty(), "the main window was not restored");
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
