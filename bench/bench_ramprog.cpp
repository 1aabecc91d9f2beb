// Benchmarks of the RAM program language and editor. Run offscreen:
//   build/bench/bench_ramprog
// Targets: check of 100 lines within 50 us; a 10,000-line program opened, highlighted and
// painted with its gutter within 200 ms.

#include "ramcommandformat.h"
#include "ramprogram.h"
#include "tarvoprogedit.h"

#include <QApplication>
#include <QScrollBar>

#include <benchmark/benchmark.h>

namespace {

// A program like the manual panel and an operator write: every command, comments, blanks.
QString sampleProgram(int commandLines)
{
    static const char* const lines[] = {
        "GO_XY_S 100 2000 -1500;",
        "GO_XY_MM 12.5 10.25 -3.75;   // diagonal",
        "GO_ZC_S 50 -400 0;",
        "GO_ZC_MM 2 -1.5 0;",
        "WAIT 1500;",
        "SET_FUNC 1 0;",
        "SET_O 129;",
        "SET_ZERO_S 0 0 0 0;",
        "SET_ZERO_MM 1.5 0 0 0;",
        "GO_REF;",
        "GO_PARK; # done",
    };
    QString text = QStringLiteral("// generated program\n");
    for (int i = 0; i < commandLines; ++i) {
        text += QLatin1String(lines[i % std::size(lines)]);
        text += QLatin1Char('\n');
        if (i % 10 == 9)
            text += QStringLiteral("\n# section\n");
    }
    return text;
}

void BM_CheckRamProgram100(benchmark::State& state)
{
    const QString program = sampleProgram(100);
    for (auto _ : state) {
        RamProgramCheck check = CheckRamProgram(program);
        benchmark::DoNotOptimize(check);
        if (!check.messages.isEmpty())
            state.SkipWithError("sample program does not check clean");
    }
}
BENCHMARK(BM_CheckRamProgram100)->Unit(benchmark::kMicrosecond);

void BM_CheckRamProgram100WithErrors(benchmark::State& state)
{
    const QString program = sampleProgram(100).replace(QStringLiteral(";"), QString());
    for (auto _ : state) {
        RamProgramCheck check = CheckRamProgram(program);
        benchmark::DoNotOptimize(check);
    }
}
BENCHMARK(BM_CheckRamProgram100WithErrors)->Unit(benchmark::kMicrosecond);

void BM_FormatRamNumber(benchmark::State& state)
{
    double value = 0.125;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FormatRamNumber(value));
        value += 1.0;
    }
}
BENCHMARK(BM_FormatRamNumber);

// Opening a file: a new editor, the text set, shown and painted (text, highlight, gutter).
void BM_OpenEditor10000Lines(benchmark::State& state)
{
    const QString program = sampleProgram(10000);
    for (auto _ : state) {
        TarvoProgEdit editor;
        editor.resize(800, 600);
        editor.setPlainText(program);
        editor.show();
        editor.repaint();
        editor.viewport()->repaint();
        editor.lineNumberArea()->repaint();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(editor.blockCount());
        state.PauseTiming();
        editor.hide();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenEditor10000Lines)->Unit(benchmark::kMillisecond)->Iterations(10);

// Scrolling to the end of the open 10,000-line program repaints text and gutter there.
void BM_ScrollToEnd10000Lines(benchmark::State& state)
{
    TarvoProgEdit editor;
    editor.resize(800, 600);
    editor.setPlainText(sampleProgram(10000));
    editor.show();
    QCoreApplication::processEvents();
    bool end = false;
    for (auto _ : state) {
        end = !end;
        editor.verticalScrollBar()->setValue(end ? editor.verticalScrollBar()->maximum() : 0);
        editor.viewport()->repaint();
        editor.lineNumberArea()->repaint();
    }
}
BENCHMARK(BM_ScrollToEnd10000Lines)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QPA_PLATFORMTHEME", "");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
