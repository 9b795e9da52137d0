// The About window and the program's icon file.
#include "ShellDouble.h"
#include "about/IcoFile.h"
#include "about/ProgramIcon.h"
#include "about/frmAbout.h"
#include "ui/WindowOrder.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace kr;

class TestAbout : public QObject {
    Q_OBJECT

    test::RecordingShell shell;
    Platform platform;
    std::unique_ptr<QWidget> mainWindow;
    bool mainLoaded = true;
    bool keepMainOnTop = false;
    std::unique_ptr<frmAbout> about;

    template <typename T> T* control(const char* name)
    {
        return about->widget()->findChild<T*>(QLatin1String(name));
    }
    bool showAbout()
    {
        about->Show();
        return QTest::qWaitForWindowExposed(about->widget());
    }

private slots:
    void initTestCase()
    {
        platform.shell = &shell;
        // Unloading the last window must not end the test's event loop.
        FormRegistry::instance().setOnLastUnloaded([] {});
    }
    void init()
    {
        shell.opened.clear();
        mainLoaded = true;
        keepMainOnTop = false;
        mainWindow = std::make_unique<QWidget>();
        mainWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(mainWindow.get()));
        about = std::make_unique<frmAbout>(
            platform, [this] { return mainLoaded ? mainWindow.get() : nullptr; },
            [this] { return keepMainOnTop; });
    }
    void cleanup()
    {
        about->Unload();
        about.reset();
        mainWindow.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void captionFieldsAndLinks()
    {
        QVERIFY(showAbout());
        // The test's own executable name, not a fixed one.
        const QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        QCOMPARE(about->widget()->windowTitle(), "A propos de " + name + " 1.1.0");
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
        QCOMPARE(shell.opened, QStringList(2, QStringLiteral("http://quillmark.example/")));
        QVERIFY(about->isLoaded());
    }

    // Loading takes the main window's topmost state away (when it is loaded);
    // closing, however it happens, sets it as its "Visible" box says.
    void mainWindowTopmost_data()
    {
        QTest::addColumn<int>("closeBy"); // 0: Fermer, 1: the close box, 2: unloaded
        QTest::addColumn<bool>("keep");
        QTest::addColumn<bool>("mainIsLoaded");
        for (const bool keep : {true, false})
            for (const int by : {0, 1, 2})
                QTest::addRow("close %d, Visible %d", by, keep) << by << keep << true;
        QTest::newRow("main window not loaded") << 2 << false << false;
    }
    void mainWindowTopmost()
    {
        QFETCH(int, closeBy);
        QFETCH(bool, keep);
        QFETCH(bool, mainIsLoaded);
        mainLoaded = mainIsLoaded;
        SetAlwaysOnTop(mainWindow.get());
        QVERIFY(showAbout());
        QCOMPARE(IsAlwaysOnTop(mainWindow.get()), !mainIsLoaded);
        if (!mainIsLoaded)
            return;
        // Start from the opposite state, so doing nothing on closing fails.
        keep ? ClearAlwaysOnTop(mainWindow.get()) : SetAlwaysOnTop(mainWindow.get());
        keepMainOnTop = keep;
        if (closeBy == 0)
            QTest::mouseClick(control<QPushButton>("cmdQuit"), Qt::LeftButton);
        else if (closeBy == 1)
            about->widget()->close();
        else
            about->Unload();
        QVERIFY(!about->isLoaded());
        QCOMPARE(IsAlwaysOnTop(mainWindow.get()), keep);
    }

    // ICON.ico as built equals the encoder's output, and Qt's own reader reads it back.
    void iconFile()
    {
        QList<QImage> drawn;
        for (const int size : programIconSizes())
            drawn.append(programIconImage(size));
        QFile file(QStringLiteral(DELIVERED_ICON));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), encodeIco(drawn).value_or(QByteArray()));
        if (!QImageReader::supportedImageFormats().contains("ico"))
            QSKIP("Qt's ico image plugin is not installed");
        file.seek(0);
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
