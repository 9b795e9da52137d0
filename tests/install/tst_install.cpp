// The per-user install into a home whose data folder has blanks, accents and "%": files, modes, the
// earlier version's vault moved out of the build tree and kept over a reinstall, uninstall and --purge.
#include "TestKit.h"

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace kr::test;

class TestInstall : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    QString home(const QString& name) const { return m_home.filePath(name); }
    QString data(const QString& name) const { return home("Données perso 100%/" + name); }
    QString in(const QString& name) const { return data("keyrovia/" + name); }
    QString built(const QString& name) const { return home("build/Keyrovia/" + name); }
    QString host() const { return home(".config/chromium/NativeMessagingHosts/com.keyrovia.companion.json"); }

    QString script(const QStringList& args, int code = 0, const QByteArray& input = {})
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", m_home.path());
        env.insert("XDG_DATA_HOME", data(""));
        env.insert("XDG_CONFIG_HOME", home(".config"));
        p.setProcessEnvironment(env);
        p.start(KEYROVIA_INSTALLER, args);
        p.write(input);
        p.closeWriteChannel();
        const bool done = p.waitForFinished(60000);
        const QString out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
        [&] { QVERIFY2(done && p.exitCode() == code, qPrintable(out)); }();
        return out;
    }
    QString install() { return script({"install", home("build")}); }

private slots:
    void initTestCase()
    {
        // A build tree of its own, holding a vault that an earlier version used there.
        QDir().mkpath(home("build"));
        QProcess::execute("cp", {"-r", KEYROVIA_BUILD "/Keyrovia", home("build")});
        for (const char* shared : {"/desktop", "/tools"})
            QFile::link(KEYROVIA_BUILD + QString(shared), home("build") + shared);
        QVERIFY(writeFile(built("BDMDP.MDB"), "ancien coffre") && writeFile(built("PARAM.ini"), "réglages"));
    }

    void installPutsEverythingInItsPlace()
    {
        const QString out = install();
        QVERIFY2(out.contains("Coffre repris de"), qPrintable(out));
        QCOMPARE(QList<int>({fileMode(in("")), fileMode(in("Keyrovia")), fileMode(in("BDMDP.MDB")),
                             fileMode(in("PARAM.ini"))}),
                 QList<int>({0700, 0755, 0600, 0600})); // the copies from the build tree were 0644
        QCOMPARE(fileBytes(in("BDMDP.MDB")) + fileBytes(in("PARAM.ini")),
                 QByteArray("ancien coffreréglages"));
        QVERIFY(QFile::exists(built("BDMDP.MDB")) &&
                QFile::exists(in("browser-extension/chromium/manifest.json")));
        QCOMPARE(QFile::symLinkTarget(home(".local/bin/keyrovia")), in("Keyrovia"));
        for (int size : {16, 24, 32, 48, 64, 128, 256})
            QCOMPARE(QImage(data(QString("icons/hicolor/%1x%1/apps/keyrovia.png").arg(size))).size(),
                     QSize(size, size));
        const QString entry = data("applications/keyrovia.desktop");
        QVERIFY(fileBytes(entry).contains("\nExec=\"" + in("Keyrovia").replace("%", "%%").toUtf8() + "\"\n"));
        QCOMPARE(QProcess::execute("desktop-file-validate", {entry}), 0);
        QVERIFY(fileBytes(host()).contains(in("keyrovia-companion").toUtf8())); // the browser's side
    }

    void secondInstallKeepsTheVaultAndReplacesTheProgram()
    {
        QVERIFY(writeFile(in("BDMDP.MDB"), "coffre modifié"));
        struct stat before {
        }, after{};
        ::stat(QFile::encodeName(in("Keyrovia")), &before);
        QVERIFY(install().contains("un autre coffre reste dans " + built("BDMDP.MDB")));
        QCOMPARE(fileBytes(in("BDMDP.MDB")), QByteArray("coffre modifié"));
        ::stat(QFile::encodeName(in("Keyrovia")), &after);
        QVERIFY(after.st_ino != before.st_ino); // renamed in, not rewritten: a running program keeps its file
    }

    void uninstallKeepsTheVaultUnlessPurged()
    {
        QVERIFY(script({"uninstall"}).contains(in("BDMDP.MDB")));
        QCOMPARE(QDir(in("")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList({"BDMDP.MDB", "PARAM.ini"}));
        for (const QString& gone : {home(".local/bin/keyrovia"), data("applications/keyrovia.desktop"),
                                    data("icons/hicolor/48x48/apps/keyrovia.png"), host()})
            QVERIFY2(!QFileInfo::exists(gone), qPrintable(gone));
        script({"uninstall", "--purge"}, 1, "non\n");
        QVERIFY(QFile::exists(in("BDMDP.MDB")));
        script({"uninstall", "--purge"}, 0, "EFFACER\n");
        QVERIFY(!QFileInfo::exists(in("")));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
