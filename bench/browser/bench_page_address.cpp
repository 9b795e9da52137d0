// The browser's page address as the program asks for it: one request to a
// running companion host (goal: well under 50 ms), the same with several hosts
// (browser profiles), and the answer when no host runs at all.
#include "platform/pageaddress/BrowserPageAddress.h"
#include "platform/pageaddress/CompanionPageAddress.h"
#include "platform/pageaddress/CompanionProtocol.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

using namespace kr;

namespace {

// count hosts, each told a page, in a private runtime folder of their own.
struct Hosts {
    explicit Hosts(int count)
    {
        QFile::setPermissions(runtime.path(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        for (int i = 0; i < count; ++i) {
            auto host = std::make_unique<QProcess>();
            host->setProcessEnvironment(env);
            host->start(QStringLiteral(KEYROVIA_COMPANION),
                        {QStringLiteral("chrome-extension://%1/").arg(companion::kChromiumExtensionId)});
            host->waitForStarted();
            const QJsonObject page{{"url", QStringLiteral("https://www.site%1.com/login").arg(i)},
                                   {"title", QStringLiteral("Log in")}};
            host->write(companion::encodeFrame(QJsonDocument(page).toJson(QJsonDocument::Compact)));
            host->waitForBytesWritten();
            hosts.push_back(std::move(host));
        }
        CompanionPageAddress client(socketDir());
        for (int tries = 0; tries < 500 && !client.request(100); ++tries) {
            QThread::msleep(10);
        }
    }
    ~Hosts()
    {
        for (auto& host : hosts) {
            host->closeWriteChannel();
            host->waitForFinished();
        }
    }
    QString socketDir() const { return runtime.path() + QStringLiteral("/keyrovia"); }

    QTemporaryDir runtime;
    std::vector<std::unique_ptr<QProcess>> hosts;
};

void BM_CompanionRequest(benchmark::State& state)
{
    Hosts hosts(int(state.range(0)));
    CompanionPageAddress client(hosts.socketDir());
    for (auto _ : state) {
        auto reply = client.request();
        if (!reply) {
            state.SkipWithError("no answer from the companion");
            break;
        }
        benchmark::DoNotOptimize(reply);
    }
}
BENCHMARK(BM_CompanionRequest)->Arg(1)->Arg(4)->Unit(benchmark::kMicrosecond);

// No host has ever run: the program must not wait at all.
void BM_NothingRunning(benchmark::State& state)
{
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    qunsetenv("KEYROVIA_DEVTOOLS_PORT");
    BrowserPageAddress browser;
    for (auto _ : state) {
        benchmark::DoNotOptimize(browser.request());
    }
}
BENCHMARK(BM_NothingRunning)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
