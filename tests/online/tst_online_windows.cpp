// The update window and the suggestion window inside the whole program, on
// the test doubles with a scripted network.
#include "AppFixture.h"
#include "TcpDouble.h"
#include "browser/frmAddIe.h"
#include "browser/frmListIcon.h"
#include "online/Ajour.h"
#include "online/SuggestText.h"
#include "online/UpdateCheck.h"
#include "online/frmSuggest.h"
#include "ui/WindowOrder.h"

#include <QClipboard>
#include <QLineEdit>

using namespace kr;
using namespace kr::test;

namespace {

const QByteArray kNewer = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\nVer=1.2=EndVer\r\n"
                          "Info=Ligne 1\r\nLigne 2=EndInfo\r\nFIN=1=FIN\r\n";

QString textOf(const QWidget* w)
{
    return w->property(w->inherits("QPlainTextEdit") ? "plainText" : "text").toString();
}

} // namespace

class TestOnlineWindows : public QObject {
    Q_OBJECT

    std::unique_ptr<AppFixture> fx;
    std::unique_ptr<ScriptedTcpFactory> tcp;

    ScriptedTcpClient* check() { return tcp->clients.front(); }
    // The last message box: style, title, text.
    using Box = std::tuple<int, QString, QString>;
    Box lastBox()
    {
        const ShownMessage& m = fx->messages.shown.back();
        return {m.style, m.title, m.text};
    }

private slots:
    void init()
    {
        fx = std::make_unique<AppFixture>();
        tcp = std::make_unique<ScriptedTcpFactory>();
        fx->platform.tcp = tcp.get();
        QVERIFY(fx->makeDatabase());
        fx->writeParam(0, 0, 0);
    }
    void cleanup()
    {
        fx.reset();
        tcp.reset();
    }

    void checkDecidesOnlyAtTheClose_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("pieceSize");
        QTest::addColumn<int>("failure"); // 1: socket error, 2: failing read, 3: too long
        QTest::newRow("newer, one byte at a time") << kNewer << 1 << 0;
        QTest::newRow("current") << QByteArray("Ver=1.1.4=EndVer FIN=1=FIN") << 3 << 0;
        // Failures end the check silently; a 50 MB reply is not read to its end.
        QTest::newRow("socket error") << QByteArray() << 1 << 1;
        QTest::newRow("read failure") << QByteArray("FIN=1=FIN") << 9 << 2;
        QTest::newRow("50 MB reply") << QByteArray(50 << 20, 'x') << (4 << 20) << 3;
    }
    void checkDecidesOnlyAtTheClose()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, pieceSize);
        QFETCH(int, failure);
        KeyroviaApp& app = fx->start();
        // The main window's load starts the hidden check.
        QVERIFY(app.updateCheck().isLoaded() && !app.updateCheck().widget()->isVisible());
        ScriptedTcpClient* c = check();
        QCOMPARE(c->host, QStringLiteral("quillmark.example"));
        QVERIFY(c->sent.isEmpty());
        c->connectNow();
        QCOMPARE(c->sent, versionRequest(QStringLiteral("quillmark.example")));
        c->failReads = failure == 2;
        for (qsizetype i = 0; i < reply.size(); i += pieceSize)
            c->deliver(reply.mid(i, pieceSize));
        if (failure == 1)
            c->fail();
        QCOMPARE(app.updateCheck().isLoaded(), failure == 0); // nothing decided before the close
        QVERIFY(app.mainWindow().isLoaded());
        c->peerCloses();
        QVERIFY(!c->open);
        QVERIFY(fx->messages.shown.empty());
        const bool mandatory = reply == kNewer;
        QCOMPARE(app.mainWindow().isLoaded(), !mandatory);
        QCOMPARE(app.updateCheck().isLoaded() && app.updateCheck().widget()->isVisible(), mandatory);
    }

    // A newer version closes every other window and takes over.
    void updateWindowTakesOver()
    {
        KeyroviaApp& app = fx->start();
        app.showAbout();
        app.addIe().Show();
        app.listIcon().Load();
        app.showSuggestion();
        frmSuggest& s = app.suggestion();
        const auto* label = s.widget()->findChild<QLabel*>(QStringLiteral("lblSiVous"));
        QVERIFY(label->text().contains("complet.. !" + QString(58, ' ') + "AUCUNE"));
        QTest::mouseClick(s.lblSite(), Qt::LeftButton);
        QCOMPARE(fx->shell.opened, QStringList{QStringLiteral("http://quillmark.example")});
        check()->answer(kNewer);
        Ajour& a = app.updateCheck();
        QCOMPARE(FormRegistry::instance().loadedCount(), 1); // every other window closed
        QVERIFY(a.isLoaded());
        QCOMPARE(a.lblNewVer()->text(), QStringLiteral("Nouvelle Verssion : 1.2")); // from the reply
        QCOMPARE(a.Text2()->toPlainText(), QStringLiteral("Ligne 1\nLigne 2"));
        // It blinks, red and black.
        QVERIFY(a.Timer2()->isActive());
        for (const QColor& back : {QColor(255, 0, 0), QColor(0, 0, 0)}) {
            a.Timer2_Timer();
            for (const QWidget* w : {a.widget(), static_cast<QWidget*>(a.fraMise())})
                QCOMPARE(w->palette().color(QPalette::Window), back);
        }
        // Its picture buttons: help; download or site end the program.
        const struct {
            QWidget* button;
            QString text, opened;
            int ended;
        } clicks[] = {{a.ImaAide(),
                       "Vous Utiliser Actuellement La Verssion : 1.1.0\r\nLa Verssion : 1.2 Est Maintenan "
                       "Disponible\r\n"
                       "Vous Devez Installer La Dernierre Version\r\nPour Continuer A Utiliser Ce Programme.",
                       "http://quillmark.example", 0},
                      {a.ImaDownload(), "Le Téléchargement Va Démarer\r\nEt Le Programme Va Se Fermer",
                       "http://quillmark.example/download.php?ID=10", 1},
                      {a.ImaSiteWeb(), "Le Site Web Va Souvrir\r\nEt Le Programme Va Se Fermer",
                       "http://quillmark.example/page.php?page=92", 2}};
        for (const auto& [button, text, opened, ended] : clicks) {
            QTest::mouseClick(button, Qt::LeftButton);
            const QString title = button == a.ImaAide() ? "Nouvelle Verssion" : "";
            QCOMPARE(lastBox(), Box(64, title, text));
            QCOMPARE(std::tuple(fx->shell.opened.last(), fx->process.ended), std::tuple(opened, ended));
        }
    }

    void silentServerGetsLimitedTimeOnceAlone()
    {
        KeyroviaApp& app = fx->start();
        app.updateCheck().setAloneGraceMs(400);
        check()->connectNow();
        QTest::qWait(700);
        QVERIFY(app.updateCheck().isLoaded()); // the main window is open: no limit
        app.mainWindow().Unload();
        QTest::qWait(150);
        QCOMPARE(fx->programEnded, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!app.updateCheck().isLoaded(), 1500);
        QCOMPARE(fx->programEnded, 1);
        QVERIFY(!check()->open);
        QVERIFY(fx->messages.shown.empty());
    }

    void gateQuitUnloadsTheCheck()
    {
        QVERIFY(QFile::remove(fx->path(QStringLiteral("BDMDP.MDB"))));
        QVERIFY(fx->makeDatabase(QStringLiteral("secret")));
        KeyroviaApp& app = fx->start();
        app.updateCheck().Load();
        app.gate().cmdQuit_Click();
        QVERIFY(!app.updateCheck().isLoaded());
        QVERIFY(!check()->open);
    }

    // Each box filters typed keys with its own set, lets Delete and Shift+Delete
    // work, filters then limits what an input method commits, and stops typed
    // keys at its limit.
    void keyboardInTheThreeBoxes()
    {
        fx->start().showSuggestion();
        frmSuggest& s = fx->app->suggestion();
        s.txtInfo()->setText(QString());
        const struct {
            QWidget* box;
            QString typed, kept;
            int limit;
        } rows[] = {{s.txtName(), "O'Neil, J. : 7", "O'Neil, J.  7", 40},
                    {s.txtEmail(), "jean,x@mail.fr", "jeanx@mail.fr", 40},
                    {s.txtInfo(), "ok, !x\b", "ok, ", 1000}};
        for (const auto& r : rows) {
            QTest::sendKeyEvent(QTest::Press, r.box, Qt::Key_unknown, "é", Qt::NoModifier);
            QTest::keyClicks(r.box, r.typed);
            QCOMPARE(textOf(r.box), r.kept);
            for (const auto& [k, m] : {std::pair{Qt::Key_Home, Qt::NoModifier},
                                       {Qt::Key_Delete, Qt::NoModifier},
                                       {Qt::Key_End, Qt::NoModifier},
                                       {Qt::Key_Left, Qt::ShiftModifier},
                                       {Qt::Key_Delete, Qt::ShiftModifier}})
                QTest::keyClick(r.box, k, m);        // Delete takes the first, Shift+Delete cuts the last
            QInputMethodEvent commit(QString(), {}); // a dead key or compose
            commit.setCommitString("é:a" + QString(999, 'a'));
            QApplication::sendEvent(r.box, &commit);
            QTest::keyClick(r.box, Qt::Key_A);
            QCOMPARE(textOf(r.box).size(), r.limit);
            QVERIFY(textOf(r.box).startsWith(r.kept.mid(1).chopped(1) + "aa"));
        }
        // Enter moves on; pasted text passes the keyboard's filter.
        s.widget()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(s.widget()));
        s.txtName()->setFocus();
        QTest::keyClick(s.txtName(), Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), s.txtEmail());
        QTest::keyClick(s.txtEmail(), Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), s.txtInfo());
        QGuiApplication::clipboard()->setText("a:é,%");
        s.txtName()->clear();
        QTest::keyClick(s.txtName(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(textOf(s.txtName()), "a:é,%");
    }

    // Refused before any connection, sent, failed, sent again with the header
    // again, a reply carried over, thanked; reopened and refused. While it is
    // open the main window is not topmost; after, as its setting says.
    void sendingAndReplies()
    {
        KeyroviaApp& app = fx->start();
        QWidget* main = app.mainWindow().widget();
        SetAlwaysOnTop(main);
        app.showSuggestion();
        frmSuggest& s = app.suggestion();
        QVERIFY(!IsAlwaysOnTop(main));
        s.cmdSend_Click(); // the untouched placeholder is no message
        QCOMPARE(lastBox(), Box(16, "Erreur", "Veiller Rentrer Votre Message"));
        s.txtInfo()->setText(QString(kMaxSuggestionChars + 1, 'a'));
        s.cmdSend_Click(); // beyond what the filter works on
        const QString tooLong = "Votre Message Est Trop Long.\r\nIl ne peut pas dépasser %1 caractères.";
        QCOMPARE(lastBox(), Box(16, "Erreur", tooLong.arg(kMaxSuggestionChars)));
        QCOMPARE(tcp->clients.size(), size_t(1)); // only the update check connected
        s.txtInfo()->setText(suggestPlaceholder() + "x");
        QTest::mouseClick(s.txtInfo()->viewport(), Qt::LeftButton);
        QCOMPARE(s.txtInfo()->text(), suggestPlaceholder() + "x"); // only the placeholder itself goes
        s.txtInfo()->setText(suggestPlaceholder());
        QTest::mouseClick(s.txtInfo()->viewport(), Qt::LeftButton);
        QTest::keyClicks(s.txtName(), QStringLiteral("Jean"));
        QTest::keyClicks(s.txtEmail(), QStringLiteral("j@x.fr"));
        QTest::keyClicks(s.txtInfo(), QStringLiteral("Super, programme"));
        s.cmdSend_Click();
        QCOMPARE(s.txtInfo()->text(), QStringLiteral("Nom : Jean    Email : j@x.fr\r\n\r\nSuper programme"));
        ScriptedTcpClient* c = tcp->last();
        QCOMPARE(c->host, QStringLiteral("quillmark.example"));
        c->connectNow();
        const QString message = datedMessage(fx->clock.time, QLocale::system(), s.txtInfo()->text());
        QCOMPARE(c->sent, suggestionRequest(QStringLiteral("quillmark.example"), encodeMessage(message)));
        c->fail();
        QCOMPARE(lastBox(),
                 Box(16, "", "Impossible de Rejoindre le Serveur.\r\n\r\nRecommanser Plus Tard, Désoler"));
        QTest::keyClicks(s.txtInfo(), QString(1000, 'b')); // the first send lifted the limit
        s.cmdSend_Click();
        QCOMPARE(s.txtInfo()->text(), "Nom : Jean    Email : j@x.fr\r\n\r\nNom  Jean    Email  jx.fr"
                                      "\r\n\r\nSuper programme" +
                                          QString(1000, 'b'));
        c->answer(QByteArray());
        QCOMPARE(lastBox(), Box(16, "", "Impossible d'envoiyer Votre Message\r\n\r\nLa Connetion A Fermer"));
        s.cmdSend_Click();
        c->answer("HTTP/1.0 500 Erreur\r\n\r\n"); // without the field: kept for the next attempt
        QVERIFY(s.isLoaded());
        QCOMPARE(s.SuggestReply(), QStringLiteral("HTTP/1.0 500 Erreur\r\n\r\n"));
        s.cmdSend_Click();
        frmMotDePass::setCheckValue(app.mainWindow().ui().chkParamTjsVisi, 1);
        c->answer("HTTP/1.0 200 OK\r\n\r\nMESS=SEND=ENDMESS\r\n", 26); // the field in two pieces
        QCOMPARE(lastBox(),
                 Box(48, "Merci !", "Votre commentaire A Été Envoiyer Avec Success.\r\nMerci Beaucoup.. !!"));
        QVERIFY(!s.isLoaded() && IsAlwaysOnTop(main));
        QVERIFY(s.SuggestReply().isEmpty());
        app.showSuggestion(); // reopened: design state again
        QCOMPARE(s.txtInfo()->text(), suggestPlaceholder());
        QCOMPARE(s.txtInfo()->maxLength(), qsizetype(1000));
        s.txtInfo()->setText(QStringLiteral("Salut"));
        s.cmdSend_Click();
        frmMotDePass::setCheckValue(app.mainWindow().ui().chkParamTjsVisi, 0);
        SetAlwaysOnTop(main);
        tcp->last()->answer("MESS=ECHEC=ENDMESS");
        QCOMPARE(lastBox(), Box(16, "", "Impossible d'envoiyer Votre Message\r\n"));
        QVERIFY(!s.isLoaded() && !IsAlwaysOnTop(main));
    }
};

QTEST_MAIN(TestOnlineWindows)
#include "tst_online_windows.moc"
