#include "ShellDouble.h"
#include "about/frmAbout.h"
#include "common/Form.h"
#include "common/Version.h"
#include "common/WindowOrder.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

using namespace kr;

namespace {

// Reaches the window's design state, before the load handler has run.
class DesignAbout : public frmAbout {
public:
    using frmAbout::frmAbout;
    std::unique_ptr<QWidget> designWidget() { return createWidget(); }
};

enum class CloseBy { QuitButton, CloseBox, Unload };

} // namespace

Q_DECLARE_METATYPE(CloseBy)

class TestAbout : public QObject {
    Q_OBJECT

    test::RecordingShell shell;
    Platform platform;
    std::unique_ptr<QWidget> mainWindow;
    bool mainLoaded = true;
    bool keepMainOnTop = false;
    std::unique_ptr<frmAbout> about;

    template <typename T = QWidget> T* control(const char* name) {
        T* found = about->widget()->findChild<T*>(QLatin1String(name));
        if (!found)
            qWarning("no control %s", name);
        return found;
    }

    bool showAbout() {
        about->Show();
        return QTest::qWaitForWindowExposed(about->widget());
    }

private slots:
    void initTestCase() {
        platform.shell = &shell;
        // Unloading the last window must not end the test's event loop.
        FormRegistry::instance().setOnLastUnloaded([] {});
    }

    void init() {
        shell.opened.clear();
        mainLoaded = true;
        keepMainOnTop = false;
        mainWindow = std::make_unique<QWidget>();
        mainWindow->setWindowTitle(QStringLiteral("stand-in main window"));
        mainWindow->resize(300, 200);
        mainWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(mainWindow.get()));
        about = std::make_unique<frmAbout>(
            platform, [this] { return mainLoaded ? mainWindow.get() : nullptr; },
            [this] { return keepMainOnTop; });
    }

    void cleanup() {
        about->Unload();
        about.reset();
        mainWindow.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void designState_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QByteArray>("property");
        QTest::addColumn<QString>("expected");

        QTest::newRow("caption") << "frmAbout" << QByteArray("windowTitle")
                                 << QStringLiteral("A Propo De...");
        QTest::newRow("Label1") << "Label1" << QByteArray("text")
                                << QStringLiteral(
                                       "Ce programme a été conçu à l'origine pour mon utilisation "
                                       "personnel. Suite au multiple demande, il est maintenant "
                                       "disponible pour vous tous !! Consulter notre site "
                                       "internet ");
        QTest::newRow("Label3") << "Label3" << QByteArray("text") << QStringLiteral("Nom :");
        QTest::newRow("Label4") << "Label4" << QByteArray("text") << QStringLiteral("Version :");
        QTest::newRow("Label5") << "Label5" << QByteArray("text")
                                << QStringLiteral("Commentaire :");
        QTest::newRow("cmdQuit") << "cmdQuit" << QByteArray("text") << QStringLiteral("&Fermer");
        QTest::newRow("lblQuillmark")
            << "lblQuillmark" << QByteArray("text") << QStringLiteral("Quillmark");
        QTest::newRow("lblSite") << "lblSite" << QByteArray("text")
                                 << QStringLiteral("http://quillmark.example/");
        QTest::newRow("lblSite tooltip")
            << "lblSite" << QByteArray("toolTip") << QStringLiteral("Aller Sur Le Site Web");
        QTest::newRow("txtProg empty") << "txtProg" << QByteArray("text") << QString();
        QTest::newRow("txtVersion empty") << "txtVersion" << QByteArray("text") << QString();
        QTest::newRow("txtComments empty") << "txtComments" << QByteArray("text") << QString();
    }

    void designState() {
        QFETCH(QString, control);
        QFETCH(QByteArray, property);
        QFETCH(QString, expected);

        DesignAbout design(
            platform, [] { return nullptr; }, [] { return false; });
        const std::unique_ptr<QWidget> window = design.designWidget();
        QObject* target =
            control == window->objectName() ? window.get() : window->findChild<QObject*>(control);
        QVERIFY2(target, qPrintable(control));
        QCOMPARE(target->property(property.constData()).toString(), expected);
    }

    void loadFillsCaptionAndFields() {
        QVERIFY(showAbout());
        // The test runs under its own executable name, which must show up as is.
        const QString name = executableName();
        QCOMPARE(name, QFileInfo(QCoreApplication::applicationFilePath()).fileName());
        QVERIFY2(!name.contains(QLatin1Char('.')), qPrintable(name));
        QVERIFY(name != QStringLiteral("Keyrovia"));

        QCOMPARE(about->widget()->windowTitle(),
                 QStringLiteral("A propos de ") + name + QStringLiteral(" 1.1.0"));
        QCOMPARE(control<QLineEdit>("txtProg")->text(), name);
        QCOMPARE(control<QLineEdit>("txtVersion")->text(), QStringLiteral("1.1.0"));
        QCOMPARE(control<QLineEdit>("txtComments")->text(),
                 QStringLiteral("Enregistre vos mot de passes"));
        for (const char* field : {"txtProg", "txtVersion", "txtComments"})
            QVERIFY2(control<QLineEdit>(field)->isReadOnly(), field);
        QCOMPARE(control<QLabel>("Label1")->font().family(), QStringLiteral("Arial"));
    }

    void links_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<QStringList>("opened");

        const QStringList home{QStringLiteral("http://quillmark.example/")};
        QTest::newRow("site, left click") << "lblSite" << Qt::LeftButton << home;
        QTest::newRow("maker, left click") << "lblQuillmark" << Qt::LeftButton << home;
        QTest::newRow("site, right click") << "lblSite" << Qt::RightButton << QStringList();
        QTest::newRow("maker, right click") << "lblQuillmark" << Qt::RightButton << QStringList();
    }

    void links() {
        QFETCH(QString, link);
        QFETCH(Qt::MouseButton, button);
        QFETCH(QStringList, opened);

        QVERIFY(showAbout());
        auto* label = about->widget()->findChild<QLabel*>(link);
        QVERIFY(label);
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::blue));
        QCOMPARE(label->cursor().shape(), Qt::PointingHandCursor);

        QTest::mouseClick(label, button);
        QCOMPARE(shell.opened, opened);
        // Opening the site leaves the window open.
        QVERIFY(about->isLoaded());
    }

    void closingSetsMainTopmost_data() {
        QTest::addColumn<CloseBy>("closeBy");
        QTest::addColumn<bool>("keep");

        QTest::newRow("Fermer, Visible ticked") << CloseBy::QuitButton << true;
        QTest::newRow("Fermer, Visible not ticked") << CloseBy::QuitButton << false;
        QTest::newRow("close box, Visible ticked") << CloseBy::CloseBox << true;
        QTest::newRow("close box, Visible not ticked") << CloseBy::CloseBox << false;
        QTest::newRow("unloaded, Visible ticked") << CloseBy::Unload << true;
        QTest::newRow("unloaded, Visible not ticked") << CloseBy::Unload << false;
    }

    void closingSetsMainTopmost() {
        QFETCH(CloseBy, closeBy);
        QFETCH(bool, keep);

        QVERIFY(showAbout());
        // Start from the opposite state, so doing nothing on closing fails.
        if (keep)
            ClearAlwaysOnTop(mainWindow.get());
        else
            SetAlwaysOnTop(mainWindow.get());
        keepMainOnTop = keep;

        switch (closeBy) {
        case CloseBy::QuitButton:
            QTest::mouseClick(control<QPushButton>("cmdQuit"), Qt::LeftButton);
            break;
        case CloseBy::CloseBox:
            about->widget()->close();
            break;
        case CloseBy::Unload:
            about->Unload();
            break;
        }
        QVERIFY(!about->isLoaded());
        QCOMPARE(IsAlwaysOnTop(mainWindow.get()), keep);
    }

    void loadClearsMainTopmost_data() {
        QTest::addColumn<bool>("mainIsLoaded");
        QTest::newRow("main window loaded") << true;
        QTest::newRow("main window not loaded") << false;
    }

    void loadClearsMainTopmost() {
        QFETCH(bool, mainIsLoaded);
        mainLoaded = mainIsLoaded;
        SetAlwaysOnTop(mainWindow.get());

        QVERIFY(showAbout());
        QCOMPARE(IsAlwaysOnTop(mainWindow.get()), !mainIsLoaded);
    }

    void showWhileOpenDoesNotReload() {
        QVERIFY(showAbout());
        QWidget* first = about->widget();
        control<QLineEdit>("txtProg")->setText(QStringLiteral("changed"));
        SetAlwaysOnTop(mainWindow.get());
        QSignalSpy loads(about.get(), &Form::loaded);

        about->Show();
        QCOMPARE(about->widget(), first);
        QCOMPARE(loads.count(), 0);
        QCOMPARE(control<QLineEdit>("txtProg")->text(), QStringLiteral("changed"));
        QVERIFY(IsAlwaysOnTop(mainWindow.get()));

        // Once closed, the next opening loads afresh and takes the values again.
        about->Unload();
        QVERIFY(showAbout());
        QCOMPARE(loads.count(), 1);
        QCOMPARE(control<QLineEdit>("txtProg")->text(), executableName());
    }

    void banner() {
        QVERIFY(showAbout());
        auto* image = control<QLabel>("Image2");
        QVERIFY(image);
        QCOMPARE(image->size(), QSize(548, 86));
        const QPixmap pixmap = image->pixmap();
        QCOMPARE(pixmap.deviceIndependentSize().toSize(), QSize(548, 86));
        // Across the top of the window, on a blue ground.
        QCOMPARE(image->mapTo(about->widget(), QPoint(0, 0)), QPoint(0, 0));
        QCOMPARE(about->widget()->width(), 548);
        const QColor ground = pixmap.toImage().pixelColor(2, 2);
        QVERIFY2(ground.blue() > ground.red() + 40 && ground.blue() > ground.green() + 40,
                 qPrintable(ground.name()));
    }

    void layout_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("leftOf"); // else: first stands above second

        QTest::newRow("banner over presentation") << "Image2"
                                                  << "Label1" << false;
        QTest::newRow("banner over fields") << "Image2"
                                            << "txtProg" << false;
        QTest::newRow("presentation left of fields") << "Label1"
                                                     << "txtProg" << true;
        QTest::newRow("captions left of fields") << "Label5"
                                                 << "txtComments" << true;
        QTest::newRow("fields in order 1") << "txtProg"
                                           << "txtVersion" << false;
        QTest::newRow("fields in order 2") << "txtVersion"
                                           << "txtComments" << false;
        QTest::newRow("presentation over site") << "Label1"
                                                << "lblSite" << false;
        QTest::newRow("fields over close button") << "txtComments"
                                                  << "cmdQuit" << false;
        QTest::newRow("site left of maker") << "lblSite"
                                            << "lblQuillmark" << true;
        QTest::newRow("maker left of close button") << "Label2"
                                                    << "cmdQuit" << true;
        QTest::newRow("maker over rights notice") << "lblQuillmark"
                                                  << "Label2" << false;
    }

    void layout() {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(bool, leftOf);

        QVERIFY(showAbout());
        QWidget* window = about->widget();
        auto geometryOf = [window](const QString& name) {
            auto* w = window->findChild<QWidget*>(name);
            return w ? QRect(w->mapTo(window, QPoint(0, 0)), w->size()) : QRect();
        };
        const QRect a = geometryOf(first);
        const QRect b = geometryOf(second);
        QVERIFY(a.isValid() && b.isValid());
        if (leftOf)
            QVERIFY2(a.right() < b.left(), qPrintable(first + " / " + second));
        else
            QVERIFY2(a.bottom() < b.top(), qPrintable(first + " / " + second));
    }

    void windowIsFixedAndHoldsItsControls() {
        QVERIFY(showAbout());
        QWidget* window = about->widget();
        QCOMPARE(window->minimumSize(), window->maximumSize());

        const QStringList names{"Image2",      "Label1",  "Label2",       "Label3",
                                "Label4",      "Label5",  "txtProg",      "txtVersion",
                                "txtComments", "cmdQuit", "lblQuillmark", "lblSite"};
        QList<QRect> placed;
        for (const QString& name : names) {
            auto* w = window->findChild<QWidget*>(name);
            QVERIFY2(w && w->isVisible(), qPrintable(name));
            const QRect r(w->mapTo(window, QPoint(0, 0)), w->size());
            QVERIFY2(window->rect().contains(r), qPrintable(name));
            for (int i = 0; i < placed.size(); ++i)
                QVERIFY2(!placed.at(i).intersects(r), qPrintable(names.at(i) + " / " + name));
            placed.append(r);
        }
        auto* frame = window->findChild<QWidget*>(QStringLiteral("Frame1"));
        QVERIFY(frame);
        for (const QString& name : names)
            QVERIFY2(frame->isAncestorOf(window->findChild<QWidget*>(name)), qPrintable(name));
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
