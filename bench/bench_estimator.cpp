// Estimates a synthetic CAM job of 1,000,000 lines on a hobby router's GRBL settings: pockets
// cut as circles of short chords, straight cuts, plunges, retracts and rapids between them, with
// the byte counts of the lines as a CAM post-processor would write them. Prints the wall time
// of the estimate, its cost per line, the heap it holds per line, and the estimated job time
// beside the time the bytes alone need on the line.

#include "estimator.h"

#include <malloc.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

using namespace gcode;

namespace {

struct Line {
    uint32_t bytes;
    Block block;
};

class JobWriter {
public:
    explicit JobWriter(size_t lines) { job.reserve(lines); }

    void add(BlockKind kind, double x, double y, double z, double feed)
    {
        char text[96];
        const char* word = kind == BlockKind::Rapid ? "G0" : "G1";
        const int n = std::snprintf(text, sizeof text, "%sX%.3fY%.3fZ%.3fF%.0f\n", word, x, y, z,
                                    feed);
        Block b;
        b.kind = kind;
        b.target[0] = float(x);
        b.target[1] = float(y);
        b.target[2] = float(z);
        b.value = float(feed);
        b.line = uint32_t(job.size());
        job.push_back({uint32_t(n), b});
    }

    // One pocket: rapid over its centre, plunge, circles of growing radius cut as chords of
    // 0.2-1 mm, a straight cut across, retract.
    void pocket(std::mt19937& random, size_t limit)
    {
        std::uniform_real_distribution<double> place(20, 380);
        std::uniform_real_distribution<double> chord(0.2, 1.0);
        const double cx = place(random);
        const double cy = place(random) / 2;
        add(BlockKind::Rapid, cx, cy, 5, 0);
        add(BlockKind::Feed, cx, cy, -1, 300);
        for (double r = 2; r <= 18 && job.size() < limit; r += 4) {
            const int steps = int(std::ceil(2 * M_PI * r / chord(random)));
            for (int i = 0; i <= steps && job.size() < limit; ++i) {
                const double angle = 2 * M_PI * i / steps;
                add(BlockKind::Feed, cx + r * std::cos(angle), cy + r * std::sin(angle), -1, 1200);
            }
        }
        add(BlockKind::Feed, cx - 18, cy, -1, 1200);
        add(BlockKind::Rapid, cx - 18, cy, 5, 0);
    }

    std::vector<Line> job;
};

// Heap in use, the blocks malloc maps on their own (large vectors) included.
size_t heapInUse()
{
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

} // namespace

int main()
{
    constexpr size_t Lines = 1000000;
    JobWriter writer(Lines + 16);
    std::mt19937 random(7);
    while (writer.job.size() < Lines)
        writer.pocket(random, Lines);

    MachineSettings s;
    for (int a = 0; a < 3; ++a) {
        s.stepsPerMm[a] = 80;
        s.maxRate[a] = a < 2 ? 5000 : 1000;
        s.acceleration[a] = a < 2 ? 300 : 100;
    }
    double bytes = 0;
    for (const Line& l : writer.job)
        bytes += l.bytes;

    const size_t heapBefore = heapInUse();
    const auto started = std::chrono::steady_clock::now();
    Estimator estimator(s);
    for (const Line& l : writer.job) {
        estimator.addLine(l.bytes);
        estimator.addBlock(l.block);
    }
    const double jobSeconds = estimator.finish();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const size_t heap = heapInUse() - heapBefore;
    const size_t n = writer.job.size();

    std::printf("lines            %zu (%.1f bytes each)\n", n, bytes / double(n));
    std::printf("estimate         %.3f s wall, %.0f ns per line\n", wall, wall * 1e9 / double(n));
    std::printf("heap held        %.2f bytes per line (finish times %zu bytes per line)\n",
                double(heap) / double(n), sizeof(float));
    std::printf("job time         %.1f s; the bytes alone %.1f s at %d baud\n", jobSeconds,
                bytes * 10 / s.baudRate, s.baudRate);
    return 0;
}
