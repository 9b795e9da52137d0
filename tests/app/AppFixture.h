#pragma once
// A whole program on the test doubles: temporary program folder, real
// database engine, recording message boxes, clipboard, shell and clock.
#include "DerivationDouble.h"
#include "PlatformDoubles.h"
#include "RegistryDouble.h"
#include "ShellDouble.h"
#include "SingleInstanceDouble.h"
#include "TestKit.h"
#include "app/Application.h"
#include "app/OneInstance.h"
#include "app/SiteList.h"
#include "platform/sqlcipher/SqlCipherEngine.h"
#include "ui/Form.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace kr::test {

inline QStringList listTexts(SiteListView* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->text(i);
    return out;
}

inline void clickRow(SiteListView* list, int row)
{
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(row, 0)).center());
}

class AppFixture {
public:
    explicit AppFixture(IPageAddress* page = nullptr, IKeystrokes* keys = nullptr, ILockKeys* locks = nullptr)
        : clock(QDateTime(QDate(2026, 12, 6), QTime(9, 5, 7)))
    {
        qputenv("KEYROVIA_APP_DIR", dir.path().toLocal8Bit());
        platform.messageBox = &messages;
        platform.process = &process;
        platform.clipboard = &clipboard;
        platform.shell = &shell;
        platform.clock = &clock;
        platform.database = &engine;
        platform.registry = &registry;
        platform.pageAddress = page;
        platform.keystrokes = keys;
        platform.lockKeys = locks;
        FormRegistry::instance().setOnLastUnloaded([this] { ++programEnded; });
    }
    ~AppFixture()
    {
        app.reset();
        FormRegistry::instance().setOnLastUnloaded({});
        qunsetenv("KEYROVIA_APP_DIR");
    }

    QString path(const QString& name) const { return dir.filePath(name); }

    bool makeDatabase(const QString& password = QString())
    {
        QProcess p;
        p.start(QStringLiteral(KEYROVIA_MAKEDB), {path(QStringLiteral("BDMDP.MDB"))});
        if (!p.waitForFinished(15000) || p.exitCode() != 0)
            return false;
        if (password.isEmpty())
            return true;
        PasswordStore store(engine, path(QStringLiteral("BDMDP.MDB")));
        return store.ChangeDatabasePassword(store.databasePath(), QString(), password);
    }

    bool addRows(const std::vector<SiteRecord>& rows, const QString& password = QString())
    {
        PasswordStore store(engine, path(QStringLiteral("BDMDP.MDB")));
        store.setProgramPassword(password);
        for (const SiteRecord& r : rows) {
            if (!store.InsertSiteRecord(r.Site, r.User, r.Pass).ok())
                return false;
        }
        return true;
    }

    void writeParam(int afficher, int visible, int recup)
    {
        QVERIFY(writeFile(path(QStringLiteral("PARAM.ini")), paramIni(afficher, visible, recup)));
    }

    // The usual run: a database holding these logins, PARAM.ini with only
    // "Automatique" as given, the password typed into the gate, the main window
    // loaded. False when a step failed.
    bool openMain(const std::vector<SiteRecord>& rows = {}, int recupAuto = 0, const QString& password = {})
    {
        if (!makeDatabase(password) || !addRows(rows, password) ||
            !writeFile(path(QStringLiteral("PARAM.ini")), paramIni(0, 0, recupAuto)))
            return false;
        start();
        if (!password.isEmpty()) {
            app->gate().txtMdp()->setText(password);
            QTest::keyClick(app->gate().txtMdp(), Qt::Key_Return);
        }
        return QTest::qWaitFor([this] { return app->mainWindow().isLoaded(); });
    }

    MotDePassControls& ui() { return app->mainWindow().ui(); }

    // "style title" of each message shown, in order.
    QStringList titles() const
    {
        QStringList out;
        for (const ShownMessage& m : messages.shown)
            out << QString::number(m.style) + QLatin1Char(' ') + m.title;
        return out;
    }

    // Starts the program and waits for the gate's first activation to pass.
    KeyroviaApp& start()
    {
        app = std::make_unique<KeyroviaApp>(platform);
        ClaimProgramFolder(instance, *app);
        app->start();
        QTest::qWait(20);
        return *app;
    }

    QTemporaryDir dir;
    RecordingMessageBox messages;
    RecordingProcess process;
    MemoryClipboard clipboard;
    RecordingShell shell;
    FixedClock clock;
    CountingDerivation keys;
    SqlCipherEngine engine{keys};
    MemoryRegistry registry;
    SingleInstanceDouble instance;
    Platform platform;
    std::unique_ptr<KeyroviaApp> app;
    int programEnded = 0;
};

} // namespace kr::test
