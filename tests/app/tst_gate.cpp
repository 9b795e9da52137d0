// The master-password gate and the way into the main window, on the doubles.
#include "AppFixture.h"
#include "app/AccessLog.h"
#include "ui/WindowOrder.h"

#include "app/SiteList.h"
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include <unistd.h>

using namespace kr;
using namespace kr::test;

namespace {
void pressEnter(QLineEdit* box)
{
    QTest::keyClick(box, Qt::Key_Return);
}
} // namespace

class TestGate : public QObject {
    Q_OBJECT
private slots:
    void databaseWithoutPasswordPassesAtOnce()
    {
        AppFixture f;
        QVERIFY(f.makeDatabase());
        QVERIFY(f.addRows({{"b.example", "u", "p"}, {"a.example", "u", "p"}}));
        f.writeParam(0, 0, 0);
        KeyroviaApp& app = f.start();
        QTRY_VERIFY(app.mainWindow().isLoaded());
        QVERIFY(!app.gate().isLoaded());
        QVERIFY(app.store().programPassword().isEmpty());
        QVERIFY(app.mainWindow().ui().txtParamMDP->text().isEmpty());
        QCOMPARE(app.mainWindow().ui().lstSite->count(), 2);
        QCOMPARE(app.mainWindow().ui().lstSite->text(0), QStringLiteral("a.example"));
        QCOMPARE(app.mainWindow().widget()->windowTitle(),
                 QStringLiteral("Keyrovia 1.1.0 - Http://quillmark.example"));
        QVERIFY(f.messages.shown.empty());
        QCOMPARE(f.instance.currentWindow(), app.mainWindow().widget()); // what a later start brings up
    }

    void emptyEnterOnProtectedDatabaseDoesNothing()
    {
        AppFixture f;
        QVERIFY(f.makeDatabase(QStringLiteral("clé")));
        KeyroviaApp& app = f.start();
        QVERIFY(app.gate().isLoaded());
        pressEnter(app.gate().txtMdp());
        QVERIFY(app.gate().isLoaded());
        QVERIFY(!app.mainWindow().isLoaded());
        QCOMPARE(f.instance.claimedDir, f.dir.path() + QLatin1Char('/'));
        QCOMPARE(f.instance.currentWindow(), app.gate().widget());
        QCOMPARE(f.process.ended, 0);
        QVERIFY(!QFile::exists(f.path(QStringLiteral("Logz.ini"))));
        QVERIFY(f.messages.shown.empty());
    }

    void passwords_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("right") << "s3cret"
                               << "s3cret" << true;
        QTest::newRow("quotes braces accents") << "a'b\"c{d}é€"
                                               << "a'b\"c{d}é€" << true;
        QTest::newRow("wrong") << "s3cret"
                               << "S3cret" << false;
        QTest::newRow("password on a plain file") << ""
                                                  << "anything" << false;
    }
    void passwords()
    {
        QFETCH(QString, stored);
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        AppFixture f;
        QVERIFY(f.makeDatabase(stored));
        f.writeParam(1, 0, 0);
        KeyroviaApp& app = f.start();
        if (stored.isEmpty()) {
            // A plain file passed the gate by itself; test the typed text directly.
            QTRY_VERIFY(app.mainWindow().isLoaded());
            app.gate().Load();
            app.gate().CheckProgramPassword(typed);
            QCOMPARE(f.process.ended, accepted ? 0 : 1);
            return;
        }
        app.gate().txtMdp()->setText(typed);
        pressEnter(app.gate().txtMdp());
        if (accepted) {
            QVERIFY(app.mainWindow().isLoaded());
            QVERIFY(!app.gate().isLoaded());
            QCOMPARE(app.store().programPassword(), typed);
            QCOMPARE(app.mainWindow().ui().txtParamMDP->text(), typed);
            QCOMPARE(f.process.ended, 0);
            QVERIFY(!QFile::exists(f.path(QStringLiteral("Logz.ini"))));
        } else {
            QCOMPARE(f.process.ended, 1);
            QVERIFY(!app.mainWindow().isLoaded());
            QVERIFY(f.messages.shown.empty()); // refused without a message
            QCOMPARE(QString::fromLocal8Bit(fileBytes(f.path(QStringLiteral("Logz.ini")))),
                     refusedPasswordEntry(f.clock.time, typed) + QStringLiteral("\r\n"));
        }
    }

    void missingDatabaseEndsWithMessage()
    {
        AppFixture f;
        f.start();
        QCOMPARE(f.messages.shown.size(), size_t(1));
        QCOMPARE(f.messages.shown[0].style, 16);
        QCOMPARE(f.messages.shown[0].title, QStringLiteral("Fichier Introuvable"));
        QCOMPARE(
            f.messages.shown[0].text,
            QStringLiteral(
                "Le fichier de base de donner ( BDMDP.MDB ) est innacésible\r\nLe programme va se fermer"));
        QCOMPARE(f.process.ended, 1);
        QVERIFY(!QFile::exists(f.path(QStringLiteral("Logz.ini"))));
    }

    void damagedDatabaseWaitsSilentlyThenLogs()
    {
        AppFixture f;
        QVERIFY(writeFile(f.path(QStringLiteral("BDMDP.MDB")), QByteArray(4096, '\x5a')));
        KeyroviaApp& app = f.start();
        QVERIFY(app.gate().isLoaded());
        QVERIFY(f.messages.shown.empty());
        app.gate().txtMdp()->setText(QStringLiteral("try"));
        pressEnter(app.gate().txtMdp());
        QCOMPARE(f.process.ended, 1);
        QCOMPARE(QFileInfo(f.path(QStringLiteral("BDMDP.MDB"))).size(), 4096); // not touched
    }

    void rightPasswordOnUnusableFileIsNotLogged_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("cause");
        const QString file = QStringLiteral("Le fichier de base de donnée ( BDMDP.MDB ) ");
        textRow("locked", {"locked", file + "est verrouillé par un autre programme."});
        textRow("truncated", {"truncated", file + "est endommagé."});
        textRow("unreadable", {"unreadable", file + "ne peut pas être lu : accès refusé."});
        // SQLCipher takes a damaged first page for a wrong key; the other pages tell.
        for (const char* offset : {"20", "100", "1000"})
            textRow(qPrintable(QStringLiteral("first page damaged at %1").arg(offset)),
                    {offset, file + "est endommagé."});
        textRow("no memory for the key",
                {"memory", "Mémoire insuffisante : la clé du fichier de base de donnée "
                           "( BDMDP.MDB ) demande 64 Mo de mémoire libre. Fermez "
                           "d'autres programmes puis réessayez."});
    }
    // Only a wrong password is logged: a password that could not be tried may be the right one.
    void rightPasswordOnUnusableFileIsNotLogged()
    {
        QFETCH(QString, damage);
        QFETCH(QString, cause);
        if (damage == QLatin1String("unreadable") && ::geteuid() == 0)
            QSKIP("mode 000 does not stop root");
        AppFixture f;
        const QString secret = QStringLiteral("s3cret é");
        QVERIFY(f.makeDatabase(secret));
        const QString db = f.path(QStringLiteral("BDMDP.MDB"));
        SqlCipherEngine otherProcess{f.keys};
        std::unique_ptr<IDbConnection> holder;
        if (damage == QLatin1String("locked"))
            QVERIFY(otherProcess.open(db, true, QStringLiteral(";pwd=") + secret, holder).ok());
        else if (damage == QLatin1String("truncated"))
            QVERIFY(QFile::resize(db, 700));
        else if (damage == QLatin1String("unreadable"))
            QVERIFY(QFile::setPermissions(db, {}));
        else if (damage == QLatin1String("memory"))
            f.keys.outOfMemory = true;
        f.engine.forgetKeys(); // the gate derives as at a start
        QByteArray before = fileBytes(db);
        if (damage.toInt() > 0) {
            before[damage.toInt()] = char(~before[damage.toInt()]);
            QVERIFY(writeFile(db, before));
        }
        KeyroviaApp& app = f.start();
        QVERIFY(f.messages.shown.empty()); // the silent first test stays silent
        app.gate().txtMdp()->setText(secret);
        pressEnter(app.gate().txtMdp());
        QCOMPARE(f.process.ended, 1);
        QCOMPARE(f.messages.shown.size(), size_t(1));
        QCOMPARE(f.messages.shown[0].style, 16);
        QCOMPARE(f.messages.shown[0].text, cause + QStringLiteral("\r\nLe programme va se fermer"));
        QVERIFY(!QFile::exists(f.path(QStringLiteral("Logz.ini"))));
        QVERIFY(!app.mainWindow().isLoaded());
        QCOMPARE(fileBytes(db), before);
    }

    void quitIsLoggedEvenWhenTheLogCannotBeWritten_data()
    {
        QTest::addColumn<bool>("writable");
        QTest::newRow("log written") << true;
        QTest::newRow("log cannot be written") << false;
    }
    void quitIsLoggedEvenWhenTheLogCannotBeWritten()
    {
        QFETCH(bool, writable);
        AppFixture f;
        QVERIFY(f.makeDatabase(QStringLiteral("x")));
        KeyroviaApp& app = f.start();
        if (!writable) // a folder in the log's place: the log cannot be written
            QVERIFY(QDir(f.dir.path()).mkdir(QStringLiteral("Logz.ini")));
        QTest::mouseClick(app.gate().cmdQuit(), Qt::LeftButton);
        QVERIFY(!app.gate().isLoaded());
        QCOMPARE(f.instance.currentWindow(), nullptr); // nothing left: a later start runs instead
        QCOMPARE(f.programEnded, 1);
        QCOMPARE(f.process.ended, 0);
        if (writable) {
            QCOMPARE(QString::fromLocal8Bit(fileBytes(f.path(QStringLiteral("Logz.ini")))),
                     gateLeftEntry(f.clock.time) + QStringLiteral("\r\n"));
        }
    }

    void logEntryLayout()
    {
        const QDateTime t(QDate(2026, 3, 4), QTime(7, 8, 9));
        const QString month = QLocale::system().monthName(3, QLocale::LongFormat);
        QVERIFY(gateLeftEntry(t).startsWith(QStringLiteral("Il a Ouvert Le Prog Sans Metre De MDP Le : 4 ") +
                                            month + QStringLiteral("  a : ")));
        QVERIFY(gateLeftEntry(t).endsWith(QStringLiteral(":08:09\r\n")));
        const QString refused = refusedPasswordEntry(t, QStringLiteral("pw"));
        QVERIFY(refused.startsWith(QStringLiteral("Tentative d'acces Le : 4 ") + month +
                                   QStringLiteral("  a : ")));
        QVERIFY(refused.endsWith(QStringLiteral(":08:09  :  Essai Avec Le Mot de Pass : pw\r\n")));
    }

    void secondEntryGoesBelowTheFirst()
    {
        AppFixture f;
        QVERIFY(AppendLogEntry(QStringLiteral("one, two\r\n")));
        QVERIFY(AppendLogEntry(QStringLiteral("three\r\n")));
        // The comma splits on reading back: the classic layout of this log.
        QCOMPARE(fileBytes(f.path(QStringLiteral("Logz.ini"))), QByteArray("one\r\ntwo\r\nthree\r\n\r\n"));
    }

    void firstUseWithoutSettings()
    {
        AppFixture f;
        QVERIFY(f.makeDatabase());
        QVERIFY(f.addRows({{"a.example", "u", "p"}}));
        KeyroviaApp& app = f.start();
        QTRY_VERIFY(app.mainWindow().isLoaded());
        QCOMPARE(f.messages.shown.size(), size_t(1));
        QCOMPARE(f.messages.shown[0].title, QStringLiteral("Configuration"));
        MotDePassControls& c = app.mainWindow().ui();
        QVERIFY(!c.Tabblet->isTabEnabled(0));
        QCOMPARE(c.Tabblet->currentIndex(), 1);
        QCOMPARE(app.mainWindow().widget()->focusWidget(), c.txtParamMDP);
        QCOMPARE(c.lstSite->count(), 0);
        QCOMPARE(frmMotDePass::checkValue(c.chkParamVisiIE) + frmMotDePass::checkValue(c.chkParamTjsVisi) +
                     frmMotDePass::checkValue(c.chkParamRecupIE),
                 3);
        QVERIFY(!app.gate().isLoaded());
        // "Appliquer" writes the settings and gives the first tab back.
        f.messages.shown.clear();
        app.applyParameters();
        QVERIFY(c.Tabblet->isTabEnabled(0));
        QCOMPARE(c.Tabblet->currentIndex(), 0);
        QCOMPARE(c.lstSite->count(), 1);
        QCOMPARE(fileBytes(f.path(QStringLiteral("PARAM.ini"))).size(), 108);
    }

    // Whatever PARAM.ini says (even when it is missing), the damage is told first.
    void damagedDatabaseIsToldBeforeFirstUse_data()
    {
        QTest::addColumn<QStringList>("statements");
        QTest::addColumn<QString>("cause");
        QTest::addColumn<bool>("settings");
        for (const bool settings : {true, false}) {
            const char* param = settings ? "" : ", no PARAM.ini";
            QTest::addRow("tblSite missing%s", param)
                << QStringList{"DROP TABLE tblSite"} << "ne contient pas la table tblSite." << settings;
            QTest::addRow("column lost%s", param)
                << QStringList{"DROP TABLE tblSite", "CREATE TABLE tblSite (Site TEXT, User TEXT)"}
                << "est incomplet : il manque une colonne à la table tblSite." << settings;
            // Another table's pages, which the select never reads, are damaged below.
            QTest::addRow("integrity check fails%s", param)
                << QStringList{"CREATE TABLE other (x TEXT)",
                               "INSERT INTO other VALUES (hex(randomblob(3000)))",
                               "INSERT INTO other SELECT x FROM other",
                               "INSERT INTO other SELECT x FROM other"}
                << "est endommagé." << settings;
        }
    }
    void damagedDatabaseIsToldBeforeFirstUse()
    {
        QFETCH(QStringList, statements);
        QFETCH(QString, cause);
        QFETCH(bool, settings);
        AppFixture f;
        QVERIFY(f.makeDatabase());
        QVERIFY(f.addRows({{"a.example", "u", "p"}}));
        const QString db = f.path(QStringLiteral("BDMDP.MDB"));
        std::vector<DbRow> root;
        {
            std::unique_ptr<IDbConnection> c;
            QVERIFY(f.engine.open(db, false, QStringLiteral(";pwd="), c).ok());
            for (const QString& statement : statements)
                QVERIFY(c->execute(statement).ok());
            QVERIFY(c->select(QStringLiteral("SELECT rootpage FROM sqlite_master WHERE name='other'"), root)
                        .ok());
        }
        if (!root.empty()) { // the first page of the other table becomes garbage
            QFile file(db);
            QVERIFY(file.open(QIODevice::ReadWrite));
            const QByteArray header = file.read(18);
            const int page = uchar(header[16]) << 8 | uchar(header[17]);
            QVERIFY(file.seek(qint64(root[0][0]->toInt() - 1) * page));
            file.write(QByteArray(page, '\x5a'));
        }
        if (settings)
            f.writeParam(0, 0, 0);
        KeyroviaApp& app = f.start();
        QTRY_VERIFY(app.mainWindow().isLoaded());
        QCOMPARE(f.messages.shown.size(), size_t(2));
        QCOMPARE(f.messages.shown[0].style, 16);
        QVERIFY2(f.messages.shown[0].text.contains(cause), qPrintable(f.messages.shown[0].text));
        QCOMPARE(f.messages.shown[1].title, QStringLiteral("Configuration")); // then the first-use flow
        QCOMPARE(app.mainWindow().ui().lstSite->count(), 0);
    }

    void greyedVisibleLeavesMainWindowNotTopmost()
    {
        AppFixture f;
        QVERIFY(f.makeDatabase());
        f.writeParam(2, 2, 2);
        KeyroviaApp& app = f.start();
        QTRY_VERIFY(app.mainWindow().isLoaded());
        QVERIFY(!IsAlwaysOnTop(app.mainWindow().widget()));
        QCOMPARE(frmMotDePass::checkValue(app.mainWindow().ui().chkParamTjsVisi), 2);
    }
};

QTEST_MAIN(TestGate)
#include "tst_gate.moc"
