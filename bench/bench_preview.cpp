// Benchmarks of the program preview. Run offscreen:
//   build/bench/bench_preview
// Target: a 100-line program laid out and painted (800x600) well within 10 ms, so the preview
// keeps up with typing at its 20 rebuilds a second.

#include "programpreview.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

namespace {

// 100 command lines with every positioning command, a few non-motion ones and comments; a
// zig-zag at changing depths, so segments, jumps, dots and colours all occur.
QString sampleProgram()
{
    QString text = QStringLiteral("// generated pocket\n");
    for (int i = 0; i < 100; ++i) {
        switch (i % 10) {
        case 0:
            text += QStringLiteral("GO_ZC_MM 5 -0.5 0;   // next depth\n");
            break;
        case 5:
            text += QStringLiteral("WAIT 10;\n");
            break;
        case 7:
            text += i % 20 == 7 ? QStringLiteral("GO_PARK;\n") : QStringLiteral("GO_REF;\n");
            break;
        case 9:
            text += QStringLiteral("SET_ZERO_S %1 0 0 0; # shift\n").arg(i * 10);
            break;
        default:
            text += QStringLiteral("GO_XY_S 400 %1 %2;\n").arg(i % 2 ? 2000 : -2000).arg(300);
            break;
        }
    }
    return text;
}

const std::array<double, 4> resolution{200, 200, 400, 100};
const std::array<int32_t, 4> park{4000, 6000, 0, 0};

void BM_BuildPreviewPath100(benchmark::State& state)
{
    const QString program = sampleProgram();
    for (auto _ : state) {
        PreviewPath path = BuildPreviewPath(program, resolution, park);
        benchmark::DoNotOptimize(path);
        if (!path.errors.isEmpty() || path.segments.size() != 90)
            state.SkipWithError("sample program does not lay out as expected");
    }
}
BENCHMARK(BM_BuildPreviewPath100)->Unit(benchmark::kMicrosecond);

// The paint of the widget alone, a line highlighted and the position marker shown.
void BM_PaintPreview800x600(benchmark::State& state)
{
    ProgramPreview preview;
    preview.resize(800, 600);
    preview.SetMachine(resolution, park);
    preview.SetProgramText(sampleProgram());
    preview.SetHighlightedLine(12);
    preview.SetCurrentPosition(std::array<int32_t, 4>{1000, 1500, -200, 0});
    QImage image(800, 600, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        preview.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_PaintPreview800x600)->Unit(benchmark::kMicrosecond);

// What one keystroke costs: the text taken from scratch, laid out, fitted and painted.
void BM_RebuildAndPaint800x600(benchmark::State& state)
{
    const QString program = sampleProgram();
    ProgramPreview preview;
    preview.resize(800, 600);
    preview.SetMachine(resolution, park);
    QImage image(800, 600, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        preview.SetProgramText(program);
        preview.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_RebuildAndPaint800x600)->Unit(benchmark::kMicrosecond);

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
