// The update window and the suggestion window inside the whole program, on
// the test doubles with a scripted network.
#include "AppFixture.h"
#include "TcpDouble.h"
#include "about/frmAbout.h"
#include "browser/frmAddIe.h"
#include "browser/frmListIcon.h"
#include "online/Ajour.h"
#include "online/SuggestText.h"
#include "online/UpdateCheck.h"
#include "online/frmSuggest.h"
#include "ui/LinkLabel.h"
#include "ui/WindowOrder.h"

#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>

using namespace kr;
using namespace kr::test;

namespace {

const QByteArray kNewer = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\nVer=1.2=EndVer\r\n"
                          "Info=Ligne 1\r\nLigne 2=EndInfo\r\nFIN=1=FIN\r\n";

QColor backOf(QWidget* w)
{
    return w->palette().color(QPalette::Window);
}

} // namespace

class TestOnlineWindows : public QObject {
    Q_OBJECT

    std::unique_ptr<AppFixture> fx;
    ScriptedTcpFactory* tcp = nullptr;
    std::unique_ptr<ScriptedTcpFactory> tcpOwner;

    // The program past its gate (database without password), the check connecting.
    KeyroviaApp& started()
    {
        KeyroviaApp& app = fx->start();
        return app;
    }
    ScriptedTcpClient* check() { return tcp->clients.empty() ? nullptr : tcp->clients.front(); }

private slots:
    void init()
    {
        fx = std::make_unique<AppFixture>();
        tcpOwner = std::make_unique<ScriptedTcpFactory>();
        tcp = tcpOwner.get();
        fx->platform.tcp = tcp;
        QVERIFY(fx->makeDatabase());
        fx->writeParam(0, 0, 0);
    }
    void cleanup()
    {
        fx.reset();
        tcpOwner.reset();
    }

    void mainWindowLoadStartsTheHiddenCheck()
    {
        KeyroviaApp& app = started();
        QVERIFY(app.mainWindow().isLoaded());
        QVERIFY(app.updateCheck().isLoaded());
        QVERIFY(!app.updateCheck().widget()->isVisible());
        QVERIFY(check());
        QCOMPARE(check()->host, QStringLiteral("quillmark.example"));
        QCOMPARE(check()->port, quint16(80));
        QVERIFY(check()->sent.isEmpty());
        check()->connectNow();
        QCOMPARE(check()->sent, versionRequest(QStringLiteral("quillmark.example")));
    }

    void replyDecidesOnlyAtTheClose_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("pieceSize");
        QTest::addColumn<bool>("mandatory");
        QTest::newRow("newer, one byte at a time") << kNewer << 1 << true;
        QTest::newRow("newer, markers split") << kNewer << 7 << true;
        QTest::newRow("current") << QByteArray("Ver=1.1.4=EndVer FIN=1=FIN") << 3 << false;
        QTest::newRow("lower-case end mark") << QByteArray("Ver=1.2=EndVer fin=1=fin") << 0 << false;
        QTest::newRow("empty") << QByteArray() << 0 << false;
    }
    void replyDecidesOnlyAtTheClose()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, pieceSize);
        QFETCH(bool, mandatory);
        KeyroviaApp& app = started();
        ScriptedTcpClient* c = check();
        c->connectNow();
        for (qsizetype i = 0; i < reply.size(); i += qMax(1, pieceSize ? pieceSize : int(reply.size())))
            c->deliver(reply.mid(i, pieceSize ? pieceSize : reply.size()));
        QVERIFY(app.updateCheck().isLoaded()); // nothing decided before the close
        QVERIFY(app.mainWindow().isLoaded());
        c->peerCloses();
        QCOMPARE(c->open, false);
        QVERIFY(fx->messages.shown.empty());
        if (!mandatory) {
            QVERIFY(!app.updateCheck().isLoaded());
            QVERIFY(app.mainWindow().isLoaded());
            return;
        }
        Ajour& a = app.updateCheck();
        QVERIFY(a.isLoaded());
        QVERIFY(a.widget()->isVisible());
        QCOMPARE(a.widget()->windowTitle(), QStringLiteral("Keyrovia"));
        QCOMPARE(a.lblVer()->text(), QStringLiteral("Votre Verssion Est : 1.1.0"));
        QCOMPARE(a.lblNewVer()->text(), QStringLiteral("Nouvelle Verssion : 1.2"));
        QCOMPARE(a.Text2()->toPlainText(), QStringLiteral("Ligne 1\nLigne 2"));
        QVERIFY(a.Timer2()->isActive());
        QCOMPARE(a.Timer2()->interval(), 700);
        QVERIFY(a.replyBuffer().isEmpty());
        QVERIFY(!app.mainWindow().isLoaded());
    }

    void layoutsAtTheirTwipPositions()
    {
        KeyroviaApp& app = started();
        check()->answer(kNewer);
        Ajour& a = app.updateCheck();
        QCOMPARE(a.widget()->size(), QSize(297, 217));
        QCOMPARE(a.Text2()->geometry(), QRect(8, 56, 281, 137));
        QCOMPARE(a.ImaAide()->geometry(), QRect(48, 192, 63, 22));
        QCOMPARE(a.ImaSiteWeb()->geometry(), QRect(112, 192, 83, 22));
        QCOMPARE(a.ImaDownload()->geometry(), QRect(200, 192, 92, 22));
        QCOMPARE(a.ImaDownload()->cursor().shape(), Qt::PointingHandCursor);
        frmSuggest s(
            fx->platform, [] { return nullptr; }, [] { return false; });
        s.Show();
        QCOMPARE(s.widget()->windowTitle(), QStringLiteral("Commentaire, Bug, Suggestion...."));
        QCOMPARE(s.txtInfo()->geometry(), QRect(8, 144, 540, 157));
        QCOMPARE(s.txtName()->maxLength(), 40);
        QCOMPARE(s.txtEmail()->geometry(), QRect(288, 112, 257, 24));
        const auto* label = s.widget()->findChild<QLabel*>(QStringLiteral("lblSiVous"));
        QVERIFY(label->text().contains(QStringLiteral("complet.. !") + QString(58, QLatin1Char(' ')) +
                                       QStringLiteral("AUCUNE")));
        QCOMPARE(s.lblSite()->text(),
                 QStringLiteral("Site Web Du Créateur: Quillmark ( Http://quillmark.example )"));
        // Labels draw from the top of their box: a tall text is cut at the bottom only.
        for (QWidget* window : {a.widget(), s.widget()}) {
            for (const QLabel* l : window->findChildren<QLabel*>())
                QVERIFY2(l->alignment() & Qt::AlignTop, qPrintable(l->objectName()));
        }
        QVERIFY(qobject_cast<LinkLabel*>(s.lblSite()));
        QTest::mouseClick(s.lblSite(), Qt::LeftButton);
        QCOMPARE(fx->shell.opened, QStringList{QStringLiteral("http://quillmark.example")});
        s.Unload();
    }

    void failuresEndTheCheckSilently_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::newRow("socket error") << "error";
        QTest::newRow("read failure") << "read";
        QTest::newRow("50 MB reply") << "huge";
    }
    void failuresEndTheCheckSilently()
    {
        QFETCH(QString, failure);
        KeyroviaApp& app = started();
        ScriptedTcpClient* c = check();
        c->connectNow();
        if (failure == QLatin1String("error")) {
            c->fail();
        } else if (failure == QLatin1String("read")) {
            c->failReads = true;
            c->deliver("FIN=1=FIN");
        } else {
            const QByteArray chunk(4 * 1024 * 1024, 'x');
            for (int i = 0; i < 13 && c->open; ++i)
                c->deliver(chunk);
            QVERIFY(!c->open); // stopped reading well before 50 MB
        }
        QVERIFY(!app.updateCheck().isLoaded());
        QVERIFY(app.mainWindow().isLoaded());
        QVERIFY(fx->messages.shown.empty());
    }

    void fermerMainUnloadsInItsOrder()
    {
        KeyroviaApp& app = started();
        QStringList order;
        app.showAbout();
        app.addIe().Show();
        app.listIcon().Load();
        connect(&app.addIe(), &Form::unloaded, this, [&] { order << QStringLiteral("tutorial"); });
        connect(&app.listIcon(), &Form::unloaded, this, [&] { order << QStringLiteral("manager"); });
        app.showSuggestion();
        connect(&app.about(), &Form::unloaded, this, [&] { order << QStringLiteral("about"); });
        connect(&app.mainWindow(), &Form::unloaded, this, [&] { order << QStringLiteral("main"); });
        connect(&app.suggestion(), &Form::unloaded, this, [&] { order << QStringLiteral("suggestion"); });
        check()->answer(kNewer);
        QCOMPARE(order, QStringList({"about", "tutorial", "manager", "main", "suggestion"}));
        QVERIFY(app.updateCheck().isLoaded());
        QCOMPARE(FormRegistry::instance().loadedCount(), 1);
    }

    void blinkAndPictureButtons()
    {
        KeyroviaApp& app = started();
        check()->answer(kNewer);
        Ajour& a = app.updateCheck();
        QCOMPARE(backOf(a.fraMise()), QColor(255, 0, 0));
        a.Timer2_Timer();
        QCOMPARE(backOf(a.widget()), QColor(255, 0, 0));
        a.Timer2_Timer();
        QCOMPARE(backOf(a.widget()), QColor(0, 0, 0));
        QCOMPARE(backOf(a.fraMise()), QColor(0, 0, 0));

        QTest::mouseClick(a.ImaAide(), Qt::LeftButton);
        QTest::mouseClick(a.ImaAide(), Qt::LeftButton);
        QCOMPARE(fx->messages.shown.size(), size_t(2));
        QCOMPARE(fx->messages.shown[0].style, 64);
        QCOMPARE(fx->messages.shown[0].title, QStringLiteral("Nouvelle Verssion"));
        QCOMPARE(fx->messages.shown[0].text,
                 QStringLiteral(
                     "Vous Utiliser Actuellement La Verssion : 1.1.0\r\nLa Verssion : 1.2 Est Maintenan "
                     "Disponible\r\nVous Devez Installer La Dernierre Version\r\nPour Continuer A "
                     "Utiliser Ce Programme."));
        QCOMPARE(fx->process.ended, 0);

        QTest::mouseClick(a.ImaDownload(), Qt::LeftButton);
        QCOMPARE(fx->messages.shown.back().text,
                 QStringLiteral("Le Téléchargement Va Démarer\r\nEt Le Programme Va Se Fermer"));
        QCOMPARE(fx->messages.shown.back().title, QString());
        QCOMPARE(fx->shell.opened,
                 QStringList{QStringLiteral("http://quillmark.example/download.php?ID=10")});
        QCOMPARE(fx->process.ended, 1);
        a.ImaSiteWeb_Click();
        QCOMPARE(fx->messages.shown.back().text,
                 QStringLiteral("Le Site Web Va Souvrir\r\nEt Le Programme Va Se Fermer"));
        QCOMPARE(fx->shell.opened.last(), QStringLiteral("http://quillmark.example/page.php?page=92"));
    }

    void silentServerGetsLimitedTimeOnceAlone()
    {
        KeyroviaApp& app = started();
        app.updateCheck().setAloneGraceMs(400);
        check()->connectNow();
        QTest::qWait(700);
        QVERIFY(app.updateCheck().isLoaded()); // the main window is open: no limit
        app.mainWindow().Unload();
        QCOMPARE(fx->programEnded, 0);
        QTest::qWait(150);
        QVERIFY(app.updateCheck().isLoaded());
        QTRY_VERIFY_WITH_TIMEOUT(!app.updateCheck().isLoaded(), 1500);
        QCOMPARE(fx->programEnded, 1);
        QVERIFY(!check()->open);
        QVERIFY(fx->messages.shown.empty());
    }

    void gateQuitUnloadsTheCheck()
    {
        QVERIFY(QFile::remove(fx->path(QStringLiteral("BDMDP.MDB"))));
        QVERIFY(fx->makeDatabase(QStringLiteral("secret")));
        KeyroviaApp& app = started();
        QVERIFY(app.gate().isLoaded());
        app.updateCheck().Load();
        app.gate().cmdQuit_Click();
        QVERIFY(!app.updateCheck().isLoaded());
        QVERIFY(!check()->open);
    }

    // The suggestion window.

    void sendBuildsTheDatedRequest()
    {
        KeyroviaApp& app = started();
        app.showSuggestion();
        frmSuggest& s = app.suggestion();
        QTest::keyClicks(s.txtName(), QStringLiteral("Jean"));
        QTest::mouseClick(s.txtInfo()->viewport(), Qt::LeftButton);
        QCOMPARE(s.txtInfo()->text(), QString()); // the placeholder went with the click
        QTest::keyClicks(s.txtInfo(), QStringLiteral("Super, programme"));
        s.cmdSend_Click();
        QCOMPARE(s.txtInfo()->text(), QStringLiteral("Nom : Jean    Email : \r\n\r\nSuper programme"));
        ScriptedTcpClient* c = tcp->last();
        QCOMPARE(c->host, QStringLiteral("quillmark.example"));
        c->connectNow();
        const QString message = datedMessage(fx->clock.time, QLocale::system(), s.txtInfo()->text());
        QCOMPARE(c->sent, suggestionRequest(QStringLiteral("quillmark.example"), encodeMessage(message)));
        c->deliver("HTTP/1.0 200 OK\r\n\r\nMESS=SEND");
        c->deliver("=ENDMESS\r\n");
        c->peerCloses();
        QCOMPARE(fx->messages.shown.size(), size_t(1));
        QCOMPARE(fx->messages.shown[0].style, 48);
        QCOMPARE(fx->messages.shown[0].title, QStringLiteral("Merci !"));
        QVERIFY(!s.isLoaded());
        QVERIFY(s.SuggestReply().isEmpty());
    }

    void keyboardFilters()
    {
        KeyroviaApp& app = started();
        app.showSuggestion();
        frmSuggest& s = app.suggestion();
        QTest::keyClicks(s.txtName(), QStringLiteral("O'Neil, J. : 7"));
        QCOMPARE(s.txtName()->text(), QStringLiteral("O'Neil, J.  7"));
        QTest::keyClicks(s.txtEmail(), QStringLiteral("jean,x@mail.fr"));
        QCOMPARE(s.txtEmail()->text(), QStringLiteral("jeanx@mail.fr"));
        s.txtInfo()->setText(QString());
        QTest::sendKeyEvent(QTest::Press, s.txtInfo(), Qt::Key_unknown, QString::fromUtf8("é"),
                            Qt::NoModifier);
        QTest::keyClicks(s.txtInfo(), QStringLiteral("ok!"));
        QCOMPARE(s.txtInfo()->text(), QStringLiteral("ok"));
        QTest::keyClick(s.txtInfo(), Qt::Key_Backspace);
        QCOMPARE(s.txtInfo()->text(), QStringLiteral("o"));
        // Enter moves on from the name and the e-mail boxes.
        s.widget()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(s.widget()));
        s.txtName()->setFocus();
        QTest::keyClick(s.txtName(), Qt::Key_Return);
        QVERIFY(s.txtEmail()->hasFocus() || QApplication::focusWidget() == s.txtEmail());
        QTest::keyClick(s.txtEmail(), Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), s.txtInfo());
        // Pasted text is not filtered at the keyboard; at send only the message is.
        QGuiApplication::clipboard()->setText(QString::fromUtf8("a:é,%"));
        s.txtName()->clear();
        QTest::keyClick(s.txtName(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(s.txtName()->text(), QString::fromUtf8("a:é,%"));
        s.txtInfo()->setText(QString());
        QTest::keyClick(s.txtInfo(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(s.txtInfo()->text(), QString::fromUtf8("a:é,%"));
        s.cmdSend_Click();
        QCOMPARE(s.txtInfo()->text(), QString::fromUtf8("Nom : a:é,%    Email : jeanx@mail.fr\r\n\r\na"));
    }

    void deleteAndInputMethodInTheThreeBoxes()
    {
        started().showSuggestion();
        frmSuggest& s = fx->app->suggestion();
        s.txtInfo()->setText(QString());
        for (QWidget* w : {static_cast<QWidget*>(s.txtName()), static_cast<QWidget*>(s.txtEmail()),
                           static_cast<QWidget*>(s.txtInfo())}) {
            auto text = [&] { return w->property(w == s.txtInfo() ? "plainText" : "text").toString(); };
            QTest::keyClicks(w, QStringLiteral("abc"));
            for (const auto& [k, m] : {std::pair{Qt::Key_Home, Qt::NoModifier},
                                       {Qt::Key_Delete, Qt::NoModifier},
                                       {Qt::Key_End, Qt::NoModifier},
                                       {Qt::Key_Left, Qt::ShiftModifier},
                                       {Qt::Key_Delete, Qt::ShiftModifier}})
                QTest::keyClick(w, k, m); // Delete, then Shift+Delete cuts "c"
            QCOMPARE(text(), QStringLiteral("b"));
            QInputMethodEvent commit(QString(), {}); // a dead key or compose
            commit.setCommitString(QString::fromUtf8("é:a") + QString(999, QLatin1Char('a')));
            QApplication::sendEvent(w, &commit);
            QCOMPARE(text().size(), w == s.txtInfo() ? 1000 : 40); // filtered, then limited
            QVERIFY(text().startsWith(QStringLiteral("baa")));
        }
    }

    void placeholderAndLengthLimit()
    {
        KeyroviaApp& app = started();
        app.showSuggestion();
        frmSuggest& s = app.suggestion();
        QCOMPARE(s.txtInfo()->text(), suggestPlaceholder());
        s.cmdSend_Click(); // the untouched placeholder is no message
        QCOMPARE(fx->messages.shown.back().title, QStringLiteral("Erreur"));
        QCOMPARE(fx->messages.shown.back().text, QStringLiteral("Veiller Rentrer Votre Message"));
        QVERIFY(tcp->clients.size() == 1); // only the update check connected
        s.txtInfo()->setText(suggestPlaceholder() + QStringLiteral("x"));
        QTest::mouseClick(s.txtInfo()->viewport(), Qt::LeftButton);
        QCOMPARE(s.txtInfo()->text(), suggestPlaceholder() + QStringLiteral("x"));
        s.txtInfo()->setText(QString());
        QTest::keyClicks(s.txtInfo(), QString(1005, QLatin1Char('a')));
        QCOMPARE(s.txtInfo()->length(), qsizetype(1000));
        s.cmdSend_Click();
        tcp->last()->fail();
        QTest::keyClicks(s.txtInfo(), QStringLiteral("bbb"));
        QVERIFY(s.txtInfo()->length() > 1000); // the first send lifted the limit
        // Beyond what the filter works on: a clear refusal, nothing sent.
        const size_t connections = tcp->clients.size();
        const int connects = tcp->last()->connects;
        s.txtInfo()->setText(QString(kMaxSuggestionChars + 1, QLatin1Char('a')));
        s.cmdSend_Click();
        QCOMPARE(fx->messages.shown.back().title, QStringLiteral("Erreur"));
        QCOMPARE(tcp->clients.size(), connections);
        QCOMPARE(tcp->last()->connects, connects);
    }

    void secondSendAndCarriedReply()
    {
        KeyroviaApp& app = started();
        app.showSuggestion();
        frmSuggest& s = app.suggestion();
        QTest::keyClicks(s.txtEmail(), QStringLiteral("j@x.fr"));
        s.txtInfo()->setText(QStringLiteral("Salut"));
        s.cmdSend_Click();
        ScriptedTcpClient* c = tcp->last();
        c->fail();
        QCOMPARE(fx->messages.shown.back().text,
                 QStringLiteral("Impossible de Rejoindre le Serveur.\r\n\r\nRecommanser Plus Tard, Désoler"));
        QVERIFY(s.isLoaded());
        s.cmdSend_Click();
        QCOMPARE(s.txtInfo()->text(),
                 QStringLiteral("Nom :     Email : j@x.fr\r\n\r\nNom      Email  jx.fr\r\n\r\nSalut"));
        // A reply without the field leaves its text for the next attempt.
        c->answer("HTTP/1.0 500 Erreur\r\n\r\n");
        QVERIFY(s.isLoaded());
        QCOMPARE(s.SuggestReply(), QStringLiteral("HTTP/1.0 500 Erreur\r\n\r\n"));
        const size_t shown = fx->messages.shown.size();
        s.cmdSend_Click();
        c->answer("MESS=ECHEC=ENDMESS");
        QCOMPARE(fx->messages.shown.size(), shown + 1);
        QCOMPARE(fx->messages.shown.back().text, QStringLiteral("Impossible d'envoiyer Votre Message\r\n"));
        QCOMPARE(fx->messages.shown.back().title, QString());
        QVERIFY(!s.isLoaded());
        QVERIFY(s.SuggestReply().isEmpty());
        // Reopened: design state again.
        app.showSuggestion();
        QCOMPARE(s.txtInfo()->text(), suggestPlaceholder());
        QCOMPARE(s.txtInfo()->maxLength(), qsizetype(1000));
    }

    void emptyReplyKeepsTheWindow()
    {
        KeyroviaApp& app = started();
        app.showSuggestion();
        frmSuggest& s = app.suggestion();
        s.txtInfo()->setText(QStringLiteral("Salut"));
        s.cmdSend_Click();
        tcp->last()->answer(QByteArray());
        QCOMPARE(fx->messages.shown.back().text,
                 QStringLiteral("Impossible d'envoiyer Votre Message\r\n\r\nLa Connetion A Fermer"));
        QVERIFY(s.isLoaded());
    }

    void topmostRules()
    {
        KeyroviaApp& app = started();
        QWidget* main = app.mainWindow().widget();
        frmMotDePass::setCheckValue(app.mainWindow().ui().chkParamTjsVisi, 1);
        SetAlwaysOnTop(main);
        app.showSuggestion();
        QVERIFY(!IsAlwaysOnTop(main));
        app.suggestion().Unload();
        QVERIFY(IsAlwaysOnTop(main));
        frmMotDePass::setCheckValue(app.mainWindow().ui().chkParamTjsVisi, 0);
        app.showSuggestion();
        app.suggestion().Unload();
        QVERIFY(!IsAlwaysOnTop(main));
    }
};

QTEST_MAIN(TestOnlineWindows)
#include "tst_online_windows.moc"
