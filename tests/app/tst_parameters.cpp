// "Appliquer": the whole save, above all the toolbar button (registered,
// removed or left alone as "Afficher" asks), the confirmation and the
// tutorial question.
#include "AppFixture.h"
#include "browser/frmAddIe.h"
#include "browser/frmListIcon.h"
#include "platform/registry/SqliteRegistry.h"
#include "settings/ProgramFolder.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>

#include <unistd.h>

using namespace kr;
using namespace kr::test;

class TestParameters : public QObject {
    Q_OBJECT

    std::unique_ptr<AppFixture> f;
    KeyroviaApp* app = nullptr;

    void open()
    {
        f = std::make_unique<AppFixture>();
        QVERIFY(f->openMain());
        app = f->app.get();
        f->messages.shown.clear();
    }
    QString ownIcon() const { return f->path(QStringLiteral("ICON.ico")); }
    void putButton(const QString& guid, const QString& icon)
    {
        f->registry.put(
            kExtensionsKey + QLatin1Char('\\') + guid,
            {{QStringLiteral("Icon"), sz(icon)}, {QStringLiteral("ButtonText"), sz(QStringLiteral("B"))}});
    }
    // The buttons besides the other program's one.
    int ownButtons() { return int(f->registry.subkeys(kExtensionsKey).size()) - 1; }
    void apply(bool afficher, const QString& password = QStringLiteral("secret"))
    {
        MotDePassControls& c = f->ui();
        c.chkParamVisiIE->setChecked(afficher);
        c.chkParamTjsVisi->setChecked(false);
        c.chkParamRecupIE->setChecked(false);
        c.txtParamMDP->setText(password);
        app->applyParameters();
    }

private slots:
    void cleanup()
    {
        f.reset();
        app = nullptr;
    }

    void toolbarButtonFollowsAfficher_data()
    {
        QTest::addColumn<bool>("afficher");
        QTest::addColumn<int>("ownBefore");
        QTest::addColumn<int>("ownAfter");
        QTest::addColumn<bool>("touched");
        QTest::addColumn<bool>("tutorial"); // the answer to "Voir Tutorial ?"
        QTest::addColumn<bool>("flagUp");   // an earlier save found the button
        QTest::newRow("ticked, registered: left alone") << true << 1 << 1 << false << false << false;
        QTest::newRow("unticked, not registered: left alone") << false << 0 << 0 << false << false << false;
        QTest::newRow("unticked, three left by earlier runs: all removed")
            << false << 3 << 0 << true << false << false;
        // Another Keyrovia, or the user, removed it since: each save scans again.
        QTest::newRow("ticked, removed since the last save: added") << true << 0 << 1 << true << true << true;
    }
    void toolbarButtonFollowsAfficher()
    {
        QFETCH(bool, afficher);
        QFETCH(int, ownBefore);
        QFETCH(int, ownAfter);
        QFETCH(bool, touched);
        QFETCH(bool, tutorial);
        QFETCH(bool, flagUp);
        open();
        putButton(QStringLiteral("{00000000-0000-0000-0000-00000000F0E1}"),
                  QStringLiteral("/usr/share/autre.ico"));
        for (int i = 0; i < ownBefore; ++i)
            putButton(QStringLiteral("{0000000%1-0000-0000-0000-000000000000}").arg(i), ownIcon());
        f->registry.changes.clear();
        f->messages.answers = {tutorial ? MsgAnswer::Yes : MsgAnswer::No};
        IEButtonPresent = flagUp ? 1 : 0;
        apply(afficher);
        QCOMPARE(ownButtons(), ownAfter);
        QCOMPARE(fileBytes(f->path(QStringLiteral("PARAM.ini"))), paramIni(afficher, 0, 0));
        QCOMPARE(!f->registry.changes.isEmpty(), touched);
        QVERIFY(
            f->registry.hasKey(kExtensionsKey + QStringLiteral("\\{00000000-0000-0000-0000-00000000F0E1}")));
        QCOMPARE(f->registry.openHandles(), 0);
        QCOMPARE(IEButtonPresent, qint16(afficher && ownBefore > 0 ? 1 : 0));
        QVERIFY(!app->listIcon().isLoaded());
        // The confirmation, then the question whenever "Afficher" is ticked.
        QStringList expected{QStringLiteral("64 Configuration Enregistrer'")};
        if (afficher)
            expected << QStringLiteral("68 Voir Tutorial ?");
        QCOMPARE(f->titles(), expected);
        QCOMPARE(f->messages.shown.front().text, QStringLiteral("Configuration Enregistrer"));
        if (afficher)
            QCOMPARE(f->messages.shown.back().text,
                     QStringLiteral("Voullez Vous Voir le tuto Pour l'ajouter a Internet Explorer"));
        // Yes opens the tutorial over the minimised main window.
        QCOMPARE(app->addIe().isLoaded(), tutorial);
        QCOMPARE(bool(app->mainWindow().widget()->windowState() & Qt::WindowMinimized), tutorial);
    }

    // The registry file on disk damaged: the save still reaches its confirmation,
    // says why first, offers no tutorial and leaves the file as it was.
    void registryFileInABadState()
    {
        QTemporaryDir home;
        const QString file = home.filePath(QStringLiteral("keyrovia/HKEY_CURRENT_USER.sqlite"));
        const QByteArray before = QByteArray("SQLite format 3") + QByteArray(4096, '\x5a');
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("keyrovia"))) && writeFile(file, before));
        SqliteRegistry files(home.filePath(QStringLiteral("keyrovia")));
        open();
        f->platform.registry = &files;
        apply(true);
        QCOMPARE(f->titles(), (QStringList{"48 Bouton Du Navigateur", "64 Configuration Enregistrer'"}));
        QCOMPARE(
            f->messages.shown.front().text,
            "Le bouton de la barre d'outils n'a pas pu être ajouté au navigateur.\r\nRaison : le fichier " +
                files.location() + " est endommagé ou n'appartient pas à Keyrovia.");
        QCOMPARE(fileBytes(file), before);
    }

    // A program folder that takes no file (made so here as a read-only mount
    // would be): the run's first message names it, it is told once, and no
    // message carries the engine's English.
    void readOnlyProgramFolder()
    {
        open();
        const QString dir = f->path(QString());
        struct Frozen {
            QString dir;
            bool set(bool on) const
            {
                if (::geteuid() != 0) // the mode is enough for anybody but root
                    return QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner |
                                                          (on ? QFile::Permissions() : QFile::WriteOwner));
                return QProcess::execute(QStringLiteral("chattr"), {on ? "+i" : "-i", dir}) == 0;
            }
            ~Frozen() { set(false); }
        } frozen{dir};
        if (!frozen.set(true) || ProgramFolder(dir).writable())
            QSKIP("this machine cannot make a folder read-only");
        apply(false);
        MotDePassControls& c = f->ui();
        c.txtAddSite->setText(QStringLiteral("nouveau.example"));
        c.txtAddUser->setText(QStringLiteral("moi"));
        app->mainWindow().cmdAddSite_Click();
        const auto& shown = f->messages.shown;
        QCOMPARE(shown.front().style, 48);
        QCOMPARE(shown.front().title, ProgramFolder::readOnlyTitle());
        QVERIFY(shown.front().text.contains(dir) &&
                shown.front().text.contains(QStringLiteral("Rien ne peut")));
        QCOMPARE(f->titles().count(QStringLiteral("48 Dossier En Lecture Seule")), 1);
        QVERIFY(f->titles().size() > 3); // the password, PARAM.ini and the login were refused as well
        for (const ShownMessage& m : shown)
            QVERIFY2(!m.text.contains(
                         QRegularExpression(QStringLiteral("\\b(readonly|database|attempt|unable)\\b"))),
                     qPrintable(m.text));
    }
};

QTEST_MAIN(TestParameters)
#include "tst_parameters.moc"
