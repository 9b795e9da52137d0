// The windows (all of one size) show texts whole, long values from their start, no maximise button.
#include "AppFixture.h"
#include "TcpDouble.h"
#include "browser/frmAddIe.h"

#include <QLabel>

class TestWindowTexts : public QObject {
    Q_OBJECT

private slots:
    void textsShowWhole()
    {
        kr::test::AppFixture f;
        kr::test::ScriptedTcpFactory tcp; // the update check waits for its server
        f.platform.tcp = &tcp;
        QVERIFY(f.openMain({{"exemple.fr", "andré.dupont@exemple.fr", "x"}}));
        f.app->mainWindow().SelectSiteInList("exemple.fr");
        f.app->showAbout();
        f.app->showSuggestion();
        f.app->addIe().Show();
        QCoreApplication::processEvents();
        QStringList wrong;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->windowFlags() & Qt::WindowMaximizeButtonHint)
                wrong << window->objectName();
            for (QWidget* w : window->findChildren<QWidget*>()) {
                const auto* l = qobject_cast<QLabel*>(w);
                const auto* b = qobject_cast<QAbstractButton*>(w);
                const auto* e = qobject_cast<QLineEdit*>(w);
                const QString text = l ? l->text() : b ? b->text() : QString();
                const QRect box = l ? l->contentsRect() : w->rect();
                int flags = l ? int(l->alignment()) | Qt::TextWordWrap * l->wordWrap() : Qt::AlignCenter;
                if ((w->isVisibleTo(window) && !text.isEmpty() &&
                     !box.contains(w->fontMetrics().boundingRect(box, flags, text))) ||
                    (e && e->cursorPosition() != 0))
                    wrong << w->objectName();
            }
        }
        QVERIFY2(wrong.isEmpty() && QApplication::topLevelWidgets().size() == 5, qPrintable(wrong.join(' ')));
    }
};

QTEST_MAIN(TestWindowTexts)
#include "tst_window_texts.moc"
