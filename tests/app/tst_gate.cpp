// The master-password gate and the way into the main window, on the doubles.
#include "AppFixture.h"
#include "app/AccessLog.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include <unistd.h>

using namespace kr;
using namespace kr::test;

class TestGate : public QObject {
    Q_OBJECT
private slots:
    void outcomes_data()
    {
        QTest::addColumn<QString>("stored");  // the database's password
        QTest::addColumn<QString>("damage");  // done to the file before the start
        QTest::addColumn<QString>("typed");   // then Enter in the gate
        QTest::addColumn<QString>("outcome"); // "main", "waits", "logged" or the message shown
        textRow("no password: passes at once", {"", "", "", "main"});
        textRow("right, with quotes braces accents", {"a'b\"c{d}é€", "", "a'b\"c{d}é€", "main"});
        textRow("empty Enter waits", {"clé", "", "", "waits"});
        textRow("wrong: logged without a message", {"s3cret é", "", "S3cret é", "logged"});
        textRow("garbage file", {"", "garbage", "try", "logged"});
        const QString end = QStringLiteral("\r\nLe programme va se fermer");
        textRow("missing database",
                {"", "missing", "", "Le fichier de base de donner ( BDMDP.MDB ) est innacésible" + end});
        // The right password on a file that cannot be used: told, never logged.
        const QString file = QStringLiteral("Le fichier de base de donnée ( BDMDP.MDB ) ");
        textRow("locked",
                {"s3cret é", "locked", "s3cret é", file + "est verrouillé par un autre programme." + end});
        textRow("truncated", {"s3cret é", "truncated", "s3cret é", file + "est endommagé." + end});
        textRow("unreadable",
                {"s3cret é", "unreadable", "s3cret é", file + "ne peut pas être lu : accès refusé." + end});
        // SQLCipher takes a damaged first page for a wrong key; the other pages tell.
        textRow("first page damaged", {"s3cret é", "100", "s3cret é", file + "est endommagé." + end});
        // A salt that no version writes; an earlier version's random salt is never taken for one.
        textRow("salt byte damaged", {"s3cret é", "3", "s3cret é", file + "est endommagé." + end});
        textRow("first page zeroed", {"s3cret é", "zero", "s3cret é", file + "est endommagé." + end});
        textRow("no memory for the key",
                {"s3cret é", "memory", "s3cret é",
                 "Mémoire insuffisante : la clé du fichier de base de donnée ( BDMDP.MDB ) demande 64 Mo "
                 "de mémoire libre. Fermez d'autres programmes puis réessayez." +
                     end});
    }
    void outcomes()
    {
        QFETCH(QString, stored);
        QFETCH(QString, damage);
        QFETCH(QString, typed);
        QFETCH(QString, outcome);
        if (damage == QLatin1String("unreadable") && ::geteuid() == 0)
            QSKIP("mode 000 does not stop root");
        AppFixture f;
        const QString db = f.path(QStringLiteral("BDMDP.MDB"));
        QVERIFY(damage == QLatin1String("missing") || f.makeDatabase(stored));
        f.writeParam(0, 0, 0);
        SqlCipherEngine otherProcess{f.keys};
        std::unique_ptr<IDbConnection> holder;
        if (damage == QLatin1String("locked"))
            QVERIFY(otherProcess.open(db, true, QStringLiteral(";pwd=") + stored, holder).ok());
        else if (damage == QLatin1String("truncated"))
            QVERIFY(QFile::resize(db, 700));
        else if (damage == QLatin1String("unreadable"))
            QVERIFY(QFile::setPermissions(db, {}));
        else if (damage == QLatin1String("memory"))
            f.keys.outOfMemory = true;
        else if (damage == QLatin1String("garbage"))
            QVERIFY(writeFile(db, QByteArray(4096, '\x5a')));
        f.engine.forgetKeys(); // the gate derives as at a start
        QByteArray before = fileBytes(db);
        if (damage == QLatin1String("zero"))
            QVERIFY(writeFile(db, before.replace(0, 1024, QByteArray(1024, '\0'))));
        if (damage.toInt() > 0) {
            before[damage.toInt()] = char(~before[damage.toInt()]);
            QVERIFY(writeFile(db, before));
        }
        KeyroviaApp& app = f.start();
        QCOMPARE(f.instance.claimedDir, f.dir.path() + QLatin1Char('/'));
        if (!stored.isEmpty() || damage == QLatin1String("garbage")) { // the gate waits for typing
            QVERIFY(f.messages.shown.empty());                         // the silent first test stays silent
            app.gate().txtMdp()->setText(typed);
            QTest::keyClick(app.gate().txtMdp(), Qt::Key_Return);
        }
        const bool entered = outcome == QLatin1String("main");
        const bool waits = outcome == QLatin1String("waits");
        if (!entered && !waits) // ending: the typed characters are overwritten where they lie
            QCOMPARE(typed, QString(typed.size(), QChar()));
        QTRY_COMPARE(app.mainWindow().isLoaded(), entered);
        QCOMPARE(f.process.ended, entered || waits ? 0 : 1);
        if (entered || waits) // what a later start brings up
            QCOMPARE(f.instance.currentWindow(), entered ? app.mainWindow().widget() : app.gate().widget());
        if (entered) {
            QCOMPARE(app.store().programPassword(), typed);
            QCOMPARE(app.mainWindow().ui().txtParamMDP->text(), typed);
        }
        const bool told = !entered && !waits && outcome != QLatin1String("logged");
        QCOMPARE(f.messages.shown.size(), size_t(told ? 1 : 0));
        if (told) {
            QCOMPARE(f.messages.shown[0].style, 16);
            QCOMPARE(f.messages.shown[0].text, outcome);
        }
        const bool logged = outcome == QLatin1String("logged");
        const QString log = f.path(QStringLiteral("Logz.ini"));
        QCOMPARE(QString::fromLocal8Bit(fileBytes(log)),
                 logged ? refusedPasswordEntry(f.clock.time) + "\r\n" : QString());
        QCOMPARE(fileMode(log), logged ? 0600 : -1); // the user's alone
        QCOMPARE(fileBytes(db), before);             // never touched
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
        const QString log = f.path(QStringLiteral("Logz.ini"));
        if (!writable) // a folder in the log's place: the log cannot be written
            QVERIFY(QDir(f.dir.path()).mkdir(QStringLiteral("Logz.ini")));
        else // an earlier entry stays above; its comma splits on reading back
            QVERIFY(writeFile(log, "one, two\r\n\r\n"));
        QTest::mouseClick(app.gate().cmdQuit(), Qt::LeftButton);
        QVERIFY(!app.gate().isLoaded());
        QCOMPARE(f.instance.currentWindow(), nullptr); // nothing left: a later start runs instead
        QCOMPARE(f.programEnded, 1);
        QCOMPARE(f.process.ended, 0);
        if (writable)
            QCOMPARE(QString::fromLocal8Bit(fileBytes(log)),
                     "one\r\ntwo\r\n" + gateLeftEntry(f.clock.time) + "\r\n");
    }

    void logEntries()
    {
        const QDateTime t(QDate(2026, 3, 4), QTime(7, 8, 9));
        const QString when = "4 " + QLocale::system().monthName(3, QLocale::LongFormat) + "  a : ";
        QVERIFY(gateLeftEntry(t).startsWith("Il a Ouvert Le Prog Sans Metre De MDP Le : " + when));
        QVERIFY(gateLeftEntry(t).endsWith(QStringLiteral(":08:09\r\n")));
        const QString refused = refusedPasswordEntry(t);
        QVERIFY(refused.startsWith("Tentative d'acces Le : " + when));
        QVERIFY(refused.endsWith(QStringLiteral(":08:09  :  Essai Avec Le Mot de Pass : ********\r\n")));
    }

    // Without settings the main window opens on "Configuration" alone; a damaged
    // database is told first, whatever PARAM.ini says (even when it is missing).
    void firstUse_data()
    {
        QTest::addColumn<QStringList>("statements");
        QTest::addColumn<QString>("cause"); // empty: a sound database
        QTest::addColumn<bool>("settings");
        QTest::addRow("no PARAM.ini") << QStringList() << QString() << false;
        QTest::addRow("tblSite missing")
            << QStringList{"DROP TABLE tblSite"} << "ne contient pas la table tblSite." << true;
        QTest::addRow("column lost, no PARAM.ini")
            << QStringList{"DROP TABLE tblSite", "CREATE TABLE tblSite (Site TEXT, User TEXT)"}
            << "est incomplet : il manque une colonne à la table tblSite." << false;
        // Another table's pages, which the select never reads, are damaged below.
        const QStringList other{
            "CREATE TABLE other (x TEXT)", "INSERT INTO other VALUES (hex(randomblob(3000)))",
            "INSERT INTO other SELECT x FROM other", "INSERT INTO other SELECT x FROM other"};
        QTest::addRow("integrity check fails") << other << "est endommagé." << true;
    }
    void firstUse()
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
        QCOMPARE(f.titles().size(), cause.isEmpty() ? 1 : 2);
        QVERIFY2(f.messages.shown[0].text.contains(cause), qPrintable(f.messages.shown[0].text));
        QCOMPARE(f.titles().constLast(), QStringLiteral("64 Configuration"));
        MotDePassControls& c = f.ui();
        QVERIFY(!c.Tabblet->isTabEnabled(0));
        QCOMPARE(c.Tabblet->currentIndex(), 1);
        QCOMPARE(app.mainWindow().widget()->focusWidget(), c.txtParamMDP);
        QCOMPARE(c.lstSite->count(), 0);
        QVERIFY(!app.gate().isLoaded());
        if (!cause.isEmpty()) {
            QCOMPARE(f.messages.shown[0].style, 16);
            return;
        }
        // "Appliquer" writes the settings, all ticked, and gives the first tab back.
        app.applyParameters();
        QVERIFY(c.Tabblet->isTabEnabled(0));
        QCOMPARE(c.Tabblet->currentIndex(), 0);
        QCOMPARE(c.lstSite->count(), 1);
        QCOMPARE(fileBytes(f.path(QStringLiteral("PARAM.ini"))), paramIni(1, 1, 1));
    }
};

QTEST_MAIN(TestGate)
#include "tst_gate.moc"
