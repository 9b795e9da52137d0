// The About window, opened from the main window, and the program's icon file.
#include "AppFixture.h"
#include "about/ProgramIcon.h"
#include "about/frmAbout.h"
#include "ui/WindowOrder.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace kr;
using namespace kr::test;

class TestAbout : public QObject {
    Q_OBJECT

    std::unique_ptr<AppFixture> f;
    QWidget* about = nullptr;

    // The main window loaded and on top, then About opened from it.
    void open()
    {
        f = std::make_unique<AppFixture>();
        QVERIFY(f->openMain());
        SetAlwaysOnTop(f->app->mainWindow().widget());
        QTest::mouseClick(f->ui().cmdAbout, Qt::LeftButton); // opened without waiting
        about = f->app->about().widget();
        QVERIFY(QTest::qWaitForWindowExposed(about));
    }
    template <typename T> T* control(const char* name) { return about->findChild<T*>(QLatin1String(name)); }

private slots:
    void cleanup() { f.reset(); }

    void captionFieldsAndLinks()
    {
        open();
        // The test's own executable name, not a fixed one.
        const QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        QCOMPARE(about->windowTitle(), "A propos de " + name + " 1.1.0");
        QCOMPARE(control<QLineEdit>("txtProg")->text(), name);
        QCOMPARE(control<QLineEdit>("txtVersion")->text(), QStringLiteral("1.1.0"));
        QCOMPARE(control<QLineEdit>("txtComments")->text(), QStringLiteral("Enregistre vos mot de passes"));
        QCOMPARE(control<QLabel>("Label1")->text(),
                 QStringLiteral("Ce programme a été conçu à l'origine pour mon utilisation "
                                "personnel. Suite au multiple demande, il est maintenant "
                                "disponible pour vous tous !! Consulter notre site internet "));
        QCOMPARE(control<QLabel>("Image2")->pixmap().deviceIndependentSize().toSize(), QSize(548, 86));
        // Both links open the maker's site.
        QTest::mouseClick(control<QLabel>("lblSite"), Qt::LeftButton);
        QTest::mouseClick(control<QLabel>("lblQuillmark"), Qt::LeftButton);
        QCOMPARE(f->shell.opened, QStringList(2, QStringLiteral("http://quillmark.example/")));
        QVERIFY(f->app->about().isLoaded());
    }

    // Loading takes the main window's topmost state away; closing, however it
    // happens, sets it as its "Visible" box says.
    void mainWindowTopmost_data()
    {
        QTest::addColumn<int>("closeBy"); // 0: Fermer, 1: the close box
        QTest::addColumn<bool>("keep");
        QTest::newRow("Fermer, Visible ticked") << 0 << true;
        QTest::newRow("close box, Visible unticked") << 1 << false;
    }
    void mainWindowTopmost()
    {
        QFETCH(int, closeBy);
        QFETCH(bool, keep);
        open();
        QWidget* main = f->app->mainWindow().widget();
        QVERIFY(!IsAlwaysOnTop(main));
        // Start from the opposite state, so doing nothing on closing fails.
        keep ? ClearAlwaysOnTop(main) : SetAlwaysOnTop(main);
        f->ui().chkParamTjsVisi->setChecked(keep);
        if (closeBy == 0)
            QTest::mouseClick(control<QPushButton>("cmdQuit"), Qt::LeftButton);
        else
            about->close();
        QVERIFY(!f->app->about().isLoaded());
        QCOMPARE(IsAlwaysOnTop(main), keep);
    }

    // Behind the gate no main window is loaded: nothing to take the state from or give it back to.
    void withoutMainWindow()
    {
        f = std::make_unique<AppFixture>();
        QVERIFY(f->makeDatabase(QStringLiteral("x")));
        f->start();
        f->app->about().Show();
        QVERIFY(f->app->about().isLoaded());
        f->app->about().Unload();
        QVERIFY(f->app->gate().isLoaded());
    }

    // ICON.ico as built: Qt's own reader reads the drawn pictures back from it.
    void iconFile()
    {
        QList<QImage> drawn;
        for (const int size : programIconSizes())
            drawn.append(programIconImage(size));
        QFile file(QStringLiteral(DELIVERED_ICON));
        QVERIFY(file.open(QIODevice::ReadOnly));
        if (!QImageReader::supportedImageFormats().contains("ico"))
            QSKIP("Qt's ico image plugin is not installed");
        QImageReader reader(&file, "ico");
        const QList<int> sizes{16, 32, 48, 256};
        QCOMPARE(reader.imageCount(), sizes.size());
        for (int i = 0; i < sizes.size(); ++i) {
            QVERIFY(reader.jumpToImage(i));
            const QImage read = reader.read().convertToFormat(QImage::Format_ARGB32);
            const QImage want = drawn[i].convertToFormat(QImage::Format_ARGB32);
            QCOMPARE(read.size(), QSize(sizes[i], sizes[i]));
            // Opaque pixels come back exactly; others may be rounded on the way.
            for (int y = 0; y < read.height(); ++y)
                for (int x = 0; x < read.width(); ++x)
                    if (qAlpha(want.pixel(x, y)) == 255)
                        QCOMPARE(read.pixel(x, y), want.pixel(x, y));
        }
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
