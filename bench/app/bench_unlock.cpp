// What the vault's key costs where the user feels it, on the real derivation
// (Argon2id, 64 MiB) and 1,000 logins: Enter at the gate to the main window
// painted, and "Appliquer" with a new password to its confirmation. Besides
// the time, each reports the derivations paid and the time beyond them.
#include "AppFixture.h"
#include "OffscreenMain.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <benchmark/benchmark.h>

using namespace kr;

namespace {

const QString Password = QStringLiteral("b\u00e9nch pass");

// The real derivation, counted and timed.
struct TimedKeys final : IKeyDerivation {
    KeyResult derive(KeyKind kind, const char* password, std::size_t passwordSize, const unsigned char* salt,
                     unsigned char* key) override
    {
        ++count;
        QElapsedTimer timer;
        timer.start();
        const KeyResult result = real.derive(kind, password, passwordSize, salt, key);
        spentNs += timer.nsecsElapsed();
        return result;
    }
    VaultKeyDerivation real;
    int count = 0;
    qint64 spentNs = 0;
};

// The fixture's vault, made at the real cost; the program runs on `timed`.
struct Vault : test::AppFixture {
    TimedKeys timed;

    Vault()
    {
        keys.cost = VaultKeyDerivation::VaultCost;
        std::vector<SiteRecord> rows;
        for (int i = 0; i < 1000; ++i)
            rows.push_back({QStringLiteral("site%1.example").arg(i, 4, 10, QLatin1Char('0')),
                            QStringLiteral("user%1").arg(i), QStringLiteral("pass%1").arg(i)});
        if (!makeDatabase(Password) || !addRows(rows, Password))
            std::abort();
        writeParam(0, 0, 0);
    }

    // One measured step: its time, and the derivations within it.
    template <typename Step> void measure(benchmark::State& state, Step step)
    {
        const int paidBefore = timed.count;
        const qint64 spentBefore = timed.spentNs;
        QElapsedTimer clock;
        clock.start();
        const qint64 total = step(clock);
        if (total < 0)
            state.SkipWithError("the step did not finish");
        state.SetIterationTime(double(total) / 1e9);
        paid += timed.count - paidBefore;
        beyondNs += total - (timed.spentNs - spentBefore);
        state.counters["derivations"] = benchmark::Counter(paid, benchmark::Counter::kAvgIterations);
        state.counters["beyond_kdf_ms"] =
            benchmark::Counter(double(beyondNs) / 1e6, benchmark::Counter::kAvgIterations);
    }
    int paid = 0;
    qint64 beyondNs = 0;
};

class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override
    {
        painted = painted || event->type() == QEvent::Paint;
        return false;
    }
};

void BM_GateToMainWindowPainted_1000(benchmark::State& state)
{
    Vault vault;
    for (auto _ : state) {
        SqlCipherEngine engine{vault.timed}; // a new run: no key kept
        vault.platform.database = &engine;
        KeyroviaApp app(vault.platform);
        app.start();
        QTest::qWait(20); // the gate's silent first test
        app.gate().txtMdp()->setText(Password);
        vault.measure(state, [&](QElapsedTimer& clock) -> qint64 {
            QTest::keyClick(app.gate().txtMdp(), Qt::Key_Return);
            PaintWatch watch;
            if (!app.mainWindow().isLoaded())
                return -1;
            app.mainWindow().widget()->installEventFilter(&watch);
            while (!watch.painted && clock.elapsed() < 10000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            return watch.painted ? clock.nsecsElapsed() : -1;
        });
    }
}
BENCHMARK(BM_GateToMainWindowPainted_1000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_AppliquerNewPassword_1000(benchmark::State& state)
{
    Vault vault;
    SqlCipherEngine engine{vault.timed};
    vault.platform.database = &engine;
    vault.app = std::make_unique<KeyroviaApp>(vault.platform);
    vault.app->store().CheckProgramPassword(Password);
    vault.app->EnterMainWindow();
    qint64 confirmedAt = -1;
    QElapsedTimer* running = nullptr;
    vault.messages.onShow = [&](const test::ShownMessage& m) {
        if (m.style == MsgInformation && confirmedAt < 0 && running)
            confirmedAt = running->nsecsElapsed();
    };
    int round = 0;
    for (auto _ : state) {
        vault.app->mainWindow().ui().txtParamMDP->setText(Password + QString::number(++round));
        vault.measure(state, [&](QElapsedTimer& clock) {
            confirmedAt = -1;
            running = &clock;
            vault.app->applyParameters();
            running = nullptr;
            return confirmedAt;
        });
    }
}
BENCHMARK(BM_AppliquerNewPassword_1000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

KEYROVIA_OFFSCREEN_BENCHMARK_MAIN()
