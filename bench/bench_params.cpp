// Benchmarks of the parameter text reader and writer. Run: build/bench/bench_params
// Target: reading plus writing the default parameter text within 100 us.

#include "tarvoparameters.h"

#include <QString>
#include <QStringList>

#include <benchmark/benchmark.h>

namespace {

const QString& defaultText()
{
    static const QString text = QString::fromLatin1(DefaultParameterText);
    return text;
}

// The whole cycle a load and a save of a parameter file cost the program.
void BM_ReadAndWriteDefaultText(benchmark::State& state)
{
    TarvoParameters set;
    for (auto _ : state) {
        QStringList messages;
        set.LoadFromText(defaultText(), messages);
        QString saved = set.SaveToText();
        benchmark::DoNotOptimize(saved);
        benchmark::DoNotOptimize(messages);
    }
}
BENCHMARK(BM_ReadAndWriteDefaultText)->Unit(benchmark::kMicrosecond);

void BM_ReadDefaultText(benchmark::State& state)
{
    TarvoParameters set;
    for (auto _ : state) {
        QStringList messages;
        set.LoadFromText(defaultText(), messages);
        benchmark::DoNotOptimize(messages);
    }
}
BENCHMARK(BM_ReadDefaultText)->Unit(benchmark::kMicrosecond);

void BM_WriteDefaultText(benchmark::State& state)
{
    TarvoParameters set;
    set.ResetToDefaults();
    for (auto _ : state) {
        QString saved = set.SaveToText();
        benchmark::DoNotOptimize(saved);
    }
}
BENCHMARK(BM_WriteDefaultText)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
