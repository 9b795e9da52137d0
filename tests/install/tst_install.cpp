// The per-user install into a home whose data folder has blanks, accents and "%" and whose program
// folder is a link: files, modes, the earlier version's vault moved out of the build tree and kept over
// a reinstall, a killed install's leftovers, uninstall (toolbar buttons, empty folders) and --purge.
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
    QProcess m_otherInstall; // an install still at work
    qint64 m_killedInstall = 0;
    QString home(const QString& name) const { return m_home.filePath(name); }
    QString data(const QString& name) const { return home("Données perso 100%/" + name); }
    QString in(const QString& name) const { return data("keyrovia/" + name); }
    QString built(const QString& name) const { return home("build/Keyrovia/" + name); }
    QString host() const { return home(".config/chromium/NativeMessagingHosts/com.keyrovia.companion.json"); }
    QString real(const QString& name) const { return home("ailleurs/keyrovia/" + name); }
    QString leftover(const char* file, qint64 pid) const { return real(QString(file) + ".new-%1").arg(pid); }

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
        // The program folder, made earlier by the user as a link to a folder others may enter.
        QVERIFY(QDir().mkpath(real("")) && QDir().mkpath(data("")) &&
                QFile::link(real(""), data("keyrovia")));
        QVERIFY(QFile::setPermissions(real(""),
                                      QFile::permissions(real("")) | QFile::ReadOther | QFile::ExeOther));
        QProcess killed;
        killed.start("true");
        QVERIFY(killed.waitForStarted());
        m_killedInstall = killed.processId();
        killed.waitForFinished();
        m_otherInstall.start("bash", {"-c", "exec -a keyrovia-install.sh sleep 60"});
        QVERIFY(m_otherInstall.waitForStarted());
        QVERIFY(writeFile(leftover(".Keyrovia", m_killedInstall), "25 Mo") &&
                writeFile(leftover(".keyrovia-companion", m_otherInstall.processId()), "en cours"));
    }
    void cleanupTestCase() { m_otherInstall.kill(), m_otherInstall.waitForFinished(); }

    // A vault link that leads nowhere: no new vault is put in its place, nothing at all changes.
    void refusesADanglingVaultLink()
    {
        QVERIFY(QFile::link(home("disque débranché/BDMDP.MDB"), in("BDMDP.MDB")));
        QVERIFY(script({"install", home("build")}, 1).contains("n'existe pas. Rien n'a été changé"));
        QCOMPARE(QDir(real(""))
                     .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)
                     .size(),
                 3);
        QVERIFY(QFile::remove(in("BDMDP.MDB")));
    }

    void installPutsEverythingInItsPlace()
    {
        const QString out = install();
        // Where the old copy is, and that it still opens with today's master password.
        QVERIFY2(out.contains("L'ancienne copie, " + built("BDMDP.MDB") +
                              ", contient toujours tous vos mots de passe"),
                 qPrintable(out));
        QCOMPARE(
            QList<bool>({QFileInfo::exists(leftover(".Keyrovia", m_killedInstall)),
                         QFileInfo::exists(leftover(".keyrovia-companion", m_otherInstall.processId()))}),
            QList<bool>({false, true}));
        m_otherInstall.kill(); // its leftover goes at the uninstall
        m_otherInstall.waitForFinished();
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
        // No folder for a browser the user does not have.
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
        // The program's own buttons carry its icon, by either path; another program's stays.
        SqliteRegistry registry(home(".config/keyrovia"));
        const QStringList icons = {real("ICON.ico"), in("ICON.ico"), home("autre/ICON.ico")};
        for (int i = 0; i < icons.size(); ++i)
            QVERIFY(writeButtonKey(registry, QString::number(i), buttonValues(in("Keyrovia"), icons[i])));
        QVERIFY(script({"uninstall"}).contains(in("BDMDP.MDB")));
        QList<bool> kept;
        for (int i = 0; i < icons.size(); ++i) {
            RegKey key = 0;
            kept << (registry.openKey(HKEY_CURRENT_USER, kExtensionsKey + '\\' + QString::number(i), 1,
                                      key) == RegOk);
            registry.closeKey(key);
        }
        QCOMPARE(kept, QList<bool>({false, false, true}));
        // The folders the install made go with it when nothing else is in them.
        for (const QString& gone :
             {home(".local/bin"), data("icons"), data("applications"), home(".config/chromium")})
            QVERIFY2(!QFileInfo::exists(gone), qPrintable(gone));
        QCOMPARE(QDir(in("")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList({"BDMDP.MDB", "PARAM.ini"}));
        for (const QString& gone : {home(".local/bin/keyrovia"), data("applications/keyrovia.desktop"),
                                    data("icons/hicolor/48x48/apps/keyrovia.png"), host()})
            QVERIFY2(!QFileInfo::exists(gone), qPrintable(gone));
        script({"uninstall", "--purge"}, 1, "non\n");
        QVERIFY(QFile::exists(in("BDMDP.MDB")));
        // Not while the program runs from the folder.
        QProcess running;
        QVERIFY(copyExecutable("/usr/bin/sleep", in("Keyrovia")));
        running.start(in("Keyrovia"), {"60"});
        QVERIFY(running.waitForStarted());
        QVERIFY(script({"uninstall", "--purge"}, 1, "EFFACER\n").contains("Keyrovia est ouvert"));
        running.kill();
        running.waitForFinished();
        QVERIFY(QFile::exists(in("BDMDP.MDB")));
        script({"uninstall", "--purge"}, 0, "EFFACER\n");
        // The folder behind the link too, not the link alone.
        QVERIFY(!QFileInfo::exists(real("")) && !QFileInfo(data("keyrovia")).isSymLink());
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
