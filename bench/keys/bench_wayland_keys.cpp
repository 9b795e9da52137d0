// Typing speed through the compositor's virtual keyboard, measured under
// headless sway into a native Wayland terminal (run-bench-wayland-keys starts
// both, see tools/run-under-sway.sh): from the send to the terminal
// having written the whole login, checked exactly every time.
#include "QtBenchMain.h"
#include "TypedLogin.h"
#include "common/KeyString.h"
#include "platform/wayland/WaylandKeystrokes.h"

#include <QElapsedTimer>

using namespace kr;
using namespace kr::bench;

namespace {

// One login typed and timed; false (with an error on the state) when it did not arrive exactly.
bool typeLogin(benchmark::State& state, const QString& user, const QString& password, double* seconds)
{
    const qint64 from = typedSize();
    WaylandKeystrokes typer;
    QElapsedTimer clock;
    clock.start();
    const bool sent = typer.sendKeys(EscapeForKeyString(user) + QStringLiteral("{TAB}") +
                                         EscapeForKeyString(password) + QStringLiteral("{ENTER}"),
                                     true);
    const QString got = sent ? waitForLine(from) : QString();
    *seconds = double(clock.nsecsElapsed()) / 1e9;
    state.SetIterationTime(*seconds);
    if (got != user + u'\t' + password + u'\n') {
        state.SkipWithError("the login did not arrive exactly");
        return false;
    }
    return true;
}

void BM_Login40HalfOffLayout(benchmark::State& state)
{
    double total = 0, seconds = 0;
    for (auto _ : state) {
        if (!typeLogin(state, LoginUser, LoginPassword, &seconds))
            return;
        total += seconds;
    }
    state.counters["exact_runs"] = double(state.iterations());
    state.counters["ms_per_char"] = 1000.0 * total / double(state.iterations()) / 42.0; // Tab and Enter too
}
BENCHMARK(BM_Login40HalfOffLayout)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

void BM_AsciiPerCharacter(benchmark::State& state)
{
    const int length = int(state.range(0));
    QString user;
    for (int i = 0; i < length; ++i)
        user += QChar(char16_t(0x21 + (i * 7) % 94));
    double total = 0, seconds = 0;
    for (auto _ : state) {
        if (!typeLogin(state, user, QStringLiteral("x"), &seconds))
            return;
        total += seconds;
    }
    state.counters["ms_per_char"] = 1000.0 * total / double(state.iterations()) / double(length + 3);
}
BENCHMARK(BM_AsciiPerCharacter)->Arg(200)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace

KR_QT_BENCHMARK_MAIN([](int, char**) { return -1; })
