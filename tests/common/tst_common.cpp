// Shared helpers: the delimited text reader and writer, StrBetween, the
// vendor's code page and the topmost state.
#include "TestKit.h"
#include "common/AnsiCodePage.h"
#include "common/Strings.h"
#include "common/TextFiles.h"
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

class TestCommon : public QObject {
    Q_OBJECT
private slots:
    void readDelimited()
    {
        const std::pair<QByteArray, QString> rows[] = {
            {"", ""},
            {"A\r\n\r\n", "A\r\n"},                     // one entry with its final empty line
            {"A\r\n", "A"},                             // final empty line removed
            {"\r\n\r\nA\r\n", "A"},                     // leading empty items vanish
            {"x : ab, cd\r\n\r\n", "x : ab\r\ncd\r\n"}, // comma splits, blanks skipped
            {"\"a, b\",c\r\n", "a, b\r\nc"},            // quoted item keeps commas
            {"\"ab\"zz,c", "ab\r\nc"},                  // text after closing quote dropped
            {"A\nB\n", "A\r\nB"},                       // bare LF line ends
            {"décembre\r\n", "décembre"}};
        for (const auto& [bytes, text] : rows)
            QCOMPARE(ParseDelimitedItems(bytes), text);
    }

    void writeAddsCrlfAtomicallyAndKeepsOwnerOnly()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Logz.ini"));
        const ReadResult missing = ReadTextFile(path);
        QVERIFY(!missing.ok && missing.text.isEmpty());
        QVERIFY(!WriteTextFile(dir.filePath(QStringLiteral("no/such/file")), QStringLiteral("x")));
        QVERIFY(WriteTextFile(path, QStringLiteral("line\r\n"), FileAccess::OwnerOnly));
        QCOMPARE(fileBytes(path), QByteArray("line\r\n\r\n"));
        QCOMPARE(int(QFile::permissions(path) & 0x0777), 0x0600); // nothing for group and others
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
        // Root writes anywhere: the writing runs as an ordinary user then.
        const uid_t user = ::geteuid() == 0 ? 65534 : ::geteuid();
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
        for (const QString& p : {folder, path})
            QVERIFY(::chown(QFile::encodeName(p).constData(), user, gid_t(-1)) == 0);
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0555) == 0);
        const pid_t child = ::fork();
        if (child == 0)
            ::_exit(::setuid(user) == 0 && WriteTextFile(path, "old\r\nnew", FileAccess::OwnerOnly) ? 0 : 1);
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        ::chmod(QFile::encodeName(folder).constData(), 0755);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        QCOMPARE(fileBytes(path), QByteArray("old\r\nnew\r\n"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"Logz.ini"});
    }

    void strBetween()
    {
        const std::pair<QString, std::optional<QString>> rows[] = {
            {"a%%K%%=1=%%ENDK%%", "1"},
            {"%%K%%==%%ENDK%%", ""}, // adjacent markers give the empty text, a value
            {"=%%ENDK%%", std::nullopt},
            {"=%%ENDK%% %%K%%=", std::nullopt}, // end only before start
            {"%%K%%=1=%%ENDK%%%%K%%=2=%%ENDK%%", "1"},
            {"%%k%%=1=%%ENDK%%", std::nullopt}}; // case-sensitive
        for (const auto& [source, value] : rows) {
            const auto r = StrBetween(source, QStringLiteral("%%K%%="), QStringLiteral("=%%ENDK%%"));
            QCOMPARE(r, value);
            QVERIFY(!r || !r->isNull());
        }
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
        QVERIFY(IsAlwaysOnTop(&w) && w.isVisible());
        ClearAlwaysOnTop(&w);
        QVERIFY(!IsAlwaysOnTop(&w) && w.isVisible());
        QCOMPARE(w.geometry(), before);
    }
};

QTEST_MAIN(TestCommon)
#include "tst_common.moc"
