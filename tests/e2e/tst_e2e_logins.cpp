// The real program under Xvfb: a login added through the form with Enter,
// Enter, Enter survives a restart, its password is copied to the clipboard and
// read by another process, and it is deleted again.
#include "E2eSupport.h"
#include "platform/sqlcipher/SqlCipherEngine.h"
#include "store/PasswordStore.h"

#include <QtTest>

using namespace kr;
using namespace kr::e2e;

namespace {

// ASCII only: xdotool drops characters that are not on the keyboard layout.
const QString kPassword = QStringLiteral("Maitre-Cle 2026");

void keys(const QString& name, int times)
{
    for (int i = 0; i < times; ++i)
        key(name);
}

QString clipboardFromAnotherProcess()
{
    return run(QStringLiteral("xclip"),
               {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")});
}

} // namespace

class TestE2eLogins : public QObject {
    Q_OBJECT

    std::unique_ptr<ProgramFolder> folder;

    // Starts the program, passes the gate, and returns the main window's id.
    QString startAndLogIn(QProcess& program)
    {
        folder->start(program);
        const QString gate = waitForWindow(QStringLiteral("^Form1$"));
        if (gate.isEmpty())
            return {};
        focus(gate);
        type(kPassword);
        key(QStringLiteral("Return"));
        const QString main = waitForWindow(kMain);
        if (!main.isEmpty())
            focus(main);
        return main;
    }

    std::vector<SiteRecord> storedRows()
    {
        SqlCipherEngine engine;
        PasswordStore store(engine, folder->path(QStringLiteral("BDMDP.MDB")));
        store.setProgramPassword(kPassword);
        store.LoadSiteList();
        return store.siteTable();
    }

private slots:
    void initTestCase()
    {
        folder = std::make_unique<ProgramFolder>(QStringLiteral(KEYROVIA_EXE));
        QVERIFY(makeDatabase(*folder, kPassword));
        QVERIFY(writeSettings(*folder, 0, 0, 0));
    }

    void addThroughTheFormWithEnter()
    {
        QProcess program;
        const QString main = startAndLogIn(program);
        QVERIFY2(!main.isEmpty(), "the main window did not appear");
        // The site box has the focus when the window opens.
        type(QStringLiteral("www.e2e.example"));
        key(QStringLiteral("Return"));
        type(QStringLiteral("jean.dupont"));
        key(QStringLiteral("Return"));
        type(QStringLiteral("p@ss,{word}'"));
        key(QStringLiteral("Return"));
        QVERIFY2(answerWithEnter(QStringLiteral("^Ajout Avec Succes$")), "no confirmation of the new login");
        QVERIFY(waitForNoWindow(QStringLiteral("^Ajout Avec Succes$")));
        QVERIFY(closeWindow(main));
        QVERIFY(program.waitForFinished(10000));
        const auto rows = storedRows();
        QCOMPARE(rows.size(), size_t(1));
        QCOMPARE(rows[0], (SiteRecord{"e2e.example", "jean.dupont", "p@ss,{word}'"}));
    }

    void restartCopyAndDelete()
    {
        QProcess program;
        const QString main = startAndLogIn(program);
        QVERIFY2(!main.isEmpty(), "the main window did not appear");
        keys(QStringLiteral("shift+Tab"), 10); // back from the site box to the list
        key(QStringLiteral("space"));          // selects the first (only) login: details shown
        keys(QStringLiteral("Tab"), 7);        // to the password's copy button
        key(QStringLiteral("space"));
        QTRY_COMPARE_WITH_TIMEOUT(clipboardFromAnotherProcess(), QStringLiteral("p@ss,{word}'"), 5000);
        keys(QStringLiteral("shift+Tab"), 6); // to "Supprimer"
        key(QStringLiteral("space"));
        QVERIFY2(answerWithEnter(QStringLiteral("^T Sur \\?$")), "no delete confirmation"); // Yes
        QVERIFY(waitForNoWindow(QStringLiteral("^T Sur \\?$")));
        QTRY_VERIFY_WITH_TIMEOUT(storedRows().empty(), 5000);
        QVERIFY(closeWindow(main));
        QVERIFY(program.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TestE2eLogins)
#include "tst_e2e_logins.moc"
