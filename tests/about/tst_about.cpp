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
#include <QSignalSpy>
#include <QtTest>

using namespace kr;

namespace {
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

    template <typename T> T* control(const char* name)
    {
        return about->widget()->findChild<T*>(QLatin1String(name));
    }
    QString field(const char* name) { return control<QLineEdit>(name)->text(); }
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

    void loadFillsCaptionAndFields()
    {
        QVERIFY(showAbout());
        // The test's own executable name, not a fixed one.
        const QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        QCOMPARE(about->widget()->windowTitle(), "A propos de " + name + " 1.1.0");
        QCOMPARE(field("txtProg"), name);
        QCOMPARE(field("txtVersion"), QStringLiteral("1.1.0"));
        QCOMPARE(field("txtComments"), QStringLiteral("Enregistre vos mot de passes"));
        QCOMPARE(control<QLabel>("Label1")->text(),
                 QStringLiteral("Ce programme a été conçu à l'origine pour mon utilisation "
                                "personnel. Suite au multiple demande, il est maintenant "
                                "disponible pour vous tous !! Consulter notre site internet "));
        QCOMPARE(control<QLabel>("Image2")->pixmap().deviceIndependentSize().toSize(), QSize(548, 86));
    }

    void links_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<QStringList>("opened");
        const QStringList home{QStringLiteral("http://quillmark.example/")};
        QTest::newRow("site") << "lblSite" << Qt::LeftButton << home;
        QTest::newRow("maker") << "lblQuillmark" << Qt::LeftButton << home;
        QTest::newRow("site, right button") << "lblSite" << Qt::RightButton << QStringList();
    }

    void links()
    {
        QFETCH(QString, link);
        QFETCH(Qt::MouseButton, button);
        QFETCH(QStringList, opened);
        QVERIFY(showAbout());
        QTest::mouseClick(control<QLabel>(qPrintable(link)), button);
        QCOMPARE(shell.opened, opened);
        QVERIFY(about->isLoaded());
    }

    void closingSetsMainTopmost_data()
    {
        QTest::addColumn<CloseBy>("closeBy");
        QTest::addColumn<bool>("keep"); // the main window's "Visible" box
        for (const bool keep : {true, false}) {
            const char* box = keep ? "ticked" : "not ticked";
            QTest::addRow("Fermer, Visible %s", box) << CloseBy::QuitButton << keep;
            QTest::addRow("close box, Visible %s", box) << CloseBy::CloseBox << keep;
            QTest::addRow("unloaded, Visible %s", box) << CloseBy::Unload << keep;
        }
    }

    void closingSetsMainTopmost()
    {
        QFETCH(CloseBy, closeBy);
        QFETCH(bool, keep);
        QVERIFY(showAbout());
        // Start from the opposite state, so doing nothing on closing fails.
        keep ? ClearAlwaysOnTop(mainWindow.get()) : SetAlwaysOnTop(mainWindow.get());
        keepMainOnTop = keep;
        if (closeBy == CloseBy::QuitButton)
            QTest::mouseClick(control<QPushButton>("cmdQuit"), Qt::LeftButton);
        else if (closeBy == CloseBy::CloseBox)
            about->widget()->close();
        else
            about->Unload();
        QVERIFY(!about->isLoaded());
        QCOMPARE(IsAlwaysOnTop(mainWindow.get()), keep);
    }

    void loadClearsMainTopmost_data()
    {
        QTest::addColumn<bool>("mainIsLoaded");
        QTest::newRow("main window loaded") << true;
        QTest::newRow("main window not loaded") << false;
    }

    void loadClearsMainTopmost()
    {
        QFETCH(bool, mainIsLoaded);
        mainLoaded = mainIsLoaded;
        SetAlwaysOnTop(mainWindow.get());
        QVERIFY(showAbout());
        QCOMPARE(IsAlwaysOnTop(mainWindow.get()), !mainIsLoaded);
    }

    void showWhileOpenDoesNotReload()
    {
        QVERIFY(showAbout());
        control<QLineEdit>("txtProg")->setText(QStringLiteral("changed"));
        SetAlwaysOnTop(mainWindow.get());
        QSignalSpy loads(about.get(), &Form::loaded);
        about->Show();
        QCOMPARE(loads.count(), 0);
        QCOMPARE(field("txtProg"), QStringLiteral("changed"));
        QVERIFY(IsAlwaysOnTop(mainWindow.get()));
        // Once closed, the next opening loads afresh.
        about->Unload();
        QVERIFY(showAbout());
        QCOMPARE(loads.count(), 1);
        QVERIFY(field("txtProg") != QStringLiteral("changed"));
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
