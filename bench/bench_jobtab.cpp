// Job tab benchmark: writes a CAM-like job of 1,000,000 lines (pockets of short feed moves,
// arcs, rapids, comments, and a few lines the check refuses), opens it in a job tab of
// 1200x800 and reports:
//   text visible     load() until the first lines are painted
//   findings ready   load() until the problems list is filled
//   longest stall    the longest gap between ticks of a 10 ms timer while the file loads
//   CPU              processor time of the load: the whole process, and the window's thread;
//                    and of a repaint while scrolling
//   scroll           repaint time per wheel step (3 lines) over 3000 steps, and per jump of
//                    the scroll bar to a random place over 500 jumps: mean, 99th percentile, max
// Build it Release or RelWithDebInfo for figures.

#include "jobdocument.h"
#include "jobtab.h"
#include "jobview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr uint32_t Lines = 1000000;

void append(std::string& out, const char* fmt, double a = 0, double b = 0, double c = 0)
{
    char buf[128];
    const int n = std::snprintf(buf, sizeof buf, fmt, a, b, c);
    out.append(buf, size_t(n));
}

std::string generateJob()
{
    std::string out;
    out.reserve(size_t(Lines) * 19);
    std::mt19937 rng(4711);
    std::uniform_real_distribution<double> corner(-150, -30);
    std::uniform_real_distribution<double> jitter(-0.05, 0.05);
    out += "%\n(generated CAM-like job)\nG21 G90 G94 G17\nM3 S12000\n";
    uint32_t lines = 4;
    uint32_t pocket = 0;
    while (lines + 450 < Lines) {
        const double x0 = corner(rng), y0 = corner(rng);
        append(out, "(pocket at X%.3f Y%.3f)\nG0 Z5.000\nG0 X%.3f Y%.3f\n", x0, y0);
        out += "G1 Z-1.500 F300\nF1200\n";
        lines += 5;
        // Every 100th pocket has a word GRBL refuses, as hand-edited files do.
        if (++pocket % 100 == 0) {
            out += "G1 X10 Y10 E0.5\n";
            ++lines;
        }
        double y = y0;
        for (int row = 0; row < 16; ++row) {
            const bool right = row % 2 == 0;
            for (int i = 1; i <= 24; ++i)
                append(out, "X%.3f Y%.3f\n", right ? x0 + i : x0 + 24 - i,
                       i == 24 ? y : y + jitter(rng));
            append(out, right ? "G3 X%.3f Y%.3f I0 J1.500\nG1\n" : "G2 X%.3f Y%.3f I0 J1.500\nG1\n",
                   right ? x0 + 24 : x0, y + 3);
            y += 3;
            lines += 26;
        }
    }
    for (; lines + 2 < Lines; ++lines)
        out += "(end)\n";
    out += "M5\nM30\n";
    return out;
}

struct Figures {
    double mean = 0, p99 = 0, max = 0;
};

Figures figuresOf(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    Figures f;
    for (double m : ms)
        f.mean += m;
    f.mean /= double(ms.size());
    f.p99 = ms[size_t(double(ms.size() - 1) * 0.99)];
    f.max = ms.back();
    return f;
}

double cpuMs(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double repaintCpuMs = 0;  // the window thread's processor time over every repaint

double repaintMs(QWidget* viewport)
{
    QElapsedTimer clock;
    const double cpu = cpuMs(CLOCK_THREAD_CPUTIME_ID);
    clock.start();
    viewport->repaint();
    repaintCpuMs += cpuMs(CLOCK_THREAD_CPUTIME_ID) - cpu;
    return double(clock.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir dir;
    QString path;
    if (argc > 1) {
        path = QString::fromLocal8Bit(argv[1]);
    } else {
        path = dir.filePath(QStringLiteral("job.nc"));
        QFile file(path);
        const std::string job = generateJob();
        if (!file.open(QIODevice::WriteOnly)
            || file.write(job.data(), qint64(job.size())) != qint64(job.size()))
            return 1;
    }

    auto* const document = new JobDocument(path);
    JobTab tab(document);
    tab.resize(1200, 800);
    tab.show();
    QApplication::processEvents();
    QWidget* const viewport = tab.view()->viewport();

    QElapsedTimer clock;
    double textMs = -1, findingsMs = -1, longestStallMs = 0;
    qint64 lastTick = 0;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longestStallMs = std::max(longestStallMs, double(now - lastTick) / 1e6);
        lastTick = now;
    });
    QEventLoop loop;
    QObject::connect(document, &JobDocument::textLoaded, [&] {
        viewport->repaint();
        textMs = double(clock.nsecsElapsed()) / 1e6;
    });
    QObject::connect(document, &JobDocument::loaded, [&] {
        tab.problemsView()->repaint();
        viewport->repaint();
        findingsMs = double(clock.nsecsElapsed()) / 1e6;
        loop.quit();
    });
    QObject::connect(document, &JobDocument::failed, &loop, &QEventLoop::quit);
    const double processCpu = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
    const double windowCpu = cpuMs(CLOCK_THREAD_CPUTIME_ID);
    clock.start();
    ticker.start();
    document->load();
    loop.exec();
    ticker.stop();
    const double processCpuMs = cpuMs(CLOCK_PROCESS_CPUTIME_ID) - processCpu;
    const double windowCpuMs = cpuMs(CLOCK_THREAD_CPUTIME_ID) - windowCpu;
    if (!document->isLoaded())
        return 1;

    std::printf("lines            %u\n", document->lineCount());
    std::printf("text visible     %.0f ms (lines there after %lld ms)\n", textMs,
                document->textMilliseconds());
    std::printf("findings ready   %.0f ms (%d problems)\n", findingsMs, tab.problemCount());
    std::printf("longest stall    %.0f ms of the event loop while loading\n", longestStallMs);
    std::printf("CPU              %.0f ms for the load, %.0f ms of it on the window's thread\n",
                processCpuMs, windowCpuMs);

    QScrollBar* const bar = tab.view()->verticalScrollBar();
    std::vector<double> wheel;
    for (int i = 0; i < 3000; ++i) {
        bar->setValue(bar->value() + 3);
        wheel.push_back(repaintMs(viewport));
    }
    std::mt19937 rng(1);
    std::uniform_int_distribution<int> anywhere(0, bar->maximum());
    std::vector<double> jumps;
    for (int i = 0; i < 500; ++i) {
        bar->setValue(anywhere(rng));
        jumps.push_back(repaintMs(viewport));
    }
    const Figures w = figuresOf(wheel), j = figuresOf(jumps);
    std::printf("scroll (wheel)   %.2f ms mean, %.2f ms p99, %.2f ms max per repaint (%u lines "
                "in view)\n",
                w.mean, w.p99, w.max, tab.view()->visibleLineCount());
    std::printf("scroll (jumps)   %.2f ms mean, %.2f ms p99, %.2f ms max per repaint\n", j.mean,
                j.p99, j.max);
    std::printf("scroll CPU       %.2f ms per repaint on the window's thread\n",
                repaintCpuMs / double(wheel.size() + jumps.size()));
    return 0;
}
