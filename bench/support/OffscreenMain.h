#pragma once
// main() of a benchmark that drives widgets without a display.
#include <QApplication>
#include <benchmark/benchmark.h>

#define KEYROVIA_OFFSCREEN_BENCHMARK_MAIN()                                                                      \
    int main(int argc, char** argv)                                                                              \
    {                                                                                                            \
        qputenv("QT_QPA_PLATFORM", "offscreen");                                                                 \
        QApplication application(argc, argv);                                                                    \
        benchmark::Initialize(&argc, argv);                                                                      \
        benchmark::RunSpecifiedBenchmarks();                                                                     \
        benchmark::Shutdown();                                                                                   \
        return 0;                                                                                                \
    }
