// Typing speed into another program, measured under an X server (run it with
// the run-bench-keys target, which starts Xvfb):
//  - a 40-character login, half of it characters the layout lacks: from the
//    send to the form having the whole login;
//  - plain ASCII: time per character from the send to the form having it.
#include "QtBenchMain.h"
#include "ReceiverProcess.h"
#include "common/KeyString.h"
#include "platform/x11/X11Keystrokes.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

using namespace kr;

namespace {

// Times one login typed into a fresh form; false (and an error on the state)
// when the form did not get it exactly.
bool typeLogin(benchmark::State& state, const QString& user, const QString& password)
{
    QTemporaryDir dir;
    test::ReceiverProcess form(QStringLiteral(KR_KEY_RECEIVER), dir.path());
    if (!form.start()) {
        state.SkipWithError("the form did not start or take the focus");
        return false;
    }
    const QString keys = EscapeForKeyString(user) + QStringLiteral("{TAB}") + EscapeForKeyString(password) +
                         QStringLiteral("{ENTER}");
    X11Keystrokes typer;
    QElapsedTimer clock;
    clock.start();
    const bool sent = typer.sendKeys(keys, true);
    const bool done = sent && form.waitDone();
    state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
    const std::optional<test::Received> got = form.result();
    if (!done || !got || got->user != user || got->password != password) {
        state.SkipWithError("the login did not arrive exactly");
        return false;
    }
    return true;
}

void BM_Login40HalfOffLayout(benchmark::State& state)
{
    // 20 distinct characters missing from a US layout: more than Xvfb's 19
    // spare keycodes, so they are lent out in two rounds.
    const QString user =
        QStringLiteral(u"J\u00f6rg.\u00c9m\u00efl\u00e9-202\u00df\u20ac\u0436\u0434\u0444\u03b1");
    const QString password =
        QStringLiteral(u"Pa1!\u03b2\u03b3\u03b4\u03b5\u03b6\u03b7\u03b8x{}%9q\u0153\u00e7\u2603");
    if (user.size() + password.size() != 40) {
        state.SkipWithError("the login is not 40 characters");
        return;
    }
    for (auto _ : state) {
        if (!typeLogin(state, user, password))
            return;
    }
}
BENCHMARK(BM_Login40HalfOffLayout)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

void BM_AsciiPerCharacter(benchmark::State& state)
{
    const int length = int(state.range(0));
    QString user;
    for (int i = 0; i < length; ++i)
        user += QChar(char16_t(0x21 + (i * 7) % 94)); // printable ASCII, shifted and not
    double seconds = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        if (!typeLogin(state, user, QStringLiteral("x")))
            return;
        seconds += double(clock.nsecsElapsed()) / 1e9;
    }
    // Tab, "x" and Enter are keys too.
    state.counters["ms_per_char"] =
        benchmark::Counter(1000.0 * seconds / double(state.iterations()) / double(length + 3));
}
BENCHMARK(BM_AsciiPerCharacter)->Arg(200)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace

KR_QT_BENCHMARK_MAIN([](int, char**) { return -1; })
