// Shared helpers: the delimited text reader and writer, StrBetween, the
// version texts, the window life cycle and the vendor's code page.
#include "TestKit.h"
#include "common/AnsiCodePage.h"
#include "common/Strings.h"
#include "common/TextFiles.h"
#include "ui/Form.h"
#include "ui/WindowOrder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kr;
using kr::test::fileBytes;

namespace {

class CountingForm final : public Form {
public:
    int loads = 0;
    int unloads = 0;
    int keptAcrossUnload = 0; // a window variable
protected:
    std::unique_ptr<QWidget> createWidget() override
    {
        auto w = std::make_unique<QWidget>();
        w->setWindowTitle(QStringLiteral("design"));
        return w;
    }
    void onLoad() override { ++loads; }
    void onUnload() override { ++unloads; }
};

} // namespace

class TestCommon : public QObject {
    Q_OBJECT
private slots:
    void readDelimited_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty file") << QByteArray() << QString();
        QTest::newRow("one entry with final empty line") << QByteArray("A\r\n\r\n") << "A\r\n";
        QTest::newRow("two entries") << QByteArray("A\r\nB\r\n\r\n") << "A\r\nB\r\n";
        QTest::newRow("final empty line removed") << QByteArray("A\r\n") << "A";
        QTest::newRow("erased log") << QByteArray("\r\n") << QString();
        QTest::newRow("leading empty items vanish") << QByteArray("\r\n\r\nA\r\n") << "A";
        QTest::newRow("comma splits, blanks skipped")
            << QByteArray("x : ab, cd\r\n\r\n") << "x : ab\r\ncd\r\n";
        QTest::newRow("quoted item keeps commas") << QByteArray("\"a, b\",c\r\n") << "a, b\r\nc";
        QTest::newRow("text after closing quote dropped") << QByteArray("\"ab\"zz,c") << "ab\r\nc";
        QTest::newRow("bare LF line ends") << QByteArray("A\nB\n") << "A\r\nB";
        QTest::newRow("utf-8 accents") << QByteArray("décembre\r\n") << "décembre";
    }
    void readDelimited()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(ParseDelimitedItems(bytes), text);
    }

    void missingFileIsAnError()
    {
        QTemporaryDir dir;
        const ReadResult r = ReadTextFile(dir.filePath(QStringLiteral("absent.ini")));
        QVERIFY(!r.ok);
        QVERIFY(r.text.isEmpty());
    }

    void writeAddsCrlfAtomicallyAndKeepsOwnerOnly()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Logz.ini"));
        QVERIFY(WriteTextFile(path, QStringLiteral("line\r\n"), FileAccess::OwnerOnly));
        QCOMPARE(fileBytes(path), QByteArray("line\r\n\r\n"));
        const QFileDevice::Permissions mode = QFile::permissions(path);
        QVERIFY(mode.testFlags(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QCOMPARE(int(mode & 0x0077), 0); // nothing for group and others
        // Written back and read again, the layout holds.
        QCOMPARE(ReadTextFile(path).text, QStringLiteral("line\r\n"));
        QVERIFY(WriteTextFile(path, QString()));
        QCOMPARE(fileBytes(path), QByteArray("\r\n"));
    }

    // The folder takes no new file, the log in it is writable: the entry is not lost.
    void writeInReadOnlyFolder()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("program"));
        const QString path = folder + QStringLiteral("/Logz.ini");
        QVERIFY(QDir().mkdir(folder));
        QVERIFY(WriteTextFile(path, QStringLiteral("old"), FileAccess::OwnerOnly));
        const QByteArray encoded = QFile::encodeName(path);
        const QByteArray encodedFolder = QFile::encodeName(folder);
        // Root writes anywhere: the writing runs as an ordinary user then.
        const uid_t nobody = 65534;
        const bool root = ::geteuid() == 0;
        if (root) {
            QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
            QVERIFY(::chown(encodedFolder.constData(), nobody, nobody) == 0);
            QVERIFY(::chown(encoded.constData(), nobody, nobody) == 0);
        }
        QVERIFY(::chmod(encodedFolder.constData(), 0555) == 0);
        const pid_t child = ::fork();
        if (child == 0) {
            if (root && (::setgid(nobody) != 0 || ::setuid(nobody) != 0))
                ::_exit(2);
            ::_exit(WriteTextFile(path, QStringLiteral("old\r\nnew"), FileAccess::OwnerOnly) ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        ::chmod(encodedFolder.constData(), 0755);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
        QCOMPARE(fileBytes(path), QByteArray("old\r\nnew\r\n"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"Logz.ini"});
    }

    void writeIntoMissingFolderFails()
    {
        QTemporaryDir dir;
        QVERIFY(!WriteTextFile(dir.filePath(QStringLiteral("no/such/file")), QStringLiteral("x")));
    }

    void strBetween_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("hasValue");
        QTest::addColumn<QString>("value");
        QTest::newRow("value") << "a%%K%%=1=%%ENDK%%" << true << "1";
        QTest::newRow("adjacent markers give empty text") << "%%K%%==%%ENDK%%" << true << "";
        QTest::newRow("no start") << "=%%ENDK%%" << false << "";
        QTest::newRow("end only before start") << "=%%ENDK%% %%K%%=" << false << "";
        QTest::newRow("first start wins") << "%%K%%=1=%%ENDK%%%%K%%=2=%%ENDK%%" << true << "1";
        QTest::newRow("case-sensitive") << "%%k%%=1=%%ENDK%%" << false << "";
    }
    void strBetween()
    {
        QFETCH(QString, source);
        QFETCH(bool, hasValue);
        QFETCH(QString, value);
        const auto r = StrBetween(source, QStringLiteral("%%K%%="), QStringLiteral("=%%ENDK%%"));
        QCOMPARE(r.has_value(), hasValue);
        if (hasValue) {
            QCOMPARE(*r, value);
            QVERIFY(!r->isNull()); // the empty text is a value, not "no value"
        }
    }

    void appDirEndsWithOneSlash()
    {
        qputenv("KEYROVIA_APP_DIR", "/");
        QCOMPARE(AppDir(), QStringLiteral("/"));
        qputenv("KEYROVIA_APP_DIR", "/tmp/x");
        QCOMPARE(AppDir(), QStringLiteral("/tmp/x/"));
        qunsetenv("KEYROVIA_APP_DIR");
    }

    void formLifeCycle()
    {
        int lastUnloaded = 0;
        FormRegistry::instance().setOnLastUnloaded([&] { ++lastUnloaded; });
        CountingForm a, b;
        a.keptAcrossUnload = 7;
        a.Show();
        a.widget()->setWindowTitle(QStringLiteral("changed"));
        b.Load(); // loaded but hidden: still counts as open
        QVERIFY(!b.widget()->isVisible());
        a.Show(); // already loaded: not loaded again
        QCOMPARE(a.loads, 1);
        a.Unload();
        QCOMPARE(lastUnloaded, 0);
        a.Unload(); // unloading an unloaded window does nothing
        QCOMPARE(a.unloads, 1);
        b.widget()->close(); // the title bar's close box unloads
        QCOMPARE(b.unloads, 1);
        QCOMPARE(lastUnloaded, 1);
        // Loaded again: controls back in their design state, variables kept.
        QCOMPARE(a.widget()->windowTitle(), QStringLiteral("design"));
        QCOMPARE(a.keptAcrossUnload, 7);
        QCOMPARE(a.loads, 2);
        a.Unload();
        FormRegistry::instance().setOnLastUnloaded({});
    }

    void ansiCodePage()
    {
        QCOMPARE(toAnsi(QString::fromUtf8("décembre €œŸ ā中😀")),
                 "d\xe9" + QByteArray("cembre \x80\x9c\x9f ???"));
        QCOMPARE(toAnsi(fromAnsi("\x80\x81\x9f\xff")), QByteArray("\x80\x81\x9f\xff")); // bytes come back
    }

    void topmostKeepsGeometryAndVisibility()
    {
        QWidget w;
        w.setGeometry(100, 120, 300, 200);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QRect before = w.geometry();
        SetAlwaysOnTop(&w);
        QVERIFY(IsAlwaysOnTop(&w));
        QVERIFY(w.isVisible());
        QCOMPARE(w.geometry().size(), before.size());
        ClearAlwaysOnTop(&w);
        QVERIFY(!IsAlwaysOnTop(&w));
        QVERIFY(w.isVisible());
        QCOMPARE(w.geometry(), before);
    }
};

QTEST_MAIN(TestCommon)
#include "tst_common.moc"
