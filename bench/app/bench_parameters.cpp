// "Appliquer" from the click to the confirmation box, with 50 other programs'
// toolbar buttons in the real registry file (SQLite under a temporary folder)
// and the real database engine: registering the program's button, and
// removing it. Also how long the manager window is loaded during the save.
#include "AppFixture.h"
#include "OffscreenMain.h"
#include "browser/frmListIcon.h"
#include "browser/ieToolBar.h"
#include "platform/registry/SqliteRegistry.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <benchmark/benchmark.h>

using namespace kr;

namespace {

const QString kParent = QStringLiteral("Software\\Microsoft\\Internet Explorer\\Extensions");

struct Program : test::AppFixture {
    QTemporaryDir registryDir;
    SqliteRegistry files{registryDir.path()};
    QElapsedTimer clock;
    qint64 confirmedAt = -1;
    qint64 managerLoadedAt = 0;
    qint64 managerShownFor = 0;
    qint64 managerTotal = 0;

    explicit Program(const QString& password)
    {
        platform.registry = &files;
        AppFixture::keys.cost = VaultKeyDerivation::VaultCost;
        makeDatabase(password);
        writeParam(0, 0, 0);
        for (int i = 0; i < 50; ++i) {
            RegKey k = 0;
            files.createKey(
                HKEY_CURRENT_USER,
                kParent +
                    QStringLiteral("\\{%1-0000-4000-8000-000000000000}").arg(i, 8, 16, QLatin1Char('0')),
                QString(), 0, 0x3F, k);
            SetKeyValue(files, k, QStringLiteral("Exec"), REG_SZ,
                        QStringLiteral("/opt/outil%1/outil").arg(i));
            SetKeyValue(files, k, QStringLiteral("Icon"), REG_SZ,
                        QStringLiteral("/opt/outil%1/outil.ico").arg(i));
            SetKeyValue(files, k, QStringLiteral("ButtonText"), REG_SZ, QStringLiteral("Outil %1").arg(i));
            files.closeKey(k);
        }
        app = std::make_unique<KeyroviaApp>(platform);
        app->store().CheckProgramPassword(password);
        app->EnterMainWindow();
        messages.answers.clear();
        messages.onShow = [this](const test::ShownMessage& m) {
            if (m.style == MsgInformation && confirmedAt < 0)
                confirmedAt = clock.nsecsElapsed();
        };
        QObject::connect(&app->listIcon(), &Form::loaded, [this] { managerLoadedAt = clock.nsecsElapsed(); });
        QObject::connect(&app->listIcon(), &Form::unloaded,
                         [this] { managerShownFor = clock.nsecsElapsed() - managerLoadedAt; });
        ui().txtParamMDP->setText(password);
        ui().chkParamTjsVisi->setChecked(false);
        ui().chkParamRecupIE->setChecked(false);
    }
    MotDePassControls& ui() { return app->mainWindow().ui(); }

    // One "Appliquer"; the tutorial question is answered No.
    void apply(benchmark::State& state, bool afficher)
    {
        ui().chkParamVisiIE->setChecked(afficher);
        // An empty password box first asks "T Sur ?" (Yes), then the tutorial question (No).
        if (ui().txtParamMDP->text().isEmpty())
            messages.answers = {MsgAnswer::Yes, MsgAnswer::No};
        else
            messages.answers = {MsgAnswer::No};
        confirmedAt = -1;
        clock.start();
        app->applyParameters();
        if (confirmedAt < 0)
            state.SkipWithError("no confirmation");
        state.SetIterationTime(double(confirmedAt) / 1e9);
        managerTotal += managerShownFor;
        state.counters["manager_ms"] =
            benchmark::Counter(double(managerTotal) / 1e6, benchmark::Counter::kAvgIterations);
    }
    int keys()
    {
        RegKey parent = 0;
        files.openKey(HKEY_CURRENT_USER, kParent, 0x3F, parent);
        QString name;
        quint32 n = 0;
        while (files.enumKey(parent, n, 256, name) != RegNoMoreItems)
            ++n;
        files.closeKey(parent);
        return int(n);
    }
};

void appliquer(benchmark::State& state, bool registering, const QString& password)
{
    Program p(password);
    for (auto _ : state) {
        if (!registering) {
            AddProgzIE(p.files); // the button to remove, outside the measured time
        }
        p.apply(state, registering);
        const int expected = registering ? 51 : 50;
        if (p.keys() != expected)
            state.SkipWithError("wrong number of buttons");
        if (registering) {
            // Back to 50 buttons for the next round.
            p.ui().chkParamVisiIE->setChecked(false);
            p.messages.onShow = nullptr;
            p.messages.answers.clear();
            if (p.ui().txtParamMDP->text().isEmpty())
                p.messages.answers = {MsgAnswer::Yes};
            p.app->applyParameters();
            p.messages.onShow = [&p](const test::ShownMessage& m) {
                if (m.style == MsgInformation && p.confirmedAt < 0)
                    p.confirmedAt = p.clock.nsecsElapsed();
            };
        }
    }
}

void BM_AppliquerRegisters_50Keys_NoPassword(benchmark::State& state)
{
    appliquer(state, true, QString());
}
void BM_AppliquerRemoves_50Keys_NoPassword(benchmark::State& state)
{
    appliquer(state, false, QString());
}
void BM_AppliquerRegisters_50Keys_Password(benchmark::State& state)
{
    appliquer(state, true, QStringLiteral("bench-pass"));
}
BENCHMARK(BM_AppliquerRegisters_50Keys_NoPassword)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK(BM_AppliquerRemoves_50Keys_NoPassword)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK(BM_AppliquerRegisters_50Keys_Password)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

} // namespace

KEYROVIA_OFFSCREEN_BENCHMARK_MAIN()
