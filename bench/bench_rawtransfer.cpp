// 128 KiB of firmware frames through the serial transport and kavro-sim on a pseudo-terminal
// paced at 115200 baud: 16 frames of 8193 bytes ("#" and 8192 data bytes), each answered with
// one byte. Reports the wall time against what the bytes take on the line, and the host's CPU
// time (all threads of this process) against the wall time.

#include "quenta.h"
#include "serialdevice.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QProcess>

#include <sys/resource.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int Baud = 115200;
constexpr int Frames = 16;
constexpr int FrameSize = 8193;

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
           + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

bool waitForByte(TarvoPortSettings* s)
{
    // The program's own bound: 5000 read calls without a byte.
    for (int calls = 0; calls < 5000; ++calls) {
        uint8_t b = 0;
        if (TarvoReadChar(s, &b, 1) > 0)
            return true;
    }
    return false;
}

void send(TarvoPortSettings* s, const uint8_t* bytes, int count)
{
    TarvoWriteChar(s, bytes, count);
}

void BM_RawTransferPaced(benchmark::State& state)
{
    QProcess sim;
    sim.start(QStringLiteral(KAVRO_SIM_PATH), {QStringLiteral("--pace=%1").arg(Baud)});
    if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000)) {
        state.SkipWithError("kavro-sim did not start");
        return;
    }
    const std::string path = QString::fromLatin1(sim.readLine()).trimmed().toStdString();
    quenta::setDeviceFactory(
        [path](const std::string&) { return std::make_shared<quenta::SerialDevice>(path); });
    TarvoPortSettings record;
    InitCommPortSettings(&record);
    std::strcpy(record.comPort, "COM5");
    record.baudRate = Baud;
    if (TarvoOpenConnection4FirmwareUpdate(&record) != 1) {
        state.SkipWithError("the pty did not open");
        return;
    }
    // Identification, programming mode, erase and address, outside the measurement.
    const uint8_t hello[] = {'S', 'P', 'e', 'A', '.', '.'};
    send(&record, hello, sizeof hello);
    std::vector<uint8_t> answer(16);
    int got = 0;
    for (int calls = 0; got < 10 && calls < 5000; ++calls)
        got += TarvoReadChar(&record, answer.data(), 16);

    std::vector<uint8_t> frame(FrameSize, 0xFF);
    frame[0] = '#';
    for (int i = 1; i < FrameSize; ++i)
        frame[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 13);
    double wall = 0;
    double cpu = 0;
    bool ok = true;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = cpuSeconds();
        for (int f = 0; f < Frames && ok; ++f) {
            send(&record, frame.data(), 513);
            for (int at = 513; at < FrameSize; at += 512)
                send(&record, frame.data() + at, 512);
            ok = waitForByte(&record);
        }
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cpu += cpuSeconds() - cpuStart;
    }
    if (!ok)
        state.SkipWithError("the bootloader stopped answering");
    const double iterations = double(state.iterations());
    const double line = double(Frames) * (FrameSize + 1) * 10.0 / Baud;
    state.counters["wall_s"] = wall / iterations;
    state.counters["line_s"] = line;
    state.counters["over_line_pct"] = 100.0 * (wall / iterations - line) / line;
    state.counters["cpu_s"] = cpu / iterations;
    state.counters["cpu_of_wall_pct"] = 100.0 * cpu / wall;
    TarvoCloseConnection(&record);
    quenta::setDeviceFactory({});
    sim.write("quit\n");
    sim.waitForFinished(2000);
}

}  // namespace

BENCHMARK(BM_RawTransferPaced)->Iterations(2)->Unit(benchmark::kSecond)->UseRealTime();

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
