#include "simdevice.h"

#include "machinecontrol.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace quenta {

namespace {

std::mutex portsMutex;  // guards SimDevice::ports()

}  // namespace

std::map<std::string, std::shared_ptr<SimDevice::Shared>>& SimDevice::ports()
{
    static std::map<std::string, std::shared_ptr<Shared>> simulated;
    return simulated;
}

SimDevice::SimDevice() : SimDevice(SimOptions()) {}

SimDevice::Shared::Shared()
{
    // The simulator's clock starts in step with the steady clock's grid of report moments, so
    // all simulated controllers of the process report at the same moments.
    const auto us =
        std::chrono::duration_cast<std::chrono::microseconds>(last.time_since_epoch()).count();
    core.advanceUs(us % SimController::FastStatusUs);
}

SimDevice::SimDevice(const SimOptions& options) : shared(std::make_shared<Shared>())
{
    shared->core.faults() = options.faults;
    if (!options.name.empty())
        shared->core.setName(options.name);
}

SimDevice::SimDevice(std::shared_ptr<Shared> s) : shared(std::move(s)) {}

std::shared_ptr<SimDevice> SimDevice::forPort(const std::string& port, const SimOptions& options)
{
    std::shared_ptr<Shared> s;
    {
        std::lock_guard<std::mutex> lock(portsMutex);
        std::shared_ptr<Shared>& entry = ports()[port];
        if (!entry) {
            entry = std::make_shared<Shared>();
            if (!options.name.empty())
                entry->core.setName(options.name);
        }
        s = entry;
    }
    {
        std::lock_guard<std::mutex> lock(s->mutex);
        s->core.faults() = options.faults;
    }
    return std::shared_ptr<SimDevice>(new SimDevice(s));
}

void SimDevice::forgetPorts()
{
    std::lock_guard<std::mutex> lock(portsMutex);
    ports().clear();
}

void SimDevice::sync()
{
    const auto now = std::chrono::steady_clock::now();
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(now - shared->last);
    if (us.count() > 0) {
        shared->core.advanceUs(us.count());
        shared->last += us;
    }
}

void SimDevice::withController(const std::function<void(SimController&)>& f)
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    sync();
    f(shared->core);
    notifyChanged();
}

int SimDevice::open(OpenMode m, int32_t, std::string& controllerName)
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    sync();
    if (shared->open)
        return 1;  // the port is in use
    SimController& core = shared->core;
    if (core.faults().openFailure != 0)
        return core.faults().openFailure;
    if (m == OpenMode::Normal) {
        if (!core.answering())
            return 3;
        core.leaveBootloader();
        core.connect();
        controllerName = core.name();
    }
    // Firmware-update mode only opens the raw byte channel: the controller stays as it is
    // until the operator restarts it into its bootloader (modelled by the first "S" written).
    mode = m;
    opened = true;
    shared->open = true;
    shared->bootOut.clear();
    notifyChanged();
    return 0;
}

void SimDevice::closeTransfer()
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    sync();
    if (opened && mode == OpenMode::Normal && shared->core.answering())
        shared->core.disconnect();
}

void SimDevice::close()
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    sync();
    if (!opened)
        return;
    if (mode == OpenMode::Normal)
        shared->core.disconnect();
    opened = false;
    shared->open = false;
    shared->bootOut.clear();
    notifyChanged();
}

bool SimDevice::pollStatus(std::chrono::microseconds& askAgainIn)
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    askAgainIn = std::chrono::seconds(1);
    if (!opened || mode != OpenMode::Normal)
        return false;
    sync();
    const bool due = shared->core.takeNotification();
    askAgainIn = std::chrono::microseconds(shared->core.usUntilStatusCheck());
    return due;
}

void SimDevice::notifyChanged()
{
    shared->changed.notify_all();
    wakePolledDevices();
}

int SimDevice::getStatus(StatusReport& out)
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    sync();
    if (!opened || mode != OpenMode::Normal || !shared->core.answering())
        return 0;
    out = shared->core.status();
    return 1;
}

bool SimDevice::runState(RunState& out)
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    sync();
    if (!opened || mode != OpenMode::Normal)
        return false;
    out = RunState();
    out.referencing = shared->core.referencing();
    out.ram = shared->core.ramProgress();
    return true;
}

std::vector<RamRunEnd> SimDevice::takeRamRunEnds()
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    sync();
    std::vector<RamRunEnd> ends;
    RamRunEnd end;
    if (opened && mode == OpenMode::Normal && shared->core.takeRamEnd(end))
        ends.push_back(std::move(end));
    return ends;
}

int SimDevice::command(const std::function<int(SimController&)>& f)
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    sync();
    if (!opened || mode != OpenMode::Normal || !shared->core.answering())
        return 0;
    const int result = f(shared->core);
    notifyChanged();
    return result;
}

bool SimDevice::workCoordinates(WorkCoordinates& out)
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    sync();
    if (!opened || mode != OpenMode::Normal || !shared->core.answering())
        return false;
    const StatusReport r = shared->core.status();
    out = WorkCoordinates{};
    out.axes = 4;
    out.haveMachine = true;
    out.haveOffsets = true;
    for (int axis = 0; axis < 4; ++axis) {
        out.work[axis] = r.pos[axis];
        out.machine[axis] = std::round(shared->core.machinePosition(axis));
        out.offsets[0][axis] = out.machine[axis] - out.work[axis];
    }
    return true;
}

int SimDevice::acknowledgeError()
{
    return command([](SimController& c) { return c.acknowledgeError(); });
}

int SimDevice::emergencyHalt()
{
    return command([](SimController& c) { return c.emergencyHalt(); });
}

int SimDevice::emergencyStop()
{
    return command([](SimController& c) { return c.emergencyStop(); });
}

int SimDevice::park()
{
    return command([](SimController& c) { return c.park(); });
}

int SimDevice::moveSteps(int pair, int32_t speed, uint8_t, const int32_t* a, const int32_t* b,
                         uint8_t)
{
    return command([&](SimController& c) { return c.moveSteps(pair, speed, a[0], b[0]); });
}

int SimDevice::moveMm(int pair, float speed, uint8_t, const float* a, const float* b, uint8_t)
{
    return command([&](SimController& c) { return c.moveMm(pair, speed, a[0], b[0]); });
}

int SimDevice::moveLinearMm(const float target[4], float feed)
{
    return command([&](SimController& c) { return c.moveLinearMm(target, feed); });
}

int SimDevice::wait(int32_t ms)
{
    return command([&](SimController& c) { return c.wait(ms); });
}

int SimDevice::reference(int32_t, int32_t)
{
    return command([](SimController& c) { return c.reference(); });
}

int SimDevice::setZeroSteps(const int32_t v[4])
{
    return command([&](SimController& c) { return c.setZeroSteps(v); });
}

int SimDevice::setZeroMm(const float v[4])
{
    return command([&](SimController& c) { return c.setZeroMm(v); });
}

int SimDevice::setSpindleCoolant(uint8_t spindle, uint8_t coolant)
{
    return command([&](SimController& c) { return c.setSpindleCoolant(spindle, coolant); });
}

int SimDevice::setOutputs(uint8_t bits)
{
    return command([&](SimController& c) { return c.setOutputs(bits); });
}

int SimDevice::changeMode(uint8_t m)
{
    return command([&](SimController& c) { return c.changeMode(m); });
}

int SimDevice::loadRam(uint8_t ram)
{
    return command([&](SimController& c) { return c.loadRam(ram); });
}

int SimDevice::startRam(uint8_t ram, uint8_t count)
{
    return command([&](SimController& c) { return c.startRam(ram, count); });
}

int SimDevice::readParameter(uint8_t group, uint8_t index, uint8_t result[16])
{
    return command([&](SimController& c) { return c.readParameter(group, index, result); });
}

int SimDevice::setParameter(uint8_t group, uint8_t index, const ParamValue& value)
{
    return command([&](SimController& c) { return c.setParameter(group, index, value); });
}

int SimDevice::writeBytes(const uint8_t* bytes, int32_t length)
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    sync();
    if (!opened || mode != OpenMode::FirmwareUpdate || length <= 0)
        return 0;
    SimController& core = shared->core;
    const size_t count = static_cast<size_t>(length);
    std::vector<uint8_t> reply;
    size_t at = 0;
    while (at < count) {
        // Bytes the firmware receives are lost, except the "S" that stands for Enter+Reset.
        at += core.resetOnIdentify(bytes + at, count - at);
        if (!core.inBootloader())
            break;
        at += core.bootloaderInput(bytes + at, count - at, reply);
    }
    shared->bootOut.insert(shared->bootOut.end(), reply.begin(), reply.end());
    notifyChanged();
    return length;
}

int SimDevice::readBytes(uint8_t* bytes, int32_t length)
{
    std::unique_lock<std::mutex> lock(shared->mutex);
    if (!opened || mode != OpenMode::FirmwareUpdate || length <= 0)
        return 0;
    if (shared->bootOut.empty()) {
        // Nothing can arrive meanwhile (the bootloader answers writes at once), but a poll
        // loop must not spin: wait the 1 ms a real line would.
        shared->changed.wait_for(lock, std::chrono::milliseconds(1),
                                 [this] { return !shared->bootOut.empty() || !opened; });
        if (shared->bootOut.empty() || !opened)
            return 0;
    }
    const size_t n = std::min(static_cast<size_t>(length), shared->bootOut.size());
    std::copy_n(shared->bootOut.begin(), n, bytes);
    shared->bootOut.erase(shared->bootOut.begin(),
                          shared->bootOut.begin() + static_cast<std::ptrdiff_t>(n));
    return static_cast<int>(n);
}

}  // namespace quenta
