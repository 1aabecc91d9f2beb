// Benchmark of the firmware transfer of a 128 KiB image: against the in-process simulated
// bootloader (host CPU share while the transfer polls for replies), and, when kavro-sim is
// built, over a pseudo-terminal paced at 115200 baud (wall time against the bytes' time on
// the wire). Run: build/bench/bench_firmware
// Targets: host CPU at most 5 % of the wall time; paced at most 5 % over the wire time.

#include "dialogs.h"
#include "firmwaretransfer.h"
#include "tarvocontroller.h"

#include <QApplication>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>

namespace {

constexpr qint64 ImageSize = 128 * 1024;

// Confirms the bootloader prompt; nothing else is asked during a transfer.
class ConfirmingSeam : public DialogSeam {
public:
    QMessageBox::StandardButton message(QWidget*, QMessageBox::Icon, const QString&,
                                        const QString&, QMessageBox::StandardButtons,
                                        QMessageBox::StandardButton) override
    {
        return QMessageBox::Ok;
    }
    void about(QWidget*, const QString&, const QString&) override {}
    QString openFileName(QWidget*, const QString&, const QString&, const QString&) override
    {
        return {};
    }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override
    {
        return {};
    }
    QString getItem(QWidget*, const QString&, const QString&, const QStringList&, int, bool,
                    bool* ok) override
    {
        if (ok)
            *ok = false;
        return {};
    }
    int exec(QDialog*) override { return 0; }
};

double ProcessCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

QByteArray Image()
{
    QByteArray image(ImageSize, '\0');
    for (qint64 i = 0; i < ImageSize; ++i)
        image[i] = char((i * 131 + 7) & 0xFF);
    return image;
}

// Runs transfers to the port and reports wall time, CPU share and, for a paced line, the
// ratio of wall time to the time the sent bytes take on the wire (10 bits per byte).
void RunTransfers(benchmark::State& state, const QString& port, int baud)
{
    const QByteArray image = Image();
    double cpuTotal = 0;
    double wallTotal = 0;
    int failures = 0;
    for (auto _ : state) {
        TarvoController controller(port, 115200);
        if (controller.Connect4FirmwareUpdate() != 1) {
            state.SkipWithError("port did not open in firmware mode");
            return;
        }
        QStringList messages;
        const double cpu0 = ProcessCpuSeconds();
        const auto wall0 = std::chrono::steady_clock::now();
        TransferFirmware(controller.GetPortSettings(),
                         reinterpret_cast<const uint8_t*>(image.constData()), image.size(),
                         messages);
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wall0;
        const double cpu = ProcessCpuSeconds() - cpu0;
        controller.DisconnectNachFirmwareUpdate();
        failures += messages.isEmpty() ? 0 : 1;
        state.SetIterationTime(wall.count());
        cpuTotal += cpu;
        wallTotal += wall.count();
    }
    state.counters["cpu_share_pct"] = 100.0 * cpuTotal / wallTotal;
    state.counters["failed"] = failures;
    if (baud > 0) {
        const double bytes = 6 + Firmware::BlockCount(ImageSize) * double(Firmware::FrameSize) + 1;
        const double wire = bytes * 10.0 / baud * double(state.iterations());
        state.counters["over_wire_pct"] = 100.0 * (wallTotal - wire) / wire;
    }
}

void BM_FirmwareInProcessSimulator(benchmark::State& state)
{
    QSettings(QStringLiteral("lumbrix"), QStringLiteral("Quenta"))
        .setValue(QStringLiteral("ports/COM8"), QStringLiteral("simulator"));
    RunTransfers(state, QStringLiteral("COM8"), 0);
}
BENCHMARK(BM_FirmwareInProcessSimulator)->UseManualTime()->Unit(benchmark::kMillisecond)
    ->Iterations(5);

#ifdef KAVRO_SIM_PATH
void BM_FirmwarePacedSerial(benchmark::State& state)
{
    QProcess sim;
    sim.start(QStringLiteral(KAVRO_SIM_PATH), {QStringLiteral("--pace=115200")});
    if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000)) {
        state.SkipWithError("kavro-sim did not start");
        return;
    }
    const QString slave = QString::fromLocal8Bit(sim.readLine()).trimmed();
    QSettings(QStringLiteral("lumbrix"), QStringLiteral("Quenta"))
        .setValue(QStringLiteral("ports/COM9"), slave);
    RunTransfers(state, QStringLiteral("COM9"), 115200);
    sim.terminate();
    sim.waitForFinished(5000);
}
BENCHMARK(BM_FirmwarePacedSerial)->UseManualTime()->Unit(benchmark::kMillisecond)
    ->Iterations(1);
#endif

}  // namespace

int main(int argc, char** argv)
{
    // Settings (the port map) go to a folder of their own, never the user's.
    const QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("lumbrix"));
    QCoreApplication::setApplicationName(QStringLiteral("Kavro"));
    ConfirmingSeam seam;
    Dialogs::install(&seam);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Dialogs::install(nullptr);
    return 0;
}
