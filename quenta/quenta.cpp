// The exported C functions: each finds the open port of its record and forwards to its device.

#include "quenta.h"

#include "adapters.h"
#include "portmap.h"

#include "blockjob.h"
#include "device.h"
#include "grbldevice.h"
#include "filejob.h"
#include "jobs.h"
#include "restart.h"
#include "simdevice.h"
#include "serialdevice.h"

#include <QFile>
#include <QSettings>
#include <QString>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace quenta {
namespace {

// One open port: its device, the lock that serialises calls on it, and the service thread
// that turns due status reports into notification callbacks.
struct Port {
    std::shared_ptr<Device> device;
    std::mutex callMutex;
    std::unique_ptr<JobRunner> job;  // normal mode only; ends before the device closes
    bool readsGcode = false;         // the device runs jobs itself
    std::string jobRefusal;          // why the last start did not reach the runner
    std::thread service;
    std::atomic<bool> running{false};
};

std::mutex registryMutex;  // guards ports and factory
std::map<TarvoPortSettings*, std::shared_ptr<Port>> ports;
// The reason of the last failed open per record, until the next open.
std::map<const TarvoPortSettings*, std::string> openFailures;
DeviceFactory factory;

// The callback runs under this lock, and registration takes it, so once
// SetStatusNotificationCallback returns no old callback is running or about to start.
std::mutex callbackMutex;
TarvoStatusCallback callback = nullptr;

std::shared_ptr<Port> findPort(TarvoPortSettings* s)
{
    std::lock_guard<std::mutex> lock(registryMutex);
    const auto it = ports.find(s);
    return it == ports.end() ? nullptr : it->second;
}

template <typename F>
int withDevice(TarvoPortSettings* s, F&& f)
{
    if (!s)
        return 0;
    const std::shared_ptr<Port> port = findPort(s);
    if (!port)
        return 0;
    std::lock_guard<std::mutex> lock(port->callMutex);
    return f(*port->device);
}

void serviceLoop(std::shared_ptr<Port> port, TarvoPortSettings* record)
{
    while (port->running.load()) {
        // Status wakes the thread, and so does stopPort (device->wake()): an idle port sleeps
        // rather than looking every few milliseconds whether it is still wanted.
        if (!port->device->waitForStatus(std::chrono::seconds(1)))
            continue;
        std::lock_guard<std::mutex> lock(callbackMutex);
        if (port->running.load() && callback)
            callback(record);
    }
}

// The open ports whose devices are polled (in-process simulators), served by one thread: it
// asks every device whether a report is due, calls back for those that are, and sleeps until
// the earliest next check or a wake-up. Simulated controllers report on a common grid, so one
// wake-up serves them all.
struct PolledPorts {
    std::mutex mutex;  // guards everything below; never held while a device is asked
    std::condition_variable wakeUp;
    std::condition_variable passEnded;
    std::vector<std::pair<std::shared_ptr<Port>, TarvoPortSettings*>> members;
    bool woken = false;
    bool inPass = false;
    bool stop = false;
    std::thread thread;
};
PolledPorts polledPorts;
std::mutex polledLifecycle;  // serialises adding and removing ports, and so the thread's start

void polledLoop()
{
    using Clock = std::chrono::steady_clock;
    PolledPorts& p = polledPorts;
    std::unique_lock<std::mutex> lock(p.mutex);
    std::vector<TarvoPortSettings*> due;
    while (!p.stop) {
        const auto members = p.members;
        p.woken = false;
        p.inPass = true;
        lock.unlock();
        auto next = Clock::now() + std::chrono::seconds(1);
        due.clear();
        for (const auto& [port, record] : members) {
            std::chrono::microseconds again{};
            if (port->running.load() && port->device->pollStatus(again))
                due.push_back(record);
            next = std::min(next, Clock::now() + again);
        }
        if (!due.empty()) {
            std::lock_guard<std::mutex> callbackLock(callbackMutex);
            for (TarvoPortSettings* const record : due) {
                if (callback)
                    callback(record);
            }
        }
        lock.lock();
        p.inPass = false;
        p.passEnded.notify_all();
        p.wakeUp.wait_until(lock, next, [] { return polledPorts.woken || polledPorts.stop; });
    }
}

void addPolledPort(const std::shared_ptr<Port>& port, TarvoPortSettings* record)
{
    std::lock_guard<std::mutex> lifecycle(polledLifecycle);
    std::lock_guard<std::mutex> lock(polledPorts.mutex);
    polledPorts.members.emplace_back(port, record);
    polledPorts.woken = true;
    if (!polledPorts.thread.joinable()) {
        polledPorts.stop = false;
        polledPorts.thread = std::thread(polledLoop);
    }
    polledPorts.wakeUp.notify_all();
}

// Once this returns, no callback for the port runs or is about to start; the thread ends with
// the last port.
void removePolledPort(const std::shared_ptr<Port>& port)
{
    std::lock_guard<std::mutex> lifecycle(polledLifecycle);
    std::thread finished;
    {
        std::unique_lock<std::mutex> lock(polledPorts.mutex);
        auto& members = polledPorts.members;
        members.erase(std::remove_if(members.begin(), members.end(),
                                     [&port](const auto& m) { return m.first == port; }),
                      members.end());
        polledPorts.passEnded.wait(lock, [] { return !polledPorts.inPass; });
        if (members.empty() && polledPorts.thread.joinable()) {
            polledPorts.stop = true;
            polledPorts.wakeUp.notify_all();
            finished = std::move(polledPorts.thread);
        }
    }
    if (finished.joinable())
        finished.join();
}

void stopPort(const std::shared_ptr<Port>& port)
{
    port->running.store(false);
    switch (port->device->statusService()) {
    case Device::StatusService::Pushed: {
        port->device->setStatusNotifier({});
        // A notification that saw the port running has finished once the lock is free.
        const std::lock_guard<std::mutex> barrier(callbackMutex);
        break;
    }
    case Device::StatusService::Polled:
        removePolledPort(port);
        break;
    case Device::StatusService::Thread:
        port->device->wake();
        if (port->service.joinable())
            port->service.join();
        break;
    }
}

std::string portText(const TarvoPortSettings* s)
{
    return std::string(s->comPort, strnlen(s->comPort, sizeof s->comPort));
}

int closePort(TarvoPortSettings* s)
{
    std::shared_ptr<Port> port;
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        const auto it = ports.find(s);
        if (it == ports.end())
            return 0;
        port = it->second;
        ports.erase(it);
    }
    // A job does not run on unattended: it stops (held and reset at rest) before the port goes.
    if (port->job) {
        port->job->control(JobControl::Stop);
        port->job.reset();
    }
    stopPort(port);
    std::lock_guard<std::mutex> lock(port->callMutex);
    port->device->close();
    return 1;
}

int openPort(TarvoPortSettings* s, OpenMode mode)
{
    if (!s)
        return 0;
    closePort(s);
    s->openResult = 0;
    const std::string name = portText(s);
    std::shared_ptr<Device> device;
    {
        std::unique_lock<std::mutex> lock(registryMutex);
        const DeviceFactory f = factory;
        lock.unlock();
        device = f ? f(name) : createDeviceFromPortMap(name);
    }
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        openFailures.erase(s);
    }
    if (!device || name.empty()) {
        s->openResult = 1;
        return 0;
    }
    std::string controllerName(s->controllerName,
                               strnlen(s->controllerName, sizeof s->controllerName));
    const int code = device->open(mode, s->baudRate, controllerName);
    if (code != 0) {
        s->openResult = static_cast<uint8_t>(code);
        std::lock_guard<std::mutex> lock(registryMutex);
        openFailures[s] = device->openFailure();
        return 0;
    }
    std::memset(s->controllerName, 0, sizeof s->controllerName);
    std::memcpy(s->controllerName, controllerName.data(),
                std::min(controllerName.size(), sizeof s->controllerName - 1));

    auto port = std::make_shared<Port>();
    port->device = device;
    if (mode == OpenMode::Normal) {
        port->job = device->makeJobRunner();
        port->readsGcode = port->job != nullptr;
        if (!port->job) {
            // The runner lives inside the port: a plain pointer cannot outlive it.
            Port* const raw = port.get();
            port->job = std::make_unique<BlockJobRunner>(
                [raw](const std::function<int(Device&)>& call) {
                    std::lock_guard<std::mutex> lock(raw->callMutex);
                    return call(*raw->device);
                });
        }
        port->running.store(true);
        switch (device->statusService()) {
        case Device::StatusService::Pushed:
            // The notifier holds the port only weakly: the device must not keep its own port.
            device->setStatusNotifier([weak = std::weak_ptr<Port>(port), s] {
                const std::shared_ptr<Port> alive = weak.lock();
                const std::lock_guard<std::mutex> lock(callbackMutex);
                if (alive && alive->running.load() && callback)
                    callback(s);
            });
            break;
        case Device::StatusService::Polled:
            addPolledPort(port, s);
            break;
        case Device::StatusService::Thread:
            port->service = std::thread(serviceLoop, port, s);
            break;
        }
    }
    std::lock_guard<std::mutex> lock(registryMutex);
    ports[s] = port;
    openFailures.erase(s);
    return 1;
}

}  // namespace

void wakePolledDevices()
{
    {
        std::lock_guard<std::mutex> lock(polledPorts.mutex);
        polledPorts.woken = true;
    }
    polledPorts.wakeUp.notify_all();
}

void setDeviceFactory(DeviceFactory f)
{
    std::lock_guard<std::mutex> lock(registryMutex);
    factory = std::move(f);
}

std::string lastOpenFailure(const TarvoPortSettings* record)
{
    std::lock_guard<std::mutex> lock(registryMutex);
    const auto it = openFailures.find(record);
    return it == openFailures.end() ? std::string() : it->second;
}

std::vector<std::string> takeSentLines(TarvoPortSettings* record)
{
    const std::shared_ptr<Port> port = findPort(record);
    return port ? port->device->takeSentLines() : std::vector<std::string>();
}

bool runState(TarvoPortSettings* record, RunState& out)
{
    const std::shared_ptr<Port> port = findPort(record);
    return port && port->device->runState(out);
}

std::vector<RamRunEnd> takeRamRunEnds(TarvoPortSettings* record)
{
    const std::shared_ptr<Port> port = findPort(record);
    return port ? port->device->takeRamRunEnds() : std::vector<RamRunEnd>();
}

int startJob(TarvoPortSettings* record, std::shared_ptr<const JobSource> source,
             const JobOptions& options)
{
    const std::shared_ptr<Port> port = findPort(record);
    if (!port || !port->job)
        return 0;
    port->jobRefusal.clear();
    return port->job->start(std::move(source), options);
}

int startJobFile(TarvoPortSettings* record, const char* path, uint32_t fromLine,
                 bool pauseOnToolChange, std::string& reason)
{
    QFile file(QString::fromUtf8(path ? path : ""));
    if (!path || !file.open(QIODevice::ReadOnly)) {
        reason = "cannot read the file: " + file.errorString().toStdString();
        return 0;
    }
    const QByteArray bytes = file.readAll();
    gcode::Program::Options options;
    if (!jobProgramOptions(record, options)) {
        reason = "the controller does not tell its settings now (busy, or an error to "
                 "acknowledge)";
        return 0;
    }
    auto program = std::make_shared<const gcode::Program>(bytes.toStdString(), options);
    if (const gcode::Finding* f = program->firstRefusal()) {
        reason = "line " + std::to_string(f->line) + ": " + f->message();
        return 0;
    }
    auto job = std::make_shared<ProgramJob>(program);
    if (fromLine > 1) {
        if (fromLine > program->lineCount()) {
            reason = "the file has " + std::to_string(program->lineCount()) + " lines";
            return 0;
        }
        job->startFrom(fromLine, gcode::restartPlan(*program, fromLine - 1).lines);
    }
    JobOptions o;
    o.pauseOnToolChange = pauseOnToolChange;
    return startJob(record, job, o);
}

int controlJob(TarvoPortSettings* record, JobControl what)
{
    const std::shared_ptr<Port> port = findPort(record);
    return port && port->job ? port->job->control(what) : 0;
}

int overrideJob(TarvoPortSettings* record, uint8_t command)
{
    const std::shared_ptr<Port> port = findPort(record);
    return port && port->job ? port->job->override(command) : 0;
}

JobProgress jobProgress(TarvoPortSettings* record)
{
    const std::shared_ptr<Port> port = findPort(record);
    if (!port || !port->job)
        return JobProgress{};
    JobProgress p = port->job->progress();
    if (!jobActive(p.state) && !port->jobRefusal.empty())
        p.reason = port->jobRefusal;
    return p;
}

bool jobProgramOptions(TarvoPortSettings* record, gcode::Program::Options& options)
{
    if (!jobMachine(record, options.machine, options.start))
        return false;
    options.target = jobTarget(record);
    return true;
}

bool jobMachine(TarvoPortSettings* record, gcode::MachineSettings& settings, gcode::State& start)
{
    const std::shared_ptr<Port> port = findPort(record);
    if (!port)
        return false;
    std::lock_guard<std::mutex> lock(port->callMutex);
    if (port->readsGcode)
        return port->device->jobMachine(settings, start);
    double stepsPerMm[4];
    int32_t steps[4];
    uint8_t error = 0;
    if (!readOwnMachine(*port->device, stepsPerMm, steps, error))
        return false;
    settings = gcode::MachineSettings{};
    start = gcode::State{};
    for (int a = 0; a < 3; ++a) {
        settings.stepsPerMm[a] = stepsPerMm[a];
        start.position[a] = float(steps[a] / stepsPerMm[a]);
    }
    return true;
}

gcode::Target jobTarget(TarvoPortSettings* record)
{
    const std::shared_ptr<Port> port = findPort(record);
    return port && !port->readsGcode ? gcode::Target::Kavro : gcode::Target::Grbl;
}

std::string takeRefusal(TarvoPortSettings* record)
{
    const std::shared_ptr<Port> port = findPort(record);
    return port ? port->device->takeRefusal() : std::string();
}

namespace {

// A port mapped to a USB adapter that is not plugged in: its open fails and names the adapter.
class MissingAdapter : public Device {
public:
    explicit MissingAdapter(std::string reason) : reason(std::move(reason)) {}
    int open(OpenMode, int32_t, std::string&) override { return 1; }
    std::string openFailure() const override { return reason; }
    void close() override {}
    int getStatus(StatusReport&) override { return 0; }
    int moveSteps(int, int32_t, uint8_t, const int32_t*, const int32_t*, uint8_t) override
    {
        return 0;
    }
    int moveMm(int, float, uint8_t, const float*, const float*, uint8_t) override { return 0; }

private:
    std::string reason;
};

}  // namespace

int withPortDevice(TarvoPortSettings* record, bool locked, const std::function<int(Device&)>& f)
{
    if (locked)
        return withDevice(record, f);
    const std::shared_ptr<Port> port = record ? findPort(record) : nullptr;
    return port ? f(*port->device) : 0;
}

std::shared_ptr<Device> createDeviceFromPortMap(const std::string& port)
{
    PortMapEntry entry = PortMapEntry::parse(portMapValue(QString::fromStdString(port)));
    if (entry.kind != PortMapEntry::Kind::Simulator && isAdapterIdentity(entry.device)) {
        // The adapter's tty now, whatever number the system gave it at this plug-in.
        QString missing;
        const QString path = resolveAdapter(entry.device, serialAdapters(), missing);
        if (path.isEmpty())
            return std::make_shared<MissingAdapter>(missing.toStdString());
        entry.device = path;
    }
    switch (entry.kind) {
    case PortMapEntry::Kind::Simulator: {
        // "simulator" may be followed by fault options: "simulator --silence-after=5000".
        SimOptions options;
        std::string error;
        if (!parseSimOptions(splitSimOptions(entry.options.toStdString()), options, error))
            return nullptr;  // a misspelt port map entry: the port cannot be opened
        return SimDevice::forPort(port, options);
    }
    case PortMapEntry::Kind::Grbl:
        return std::make_shared<GrblDevice>(entry.device.toStdString(), port);
    case PortMapEntry::Kind::Serial:
        break;
    }
    return std::make_shared<SerialDevice>(entry.device.toStdString());
}

}  // namespace quenta

using namespace quenta;

extern "C" {

void InitCommPortSettings(TarvoPortSettings* s)
{
    if (!s)
        return;
    std::memset(s, 0, sizeof *s);
    s->baudRate = 115200;
    std::strcpy(s->controllerName, "Dorvik USB");
}

int TarvoOpenConnectionPort(TarvoPortSettings* s, int32_t)
{
    return openPort(s, OpenMode::Normal);
}

int TarvoOpenConnection4FirmwareUpdate(TarvoPortSettings* s)
{
    return openPort(s, OpenMode::FirmwareUpdate);
}

int TarvoCloseTransfer(TarvoPortSettings* s)
{
    return withDevice(s, [](Device& d) { d.closeTransfer(); return 1; });
}

int TarvoCloseConnection(TarvoPortSettings* s)
{
    return s ? closePort(s) : 0;
}

void SetStatusNotificationCallback(TarvoStatusCallback cb)
{
    std::lock_guard<std::mutex> lock(callbackMutex);
    callback = cb;
}

int GetStatus_Schritte(TarvoPortSettings* s, uint8_t* firstValue, uint8_t* inputs, uint8_t* flags,
                       int32_t* posX, int32_t* posY, int32_t* posZ, int32_t* posC,
                       uint8_t* bufferFill, uint8_t* generalInputs, uint8_t* generalOutputs,
                       uint8_t* errorCode)
{
    StatusReport r;
    // Reading the last status never waits behind a call in flight where the device allows it.
    const std::shared_ptr<Port> port = s ? findPort(s) : nullptr;
    if (!port)
        return 0;
    int got = 0;
    if (port->device->statusWithoutCallLock()) {
        got = port->device->getStatus(r);
    } else {
        std::lock_guard<std::mutex> lock(port->callMutex);
        got = port->device->getStatus(r);
    }
    if (!got)
        return 0;
    const auto put = [](auto* p, auto v) { if (p) *p = v; };
    put(firstValue, r.firstValue);
    put(inputs, r.inputs);
    put(flags, r.flags);
    put(posX, r.pos[0]);
    put(posY, r.pos[1]);
    put(posZ, r.pos[2]);
    put(posC, r.pos[3]);
    put(bufferFill, r.bufferFill);
    put(generalInputs, r.generalInputs);
    put(generalOutputs, r.generalOutputs);
    put(errorCode, r.errorCode);
    return 1;
}

int FehlerQuitieren(TarvoPortSettings* s)
{
    return withDevice(s, [](Device& d) { return d.acknowledgeError(); });
}

int NotHalt_mitBremsrampe(TarvoPortSettings* s)
{
    return withDevice(s, [](Device& d) { return d.emergencyHalt(); });
}

int NotStop_ohneBremsrampe(TarvoPortSettings* s)
{
    return withDevice(s, [](Device& d) { return d.emergencyStop(); });
}

int ParkPositionAnfahren(TarvoPortSettings* s)
{
    return withDevice(s, [](Device& d) { return d.park(); });
}

int FahreRelativ_XY_Schritte(TarvoPortSettings* s, int32_t speed, uint8_t one, int32_t* first,
                             int32_t* second, uint8_t three)
{
    if (!first || !second)
        return 0;
    return withDevice(s, [&](Device& d) { return d.moveSteps(0, speed, one, first, second, three); });
}

int FahreRelativ_ZC_Schritte(TarvoPortSettings* s, int32_t speed, uint8_t one, int32_t* first,
                             int32_t* second, uint8_t three)
{
    if (!first || !second)
        return 0;
    return withDevice(s, [&](Device& d) { return d.moveSteps(1, speed, one, first, second, three); });
}

int FahreRelativ_XY_mm(TarvoPortSettings* s, float speed, uint8_t one, float* first,
                       float* second, uint8_t three)
{
    if (!first || !second)
        return 0;
    return withDevice(s, [&](Device& d) { return d.moveMm(0, speed, one, first, second, three); });
}

int FahreRelativ_ZC_mm(TarvoPortSettings* s, float speed, uint8_t one, float* first,
                       float* second, uint8_t three)
{
    if (!first || !second)
        return 0;
    return withDevice(s, [&](Device& d) { return d.moveMm(1, speed, one, first, second, three); });
}

int HaltePosition(TarvoPortSettings* s, int32_t milliseconds)
{
    return withDevice(s, [&](Device& d) { return d.wait(milliseconds); });
}

int Referenzfahrt(TarvoPortSettings* s, int32_t a, int32_t b)
{
    return withDevice(s, [&](Device& d) { return d.reference(a, b); });
}

int NullPunktSetzen_Schritte(TarvoPortSettings* s, int32_t x, int32_t y, int32_t z, int32_t c)
{
    const int32_t v[4] = {x, y, z, c};
    return withDevice(s, [&](Device& d) { return d.setZeroSteps(v); });
}

int NullPunktSetzen_mm(TarvoPortSettings* s, float x, float y, float z, float c)
{
    const float v[4] = {x, y, z, c};
    return withDevice(s, [&](Device& d) { return d.setZeroMm(v); });
}

int SpindelKuhlungSetzen(TarvoPortSettings* s, uint8_t spindle, uint8_t coolant)
{
    return withDevice(s, [&](Device& d) { return d.setSpindleCoolant(spindle, coolant); });
}

int AllgemeineAusgaeneSetzen(TarvoPortSettings* s, uint8_t outputs)
{
    return withDevice(s, [&](Device& d) { return d.setOutputs(outputs); });
}

int BetriebsArtenWechsel(TarvoPortSettings* s, uint8_t mode)
{
    return withDevice(s, [&](Device& d) { return d.changeMode(mode); });
}

int LoadRAMprogramm(TarvoPortSettings* s, uint8_t ramNumber)
{
    return withDevice(s, [&](Device& d) { return d.loadRam(ramNumber); });
}

int StartRAMprogramm(TarvoPortSettings* s, uint8_t ramNumber, uint8_t count)
{
    return withDevice(s, [&](Device& d) { return d.startRam(ramNumber, count); });
}

int ParameterLesen(TarvoPortSettings* s, uint8_t group, uint8_t index, void* result)
{
    if (!result)
        return 0;
    uint8_t buffer[16];
    std::memcpy(buffer, result, sizeof buffer);
    const int r = withDevice(s, [&](Device& d) { return d.readParameter(group, index, buffer); });
    std::memcpy(result, buffer, sizeof buffer);
    return r;
}

namespace {
int setParameter(TarvoPortSettings* s, uint8_t group, uint8_t index, const Device::ParamValue& v)
{
    return withDevice(s, [&](Device& d) { return d.setParameter(group, index, v); });
}
}  // namespace

int ParameterAendern_long(TarvoPortSettings* s, uint8_t group, uint8_t index, int32_t value)
{
    Device::ParamValue v;
    v.kind = Device::ParamKind::Long;
    v.longs[0] = value;
    return setParameter(s, group, index, v);
}

int ParameterAendern_float(TarvoPortSettings* s, uint8_t group, uint8_t index, float value)
{
    Device::ParamValue v;
    v.kind = Device::ParamKind::Float;
    v.f = value;
    return setParameter(s, group, index, v);
}

int ParameterAendern_4_longs(TarvoPortSettings* s, uint8_t group, uint8_t index, int32_t x,
                             int32_t y, int32_t z, int32_t c)
{
    Device::ParamValue v;
    v.kind = Device::ParamKind::FourLongs;
    v.longs[0] = x;
    v.longs[1] = y;
    v.longs[2] = z;
    v.longs[3] = c;
    return setParameter(s, group, index, v);
}

int ParameterAendern_4_uchar(TarvoPortSettings* s, uint8_t group, uint8_t index, uint32_t x,
                             uint32_t y, uint32_t z, uint32_t c)
{
    Device::ParamValue v;
    v.kind = Device::ParamKind::FourUchar;
    v.longs[0] = static_cast<int32_t>(x);
    v.longs[1] = static_cast<int32_t>(y);
    v.longs[2] = static_cast<int32_t>(z);
    v.longs[3] = static_cast<int32_t>(c);
    return setParameter(s, group, index, v);
}

int ParameterAendern_Richtung_Sequenz_ReferenzFahrt(TarvoPortSettings* s, uint8_t group,
                                                    uint8_t index, uint32_t dir0, uint32_t dir1,
                                                    uint32_t dir2, uint32_t dir3, uint32_t order0,
                                                    uint32_t order1, uint32_t order2,
                                                    uint32_t order3)
{
    Device::ParamValue v;
    v.kind = Device::ParamKind::RefSequence;
    const uint32_t all[8] = {dir0, dir1, dir2, dir3, order0, order1, order2, order3};
    for (int i = 0; i < 8; ++i)
        v.longs[i] = static_cast<int32_t>(all[i]);
    return setParameter(s, group, index, v);
}

int ParameterAendern_ControllerName(TarvoPortSettings* s, uint8_t group, uint8_t index,
                                    const char* name)
{
    if (!name)
        return 0;
    Device::ParamValue v;
    v.kind = Device::ParamKind::Name;
    std::memcpy(v.name, name, sizeof v.name);
    v.name[sizeof v.name - 1] = 0;
    return setParameter(s, group, index, v);
}

int TarvoWriteChar(TarvoPortSettings* s, const uint8_t* bytes, int32_t length)
{
    if (!bytes || length < 0)
        return 0;
    return withDevice(s, [&](Device& d) { return d.writeBytes(bytes, length); });
}

int TarvoReadChar(TarvoPortSettings* s, uint8_t* bytes, int32_t length)
{
    if (!bytes || length <= 0)
        return 0;
    return withDevice(s, [&](Device& d) { return d.readBytes(bytes, length); });
}

int TarvoJobStart(TarvoPortSettings* s, const char* path, uint32_t fromLine,
                  int32_t pauseOnToolChange)
{
    const std::shared_ptr<Port> port = findPort(s);
    if (!port)
        return 0;
    std::string reason;
    const int started = startJobFile(s, path, fromLine, pauseOnToolChange != 0, reason);
    if (!started && reason.empty())
        reason = port->job ? port->job->progress().reason : std::string();
    port->jobRefusal = reason;
    return started;
}

int TarvoJobPause(TarvoPortSettings* s)
{
    return controlJob(s, JobControl::Pause);
}

int TarvoJobResume(TarvoPortSettings* s)
{
    return controlJob(s, JobControl::Resume);
}

int TarvoJobStop(TarvoPortSettings* s)
{
    return controlJob(s, JobControl::Stop);
}

int TarvoJobOverride(TarvoPortSettings* s, uint8_t command)
{
    return overrideJob(s, command);
}

static_assert(TarvoJobFailed == int(JobState::Failed) && TarvoJobToolChange == int(JobState::ToolChange),
              "the C states are the library's");

int TarvoJobGetProgress(TarvoPortSettings* s, TarvoJobProgress* out)
{
    if (!out || !findPort(s))
        return 0;
    const JobProgress p = jobProgress(s);
    *out = TarvoJobProgress{};
    out->state = static_cast<int32_t>(p.state);
    out->linesTotal = p.linesTotal;
    out->linesSent = p.linesSent;
    out->linesAcknowledged = p.linesAcknowledged;
    out->lineExecuting = p.fileLineExecuting;
    out->failedLine = p.failedFileLine;
    out->tool = p.tool;
    std::strncpy(out->reason, p.reason.c_str(), sizeof out->reason - 1);
    return 1;
}

}  // extern "C"
