// Main window timings on the real database engine (offscreen widgets), with
// 1,000 and 100,000 logins: from Enter in the gate to the main window painted,
// and adding a login with the list brought up to date.
#include "AppFixture.h"
#include "app/SiteList.h"

#include <QApplication>
#include <QLineEdit>
#include <benchmark/benchmark.h>

using namespace kr;

namespace {

const QString kPassword = QStringLiteral("bench-pass");

// The whole program on the test doubles, its database holding `logins` logins.
struct Program : test::AppFixture {
    explicit Program(int logins)
    {
        makeDatabase(kPassword);
        std::unique_ptr<IDbConnection> db;
        engine.open(path(QStringLiteral("BDMDP.MDB")), false, PasswordStore::connectString(kPassword), db);
        db->execute(QStringLiteral("BEGIN"));
        for (int i = 0; i < logins; ++i)
            db->execute(PasswordStore::insertStatement(
                QStringLiteral("site%1.example").arg(i, 6, 10, QLatin1Char('0')),
                QStringLiteral("user%1").arg(i), QStringLiteral("pass%1").arg(i)));
        db->execute(QStringLiteral("COMMIT"));
        db->close();
        writeParam(0, 0, 0);
        app = std::make_unique<KeyroviaApp>(platform);
    }
};

// One open of the vault with its password: the key derivation the gate pays.
void BM_OpenVault(benchmark::State& state)
{
    Program p(1);
    for (auto _ : state)
        p.app->store().CheckProgramPassword(kPassword);
}
BENCHMARK(BM_OpenVault)->Unit(benchmark::kMillisecond)->Iterations(10);

// Enter in the gate (the password tried on the file) to the main window
// painted with every login listed.
void BM_EnterToMainWindowPainted(benchmark::State& state)
{
    Program p(int(state.range(0)));
    for (auto _ : state) {
        p.app->store().CheckProgramPassword(kPassword);
        p.app->EnterMainWindow();
        QWidget* main = p.app->mainWindow().widget();
        main->show();
        main->repaint();
        state.PauseTiming();
        if (p.app->mainWindow().ui().lstSite->count() != state.range(0))
            state.SkipWithError("not every login listed");
        p.app->mainWindow().Unload();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_EnterToMainWindowPainted)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);

// The main window closed (title bar) to the master password, every stored
// password and the vault's keys wiped.
void BM_CloseToKeysWiped(benchmark::State& state)
{
    Program p(int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        p.app->store().CheckProgramPassword(QString::fromUtf8("bench-pass")); // typed, not a literal
        p.app->EnterMainWindow();
        p.app->mainWindow().widget()->show();
        state.ResumeTiming();
        p.app->mainWindow().widget()->close();
        state.PauseTiming();
        if (!p.app->store().programPassword().isEmpty() ||
            p.app->store().siteTable().front().Pass.size() != 0)
            state.SkipWithError("a secret was left");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_CloseToKeysWiped)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);

// From "Ajouter" to the new login in the list (the message box answers at once).
void BM_AddLogin(benchmark::State& state)
{
    Program p(int(state.range(0)));
    p.app->store().CheckProgramPassword(kPassword);
    p.app->EnterMainWindow();
    MotDePassControls& c = p.app->mainWindow().ui();
    int i = 0;
    for (auto _ : state) {
        c.txtAddSite->setText(QStringLiteral("added%1.example").arg(i++));
        c.txtAddUser->setText(QStringLiteral("me"));
        c.txtAddMDP->setText(QStringLiteral("pw"));
        p.app->mainWindow().cmdAddSite_Click();
        c.lstSite->repaint();
    }
    if (c.lstSite->count() != state.range(0) + i)
        state.SkipWithError("the list does not show every login");
}
BENCHMARK(BM_AddLogin)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(20);

// From "Supprimer" on a selected login (the question answered Yes) to the list without it.
void BM_DeleteLogin(benchmark::State& state)
{
    Program p(int(state.range(0)));
    p.app->store().CheckProgramPassword(kPassword);
    p.app->EnterMainWindow();
    MotDePassControls& c = p.app->mainWindow().ui();
    for (auto _ : state) {
        state.PauseTiming();
        c.lstSite->setCurrentRow(int(state.range(0)) / 2);
        state.ResumeTiming();
        p.app->mainWindow().cmdDellSite_Click();
        c.lstSite->repaint();
    }
    if (c.lstSite->count() != state.range(0) - int(state.iterations()))
        state.SkipWithError("the list does not match the file");
}
BENCHMARK(BM_DeleteLogin)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(20);

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
