// The main window: list and details, clipboard, masking, adding and deleting,
// the access log box.
#include "AppFixture.h"
#include "ui/WindowOrder.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>

using namespace kr;
using namespace kr::test;

class TestMainWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<AppFixture> f;
    KeyroviaApp* app = nullptr;
    MotDePassControls* c = nullptr;

    void open(const std::vector<SiteRecord>& rows, const QString& password = {})
    {
        f = std::make_unique<AppFixture>();
        QVERIFY(f->openMain(rows, 0, password));
        app = f->app.get();
        c = &f->ui();
    }

private slots:
    void cleanup()
    {
        f.reset();
        app = nullptr;
        c = nullptr;
    }

    void layoutAndDesignState()
    {
        open({});
        QWidget* w = app->mainWindow().widget();
        for (QLineEdit* box : {c->txtInfoMDP, c->txtAddMDP, c->txtParamMDP})
            QCOMPARE(box->echoMode(), QLineEdit::Password);
        QCOMPARE(c->timzAutoLoig->interval(), 2000);
        QCOMPARE(w->minimumSize(), w->maximumSize()); // fixed border
        // Each "*" box unmasks its own password only.
        QTest::mouseClick(c->chkInfoEtoile, Qt::LeftButton);
        QCOMPARE(c->txtInfoMDP->echoMode(), QLineEdit::Normal);
        QTest::mouseClick(c->chkInfoEtoile, Qt::LeftButton);
        QTest::mouseClick(c->chkAddEtoile, Qt::LeftButton);
        QCOMPARE(c->txtAddMDP->echoMode(), QLineEdit::Normal);
        QCOMPARE(c->txtInfoMDP->echoMode(), QLineEdit::Password);
    }

    void clickShowsExactCaseMatch()
    {
        open({{"Site.example", "Upper", "P1"}, {"site.example", "lower", "{}'\"é"}});
        QCOMPARE(listTexts(c->lstSite), (QStringList{"Site.example", "site.example"}));
        clickRow(c->lstSite, 1);
        QCOMPARE(c->txtInfoSite->text(), QStringLiteral("site.example"));
        QCOMPARE(c->txtInfoUser->text(), QStringLiteral("lower"));
        QCOMPARE(c->txtInfoMDP->text(), QStringLiteral("{}'\"é"));
        // Selecting by name ignores letter case and takes the first equal entry.
        app->mainWindow().SelectSiteInList(QStringLiteral("SITE.EXAMPLE"));
        QCOMPARE(c->lstSite->currentRow(), 0);
        QCOMPARE(c->txtInfoUser->text(), QStringLiteral("Upper"));
        app->mainWindow().SelectSiteInList(QStringLiteral("absent"));
        QCOMPARE(c->lstSite->currentRow(), 0);
        app->mainWindow().ShowSiteDetails(QStringLiteral("SITE.example")); // no exact match: unchanged
        QCOMPARE(c->txtInfoUser->text(), QStringLiteral("Upper"));
    }

    void clipboardButtons_data()
    {
        QTest::addColumn<QString>("copiedSince"); // empty: nothing copied since
        QTest::newRow("the password is taken back") << QString();
        QTest::newRow("the user's own copy stays") << QStringLiteral("notes");
    }
    void clipboardButtons()
    {
        QFETCH(QString, copiedSince);
        open({{"a", "jean", "p@ss word"}});
        clickRow(c->lstSite, 0);
        ClipboardGuard& guard = app->mainWindow().clipboardGuard();
        QCOMPARE(guard.delayMs(), 10000);
        guard.setDelayMs(30); // the 10 s of a real run, shortened
        f->clipboard.content = QStringLiteral("old");
        QTest::mouseClick(c->cmdInfoCopyPass, Qt::LeftButton);
        QCOMPARE(f->clipboard.content, std::optional<QString>(QStringLiteral("p@ss word")));
        QVERIFY(f->clipboard.secret);
        QCOMPARE(f->clipboard.clears, 1);
        QVERIFY(guard.isArmed());
        if (!copiedSince.isEmpty())
            f->clipboard.setText(copiedSince, false);
        QTRY_VERIFY(!guard.isArmed());
        QCOMPARE(f->clipboard.content,
                 copiedSince.isEmpty() ? std::optional<QString>() : std::optional<QString>(copiedSince));
        QTest::mouseClick(c->cmdInfoCopyUSER, Qt::LeftButton);
        QCOMPARE(f->clipboard.content, std::optional<QString>(QStringLiteral("jean")));
        QVERIFY(!f->clipboard.secret); // a user name is plain text, and arms nothing
        QVERIFY(!guard.isArmed());
        QTest::mouseClick(c->cmdAddCopyPass, Qt::LeftButton);
        QCOMPARE(c->txtAddMDP->text(), QStringLiteral("jean"));
        c->txtAddUser->setText(QStringLiteral("was here"));
        f->clipboard.content.reset(); // a clipboard without text
        QTest::mouseClick(c->cmdAddCopyUser, Qt::LeftButton);
        QVERIFY(c->txtAddUser->text().isEmpty());
    }

    // "Appliquer" after a change that failed and was rolled back: ProgramPassword,
    // the message and the password box say the old one opens the file; the save goes on.
    void failedPasswordChangeStaysTrue()
    {
        open({}, QStringLiteral("old"));
        c->txtParamMDP->setText(QStringLiteral("new"));
        f->engine.setFaultHook(
            [](SqlCipherEngine::ChangeStep at) { return at == SqlCipherEngine::ChangeStep::Confirm; });
        f->messages.shown.clear();
        app->applyParameters();
        QCOMPARE(app->store().programPassword(), QStringLiteral("old"));
        QCOMPARE(c->txtParamMDP->text(), QStringLiteral("old"));
        QCOMPARE(f->titles(), (QStringList{"16 ", "64 Configuration Enregistrer'"})); // the list still loads
        QVERIFY(
            f->messages.shown.front().text.contains(QStringLiteral("L'ancien mot de passe reste valable.")));
    }

    void addingMessages_data()
    {
        QTest::addColumn<QString>("site");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stored"); // empty: nothing stored
        const QString missing = QStringLiteral("Érreur, Manque D'Information");
        const QString added = QStringLiteral("Ajout Avec Succes");
        const QString tail = QStringLiteral("\r\nA Bien été Ajouter");
        textRow("duplicate", {"dup.example", "u", "Site Web Existant", "Le Site Web Existe Deja", ""});
        textRow("empty site first", {"", "", missing, "Pas De Site Web Ou Nom", ""});
        textRow("empty user", {"new.example", "", missing, "Pas de Nom D'utilisateur", ""});
        textRow("www alone", {"www.", "u", missing, "Pas De Site Web Ou Nom", ""});
        textRow("WWW removed", {"WWW.New.example", "u", added, "New.example" + tail, "New.example"});
        textRow("Www kept", {"Www.new.example", "u", added, "Www.new.example" + tail, "Www.new.example"});
        textRow("case differs: not a duplicate",
                {"DUP.example", "u", added, "DUP.example" + tail, "DUP.example"});
        textRow("duplicate slips through with www",
                {"www.dup.example", "u", added, "dup.example" + tail, "dup.example"});
    }
    void addingMessages()
    {
        QFETCH(QString, site);
        QFETCH(QString, user);
        QFETCH(QString, title);
        QFETCH(QString, text);
        QFETCH(QString, stored);
        open({{"dup.example", "u0", "p0"}});
        // Enter goes from box to box; in the password box (left empty: accepted) it adds.
        c->txtAddSite->setText(site);
        QTest::keyClick(c->txtAddSite, Qt::Key_Return);
        QVERIFY(c->txtAddUser->hasFocus());
        c->txtAddUser->setText(user);
        QTest::keyClick(c->txtAddUser, Qt::Key_Return);
        QVERIFY(c->txtAddMDP->hasFocus());
        QTest::keyClick(c->txtAddMDP, Qt::Key_Return);
        QCOMPARE(f->titles(), QStringList{QString::number(stored.isEmpty() ? 16 : 64) + ' ' + title});
        QCOMPARE(f->messages.shown[0].text, text);
        if (stored.isEmpty()) {
            QCOMPARE(c->lstSite->count(), 1);
            QCOMPARE(c->txtAddSite->text(), site); // the typed texts stay
            return;
        }
        QVERIFY(listTexts(c->lstSite).contains(stored));
        QCOMPARE(c->lstSite->currentRow(), -1);
        QVERIFY(c->txtAddSite->text().isEmpty() && c->txtAddUser->text().isEmpty() &&
                c->txtAddMDP->text().isEmpty());
        QVERIFY(c->txtAddSite->hasFocus());
        const std::vector<SiteRecord>& table = app->store().siteTable();
        QCOMPARE(table.size(), size_t(2));
        QVERIFY(std::find(table.begin(), table.end(), SiteRecord{stored, user, QString()}) != table.end());
    }

    void deleting_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("no selection") << -1 << true << QStringList{"quillmark.example", "twice", "twice"};
        QTest::newRow("answer No") << 1 << false << QStringList{"quillmark.example", "twice", "twice"};
        QTest::newRow("both rows of a site") << 1 << true << QStringList{"quillmark.example"};
        QTest::newRow("vendor entry stays")
            << 0 << true << QStringList{"quillmark.example", "twice", "twice"};
    }
    void deleting()
    {
        QFETCH(int, row);
        QFETCH(bool, yes);
        QFETCH(QStringList, left);
        open({{"twice", "a", "1"}, {"twice", "b", "2"}, {"quillmark.example", "v", "3"}});
        const QString selected = row >= 0 ? c->lstSite->text(row) : QString();
        if (row >= 0)
            clickRow(c->lstSite, row);
        f->messages.answers.push_back(yes ? MsgAnswer::Yes : MsgAnswer::No);
        QTest::mouseClick(c->cmdDellSite, Qt::LeftButton);
        QCOMPARE(listTexts(c->lstSite), left);
        if (row < 0) {
            QVERIFY(f->messages.shown.empty());
            return;
        }
        QCOMPARE(f->titles(), QStringList{QStringLiteral("52 T Sur ?")});
        QCOMPARE(f->messages.shown[0].text, QStringLiteral("être Vous sur de supprimer :\r\n") + selected);
        const bool deleted = left.size() == 1;
        QCOMPARE(c->txtInfoSite->text().isEmpty(), deleted);
        QCOMPARE(c->txtInfoMDP->text().isEmpty(), deleted);
        if (deleted)
            QCOMPARE(c->lstSite->currentRow(), -1);
    }

    void logBoxAndErasing()
    {
        QString lines;
        for (int i = 0; i < 60; ++i)
            lines += QStringLiteral("Tentative d'acces Le : %1\r\n").arg(i);
        f = std::make_unique<AppFixture>();
        const QString log = f->path(QStringLiteral("Logz.ini"));
        QVERIFY(writeFile(log, (lines + QStringLiteral("\r\n")).toLocal8Bit()));
        QVERIFY(f->openMain());
        app = f->app.get();
        c = &f->ui();
        QCOMPARE(app->mainWindow().logText(), lines);
        QVERIFY(c->txtLogz->isReadOnly());
        QCOMPARE(c->txtLogz->textCursor().position(), c->txtLogz->toPlainText().size()); // at its end
        // Long entries wrap at the box's width: a vertical scroll bar only.
        const QString wide = QStringLiteral("Tentative d'acces Le : %1\r\n").arg(QString(150, 'x'));
        app->mainWindow().setLogText(wide);
        c->Tabblet->setCurrentIndex(1);
        QVERIFY(QTest::qWaitForWindowExposed(app->mainWindow().widget()));
        QCOMPARE(c->txtLogz->horizontalScrollBar()->maximum(), 0);

        f->messages.answers = {MsgAnswer::No};
        QTest::mouseClick(c->cmdLogzEfface, Qt::LeftButton);
        QCOMPARE(f->messages.shown.back().text, QStringLiteral("être Vous sur de supprimer le Logz ?"));
        QCOMPARE(app->mainWindow().logText(), wide);
        QTest::mouseClick(c->cmdLogzEfface, Qt::LeftButton); // Yes
        QVERIFY(app->mainWindow().logText().isEmpty());
        QCOMPARE(fileBytes(log), QByteArray("\r\n"));
        // An empty box asks nothing.
        f->messages.shown.clear();
        QTest::mouseClick(c->cmdLogzEfface, Qt::LeftButton);
        QVERIFY(f->messages.shown.empty());

        // The file cannot be replaced (a folder stands in its place): the box keeps the log.
        app->mainWindow().setLogText(lines);
        QVERIFY(QFile::remove(log) && QDir(f->dir.path()).mkdir(QStringLiteral("Logz.ini")));
        QTest::mouseClick(c->cmdLogzEfface, Qt::LeftButton);
        QCOMPARE(app->mainWindow().logText(), lines);
        QCOMPARE(f->messages.shown.back().style, 16);
    }

    void linksAndUnload()
    {
        open({{"a.example", "u", "p"}});
        // Only a left click on the label is a click on the link.
        QTest::mouseClick(c->lblSite, Qt::RightButton);
        QTest::mouseClick(c->lblSite, Qt::MiddleButton);
        QTest::mousePress(c->lblSite, Qt::LeftButton);
        QTest::mouseRelease(c->lblSite, Qt::LeftButton, {}, QPoint(-20, -20)); // let go outside
        QVERIFY(f->shell.opened.isEmpty());
        QTest::mouseClick(c->lblSite, Qt::LeftButton);
        QCOMPARE(f->shell.opened, QStringList{QStringLiteral("http://quillmark.example/")});
        QTest::mouseClick(c->cmdLunch, Qt::LeftButton); // no login shown: nothing
        QCOMPARE(f->shell.opened.size(), 1);
        clickRow(c->lstSite, 0);
        QTest::mouseClick(c->cmdLunch, Qt::LeftButton);
        QCOMPARE(f->shell.opened.last(), QStringLiteral("http://a.example"));
        c->txtInfoSite->setText(QStringLiteral("https://already.test"));
        QTest::mouseClick(c->cmdLunch, Qt::LeftButton);
        QCOMPARE(f->shell.opened.last(), QStringLiteral("http://https://already.test"));
        // Unloading the main window clears its topmost state; the program ends.
        SetAlwaysOnTop(app->mainWindow().widget());
        QWidget* w = app->mainWindow().widget();
        app->mainWindow().Unload();
        QVERIFY(!IsAlwaysOnTop(w));
        QTRY_COMPARE(f->programEnded, 1); // once the update check, without network here, has gone too
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
