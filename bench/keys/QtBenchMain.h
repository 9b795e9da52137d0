#pragma once
// main() of the typing benchmarks: a Qt application for the typers (D-Bus,
// timers), then Google Benchmark. `before` may end the program first (its
// result is then the exit status) or return -1 to go on.
#include <QCoreApplication>
#include <benchmark/benchmark.h>

#define KR_QT_BENCHMARK_MAIN(before)                                                                              \
    int main(int argc, char** argv)                                                                               \
    {                                                                                                             \
        QCoreApplication app(argc, argv);                                                                         \
        if (const int status = (before)(argc, argv); status >= 0)                                                 \
            return status;                                                                                        \
        benchmark::Initialize(&argc, argv);                                                                       \
        benchmark::RunSpecifiedBenchmarks();                                                                      \
        benchmark::Shutdown();                                                                                    \
        return 0;                                                                                                 \
    }
