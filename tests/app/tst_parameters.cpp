// "Appliquer": the whole save, above all the toolbar button (registered,
// removed or left alone as "Afficher" asks), the confirmation and the
// tutorial question.
#include "AppFixture.h"
#include "browser/frmAddIe.h"
#include "browser/frmListIcon.h"
#include "platform/registry/SqliteRegistry.h"
#include "settings/ProgramFolder.h"
#include "ui/WindowOrder.h"

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
        QVERIFY(f->makeDatabase());
        f->writeParam(0, 0, 0);
        app = &f->start();
        QTRY_VERIFY(app->mainWindow().isLoaded());
        f->messages.shown.clear();
    }
    QString ownIcon() const { return f->path(QStringLiteral("ICON.ico")); }
    void putButton(const QString& guid, const QString& icon)
    {
        f->registry.put(
            kExtensionsKey + QLatin1Char('\\') + guid,
            {{QStringLiteral("Icon"), sz(icon)}, {QStringLiteral("ButtonText"), sz(QStringLiteral("B"))}});
    }
    // The buttons carrying the program's icon.
    int ownButtons()
    {
        int n = 0;
        for (const QString& name : f->registry.subkeys(kExtensionsKey)) {
            const auto* k = f->registry.key(kExtensionsKey + QLatin1Char('\\') + name);
            for (const auto& v : k->values)
                if (v.name == QLatin1String("Icon") && v.data == sz(ownIcon()))
                    ++n;
        }
        return n;
    }
    void apply(bool afficher, const QString& password = QStringLiteral("secret"))
    {
        MotDePassControls& c = app->mainWindow().ui();
        c.chkParamVisiIE->setChecked(afficher);
        c.chkParamTjsVisi->setChecked(false);
        c.chkParamRecupIE->setChecked(false);
        c.txtParamMDP->setText(password);
        app->applyParameters();
    }
    QStringList titles() const
    {
        QStringList out;
        for (const ShownMessage& m : f->messages.shown)
            out << QString::number(m.style) + QLatin1Char(' ') + m.title;
        return out;
    }

private slots:
    void init() { IEButtonPresent = 0; }
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
        QTest::newRow("ticked, not registered: added") << true << 0 << 1 << true;
        QTest::newRow("unticked, registered: removed") << false << 1 << 0 << true;
        QTest::newRow("ticked, registered: left alone") << true << 1 << 1 << false;
        QTest::newRow("unticked, not registered: left alone") << false << 0 << 0 << false;
        QTest::newRow("unticked, three left by earlier runs: all removed") << false << 3 << 0 << true;
    }
    void toolbarButtonFollowsAfficher()
    {
        QFETCH(bool, afficher);
        QFETCH(int, ownBefore);
        QFETCH(int, ownAfter);
        QFETCH(bool, touched);
        open();
        putButton(QStringLiteral("{00000000-0000-0000-0000-00000000F0E1}"),
                  QStringLiteral("/usr/share/autre.ico"));
        for (int i = 0; i < ownBefore; ++i)
            putButton(QStringLiteral("{0000000%1-0000-0000-0000-000000000000}").arg(i), ownIcon());
        f->registry.changes.clear();
        apply(afficher);
        QCOMPARE(ownButtons(), ownAfter);
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
        QCOMPARE(titles(), expected);
        QCOMPARE(f->messages.shown.front().text, QStringLiteral("Configuration Enregistrer"));
        if (afficher)
            QCOMPARE(f->messages.shown.back().text,
                     QStringLiteral("Voullez Vous Voir le tuto Pour l'ajouter a Internet Explorer"));
    }

    void tutorialQuestion_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("Yes") << true;
        QTest::newRow("No") << false;
    }
    void tutorialQuestion()
    {
        QFETCH(bool, yes);
        open();
        QWidget* main = app->mainWindow().widget();
        main->show();
        f->messages.answers = {yes ? MsgAnswer::Yes : MsgAnswer::No};
        apply(true);
        QCOMPARE(app->addIe().isLoaded(), yes);
        QCOMPARE(bool(main->windowState() & Qt::WindowMinimized), yes);
        QCOMPARE(app->mainWindow().ui().Tabblet->currentIndex(), 0);
        if (yes) {
            app->addIe().widget()->close();
            QVERIFY(!(main->windowState() & Qt::WindowMinimized));
        }
    }

    void aButtonRemovedMeanwhileIsRegisteredAgain()
    {
        open();
        putButton(QStringLiteral("{10000000-0000-0000-0000-000000000000}"), ownIcon());
        apply(true); // found: the flag is up
        QCOMPARE(IEButtonPresent, qint16(1));
        f->registry.put(kExtensionsKey, {});
        RegKey k = 0;
        f->registry.openKey(HKEY_CURRENT_USER,
                            kExtensionsKey + QStringLiteral("\\{10000000-0000-0000-0000-000000000000}"), 0x3F,
                            k);
        f->registry.deleteKey(k, QString()); // another Keyrovia removed it
        f->registry.closeKey(k);
        apply(true);
        QCOMPARE(ownButtons(), 1);
    }

    // The registry file on disk in a bad state: the save still reaches its
    // confirmation and never destroys what it cannot read; when the button
    // could not be made it says why first and offers no tutorial. A link is
    // never followed: its target keeps its bytes and its mode.
    void registryFileInABadState_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("ownAfter");
        QTest::newRow("no folder yet") << "missing" << 1;
        QTest::newRow("empty file") << "empty" << 1;
        QTest::newRow("damaged file") << "damaged" << -1;
        QTest::newRow("folder is a file") << "blocked" << -1;
        QTest::newRow("file is a link") << "fileLink" << -1;
        QTest::newRow("folder is a link") << "folderLink" << -1;
    }
    void registryFileInABadState()
    {
        QFETCH(QString, state);
        QFETCH(int, ownAfter);
        QTemporaryDir home;
        const QString folder = home.filePath(QStringLiteral("keyrovia"));
        const QString file = folder + QStringLiteral("/HKEY_CURRENT_USER.sqlite");
        const QString target = home.filePath(state == QLatin1String("fileLink") ? "notes.txt" : "mine");
        QByteArray before;
        if (state == QLatin1String("empty") || state == QLatin1String("damaged")) {
            QVERIFY(QDir().mkpath(folder));
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            if (state == QLatin1String("damaged")) {
                before = QByteArray("SQLite format 3") + QByteArray(4096, '\x5a');
                out.write(before);
            }
        } else if (state == QLatin1String("blocked")) {
            QFile blocker(folder);
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        } else if (state == QLatin1String("fileLink")) {
            QVERIFY(QDir().mkpath(folder));
            QVERIFY(writeFile(target, "mes notes"));
            QVERIFY(QFile::link(target, file));
        } else if (state == QLatin1String("folderLink")) {
            QVERIFY(QDir().mkpath(target));
            QVERIFY(QFile::link(target, folder));
        }
        const QFile::Permissions targetMode = QFile::permissions(target);
        SqliteRegistry files(folder);
        open();
        f->platform.registry = &files;
        apply(true);
        if (ownAfter < 0) {
            QCOMPARE(titles(), (QStringList{"48 Bouton Du Navigateur", "64 Configuration Enregistrer'"}));
            QVERIFY(f->messages.shown.front().text.contains(QStringLiteral("n'a pas pu être ajouté")));
            if (!before.isEmpty())
                QCOMPARE(fileBytes(file), before);
            QCOMPARE(QFile::permissions(target), targetMode);
            if (state == QLatin1String("fileLink"))
                QCOMPARE(fileBytes(target), QByteArray("mes notes"));
            if (state == QLatin1String("folderLink"))
                QVERIFY(QDir(target).isEmpty());
            return;
        }
        QCOMPARE(titles(), (QStringList{"64 Configuration Enregistrer'", "68 Voir Tutorial ?"}));
        RegKey parent = 0;
        QCOMPARE(files.openKey(HKEY_CURRENT_USER, kExtensionsKey, 0x3F, parent), long(RegOk));
        QString name;
        int n = 0;
        while (files.enumKey(parent, quint32(n), 256, name) != RegNoMoreItems)
            ++n;
        files.closeKey(parent);
        QCOMPARE(n, ownAfter);
        // A second save finds it and adds nothing.
        apply(true);
        n = 0;
        files.openKey(HKEY_CURRENT_USER, kExtensionsKey, 0x3F, parent);
        while (files.enumKey(parent, quint32(n), 256, name) != RegNoMoreItems)
            ++n;
        files.closeKey(parent);
        QCOMPARE(n, ownAfter);
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
        MotDePassControls& c = app->mainWindow().ui();
        c.txtAddSite->setText(QStringLiteral("nouveau.example"));
        c.txtAddUser->setText(QStringLiteral("moi"));
        app->mainWindow().cmdAddSite_Click();
        const auto& shown = f->messages.shown;
        QCOMPARE(shown.front().style, 48);
        QCOMPARE(shown.front().title, ProgramFolder::readOnlyTitle());
        QVERIFY(shown.front().text.contains(dir) &&
                shown.front().text.contains(QStringLiteral("Rien ne peut")));
        QCOMPARE(titles().count(QStringLiteral("48 Dossier En Lecture Seule")), 1);
        QVERIFY(titles().size() > 3); // the password, PARAM.ini and the login were refused as well
        for (const ShownMessage& m : shown)
            QVERIFY2(!m.text.contains(
                         QRegularExpression(QStringLiteral("\\b(readonly|database|attempt|unable)\\b"))),
                     qPrintable(m.text));
    }

    // Another process writes its own buttons into the same file while the
    // program saves: every save is confirmed, ours come and go, none of the
    // others is lost.
    void savingWhileAnotherProcessWrites()
    {
        QTemporaryDir home;
        const QString folder = home.filePath(QStringLiteral("keyrovia"));
        SqliteRegistry files(folder);
        for (int i = 0; i < 20; ++i) {
            RegKey k = 0;
            QCOMPARE(files.createKey(HKEY_CURRENT_USER, kExtensionsKey + QStringLiteral("\\Deja-%1").arg(i),
                                     QString(), 0, 0x3F, k),
                     long(RegOk));
            QCOMPARE(files.setValue(k, QStringLiteral("Icon"), REG_SZ, sz(QStringLiteral("/opt/deja.ico"))),
                     long(RegOk));
            files.closeKey(k);
        }
        open();
        f->platform.registry = &files;
        QProcess writer;
        writer.start(QStringLiteral(KR_REGISTRY_WRITER),
                     {folder, QStringLiteral("Autre"), QStringLiteral("300")});
        QVERIFY(writer.waitForStarted());
        int saves = 0;
        do {
            // No master password, so that the saves are quick: "T Sur ?" Yes, no tutorial.
            f->messages.answers = {MsgAnswer::Yes, MsgAnswer::No};
            apply(saves % 2 == 0, QString());
            ++saves;
        } while (writer.state() != QProcess::NotRunning || saves % 2 == 1);
        QVERIFY(writer.state() == QProcess::NotRunning || writer.waitForFinished(60000));
        QVERIFY(saves >= 2);
        QCOMPARE(int(titles().count(QStringLiteral("64 Configuration Enregistrer'"))), saves);

        RegKey parent = 0;
        QCOMPARE(files.openKey(HKEY_CURRENT_USER, kExtensionsKey, 0x3F, parent), long(RegOk));
        QString name;
        int before = 0;
        int written = 0;
        int own = 0;
        for (quint32 i = 0; files.enumKey(parent, i, 256, name) != RegNoMoreItems; ++i) {
            if (name.startsWith(QLatin1String("Deja-")))
                ++before;
            else if (name.startsWith(QLatin1String("Autre-")))
                ++written;
            else
                ++own;
        }
        files.closeKey(parent);
        QCOMPARE(before, 20);
        // The writer's own calls may time out on a busy machine; what it wrote stays.
        QVERIFY(written <= 300);
        if (writer.exitCode() == 0)
            QCOMPARE(written, 300);
        QCOMPARE(own, 0); // the last save had "Afficher" unticked
    }

    void failedPasswordChangeKeepsTheOldPassword()
    {
        open();
        apply(true, QStringLiteral("nouveau"));
        QCOMPARE(app->store().programPassword(), QStringLiteral("nouveau"));
        QVERIFY(QFile::remove(f->path(QStringLiteral("BDMDP.MDB"))));
        f->messages.shown.clear();
        f->messages.answers = {MsgAnswer::No};
        apply(false, QStringLiteral("autre"));
        QCOMPARE(app->store().programPassword(), QStringLiteral("nouveau"));
        QVERIFY(!f->messages.shown.empty());
        QCOMPARE(f->messages.shown.front().style, int(MsgCritical));
        QVERIFY(titles().contains(QStringLiteral("64 Configuration Enregistrer'")));
    }
};

QTEST_MAIN(TestParameters)
#include "tst_parameters.moc"
