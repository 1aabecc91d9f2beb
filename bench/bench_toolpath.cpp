// Toolpath view benchmark: generates a CAM-like job of 1,000,000 path segments (pockets of
// short feed moves with jitter, joined by half circles, rapids between them), builds its
// geometry, and draws it in a 1280x800 view: the first frame (upload and draw) and the
// frames after it while the view turns and a run's done part grows. Prints the times.
// Run it on a display with OpenGL, for software rendering:
//   Xvfb :5 -screen 0 1600x1000x24 & DISPLAY=:5 LIBGL_ALWAYS_SOFTWARE=1 build/bench/bench_toolpath
// Without one it prints the build times only.

#include "toolpathgeometry.h"
#include "toolpathpanel.h"
#include "toolpathview.h"

#include <QApplication>
#include <QImage>
#include <QTest>
#include <QWheelEvent>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <time.h>

namespace {

constexpr uint32_t Segments = 1000000;

void append(std::string& out, const char* fmt, double a = 0, double b = 0, double c = 0)
{
    char buf[128];
    const int n = std::snprintf(buf, sizeof buf, fmt, a, b, c);
    out.append(buf, static_cast<size_t>(n));
}

// Pockets on a grid in the travel [-300, 0]: each a rapid to its corner, a plunge and rows of
// 1 mm feed moves joined by half circles (GRBL cuts a 1.5 mm half circle into about 28
// chords). Stops at about `segments` segments.
std::string generateJob(uint32_t segments)
{
    std::string out;
    out.reserve(size_t(segments) * 16);
    std::mt19937 rng(12345);
    std::uniform_real_distribution<double> jitter(-0.05, 0.05);
    out += "%\n(generated CAM-like job)\nG21 G90 G94 G17\nM3 S12000\n";
    uint32_t estimate = 0;
    for (int pocket = 0; estimate < segments; ++pocket) {
        const double x0 = -290 + 30 * (pocket % 9), y0 = -290 + 55 * ((pocket / 9) % 5);
        const double depth = -1.5 - 0.5 * (pocket / 45 % 20);
        append(out, "G0 Z5.000\nG0 X%.3f Y%.3f\nG1 Z%.3f F300\nF1200\n", x0, y0, depth);
        estimate += 3;
        double y = y0;
        for (int row = 0; row < 16 && estimate < segments; ++row) {
            const bool right = row % 2 == 0;
            for (int i = 1; i <= 24; ++i) {
                const double x = right ? x0 + i : x0 + 24 - i;
                append(out, "X%.3f Y%.3f\n", x, i == 24 ? y : y + jitter(rng));
            }
            append(out, right ? "G3 X%.3f Y%.3f I0 J1.5\nG1\n" : "G2 X%.3f Y%.3f I0 J1.5\nG1\n",
                   right ? x0 + 24 : x0, y + 3);
            y += 3;
            estimate += 24 + 28;
        }
    }
    out += "G0 Z5\nM5\nM30\n";
    return out;
}

// CPU time of the whole process (the software renderer's threads included), ms.
double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double msSince(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since)
        .count();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);

    gcode::JobOptions options;
    for (double& t : options.machine.maxTravel)
        t = 300;
    auto start = std::chrono::steady_clock::now();
    const gcode::Program program(generateJob(Segments), options);
    const double interpretMs = msSince(start);

    start = std::chrono::steady_clock::now();
    auto built = std::make_shared<toolpath::Geometry>(toolpath::build(program));
    const double buildMs = msSince(start);
    start = std::chrono::steady_clock::now();
    toolpath::addSimplified(*built);
    const double simplifyMs = msSince(start);
    std::shared_ptr<const toolpath::Geometry> geometry = built;
    start = std::chrono::steady_clock::now();
    const toolpath::Geometry lines = toolpath::expandToLines(*geometry);
    const double expandMs = msSince(start);

    std::printf("lines               %u\n", program.lineCount());
    std::printf("segments            %u (%u feed, %u rapid)\n", geometry->segmentCount(),
                geometry->feedSegments, geometry->rapidSegments);
    std::printf("interpret           %.0f ms\n", interpretMs);
    std::printf("build geometry      %.0f ms (%.1f MB vertex data)\n", buildMs,
                geometry->vertices.size() * sizeof(toolpath::Vertex) / 1e6);
    std::printf("simplify            %.0f ms (", simplifyMs);
    for (const toolpath::Geometry& level : geometry->simplified)
        std::printf(" %u segments within %.3f mm;", level.segmentCount(), level.tolerance);
    std::printf(" )\n");
    std::printf("expand to lines     %.0f ms (the fallback's layout, %.1f MB)\n", expandMs,
                lines.vertices.size() * sizeof(toolpath::Vertex) / 1e6);

    if (!toolpath::openGlWidgetsWork()) {
        std::printf("frames              skipped: no OpenGL widgets on platform %s\n",
                    qPrintable(QGuiApplication::platformName()));
        return 0;
    }
    toolpath::ToolpathView view;
    view.resize(1280, 800);
    view.setMachine(options.machine);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view))
        return 1;
    view.grabFramebuffer();  // the context and shaders, without the path

    // A frame = the view drawn and read back (grabFramebuffer waits for the renderer); the
    // read-back alone is the frame of an empty view.
    const int frames = 10;
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i)
        view.grabFramebuffer();
    const double emptyMs = msSince(start) / frames;

    view.setPath(geometry);
    start = std::chrono::steady_clock::now();
    view.grabFramebuffer();
    const double firstMs = msSince(start);

    // Still frames of the whole job from each side while a run's done part grows.
    const toolpath::ToolpathView::Preset presets[] = {
        toolpath::ToolpathView::Preset::Iso, toolpath::ToolpathView::Preset::Top,
        toolpath::ToolpathView::Preset::Front, toolpath::ToolpathView::Preset::Side};
    double cpu = cpuMs();
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) {
        view.setPreset(presets[i % 4]);
        view.setLinesDone(program.lineCount() * uint32_t(i) / frames);
        view.grabFramebuffer();
    }
    const double frameMs = msSince(start) / frames;
    const double frameCpu = (cpuMs() - cpu) / frames;
    const int stillSegments = view.drawnSegments();

    // Frames while the left button turns the view.
    view.setPreset(toolpath::ToolpathView::Preset::Iso);
    view.grabFramebuffer();
    QPoint mouse(640, 400);
    QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, mouse);
    cpu = cpuMs();
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) {
        mouse += QPoint(6, 2);
        QTest::mouseMove(&view, mouse);
        view.grabFramebuffer();
    }
    const double turnMs = msSince(start) / frames;
    const double turnCpu = (cpuMs() - cpu) / frames;
    const int turnSegments = view.drawnSegments();
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, mouse);

    // Still frames zoomed in on a part of the job (the wheel, 8 notches).
    for (int i = 0; i < 8; ++i) {
        QWheelEvent wheel(QPointF(640, 400), view.mapToGlobal(QPointF(640, 400)), QPoint(),
                          QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                          false);
        QCoreApplication::sendEvent(&view, &wheel);
    }
    QTest::qWait(400);  // the end of the interaction
    cpu = cpuMs();
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) {
        view.setLinesDone(program.lineCount() * uint32_t(i) / frames);
        view.grabFramebuffer();
    }
    const double zoomedMs = msSince(start) / frames;
    const double zoomedCpu = (cpuMs() - cpu) / frames;
    const int zoomedSegments = view.drawnSegments();

    std::printf("renderer            %s (%s)\n", qPrintable(view.renderer()),
                view.usesCoreProfile() ? "core profile, strip" : "older profile, lines");
    std::printf("empty frame         %.1f ms (read-back of 1280x800)\n", emptyMs);
    std::printf("first frame         %.1f ms (upload and draw)\n", firstMs);
    std::printf("                    wall time, CPU time of all threads, segments drawn\n");
    std::printf("frame, whole job    %6.1f ms %6.1f ms %8d\n", frameMs, frameCpu, stillSegments);
    std::printf("frame, turning      %6.1f ms %6.1f ms %8d\n", turnMs, turnCpu, turnSegments);
    std::printf("frame, zoomed in    %6.1f ms %6.1f ms %8d\n", zoomedMs, zoomedCpu,
                zoomedSegments);
    std::printf("load average        %s", [] {
        static char text[64] = "?\n";
        if (FILE* f = std::fopen("/proc/loadavg", "r")) {
            if (!std::fgets(text, sizeof text, f))
                text[0] = 0;
            std::fclose(f);
        }
        return text;
    }());
    return 0;
}
