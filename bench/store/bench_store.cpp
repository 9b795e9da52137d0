// The password store on real files: the gate, each operation, the full list,
// the password change.
#include "platform/sqlcipher/SqlCipherEngine.h"
#include "platform/sqlcipher/VaultKeyDerivation.h"
#include "store/PasswordStore.h"

#include <argon2.h>

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>

using namespace kr;

namespace {

const QString Password = QStringLiteral("b\u00e9nch password");

// A keyed BDMDP.MDB holding count logins, made once per size.
struct Database {
    QTemporaryDir dir;
    QString file;
};

const QString& database(int count)
{
    static std::map<int, std::unique_ptr<Database>> made;
    std::unique_ptr<Database>& db = made[count];
    if (db)
        return db->file;
    db = std::make_unique<Database>();
    db->file = db->dir.filePath(QStringLiteral("BDMDP.MDB"));
    QFile empty(db->file);
    bool ok = empty.open(QIODevice::WriteOnly);
    empty.close();
    SqlCipherEngine engine;
    std::unique_ptr<IDbConnection> c;
    ok = ok && engine.open(db->file, false, QLatin1String(";pwd=") + Password, c).ok() &&
         c->execute(QStringLiteral("CREATE TABLE tblSite (Site TEXT, User TEXT, Pass TEXT)")).ok() &&
         c->execute(QStringLiteral("BEGIN")).ok();
    for (int i = 0; ok && i < count; ++i)
        ok = c->execute(PasswordStore::insertStatement(QStringLiteral("site%1.example").arg(i),
                                                       QStringLiteral("user%1").arg(i),
                                                       QStringLiteral("pass'%1").arg(i)))
                 .ok();
    ok = ok && c->execute(QStringLiteral("COMMIT")).ok();
    if (!ok) {
        std::fprintf(stderr, "cannot build the %d-login database\n", count);
        std::abort();
    }
    return db->file;
}

// The engine of a running program: the gate has been passed once.
SqlCipherEngine& gatedEngine(const QString& file)
{
    static SqlCipherEngine engine;
    PasswordStore store(engine, file);
    if (store.CheckProgramPassword(Password) != DbOk)
        std::abort();
    return engine;
}

void BM_Gate(benchmark::State& state)
{
    const QString& file = database(1000);
    for (auto _ : state) {
        SqlCipherEngine engine; // a fresh start: nothing derived yet
        PasswordStore store(engine, file);
        if (store.CheckProgramPassword(Password) != DbOk)
            state.SkipWithError("gate refused the password");
    }
}
BENCHMARK(BM_Gate)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_GateWrongPassword(benchmark::State& state)
{
    const QString& file = database(1000);
    for (auto _ : state) {
        SqlCipherEngine engine;
        PasswordStore store(engine, file);
        if (store.CheckProgramPassword(QStringLiteral("wrong")) != DbErrNotValidPassword)
            state.SkipWithError("wrong password accepted");
    }
}
BENCHMARK(BM_GateWrongPassword)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_CheckProgramPassword(benchmark::State& state)
{
    const QString& file = database(static_cast<int>(state.range(0)));
    PasswordStore store(gatedEngine(file), file);
    for (auto _ : state)
        benchmark::DoNotOptimize(store.CheckProgramPassword(Password));
}
BENCHMARK(BM_CheckProgramPassword)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_LoadSiteList(benchmark::State& state)
{
    const QString& file = database(static_cast<int>(state.range(0)));
    PasswordStore store(gatedEngine(file), file);
    store.setProgramPassword(Password);
    for (auto _ : state)
        if (!store.LoadSiteList().ok() || store.siteCount() != state.range(0))
            state.SkipWithError("list not loaded");
}
BENCHMARK(BM_LoadSiteList)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_InsertSiteRecord(benchmark::State& state)
{
    const QString& file = database(static_cast<int>(state.range(0)));
    PasswordStore store(gatedEngine(file), file);
    store.setProgramPassword(Password);
    int n = 0;
    for (auto _ : state) {
        const QString site = QStringLiteral("added%1.example").arg(n++);
        if (!store.InsertSiteRecord(site, QStringLiteral("u"), QStringLiteral("p")).ok())
            state.SkipWithError("insert failed");
        state.PauseTiming();
        store.DeleteSiteRecords(site);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_InsertSiteRecord)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_DeleteSiteRecords(benchmark::State& state)
{
    const QString& file = database(static_cast<int>(state.range(0)));
    PasswordStore store(gatedEngine(file), file);
    store.setProgramPassword(Password);
    for (auto _ : state) {
        state.PauseTiming();
        store.InsertSiteRecord(QStringLiteral("gone.example"), QStringLiteral("u"), QStringLiteral("p"));
        state.ResumeTiming();
        if (!store.DeleteSiteRecords(QStringLiteral("gone.example")).ok())
            state.SkipWithError("delete failed");
    }
}
BENCHMARK(BM_DeleteSiteRecords)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_ChangeDatabasePassword(benchmark::State& state)
{
    const QString& file = database(static_cast<int>(state.range(0)));
    PasswordStore store(gatedEngine(file), file);
    QString current = Password;
    const QString other = QStringLiteral("another password");
    for (auto _ : state) {
        const QString next = current == Password ? other : Password;
        if (!store.ChangeDatabasePassword(file, current, next))
            state.SkipWithError("change failed");
        current = next;
    }
    if (current != Password) // leave the file as the other benchmarks expect it
        store.ChangeDatabasePassword(file, current, Password);
}
BENCHMARK(BM_ChangeDatabasePassword)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(6);

// One guess at a password, as an attacker pays it: the vault's Argon2id, the
// earlier versions' PBKDF2, and the best-known peer's default (Argon2d, 64 MiB,
// 2 lanes, iterations set for about 1 s per guess).
void BM_KeyPerGuess(benchmark::State& state)
{
    static const unsigned char salt[VaultSaltSize] = "0123456789abcde";
    const QByteArray password = Password.toUtf8();
    unsigned char key[VaultKeySize];
    VaultKeyDerivation vault;
    for (auto _ : state) {
        bool ok = true;
        switch (state.range(0)) {
        case 0:
            ok = vault.derive(KeyKind::Vault, password.constData(), std::size_t(password.size()), salt,
                              key) == KeyResult::Ok;
            break;
        case 1:
            ok = vault.derive(KeyKind::Old, password.constData(), std::size_t(password.size()), salt, key) ==
                 KeyResult::Ok;
            break;
        default:
            ok = argon2d_hash_raw(std::uint32_t(state.range(1)), 64 * 1024, 2, password.constData(),
                                  std::size_t(password.size()), salt, VaultSaltSize, key,
                                  VaultKeySize) == ARGON2_OK;
        }
        if (!ok)
            state.SkipWithError("derivation failed");
    }
}
BENCHMARK(BM_KeyPerGuess)
    ->ArgNames({"kind", "t"})
    ->Args({0, VaultKeyDerivation::VaultCost.iterations}) // Argon2id, 64 MiB, 2 lanes
    ->Args({1, 0})                                        // PBKDF2-HMAC-SHA1, 256,000
    ->Args({2, 36})                                       // Argon2d, 64 MiB, 2 lanes
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

} // namespace

BENCHMARK_MAIN();
