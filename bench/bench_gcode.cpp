// G-code job benchmark: generates a CAM-like job of 1,000,000 lines (feed runs with modal
// coordinates, step-downs, rapids between pockets, arcs at the corners, comments), loads it as
// a Program (interpretation and check) and runs every line through the estimator. Prints the
// interpret time, the estimate time and the bytes held per line.
// Build it Release (-O2) for figures: cmake -DCMAKE_BUILD_TYPE=Release.

#include "estimator.h"
#include "program.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>

namespace {

constexpr uint32_t Lines = 1000000;

size_t residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    size_t total = 0, resident = 0;
    statm >> total >> resident;
    return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

void append(std::string& out, const char* fmt, double a = 0, double b = 0, double c = 0,
            double d = 0)
{
    char buf[128];
    const int n = std::snprintf(buf, sizeof buf, fmt, a, b, c, d);
    out.append(buf, static_cast<size_t>(n));
}

// One pocket: a rapid to its corner, a plunge, then rows of short feed moves (as CAM output
// for a slightly curved wall) joined by half circles, at most `left` lines.
uint32_t appendPocket(std::string& out, std::mt19937& rng, uint32_t left)
{
    std::uniform_real_distribution<double> corner(-150, -30);
    std::uniform_real_distribution<double> jitter(-0.05, 0.05);
    const double x0 = corner(rng), y0 = corner(rng);
    const double r = 1.5;
    if (left < 6)
        return 0;
    append(out, "(pocket at X%.3f Y%.3f)\n", x0, y0);
    append(out, "G0 Z5.000\nG0 X%.3f Y%.3f\nG1 Z-1.500 F300\nF1200\n", x0, y0);
    uint32_t n = 5;
    double y = y0;
    for (int row = 0; n + 26 <= left && row < 16; ++row) {
        const bool right = row % 2 == 0;
        for (int i = 1; i <= 24; ++i) {
            const double x = right ? x0 + i : x0 + 24 - i;
            append(out, "X%.3f Y%.3f\n", x, i == 24 ? y : y + jitter(rng));
        }
        append(out, right ? "G3 X%.3f Y%.3f I0 J%.3f\nG1\n" : "G2 X%.3f Y%.3f I0 J%.3f\nG1\n",
               right ? x0 + 24 : x0, y + 2 * r, r);
        y += 2 * r;
        n += 26;
    }
    return n;
}

std::string generateJob()
{
    std::string out;
    out.reserve(size_t(Lines) * 18);
    std::mt19937 rng(12345);
    out += "%\n(generated CAM-like job)\nG21 G90 G94 G17\nM3 S12000\n";
    uint32_t lines = 4;
    for (uint32_t added = 1; added > 0;) {
        added = appendPocket(out, rng, Lines - 2 - lines);
        lines += added;
    }
    for (; lines + 2 < Lines; ++lines)
        out += "(end)\n";
    out += "M5\nM30\n";
    return out;
}

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

int main()
{
    const size_t residentBefore = residentBytes();
    std::string job = generateJob();
    const size_t fileBytes = job.size();

    gcode::JobOptions options;
    for (double& t : options.machine.maxTravel)
        t = 300;
    auto start = std::chrono::steady_clock::now();
    const gcode::Program program(std::move(job), options);
    const double interpretSeconds = seconds(start);
    const size_t residentAfter = residentBytes();

    start = std::chrono::steady_clock::now();
    const double jobSeconds = gcode::estimateProgram(program).seconds;
    const double estimateSeconds = seconds(start);

    const double lines = program.lineCount();
    std::printf("lines               %u (%zu bytes, %.1f bytes per line)\n", program.lineCount(),
                fileBytes, fileBytes / lines);
    std::printf("blocks              %zu (%.2f per line), findings %zu\n",
                program.blocks().size(), program.blocks().size() / lines,
                program.findings().size());
    for (size_t i = 0; i < program.findings().size() && i < 3; ++i)
        std::printf("  line %u: %s\n", program.findings()[i].line,
                    program.findings()[i].message().c_str());
    std::printf("interpret           %.3f s\n", interpretSeconds);
    std::printf("estimate            %.3f s (job time %.0f s)\n", estimateSeconds, jobSeconds);
    std::printf("bytes per line      %.1f resident growth, %.1f held by the program\n",
                double(residentAfter - residentBefore) / lines,
                double(program.memoryBytes()) / lines);
    return 0;
}
