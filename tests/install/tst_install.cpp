// The per-user install into a home whose data folder has blanks, accents and "%", through a linked program
// folder: files, modes, the earlier version's vault moved out of the build tree and kept, uninstall, --purge.
#include "../browser/ButtonKeys.h"
#include "platform/registry/SqliteRegistry.h"

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace kr;
using namespace kr::test;

class TestInstall : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    QString home(const QString& name) const { return m_home.filePath(name); }
    QString data(const QString& name) const { return home("Données perso 100%/" + name); }
    QString in(const QString& name) const { return data("keyrovia/" + name); }
    QString built(const QString& name) const { return home("build/Keyrovia/" + name); }
    QString host() const { return home(".config/chromium/NativeMessagingHosts/com.keyrovia.companion.json"); }
    QString real(const QString& name) const { return home("ailleurs/keyrovia/" + name); }

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
        QVERIFY(
            QDir().mkpath(real("")) && QDir().mkpath(data("")) && QFile::link(real(""), data("keyrovia")) &&
            QFile::setPermissions(real(""), QFile::Permissions(0x7755))); // made earlier, others may enter
        QVERIFY(writeFile(real(".Keyrovia.new-4194304"), "25 Mo")); // a killed install's: no pid is that high
    }

    void refusesADanglingVaultLink() // rather than put a new vault in its place
    {
        QVERIFY(QFile::link(home("disque débranché/BDMDP.MDB"), in("BDMDP.MDB")));
        QVERIFY(script({"install", home("build")}, 1).contains("n'existe pas. Rien n'a été changé"));
        QVERIFY(!QFileInfo::exists(in("Keyrovia")) && QFile::remove(in("BDMDP.MDB")));
    }

    void installPutsEverythingInItsPlace()
    {
        const QString out = install();
        QVERIFY2(
            out.contains("L'ancienne copie, " + built("BDMDP.MDB") + ", contient toujours tous vos mots"),
            qPrintable(out));
        QVERIFY(!QFileInfo::exists(real(".Keyrovia.new-4194304")));
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
        QVERIFY(fileBytes(host()).contains(real("keyrovia-companion").toUtf8())); // the browser's side
        QCOMPARE(QFileInfo::exists(home(".config/google-chrome")),
                 !QStandardPaths::findExecutable("google-chrome").isEmpty());
    }

    void secondInstallKeepsTheVaultAndReplacesTheProgram()
    {
        QVERIFY(writeFile(in("BDMDP.MDB"), "coffre modifié"));
        struct stat before {
        }, after{};
        ::stat(QFile::encodeName(in("Keyrovia")), &before);
        QVERIFY(install().contains("Un autre coffre reste dans " + built("BDMDP.MDB")));
        QCOMPARE(fileBytes(in("BDMDP.MDB")), QByteArray("coffre modifié"));
        ::stat(QFile::encodeName(in("Keyrovia")), &after);
        QVERIFY(after.st_ino != before.st_ino); // renamed in, not rewritten: a running program keeps its file
    }

    void uninstallKeepsTheVaultUnlessPurged()
    {
        SqliteRegistry registry(home(".config/keyrovia"));
        const QStringList icons = {real("ICON.ico"), in("ICON.ico"), home("autre/ICON.ico")};
        for (int i = 0; i < icons.size(); ++i)
            QVERIFY(writeButtonKey(registry, QString::number(i), buttonValues(in("Keyrovia"), icons[i])));
        QVERIFY(script({"uninstall"}).contains(in("BDMDP.MDB")));
        RegKey parent = 0;
        QString left; // the button of another program, alone
        QVERIFY(registry.openKey(HKEY_CURRENT_USER, kExtensionsKey, 0x3F, parent) == RegOk &&
                registry.enumKey(parent, 0, 64, left) == RegOk && left == "2" &&
                registry.enumKey(parent, 1, 64, left) == RegNoMoreItems);
        for (const QString& gone :
             {home(".local/bin"), data("icons"), data("applications"), home(".config/chromium")})
            QVERIFY2(!QFileInfo::exists(gone), qPrintable(gone)); // emptied, so gone
        QCOMPARE(QDir(in("")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList({"BDMDP.MDB", "PARAM.ini"}));
        for (const QString& gone : {home(".local/bin/keyrovia"), data("applications/keyrovia.desktop"),
                                    data("icons/hicolor/48x48/apps/keyrovia.png"), host()})
            QVERIFY2(!QFileInfo::exists(gone), qPrintable(gone));
        script({"uninstall", "--purge"}, 1, "non\n");
        QVERIFY(QFile::exists(in("BDMDP.MDB")));
        QProcess running; // the program, running: no purge
        QVERIFY(copyExecutable("/usr/bin/sleep", in("Keyrovia")));
        running.start(in("Keyrovia"), {"60"});
        QVERIFY(running.waitForStarted());
        QVERIFY(script({"uninstall", "--purge"}, 1, "EFFACER\n").contains("Keyrovia est ouvert"));
        running.kill();
        QVERIFY(running.waitForFinished() && QFile::exists(in("BDMDP.MDB")));
        script({"uninstall", "--purge"}, 0, "EFFACER\n");
        QVERIFY(!QFileInfo::exists(real("")) &&
                !QFileInfo(data("keyrovia")).isSymLink()); // not the link alone
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
