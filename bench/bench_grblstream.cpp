// Streams a 1,000-line RAM program of 0.2 mm moves at 600 mm/min through the GRBL device to
// the GRBL peer on a pseudo-terminal and prints wall time, the peer's planner starvations
// (the planner ran empty between two moves) and the CPU the host spent per wall second: the
// whole process, and without the peer's thread (the library alone).

#include "grblpeer.h"
#include "quenta.h"

#include <QSettings>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {
double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
           + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
}  // namespace

int main()
{
    GrblPtyServer server;
    if (!server.start())
        return 1;
    QSettings(QStringLiteral("lumbrix"), QStringLiteral("Quenta"))
        .setValue(QStringLiteral("ports/COM9"),
                  QStringLiteral("grbl:") + QString::fromStdString(server.path()));
    TarvoPortSettings s;
    InitCommPortSettings(&s);
    std::strcpy(s.comPort, "COM9");
    if (!TarvoOpenConnectionPort(&s, 0))
        return 2;
    BetriebsArtenWechsel(&s, 3);
    LoadRAMprogramm(&s, 1);
    for (int i = 0; i < 1000; ++i) {
        float x[6] = {i % 2 ? -0.2f : 0.2f, 0, 0, 0, 0, 0};
        float y[6] = {0.05f, 0, 0, 0, 0, 0};
        FahreRelativ_XY_mm(&s, 10.0f, 1, x, y, 3);
    }
    BetriebsArtenWechsel(&s, 2);
    int before = 0;
    server.with([&](GrblPeer& p) {
        before = p.linesDone;
        p.starvations = 0;
    });
    const double cpu0 = cpuSeconds();
    const double peer0 = server.threadCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    StartRAMprogramm(&s, 1, 1);
    int done = 0;
    int starved = 0;
    size_t high = 0;
    int overflows = 0;
    while (done - before < 1000) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        server.with([&](GrblPeer& p) {
            done = p.linesDone;
            starved = p.starvations;
            high = p.rxHighWater;
            overflows = p.rxOverflows;
        });
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = cpuSeconds() - cpu0;
    const double peer = server.threadCpuSeconds() - peer0;
    std::printf("lines 1000  wall %.2f s  starvations %d  rx high water %zu  overflows %d  "
                "cpu %.2f %% of one core (host and peer), %.2f %% (library alone)\n",
                wall, starved, high, overflows, 100.0 * cpu / wall,
                100.0 * (cpu - peer) / wall);
    TarvoCloseConnection(&s);
    return 0;
}
