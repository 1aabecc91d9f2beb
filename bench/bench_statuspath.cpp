// Benchmark of the status path: a notification posted to the kernel, handled on the GUI thread
// (status fetched through the link library, watchdog restarted, signal emitted) and the status
// panel redrawn. Run offscreen:
//   build/bench/bench_statuspath
// Target: at least 50,000 notifications per second (items_per_second).

#include "device.h"
#include "kavrixkernel.h"
#include "statuswnd.h"
#include "tarvocontroller.h"

#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace {

// A controller that never notifies by itself and reports a status that changes on every
// request, as a moving machine does.
class BenchDevice : public quenta::Device {
public:
    std::atomic<bool> everyFieldChanges{false};

    int open(quenta::OpenMode, int32_t, std::string&) override { return 0; }
    void close() override {}
    bool waitForStatus(std::chrono::milliseconds maxWait) override
    {
        std::unique_lock<std::mutex> lock(mutex);
        wakeUp.wait_for(lock, maxWait, [this] { return woken; });
        return false;
    }
    void wake() override
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            woken = true;
        }
        wakeUp.notify_all();
    }
    int getStatus(quenta::StatusReport& out) override
    {
        ++counter;
        out.pos[0] = counter;
        out.pos[1] = -counter / 2;
        out.bufferFill = static_cast<uint8_t>(counter);
        if (everyFieldChanges.load()) {
            const auto bits = static_cast<uint8_t>(counter & 1 ? 0x55 : 0xaa);
            out.inputs = out.flags = out.generalInputs = out.generalOutputs = bits;
            out.errorCode = counter & 1 ? 0x13 : 0;
            out.pos[2] = counter * 3;
            out.pos[3] = -counter;
        }
        return 1;
    }
    int moveSteps(int, int32_t, uint8_t, const int32_t*, const int32_t*, uint8_t) override
    {
        return 1;
    }
    int moveMm(int, float, uint8_t, const float*, const float*, uint8_t) override { return 1; }

private:
    std::mutex mutex;
    std::condition_variable wakeUp;
    bool woken = false;
    int32_t counter = 0;
};

std::shared_ptr<BenchDevice> device;
StatusWnd* panel = nullptr;
TarvoController* controller = nullptr;

// One iteration is one pass of the event loop: 1000 notifications handled, then whatever they
// scheduled (the panel's repaint) runs once. The screen shows at most one frame per display
// refresh, so at 50,000 notifications per second this is 50 frames per second.
void runStatusPath(benchmark::State& state, bool everyFieldChanges)
{
    constexpr int batch = 1000;
    device->everyFieldChanges = everyFieldChanges;
    KavrixKernel* const kernel = KavrixKernel::Instance();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        // What the library's thread does per notification: the kernel posts itself an event.
        for (int i = 0; i < batch; ++i)
            kernel->OnStatusNotification(controller->GetPortSettings());
        QCoreApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations() * batch);
}

// A machine moving two axes: positions and buffer fill change with every report.
void BM_StatusPath_PositionsChange(benchmark::State& state)
{
    runStatusPath(state, false);
}
BENCHMARK(BM_StatusPath_PositionsChange)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The worst case: every position, pin and the error text change with every report.
void BM_StatusPath_EveryFieldChanges(benchmark::State& state)
{
    runStatusPath(state, true);
}
BENCHMARK(BM_StatusPath_EveryFieldChanges)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv)
{
    // Keep the benchmark's settings away from the user's own.
    const QTemporaryDir configDir;
    qputenv("XDG_CONFIG_HOME", configDir.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("lumbrix"));
    QCoreApplication::setApplicationName(QStringLiteral("KavroBench"));

    device = std::make_shared<BenchDevice>();
    quenta::setDeviceFactory([](const std::string&) { return device; });
    KavrixKernel* const kernel = KavrixKernel::Instance();
    controller = new TarvoController(QStringLiteral("COM3"), 115200);
    kernel->AddController(controller);
    kernel->ConnectActiveController();
    if (!controller->IsConnected())
        qFatal("benchmark controller did not connect");
    panel = new StatusWnd(nullptr);
    panel->show();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    delete panel;
    delete kernel;
    quenta::setDeviceFactory({});
    return 0;
}
