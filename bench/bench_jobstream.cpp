// A G-code job streamed through the GRBL device to the GRBL peer on a paced pseudo-terminal
// (115200 baud): a contour of short chords at a cutting feed, the kind of job that keeps the
// serial line busy. Prints the wall time against the estimate, the peer's receive buffer high
// water and overflows, and the CPU the library spent per wall second (the process without the
// peer's thread). Then GRBL's dry run ($C) of 10,000 short lines: bytes per second on a line
// that carries 11,520.

#include "filejob.h"
#include "grblpeer.h"
#include "jobs.h"
#include "program.h"
#include "estimator.h"
#include "quenta.h"

#include <QSettings>

#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
           + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::string contour(int lines)
{
    // Chords of 0.25 mm around a circle of 20 mm radius at 1200 mm/min, with a few plunges.
    std::string text = "G21 G90 G17\nG0 X20 Y0 Z1\nG1 Z-0.5 F300\nF1200\n";
    char line[64];
    for (int i = 1; i < lines - 4; ++i) {
        const double a = i * 0.0125;
        std::snprintf(line, sizeof line, "G1 X%.3f Y%.3f\n", 20 * std::cos(a), 20 * std::sin(a));
        text += line;
    }
    return text;
}

bool waitForEnd(TarvoPortSettings* s, double& seconds, quenta::JobProgress& p)
{
    const auto t0 = Clock::now();
    for (;;) {
        p = quenta::jobProgress(s);
        if (!quenta::jobActive(p.state))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    return p.state == quenta::JobState::Completed;
}

}  // namespace

int main()
{
    GrblPtyServer server;
    if (!server.start())
        return 1;
    server.with([](GrblPeer& p) {
        for (int axis = 0; axis < 3; ++axis) {
            p.setSetting(110 + axis, 3000);
            p.setSetting(120 + axis, 200);
        }
    });
    QSettings(QStringLiteral("lumbrix"), QStringLiteral("Quenta"))
        .setValue(QStringLiteral("ports/COM9"),
                  QStringLiteral("grbl:") + QString::fromStdString(server.path()));
    TarvoPortSettings s;
    InitCommPortSettings(&s);
    std::strcpy(s.comPort, "COM9");
    if (!TarvoOpenConnectionPort(&s, 0))
        return 2;

    gcode::Program::Options options;
    if (!quenta::jobProgramOptions(&s, options))
        return 3;
    auto program = std::make_shared<const gcode::Program>(contour(2000), options);
    const double estimate = gcode::estimateProgram(*program).seconds;
    const double cpu0 = cpuSeconds();
    const double peer0 = server.threadCpuSeconds();
    if (!quenta::startJob(&s, std::make_shared<quenta::ProgramJob>(program), {}))
        return 4;
    double wall = 0;
    quenta::JobProgress p;
    const bool done = waitForEnd(&s, wall, p);
    const double library = cpuSeconds() - cpu0 - (server.threadCpuSeconds() - peer0);
    size_t high = 0;
    int overflows = 0;
    server.with([&](GrblPeer& peer) {
        high = peer.rxHighWater;
        overflows = peer.rxOverflows;
    });
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::printf("job   %u lines  %s  wall %.2f s  estimate %.2f s (%+.1f %%)  rx high water %zu  "
                "overflows %d  library cpu %.2f %% of one core\n",
                p.linesTotal, done ? "completed" : p.reason.c_str(), wall, estimate,
                100.0 * (estimate - wall) / wall, high, overflows, 100.0 * library / wall);

    std::string lines;
    for (int i = 0; i < 10000; ++i)
        lines += "G1X" + std::to_string(i % 90) + ".5Y1.25F900\n";
    auto check = std::make_shared<const gcode::Program>(lines, options);
    uint64_t bytes = 0;
    for (uint32_t line = 0; line < check->lineCount(); ++line)
        bytes += check->sentBytes(line);
    quenta::JobOptions dry;
    dry.checkMode = true;
    if (!quenta::startJob(&s, std::make_shared<quenta::ProgramJob>(check), dry))
        return 5;
    const bool checked = waitForEnd(&s, wall, p);
    std::printf("$C    10000 lines  %s  %zu refused  wall %.2f s  %.0f bytes/s (%.1f %% of 11520)\n",
                checked ? "completed" : p.reason.c_str(), p.errors.size(), wall, bytes / wall,
                100.0 * bytes / wall / 11520);
    TarvoCloseConnection(&s);
    return 0;
}
