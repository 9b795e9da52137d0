// Every caption, label and check box of the seven windows shows its text
// whole with the fonts installed here: nothing cut at a box's edge, nothing
// hidden under the control that follows it.
#include "AppFixture.h"
#include "TcpDouble.h"
#include "about/frmAbout.h"
#include "browser/frmAddIe.h"
#include "browser/frmListIcon.h"
#include "online/Ajour.h"
#include "online/frmSuggest.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QTabWidget>

using namespace kr;
using namespace kr::test;

namespace {

// Where the style draws a control's text, and the room it has there.
struct Placed {
    QRect text;
    QRect box;
};

Placed placedText(QWidget* w)
{
    const QFontMetrics fm = w->fontMetrics();
    if (auto* l = qobject_cast<QLabel*>(w)) {
        const QRect box = l->contentsRect().adjusted(l->margin(), l->margin(), -l->margin(), -l->margin());
        const int wrap = l->wordWrap() ? int(Qt::TextWordWrap) : 0;
        return {fm.boundingRect(box, int(l->alignment()) | wrap, l->text()), box};
    }
    if (auto* g = qobject_cast<QGroupBox*>(w)) {
        QStyleOptionGroupBox opt;
        opt.initFrom(g);
        opt.text = g->title();
        opt.subControls = QStyle::SC_GroupBoxLabel;
        const QRect box = g->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, g);
        return {fm.boundingRect(box, Qt::AlignCenter | Qt::TextShowMnemonic, g->title()), g->rect()};
    }
    auto* b = qobject_cast<QAbstractButton*>(w);
    QStyleOptionButton opt;
    opt.initFrom(b);
    opt.text = b->text();
    const auto element =
        qobject_cast<QCheckBox*>(w) ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents;
    const QRect box = b->style()->subElementRect(element, &opt, b);
    return {fm.boundingRect(box, Qt::AlignVCenter | Qt::TextShowMnemonic, b->text()), b->rect()};
}

bool hasText(QWidget* w)
{
    if (auto* l = qobject_cast<QLabel*>(w))
        return !l->text().isEmpty();
    if (auto* g = qobject_cast<QGroupBox*>(w))
        return !g->title().isEmpty();
    auto* b = qobject_cast<QAbstractButton*>(w);
    return b && !b->text().isEmpty();
}

// The first control shown above the text, or an empty text when none covers it.
QString coveredBy(QWidget* w, const QRect& text)
{
    QWidget* parent = w->parentWidget();
    const QObjectList& siblings = parent->children();
    const QRect onParent = text.translated(w->pos());
    if (!parent->rect().contains(onParent))
        return parent->objectName() + QStringLiteral(" (edge)");
    for (qsizetype i = siblings.indexOf(w) + 1; i < siblings.size(); ++i) {
        auto* above = qobject_cast<QWidget*>(siblings[i]);
        if (above && above->isVisible() && !above->isWindow() && above->geometry().intersects(onParent))
            return above->objectName();
    }
    return {};
}

// Every visible text control of the window, as "name: what is wrong".
QStringList cutTexts(QWidget* window)
{
    QStringList cut;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisible() || !hasText(w))
            continue;
        const Placed p = placedText(w);
        const QString name = w->objectName().isEmpty() ? w->metaObject()->className() : w->objectName();
        if (!p.box.contains(p.text))
            cut << QStringLiteral("%1: text %2x%3 in %4x%5")
                       .arg(name)
                       .arg(p.text.width())
                       .arg(p.text.height())
                       .arg(p.box.width())
                       .arg(p.box.height());
        else if (const QString above = coveredBy(w, p.text); !above.isEmpty())
            cut << name + QStringLiteral(": under ") + above;
    }
    return cut;
}

} // namespace

class TestWindowTexts : public QObject {
    Q_OBJECT

private slots:
    void textsShowWhole_data()
    {
        QTest::addColumn<QString>("window");
        for (const char* name :
             {"frmMDP", "frmMotDePass", "frmListIcon", "frmAddIe", "frmSuggest", "frmAbout", "Ajour"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void textsShowWhole()
    {
        QFETCH(QString, window);
        AppFixture f;
        ScriptedTcpFactory tcp; // the update check waits for its server
        f.platform.tcp = &tcp;
        QVERIFY(f.makeDatabase(QStringLiteral("clé")));
        QVERIFY(writeFile(f.path(QStringLiteral("PARAM.ini")), paramIni(0, 0, 0)));
        KeyroviaApp& app = f.start();
        if (window != QLatin1String("frmMDP")) {
            app.gate().txtMdp()->setText(QStringLiteral("clé"));
            QTest::keyClick(app.gate().txtMdp(), Qt::Key_Return);
            QVERIFY(app.mainWindow().isLoaded());
        }
        const std::map<QString, Form*> forms = {
            {"frmMDP", &app.gate()},           {"frmMotDePass", &app.mainWindow()},
            {"frmListIcon", &app.listIcon()},  {"frmAddIe", &app.addIe()},
            {"frmSuggest", &app.suggestion()}, {"frmAbout", &app.about()},
            {"Ajour", &app.updateCheck()},
        };
        QPointer<QWidget> w = forms.at(window)->widget();
        // A window of one size has no maximise button.
        QVERIFY(w->minimumSize() != w->maximumSize() ||
                !w->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        // Each page of a tab control is laid out when it is shown.
        auto* tabs = w->findChild<QTabWidget*>();
        for (int page = 0; page < (tabs ? tabs->count() : 1); ++page) {
            if (tabs) {
                tabs->setTabEnabled(page, true);
                tabs->setCurrentIndex(page);
                QCoreApplication::processEvents();
            }
            const QStringList cut = cutTexts(w);
            QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral("; "))));
        }
    }

    // A value longer than its box shows its beginning, as typed.
    void longValueShowsItsBeginning()
    {
        AppFixture f;
        const QString user = QStringLiteral("andré.dupont.de.la.grande.maison.du.bout.du.monde@exemple.fr");
        QVERIFY(f.openMain({{QStringLiteral("exemple.fr"), user, user}}));
        clickRow(f.ui().lstSite, 0);
        QCOMPARE(f.ui().txtInfoUser->text(), user);
        QCOMPARE(f.ui().txtInfoUser->cursorPosition(), 0);
    }
};

QTEST_MAIN(TestWindowTexts)
#include "tst_window_texts.moc"
