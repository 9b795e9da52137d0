// Main window timings on the real database engine (offscreen widgets):
// adding a login to 1,000 and seeing it in the list, opening the main window
// with 10,000 logins.
#include "AppFixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <benchmark/benchmark.h>

using namespace kr;

namespace {

// The whole program on the test doubles, its database holding `logins` logins.
struct Program : test::AppFixture {
    Program(int logins, const QString& password)
    {
        makeDatabase(password);
        std::unique_ptr<IDbConnection> db;
        engine.open(path(QStringLiteral("BDMDP.MDB")), false, PasswordStore::connectString(password), db);
        db->execute(QStringLiteral("BEGIN"));
        for (int i = 0; i < logins; ++i)
            db->execute(PasswordStore::insertStatement(
                QStringLiteral("site%1.example").arg(i, 5, 10, QLatin1Char('0')),
                QStringLiteral("user%1").arg(i), QStringLiteral("pass%1").arg(i)));
        db->execute(QStringLiteral("COMMIT"));
        db->close();
        writeParam(0, 0, 0);
        app = std::make_unique<KeyroviaApp>(platform);
        // The gate has accepted the password (its key derivation is measured in bench_store).
        app->store().CheckProgramPassword(password);
    }
};

// From "Ajouter" to the new login in the list (the message box answers at once).
void BM_AddLoginTo1000(benchmark::State& state)
{
    Program p(1000, QStringLiteral("bench-pass"));
    p.app->EnterMainWindow();
    MotDePassControls& c = p.app->mainWindow().ui();
    int i = 0;
    for (auto _ : state) {
        c.txtAddSite->setText(QStringLiteral("added%1.example").arg(i++));
        c.txtAddUser->setText(QStringLiteral("me"));
        c.txtAddMDP->setText(QStringLiteral("pw"));
        p.app->mainWindow().cmdAddSite_Click();
        state.PauseTiming();
        // Keep the table at about 1,000 logins.
        p.app->store().DeleteSiteRecords(QStringLiteral("added%1.example").arg(i - 1));
        state.ResumeTiming();
    }
    if (c.lstSite->count() < 1000)
        state.SkipWithError("the list lost logins");
}
BENCHMARK(BM_AddLoginTo1000)->Unit(benchmark::kMillisecond)->Iterations(50);

// EnterMainWindow with 10,000 logins: window created, settings applied, list filled.
void BM_OpenMainWindow10000(benchmark::State& state)
{
    Program p(10000, QStringLiteral("bench-pass"));
    for (auto _ : state) {
        p.app->EnterMainWindow();
        state.PauseTiming();
        if (p.app->mainWindow().ui().lstSite->count() != 10000)
            state.SkipWithError("not every login listed");
        p.app->mainWindow().Unload();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenMainWindow10000)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
