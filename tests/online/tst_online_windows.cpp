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
    std::unique_ptr<ScriptedTcpFactory> tcp;

    ScriptedTcpClient* check() { return tcp->clients.empty() ? nullptr : tcp->clients.front(); }
    const ShownMessage& lastBox() { return fx->messages.shown.back(); }
    frmSuggest& suggestion()
    {
        fx->start().showSuggestion();
        return fx->app->suggestion();
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
        QTest::newRow("newer, markers split") << kNewer << 7 << 0;
        QTest::newRow("current") << QByteArray("Ver=1.1.4=EndVer FIN=1=FIN") << 3 << 0;
        QTest::newRow("empty") << QByteArray() << 1 << 0;
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
        QVERIFY(app.mainWindow().isLoaded() && app.updateCheck().isLoaded());
        QVERIFY(!app.updateCheck().widget()->isVisible());
        ScriptedTcpClient* c = check();
        QCOMPARE(c->host, QStringLiteral("quillmark.example"));
        QCOMPARE(c->port, quint16(80));
        QVERIFY(c->sent.isEmpty());
        c->connectNow();
        QCOMPARE(c->sent, versionRequest(QStringLiteral("quillmark.example")));
        c->failReads = failure == 2;
        for (qsizetype i = 0; i < reply.size() && c->open; i += pieceSize)
            c->deliver(reply.mid(i, pieceSize));
        if (failure == 1)
            c->fail();
        QCOMPARE(c->open, failure == 0);
        if (c->open) {
            QVERIFY(app.updateCheck().isLoaded() && app.mainWindow().isLoaded()); // nothing decided yet
            c->peerCloses();
            QVERIFY(!c->open);
        }
        QVERIFY(fx->messages.shown.empty());
        const bool mandatory = reply == kNewer;
        QCOMPARE(app.mainWindow().isLoaded(), !mandatory);
        QCOMPARE(app.updateCheck().isLoaded(), mandatory);
        if (!mandatory)
            return;
        Ajour& a = app.updateCheck();
        QVERIFY(a.widget()->isVisible());
        QCOMPARE(a.widget()->windowTitle(), QStringLiteral("Keyrovia"));
        QCOMPARE(a.lblVer()->text(), QStringLiteral("Votre Verssion Est : 1.1.0"));
        QCOMPARE(a.lblNewVer()->text(), QStringLiteral("Nouvelle Verssion : 1.2"));
        QCOMPARE(a.Text2()->toPlainText(), QStringLiteral("Ligne 1\nLigne 2"));
        QVERIFY(a.Timer2()->isActive());
        QCOMPARE(a.Timer2()->interval(), 700);
        QVERIFY(a.replyBuffer().isEmpty());
    }

    void updateAndSuggestionWindows()
    {
        KeyroviaApp& app = fx->start();
        check()->answer(kNewer);
        Ajour& a = app.updateCheck();
        frmSuggest s(
            fx->platform, [] { return nullptr; }, [] { return false; });
        s.Show();
        const std::pair<QWidget*, QRect> boxes[] = {
            {a.Text2(), {8, 56, 281, 137}},       {a.ImaAide(), {48, 192, 63, 22}},
            {a.ImaSiteWeb(), {112, 192, 83, 22}}, {a.ImaDownload(), {200, 192, 92, 22}},
            {s.txtInfo(), {8, 144, 540, 157}},    {s.txtEmail(), {288, 112, 257, 24}}};
        for (const auto& [w, rect] : boxes)
            QCOMPARE(w->geometry(), rect);
        QCOMPARE(a.widget()->size(), QSize(297, 217));
        QCOMPARE(a.ImaDownload()->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(s.widget()->windowTitle(), QStringLiteral("Commentaire, Bug, Suggestion...."));
        QCOMPARE(s.txtName()->maxLength(), 40);
        const auto* label = s.widget()->findChild<QLabel*>(QStringLiteral("lblSiVous"));
        QVERIFY(label->text().contains(QStringLiteral("complet.. !") + QString(58, QLatin1Char(' ')) +
                                       QStringLiteral("AUCUNE")));
        QCOMPARE(s.lblSite()->text(),
                 QStringLiteral("Site Web Du Créateur: Quillmark ( Http://quillmark.example )"));
        // Labels draw from the top of their box: a tall text is cut at the bottom only.
        for (QWidget* window : {a.widget(), s.widget()})
            for (const QLabel* l : window->findChildren<QLabel*>())
                QVERIFY2(l->alignment() & Qt::AlignTop, qPrintable(l->objectName()));
        QVERIFY(qobject_cast<LinkLabel*>(s.lblSite()));
        QTest::mouseClick(s.lblSite(), Qt::LeftButton);
        QCOMPARE(fx->shell.opened, QStringList{QStringLiteral("http://quillmark.example")});
        s.Unload();
        // The update window blinks; its picture buttons.
        QCOMPARE(backOf(a.fraMise()), QColor(255, 0, 0));
        a.Timer2_Timer();
        QCOMPARE(backOf(a.widget()), QColor(255, 0, 0));
        a.Timer2_Timer();
        QCOMPARE(backOf(a.widget()), QColor(0, 0, 0));
        QCOMPARE(backOf(a.fraMise()), QColor(0, 0, 0));

        QTest::mouseClick(a.ImaAide(), Qt::LeftButton);
        QTest::mouseClick(a.ImaAide(), Qt::LeftButton);
        QCOMPARE(fx->messages.shown.size(), size_t(2));
        QCOMPARE(lastBox().style, 64);
        QCOMPARE(lastBox().title, QStringLiteral("Nouvelle Verssion"));
        QCOMPARE(lastBox().text,
                 QStringLiteral(
                     "Vous Utiliser Actuellement La Verssion : 1.1.0\r\nLa Verssion : 1.2 Est Maintenan "
                     "Disponible\r\nVous Devez Installer La Dernierre Version\r\nPour Continuer A "
                     "Utiliser Ce Programme."));
        QCOMPARE(fx->process.ended, 0);

        QTest::mouseClick(a.ImaDownload(), Qt::LeftButton);
        QCOMPARE(lastBox().text,
                 QStringLiteral("Le Téléchargement Va Démarer\r\nEt Le Programme Va Se Fermer"));
        QCOMPARE(lastBox().title, QString());
        QCOMPARE(fx->shell.opened.last(), QStringLiteral("http://quillmark.example/download.php?ID=10"));
        QCOMPARE(fx->process.ended, 1);
        a.ImaSiteWeb_Click();
        QCOMPARE(lastBox().text, QStringLiteral("Le Site Web Va Souvrir\r\nEt Le Programme Va Se Fermer"));
        QCOMPARE(fx->shell.opened.last(), QStringLiteral("http://quillmark.example/page.php?page=92"));
    }

    void fermerMainUnloadsInItsOrder()
    {
        KeyroviaApp& app = fx->start();
        app.showAbout();
        app.addIe().Show();
        app.listIcon().Load();
        app.showSuggestion();
        QStringList order;
        for (const auto& [form, name] : {std::pair<Form*, const char*>{&app.about(), "about"},
                                         {&app.addIe(), "tutorial"},
                                         {&app.listIcon(), "manager"},
                                         {&app.mainWindow(), "main"},
                                         {&app.suggestion(), "suggestion"}})
            connect(form, &Form::unloaded, this, [&order, name] { order << name; });
        check()->answer(kNewer);
        QCOMPARE(order, QStringList({"about", "tutorial", "manager", "main", "suggestion"}));
        QVERIFY(app.updateCheck().isLoaded());
        QCOMPARE(FormRegistry::instance().loadedCount(), 1);
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
        QVERIFY(app.updateCheck().isLoaded());
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
        QVERIFY(app.gate().isLoaded());
        app.updateCheck().Load();
        app.gate().cmdQuit_Click();
        QVERIFY(!app.updateCheck().isLoaded());
        QVERIFY(!check()->open);
    }

    // The suggestion window.

    // The filters' character sets are checked on their own; here, that each
    // box uses its set, that Enter moves on and that pasted text passes.
    void keyboardFilters()
    {
        frmSuggest& s = suggestion();
        QTest::keyClicks(s.txtName(), QStringLiteral("O'Neil, J. : 7"));
        QCOMPARE(s.txtName()->text(), QStringLiteral("O'Neil, J.  7"));
        QTest::keyClicks(s.txtEmail(), QStringLiteral("jean,x@mail.fr"));
        QCOMPARE(s.txtEmail()->text(), QStringLiteral("jeanx@mail.fr"));
        s.txtInfo()->setText(QString());
        QTest::sendKeyEvent(QTest::Press, s.txtInfo(), Qt::Key_unknown, QString::fromUtf8("é"),
                            Qt::NoModifier);
        QTest::keyClicks(s.txtInfo(), QStringLiteral("ok!"));
        QTest::keyClick(s.txtInfo(), Qt::Key_Backspace);
        QCOMPARE(s.txtInfo()->text(), QStringLiteral("o"));
        s.widget()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(s.widget()));
        s.txtName()->setFocus();
        QTest::keyClick(s.txtName(), Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), s.txtEmail());
        QTest::keyClick(s.txtEmail(), Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), s.txtInfo());
        // Pasted text is not filtered at the keyboard; at send only the message is.
        QGuiApplication::clipboard()->setText(QString::fromUtf8("a:é,%"));
        s.txtName()->clear();
        QTest::keyClick(s.txtName(), Qt::Key_V, Qt::ControlModifier);
        s.txtInfo()->setText(QString());
        QTest::keyClick(s.txtInfo(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(s.txtInfo()->text(), QString::fromUtf8("a:é,%"));
        s.cmdSend_Click();
        QCOMPARE(s.txtInfo()->text(), QString::fromUtf8("Nom : a:é,%    Email : jeanx@mail.fr\r\n\r\na"));
    }

    void deleteAndInputMethodInTheThreeBoxes()
    {
        frmSuggest& s = suggestion();
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
        frmSuggest& s = suggestion();
        QCOMPARE(s.txtInfo()->text(), suggestPlaceholder());
        s.cmdSend_Click(); // the untouched placeholder is no message
        QCOMPARE(lastBox().title, QStringLiteral("Erreur"));
        QCOMPARE(lastBox().text, QStringLiteral("Veiller Rentrer Votre Message"));
        QCOMPARE(tcp->clients.size(), size_t(1)); // only the update check connected
        s.txtInfo()->setText(suggestPlaceholder() + QStringLiteral("x"));
        QTest::mouseClick(s.txtInfo()->viewport(), Qt::LeftButton);
        QCOMPARE(s.txtInfo()->text(), suggestPlaceholder() + QStringLiteral("x"));
        s.txtInfo()->setText(QString());
        QTest::keyClicks(s.txtInfo(), QString(1005, QLatin1Char('a')));
        QCOMPARE(s.txtInfo()->length(), qsizetype(1000));
        s.cmdSend_Click();
        tcp->last()->answer(QByteArray());
        QCOMPARE(lastBox().text,
                 QStringLiteral("Impossible d'envoiyer Votre Message\r\n\r\nLa Connetion A Fermer"));
        QVERIFY(s.isLoaded());
        QTest::keyClicks(s.txtInfo(), QStringLiteral("bbb"));
        QVERIFY(s.txtInfo()->length() > 1000); // the first send lifted the limit
        // Beyond what the filter works on: a clear refusal, nothing sent.
        const size_t connections = tcp->clients.size();
        const int connects = tcp->last()->connects;
        s.txtInfo()->setText(QString(kMaxSuggestionChars + 1, QLatin1Char('a')));
        s.cmdSend_Click();
        QCOMPARE(lastBox().title, QStringLiteral("Erreur"));
        QCOMPARE(tcp->clients.size(), connections);
        QCOMPARE(tcp->last()->connects, connects);
    }

    // Sent, failed, sent again with the header again, a reply carried over,
    // thanked; reopened and refused.
    void sendingAndReplies()
    {
        frmSuggest& s = suggestion();
        QTest::keyClicks(s.txtName(), QStringLiteral("Jean"));
        QTest::keyClicks(s.txtEmail(), QStringLiteral("j@x.fr"));
        QTest::mouseClick(s.txtInfo()->viewport(), Qt::LeftButton);
        QCOMPARE(s.txtInfo()->text(), QString()); // the placeholder went with the click
        QTest::keyClicks(s.txtInfo(), QStringLiteral("Super, programme"));
        s.cmdSend_Click();
        QCOMPARE(s.txtInfo()->text(), QStringLiteral("Nom : Jean    Email : j@x.fr\r\n\r\nSuper programme"));
        ScriptedTcpClient* c = tcp->last();
        QCOMPARE(c->host, QStringLiteral("quillmark.example"));
        c->connectNow();
        const QString message = datedMessage(fx->clock.time, QLocale::system(), s.txtInfo()->text());
        QCOMPARE(c->sent, suggestionRequest(QStringLiteral("quillmark.example"), encodeMessage(message)));
        c->fail();
        QCOMPARE(lastBox().text,
                 QStringLiteral("Impossible de Rejoindre le Serveur.\r\n\r\nRecommanser Plus Tard, Désoler"));
        QVERIFY(s.isLoaded());
        s.cmdSend_Click();
        QCOMPARE(s.txtInfo()->text(),
                 QStringLiteral("Nom : Jean    Email : j@x.fr\r\n\r\nNom  Jean    Email  jx.fr"
                                "\r\n\r\nSuper programme"));
        // A reply without the field leaves its text for the next attempt.
        c->answer("HTTP/1.0 500 Erreur\r\n\r\n");
        QVERIFY(s.isLoaded());
        QCOMPARE(s.SuggestReply(), QStringLiteral("HTTP/1.0 500 Erreur\r\n\r\n"));
        s.cmdSend_Click();
        const size_t shown = fx->messages.shown.size();
        c->answer("HTTP/1.0 200 OK\r\n\r\nMESS=SEND=ENDMESS\r\n", 26); // the field in two pieces
        QCOMPARE(fx->messages.shown.size(), shown + 1);
        QCOMPARE(lastBox().style, 48);
        QCOMPARE(lastBox().title, QStringLiteral("Merci !"));
        QVERIFY(!s.isLoaded());
        QVERIFY(s.SuggestReply().isEmpty());
        // Reopened: design state again.
        fx->app->showSuggestion();
        QCOMPARE(s.txtInfo()->text(), suggestPlaceholder());
        QCOMPARE(s.txtInfo()->maxLength(), qsizetype(1000));
        s.txtInfo()->setText(QStringLiteral("Salut"));
        s.cmdSend_Click();
        tcp->last()->answer("MESS=ECHEC=ENDMESS");
        QCOMPARE(lastBox().text, QStringLiteral("Impossible d'envoiyer Votre Message\r\n"));
        QCOMPARE(lastBox().title, QString());
        QVERIFY(!s.isLoaded());
    }

    void topmostRules()
    {
        KeyroviaApp& app = fx->start();
        QWidget* main = app.mainWindow().widget();
        for (const int visible : {1, 0}) {
            frmMotDePass::setCheckValue(app.mainWindow().ui().chkParamTjsVisi, visible);
            SetAlwaysOnTop(main);
            app.showSuggestion();
            QVERIFY(!IsAlwaysOnTop(main));
            app.suggestion().Unload();
            QCOMPARE(IsAlwaysOnTop(main), visible == 1);
        }
    }
};

QTEST_MAIN(TestOnlineWindows)
#include "tst_online_windows.moc"
