// Typing speed through the compositor's virtual keyboard, measured under
// headless sway into a native Wayland terminal (run-bench-wayland-keys starts
// both, see tools/run-under-sway.sh): from the send to the terminal
// having written the whole login, checked exactly every time.
#include "platform/keys/KeyString.h"
#include "platform/wayland/WaylandKeystrokes.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <benchmark/benchmark.h>

using namespace kr;

namespace {

// What the terminal wrote after `from` bytes, once a line is complete.
QString waitForLine(qint64 from)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000) {
        QFile file(qEnvironmentVariable("KR_TYPED_FILE"));
        if (file.open(QIODevice::ReadOnly) && file.seek(from)) {
            const QByteArray bytes = file.readAll();
            if (bytes.endsWith('\n'))
                return QString::fromUtf8(bytes);
        }
        QThread::usleep(500);
    }
    return {};
}

// One login typed and timed; false (with an error on the state) when it did not arrive exactly.
bool typeLogin(benchmark::State& state, const QString& user, const QString& password, double* seconds)
{
    const qint64 from = QFile(qEnvironmentVariable("KR_TYPED_FILE")).size();
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
    const QString user =
        QStringLiteral(u"J\u00f6rg.\u00c9m\u00efl\u00e9-202\u00df\u20ac\u0436\u0434\u0444\u03b1");
    const QString password =
        QStringLiteral(u"Pa1!\u03b2\u03b3\u03b4\u03b5\u03b6\u03b7\u03b8x{}%9q\u0153\u00e7\u2603");
    double total = 0, seconds = 0;
    for (auto _ : state) {
        if (!typeLogin(state, user, password, &seconds))
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

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
