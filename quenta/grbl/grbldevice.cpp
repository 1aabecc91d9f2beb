#include "grbldevice.h"

#include "parameterrules.h"

#include <QSettings>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quenta {

namespace {

using Kind = Device::ParamKind;
using grbl::formatNumber;

constexpr uint8_t NotAllowed = 0x03;
constexpr uint8_t RamNumber = 0x0b;
constexpr uint8_t RamEmpty = 0x0c;
constexpr uint8_t RamTooBig = 0x0d;
constexpr uint8_t ParameterValue = 0x71;
constexpr uint8_t ParameterNumber = 0x91;
constexpr uint8_t Stopped = 0x99;

int32_t roundToInt(double v)
{
    if (!std::isfinite(v))
        return 0;
    return static_cast<int32_t>(std::clamp(std::nearbyint(v), -2147483648.0, 2147483647.0));
}

bool sameReport(const StatusReport& a, const StatusReport& b)
{
    return a.inputs == b.inputs && a.flags == b.flags && std::equal(a.pos, a.pos + 4, b.pos)
           && a.bufferFill == b.bufferFill && a.errorCode == b.errorCode;
}

}  // namespace

GrblDevice::GrblDevice(std::string p, std::string portText)
    : path(std::move(p)), port(std::move(portText))
{
}

GrblDevice::~GrblDevice()
{
    tty.close();
}

bool GrblDevice::isLost() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return lost;
}

bool GrblDevice::waitFor(std::unique_lock<std::mutex>& lock, Clock::time_point deadline,
                         const std::function<bool()>& done)
{
    return changed.wait_until(lock, deadline, [&] { return done() || lost; }) && !lost;
}

int GrblDevice::open(OpenMode m, int32_t baudRate, std::string& controllerName)
{
    // GRBL has no bootloader the firmware update could talk to: not a controller of that kind.
    if (m == OpenMode::FirmwareUpdate)
        return 2;
    close();
    {
        std::lock_guard<std::mutex> lock(mutex);
        lost = false;
        woken = false;
        inLine.clear();
        welcomed = false;
        version.clear();
        buildInfo.clear();
        haveBuildInfo = false;
        plannerBlocks = 15;
        rxBytes = 128;
        settings.clear();
        pending.clear();
        pendingBytes = 0;
        awaitedId = 0;
        resetting = false;
        bytesReceived = 0;
        silentTimeouts = 0;
        haveReport = false;
        statusPending = false;
        errorCode = 0;
        referenced = 0;
        spindle = coolant = false;
        needsReset = holdFlush = homing = false;
        mode = 2;
        loadingSlot = 0;
        streaming = false;
        for (Slot& s : ramSlots)
            s = Slot();
    }
    loadHostParameters();
    if (!tty.open(path, baudRate > 0 ? baudRate : 115200))
        return 1;
    {
        std::lock_guard<std::mutex> lock(mutex);
        opened = true;
    }
    const auto start = Clock::now();
    std::unique_lock<std::mutex> lock(mutex);
    // An Arduino restarts when the port opens and greets after its boot loader's wait.
    bool welcome = waitFor(lock, start + std::chrono::milliseconds(ResetAfterMs),
                           [this] { return welcomed; });
    if (!welcome && !lost) {
        lock.unlock();
        writeRealtime(grbl::SoftReset);
        lock.lock();
        welcome = waitFor(lock, start + std::chrono::milliseconds(WelcomeWaitMs),
                          [this] { return welcomed; });
    }
    int code = 0;
    if (!welcome)
        code = bytesReceived > 0 ? 2 : 3;
    lock.unlock();
    if (code == 0) {
        const auto deadline = [] { return Clock::now() + std::chrono::milliseconds(400); };
        if (sendLine("$$", Sent::Query, deadline()) != Reply::Ok
            || sendLine("$I", Sent::Query, deadline()) != Reply::Ok)
            code = 2;
    }
    if (code != 0) {
        close();
        return code;
    }
    writeRealtime(grbl::StatusQuery);
    lock.lock();
    waitFor(lock, Clock::now() + std::chrono::milliseconds(100), [this] { return haveReport; });
    updateResolution();
    controllerName = haveBuildInfo && !buildInfo.empty() ? buildInfo : "Grbl " + version;
    if (controllerName.size() > 75)
        controllerName.resize(75);
    lastPoll = lastNotify = Clock::now();
    return 0;
}

void GrblDevice::close()
{
    tty.close();
    std::lock_guard<std::mutex> lock(mutex);
    opened = false;
    streaming = false;
    haveReport = false;
    changed.notify_all();
}

// --- reader thread ---

void GrblDevice::ttyLost()
{
    std::lock_guard<std::mutex> lock(mutex);
    lost = true;
    streaming = false;
    statusPending = false;  // a vanished controller reports nothing more
    changed.notify_all();
}

void GrblDevice::ttyData(const uint8_t* data, size_t count)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        bytesReceived += count;
        silentTimeouts = 0;
        lastByte = Clock::now();
    }
    for (size_t i = 0; i < count; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == '\n' || c == '\r') {
            if (!inLine.empty())
                handleLine(inLine);
            inLine.clear();
        } else if (inLine.size() < 512) {
            inLine.push_back(c);
        }
    }
    pumpStream();
    bool flush = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        // A feed hold has come to rest (or found nothing moving): a soft reset now drops
        // what the firmware still holds, without the alarm a reset in motion raises.
        if (holdFlush && haveReport
            && ((report.state == "Hold" && report.subState == 0) || report.state == "Idle")) {
            holdFlush = false;
            flush = report.state == "Hold" || !pending.empty();
        }
    }
    if (flush)
        softReset();
}

void GrblDevice::handleLine(const std::string& text)
{
    const grbl::Line line = grbl::classifyLine(text);
    std::lock_guard<std::mutex> lock(mutex);
    switch (line.kind) {
    case grbl::LineKind::Ok:
    case grbl::LineKind::Error: {
        if (resetting || pending.empty())
            break;  // an answer to a line the reset dropped
        const Pending p = pending.front();
        pending.pop_front();
        pendingBytes -= p.bytes;
        const bool ok = line.kind == grbl::LineKind::Ok;
        if (p.id == awaitedId) {
            awaitedDone = true;
            awaitedOk = ok;
        }
        if (ok) {
            if (p.kind == Sent::Home) {
                referenced = static_cast<uint8_t>(report.axes == 4 ? 0x0f : 0x07);
                homing = false;
            } else if (p.kind == Sent::Spindle) {
                spindle = p.funcs & 1;
                coolant = p.funcs & 2;
            } else if (p.kind == Sent::Motion || p.kind == Sent::Stream) {
                plannedSinceIdle = std::min(plannedSinceIdle + 1, plannerBlocks);
            }
        } else {
            if (p.kind == Sent::Home)
                homing = false;
            if (p.kind != Sent::Query && p.kind != Sent::Unlock)
                raise(grbl::errorCodeForError(line.code, axisHint, directionHint));
            if (p.kind == Sent::Stream)
                stopStream();
        }
        break;
    }
    case grbl::LineKind::Alarm:
        errorCode = grbl::errorCodeForAlarm(line.code, lastPins, axisHint, directionHint);
        // A hard limit is announced before the report that shows its pin: the axis is named
        // by the next report that does.
        hardLimitAxisOpen = line.code == 1 && errorCode == grbl::errorCodeForAlarm(1, {});
        referenced = 0;
        homing = false;
        stopStream();
        break;
    case grbl::LineKind::Welcome:
        version = line.text;
        welcomed = true;
        afterReset();
        break;
    case grbl::LineKind::Report: {
        grbl::Report r;
        if (grbl::parseReport(line.text, r))
            handleReport(r);
        break;
    }
    case grbl::LineKind::Setting:
        settings[line.code] = line.text;
        break;
    case grbl::LineKind::Message:
        if (line.text == "Reset to continue")
            needsReset = true;
        else if (line.text.find("to unlock") != std::string::npos)
            raise(NotAllowed);  // locked at start-up (homing enabled) or after an alarm
        break;
    case grbl::LineKind::Version:
        buildInfo = line.info;
        haveBuildInfo = true;
        break;
    case grbl::LineKind::Options:
        if (line.code > 0)
            plannerBlocks = line.code;
        if (line.value > 0)
            rxBytes = line.value;
        break;
    case grbl::LineKind::Other:
        break;
    }
    changed.notify_all();
}

void GrblDevice::afterReset()
{
    // The firmware starts afresh: its buffers are empty, spindle and coolant off, the
    // reference gone.
    pending.clear();
    pendingBytes = 0;
    resetting = false;
    needsReset = false;
    homing = false;
    referenced = 0;
    spindle = coolant = false;
    plannedSinceIdle = 0;
    stopStream();
}

void GrblDevice::handleReport(const grbl::Report& r)
{
    report = r;
    haveReport = true;
    if (r.haveWco)
        std::copy(r.wco, r.wco + 4, wco);
    lastPins = r.pins;
    if (hardLimitAxisOpen && errorCode != 0) {
        const uint8_t named = grbl::errorCodeForAlarm(1, r.pins);
        if (named != grbl::errorCodeForAlarm(1, {})) {
            errorCode = named;
            hardLimitAxisOpen = false;
        }
    } else {
        hardLimitAxisOpen = false;
    }
    if (r.haveOverrides) {
        // Ov: comes with A: whenever an accessory runs, so here A: is current.
        spindle = r.spindle;
        coolant = r.coolant;
    }
    if (r.state == "Idle")
        plannedSinceIdle = 0;
    if ((r.state == "Hold" || r.state == "Door") && !holdFlush)
        raise(Stopped);
    if (r.state == "Alarm" && errorCode == 0)
        raise(NotAllowed);
    StatusReport s;
    s.inputs = grbl::inputsFromPins(r.pins);
    s.flags = static_cast<uint8_t>(referenced | (spindle ? 0x10 : 0) | (coolant ? 0x20 : 0));
    for (int axis = 0; axis < r.axes && axis < 4; ++axis) {
        const double work = r.machinePos ? r.pos[axis] - wco[axis] : r.pos[axis];
        s.pos[axis] = roundToInt(work * stepsPerMm[axis]);
    }
    int used = 0;
    if (r.haveBuffer)
        used = plannerBlocks - r.blocksFree;
    else if (r.state != "Idle")
        used = std::max<int>(plannedSinceIdle, r.state == "Run" || r.state == "Jog" ? 1 : 0);
    used = std::clamp(used, 0, plannerBlocks);
    s.bufferFill = static_cast<uint8_t>(std::min(255, used * 256 / std::max(1, plannerBlocks)));
    s.errorCode = errorCode;
    if (!sameReport(s, status))
        statusPending = true;
    status = s;
}

void GrblDevice::raise(uint8_t code)
{
    if (errorCode == 0)
        errorCode = code;
    status.errorCode = errorCode;
    statusPending = true;
    changed.notify_all();
}

void GrblDevice::refuse(uint8_t code)
{
    std::lock_guard<std::mutex> lock(mutex);
    raise(code);
}

void GrblDevice::stopStream()
{
    streaming = false;
}

// --- sending ---

bool GrblDevice::usable()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!opened || lost)
        return false;
    return silentTimeouts < SilentTimeouts;
}

bool GrblDevice::writeRealtime(uint8_t byte)
{
    return tty.write(&byte, 1, Clock::now() + std::chrono::milliseconds(50));
}

bool GrblDevice::softReset()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        resetting = true;
        pending.clear();
        pendingBytes = 0;
        stopStream();
    }
    return writeRealtime(grbl::SoftReset);
}

GrblDevice::Reply GrblDevice::sendLine(const std::string& line, Sent kind,
                                       Clock::time_point deadline, int funcs)
{
    const std::string bytes = line + "\n";
    uint64_t id = 0;
    uint64_t before = 0;
    {
        std::unique_lock<std::mutex> send(sendMutex);
        std::unique_lock<std::mutex> lock(mutex);
        if (!opened || lost)
            return Reply::Failed;
        // Character counting: the line goes out only when the RX buffer has room for it.
        if (!waitFor(lock, deadline, [&] {
                return !resetting && pendingBytes + bytes.size() < size_t(rxBytes);
            })) {
            if (!lost && bytesReceived == 0)
                ++silentTimeouts;
            return Reply::Failed;
        }
        id = nextId++;
        pending.push_back({bytes.size(), kind, id, funcs});
        pendingBytes += bytes.size();
        awaitedId = id;
        awaitedDone = false;
        before = bytesReceived;
        if (kind == Sent::Home) {
            homing = true;
            homingSince = Clock::now();
        }
        lock.unlock();
        if (!tty.write(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), deadline))
            return Reply::Failed;
    }
    std::unique_lock<std::mutex> lock(mutex);
    const bool answered = waitFor(lock, deadline, [&] { return awaitedDone; });
    awaitedId = 0;
    if (answered)
        return awaitedOk ? Reply::Ok : Reply::Error;
    if (lost)
        return Reply::Failed;
    if (bytesReceived == before) {
        ++silentTimeouts;
        return Reply::Failed;
    }
    return Reply::Queued;
}

int GrblDevice::command(const std::string& line, Sent kind, int funcs)
{
    if (!usable())
        return 0;
    const Reply r =
        sendLine(line, kind, Clock::now() + std::chrono::milliseconds(ReplyTimeoutMs), funcs);
    return r == Reply::Ok || r == Reply::Queued ? 1 : 0;
}

void GrblDevice::pumpStream()
{
    std::unique_lock<std::mutex> send(sendMutex);
    std::string out;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!streaming || resetting || lost)
            return;
        const Slot& slot = ramSlots[streamSlot - 1];
        while (streaming) {
            const std::string bytes = slot.lines[streamIndex] + "\n";
            if (pendingBytes + bytes.size() >= size_t(rxBytes))
                break;
            pending.push_back({bytes.size(), Sent::Stream, nextId++, 0});
            pendingBytes += bytes.size();
            out += bytes;
            if (++streamIndex >= slot.lines.size()) {
                streamIndex = 0;
                if (streamRemaining > 0 && --streamRemaining == 0)
                    streaming = false;
            }
        }
    }
    if (!out.empty()) {
        tty.write(reinterpret_cast<const uint8_t*>(out.data()), out.size(),
                  Clock::now() + std::chrono::milliseconds(100));
    }
}

// --- status ---

bool GrblDevice::waitForStatus(std::chrono::milliseconds maxWait)
{
    const auto deadline = Clock::now() + maxWait;
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        if (woken) {
            woken = false;
            return false;
        }
        const auto now = Clock::now();
        if (!opened || lost) {
            changed.wait_until(lock, deadline, [this] { return woken; });
            woken = false;
            return false;
        }
        if (statusPending) {
            statusPending = false;
            lastNotify = now;
            return true;
        }
        if (homing && now - homingSince > std::chrono::milliseconds(HomingMaxMs))
            homing = false;
        const bool answering = now - lastByte < std::chrono::milliseconds(AnsweringMs);
        if ((answering || homing) && now - lastNotify >= std::chrono::milliseconds(NotifyMs)) {
            lastNotify = now;
            return true;
        }
        if (now - lastPoll >= std::chrono::milliseconds(PollMs)) {
            lastPoll = now;
            lock.unlock();
            writeRealtime(grbl::StatusQuery);
            lock.lock();
            continue;
        }
        if (now >= deadline)
            return false;
        const auto next = std::min({deadline, lastPoll + std::chrono::milliseconds(PollMs),
                                    lastNotify + std::chrono::milliseconds(NotifyMs)});
        changed.wait_until(lock, next, [this] { return woken || statusPending || lost; });
    }
}

void GrblDevice::wake()
{
    std::lock_guard<std::mutex> lock(mutex);
    woken = true;
    changed.notify_all();
}

int GrblDevice::getStatus(StatusReport& out)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!opened || lost || !haveReport)
        return 0;
    out = status;
    out.errorCode = errorCode;
    out.flags = static_cast<uint8_t>(referenced | (spindle ? 0x10 : 0) | (coolant ? 0x20 : 0));
    return 1;
}

// --- commands ---

int GrblDevice::acknowledgeError()
{
    if (!usable())
        return 0;
    bool reset = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        reset = needsReset || holdFlush
                || (haveReport && (report.state == "Hold" || report.state == "Door"));
        holdFlush = false;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(ReplyTimeoutMs);
    if (reset) {
        softReset();
        std::unique_lock<std::mutex> lock(mutex);
        waitFor(lock, deadline, [this] { return !resetting; });
    }
    sendLine("$X", Sent::Unlock, deadline);
    std::lock_guard<std::mutex> lock(mutex);
    errorCode = 0;
    status.errorCode = 0;
    statusPending = true;
    return 1;
}

int GrblDevice::emergencyHalt()
{
    bool jogging = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!opened || lost)
            return 0;
        jogging = haveReport && report.state == "Jog";
        stopStream();
        holdFlush = !jogging;
        errorCode = Stopped;
        status.errorCode = Stopped;
        statusPending = true;
    }
    // A jog is cancelled with its own ramp and leaves nothing behind; anything else is held
    // with the ramp and then flushed by a soft reset (see ttyData).
    const bool ok = writeRealtime(jogging ? grbl::JogCancel : grbl::FeedHold);
    writeRealtime(grbl::StatusQuery);
    return ok ? 1 : 0;
}

int GrblDevice::emergencyStop()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!opened || lost)
            return 0;
        holdFlush = false;
        errorCode = Stopped;
        referenced = 0;
        statusPending = true;
    }
    return softReset() ? 1 : 0;
}

int GrblDevice::park()
{
    int m = 0;
    uint8_t ref = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        m = mode;
        ref = referenced;
    }
    if (m != 2 || (ref & 0x07) != 0x07) {
        refuse(NotAllowed);
        return 0;
    }
    const ParamValue& p = hostParams[0x040B];
    const double mm[4] = {double(p.longs[0]), double(p.longs[1]), double(p.longs[2]),
                          double(p.longs[3])};
    return command("G90 G53 G0" + axisWords(mm, true), Sent::Motion);
}

std::string GrblDevice::axisWords(const double mm[4], bool allAxes) const
{
    static const char letters[] = "XYZA";
    std::string words;
    const int axes = axisCount();
    for (int axis = 0; axis < axes; ++axis) {
        if (allAxes || mm[axis] != 0.0)
            words += std::string(" ") + letters[axis] + formatNumber(mm[axis]);
    }
    return words;
}

int GrblDevice::axisCount() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return haveReport ? report.axes : 3;
}

int GrblDevice::motion(int pair, double speed, bool stepsSpeed, double first, double second)
{
    // first/second in mm for the axes of the pair.
    double mm[4] = {0, 0, 0, 0};
    mm[pair * 2] = first;
    mm[pair * 2 + 1] = second;
    if (axisCount() < 4)
        mm[3] = 0;  // GRBL without a fourth axis: C does not move
    double path = 0;
    double leadMm = 0;
    double leadSteps = 0;
    int lead = -1;
    for (int axis = 0; axis < 4; ++axis) {
        path += mm[axis] * mm[axis];
        if (std::fabs(mm[axis]) > leadMm) {
            leadMm = std::fabs(mm[axis]);
            leadSteps = leadMm * stepsPerMm[axis];
            lead = axis;
        }
    }
    path = std::sqrt(path);
    if (lead < 0)
        return 1;  // nothing to move
    if (!(speed >= 0) || !std::isfinite(speed)) {
        refuse(NotAllowed);
        return 0;
    }
    // The lead axis takes as long as the speed says (steps or mm per second); speed 0 is the
    // travel speed 0101 in mm/s. GRBL's feed is the path speed in mm/min.
    double seconds = 0;
    if (speed == 0)
        seconds = leadMm / std::max(0.01f, hostParams[0x0101].f);
    else
        seconds = (stepsSpeed ? leadSteps : leadMm) / speed;
    const double feed = std::clamp(path / std::max(seconds, 1e-6) * 60.0, 1.0, 1e6);
    {
        std::lock_guard<std::mutex> lock(mutex);
        axisHint = lead;
        directionHint = mm[lead] > 0 ? 1 : -1;
    }
    const std::string words = axisWords(mm, false) + " F" + formatNumber(feed);
    int m = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        m = mode;
    }
    if (m == 3)
        return ramOrSend("G91 G1" + words);
    return ramOrSend("$J=G91 G21" + words, Sent::Motion);
}

int GrblDevice::ramOrSend(const std::string& line, Sent kind, int funcs)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!opened || lost)
            return 0;
        if (mode == 3) {
            if (loadingSlot == 0) {
                raise(NotAllowed);
                return 0;
            }
            Slot& slot = ramSlots[loadingSlot - 1];
            if (slot.lines.size() >= RamCapacity) {
                slot.overflow = true;
                raise(RamTooBig);
                return 0;
            }
            slot.lines.push_back(line);
            return 1;
        }
        if (mode != 2 || streaming) {
            raise(NotAllowed);
            return 0;
        }
    }
    return command(line, kind, funcs);
}

int GrblDevice::moveSteps(int pair, int32_t speed, uint8_t, const int32_t* a, const int32_t* b,
                          uint8_t)
{
    if (pair < 0 || pair > 1)
        return 0;
    return motion(pair, speed, true, a[0] / stepsPerMm[pair * 2],
                  b[0] / stepsPerMm[pair * 2 + 1]);
}

int GrblDevice::moveMm(int pair, float speed, uint8_t, const float* a, const float* b, uint8_t)
{
    if (pair < 0 || pair > 1 || !std::isfinite(a[0]) || !std::isfinite(b[0]))
        return 0;
    return motion(pair, speed, false, a[0], b[0]);
}

int GrblDevice::wait(int32_t ms)
{
    if (ms < 0) {
        refuse(NotAllowed);
        return 0;
    }
    return ramOrSend("G4 P" + formatNumber(ms / 1000.0));
}

int GrblDevice::reference(int32_t, int32_t)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (mode != 2 || streaming) {
            raise(NotAllowed);
            return 0;
        }
    }
    return command("$H", Sent::Home);
}

int GrblDevice::setZeroMm(const float v[4])
{
    double mm[4];
    for (int i = 0; i < 4; ++i) {
        if (!std::isfinite(v[i])) {
            refuse(NotAllowed);
            return 0;
        }
        mm[i] = v[i];
    }
    return ramOrSend("G10 L20 P1" + axisWords(mm, true));
}

int GrblDevice::setZeroSteps(const int32_t v[4])
{
    float mm[4];
    for (int i = 0; i < 4; ++i)
        mm[i] = static_cast<float>(v[i] / stepsPerMm[i]);
    return setZeroMm(mm);
}

int GrblDevice::setSpindleCoolant(uint8_t spindleOn, uint8_t coolantOn)
{
    const std::string s = spindleOn ? "M3 S" + formatNumber(setting(30, 1000)) : "M5";
    const int funcs = (spindleOn ? 1 : 0) | (coolantOn ? 2 : 0);
    return ramOrSend(s + (coolantOn ? " M8" : " M9"), Sent::Spindle, funcs);
}

int GrblDevice::setOutputs(uint8_t)
{
    // GRBL 1.1 has no general outputs.
    return 0;
}

int GrblDevice::changeMode(uint8_t m)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!opened || lost)
            return 0;
        if (m < 1 || m > 3) {
            raise(NotAllowed);
            return 0;
        }
        loadingSlot = 0;
        if (m == mode)
            return 1;
        if (streaming) {
            raise(NotAllowed);
            return 0;
        }
        mode = m;
    }
    if (m == 1) {
        // Parameter mode reads the settings afresh: the parameter reads answer from them.
        if (!usable())
            return 0;
        return sendLine("$$", Sent::Query,
                        Clock::now() + std::chrono::milliseconds(ReplyTimeoutMs))
                       == Reply::Ok
                   ? 1
                   : 0;
    }
    return 1;
}

int GrblDevice::loadRam(uint8_t n)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!opened || lost)
        return 0;
    if (n < 1 || n > RamSlots) {
        raise(RamNumber);
        return 0;
    }
    if (mode != 3) {
        raise(NotAllowed);
        return 0;
    }
    ramSlots[n - 1] = Slot();
    loadingSlot = n;
    return 1;
}

int GrblDevice::startRam(uint8_t n, uint8_t count)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!opened || lost)
            return 0;
        if (n < 1 || n > RamSlots) {
            raise(RamNumber);
            return 0;
        }
        if (mode != 2 || streaming || errorCode != 0) {
            raise(NotAllowed);
            return 0;
        }
        const Slot& slot = ramSlots[n - 1];
        if (slot.overflow) {
            raise(RamTooBig);
            return 0;
        }
        if (slot.lines.empty()) {
            raise(RamEmpty);
            return 0;
        }
        streaming = true;
        streamSlot = n;
        streamRemaining = count;
        streamIndex = 0;
    }
    pumpStream();
    return 1;
}

// --- parameters ---

double GrblDevice::setting(int number, double fallback) const
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto it = settings.find(number);
    if (it == settings.end())
        return fallback;
    bool ok = false;
    const double v = QString::fromStdString(it->second).toDouble(&ok);
    return ok ? v : fallback;
}

bool GrblDevice::writeSetting(int number, double value)
{
    // EEPROM cells wear: a setting is written only when its value changes.
    const double old = setting(number, std::nan(""));
    if (std::fabs(old - value) < 0.0005)
        return true;
    const std::string text = formatNumber(value);
    const Reply r = sendLine("$" + std::to_string(number) + "=" + text, Sent::Command,
                             Clock::now() + std::chrono::milliseconds(ReplyTimeoutMs));
    if (r != Reply::Ok)
        return false;
    std::lock_guard<std::mutex> lock(mutex);
    settings[number] = text;
    return true;
}

void GrblDevice::updateResolution()
{
    // mutex held by the caller or not needed (open, before the service thread runs).
    const auto get = [this](int n, double fallback) {
        const auto it = settings.find(n);
        bool ok = false;
        const double v =
            it == settings.end() ? 0 : QString::fromStdString(it->second).toDouble(&ok);
        return ok && v > 0 ? v : fallback;
    };
    for (int axis = 0; axis < 3; ++axis)
        stepsPerMm[axis] = get(100 + axis, 250);
    stepsPerMm[3] = get(103, std::max(0.1f, hostParams[0x0403].f));
}

bool GrblDevice::admitParameterCall(bool knownParameter)
{
    if (!opened || lost)
        return false;
    if (!knownParameter) {
        raise(ParameterNumber);
        return false;
    }
    if (mode != 1) {
        raise(NotAllowed);
        return false;
    }
    return true;
}

int GrblDevice::readParameter(uint8_t group, uint8_t index, uint8_t result[16])
{
    const auto key = static_cast<uint16_t>(group << 8 | index);
    const ParameterRule* const rule = FindParameterRule(key);
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!admitParameterCall(rule != nullptr))
            return 0;
    }
    ParamValue v = hostParams[key];
    const auto perMin = [this](int n, float fallback) {
        return static_cast<float>(setting(n, fallback * 60.0) / 60.0);
    };
    switch (key) {
    case 0x0102: v.f = perMin(110, v.f); break;
    case 0x0105: v.f = perMin(25, v.f); break;
    case 0x0106: v.f = perMin(24, v.f); break;
    case 0x0107: v.longs[0] = roundToInt(setting(120, v.longs[0])); break;
    case 0x0400:
    case 0x0401:
    case 0x0402: v.f = static_cast<float>(setting(100 + index, v.f)); break;
    case 0x0403: v.f = static_cast<float>(setting(103, v.f)); break;
    case 0x0408: {
        const int mask = roundToInt(setting(3, 0));
        for (int i = 0; i < 3; ++i)
            v.longs[i] = (mask >> i) & 1;
        break;
    }
    case 0x040A:
        for (int i = 0; i < 3; ++i)
            v.longs[i] = roundToInt(setting(130 + i, v.longs[i]));
        break;
    case 0x0305: {
        const int hard = roundToInt(setting(21, 1));
        for (int i = 0; i < 4; ++i)
            v.longs[i] = hard ? 1 : 0;
        break;
    }
    case 0x0304: {
        const bool homingOn = roundToInt(setting(22, 1)) != 0;
        const int mask = roundToInt(setting(23, 0));
        for (int i = 0; i < 4; ++i) {
            const int axis = v.longs[4 + i];
            if (!homingOn)
                v.longs[i] = 2;
            else if (axis < 3)
                v.longs[i] = (mask >> axis) & 1;
        }
        break;
    }
    case 0x0505: {
        std::lock_guard<std::mutex> lock(mutex);
        std::memset(v.name, 0, sizeof v.name);
        std::memcpy(v.name, buildInfo.data(), std::min<size_t>(16, buildInfo.size()));
        break;
    }
    default:
        break;
    }
    EncodeParameterReply(rule->kind, v.longs, v.f, v.name, strnlen(v.name, sizeof v.name),
                         result);
    return 1;
}

int GrblDevice::setParameter(uint8_t group, uint8_t index, const ParamValue& value)
{
    const auto key = static_cast<uint16_t>(group << 8 | index);
    const ParameterRule* const rule = FindParameterRule(key);
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!admitParameterCall(rule != nullptr))
            return 0;
        if (!IsValidParameterValue(*rule, value)) {
            raise(ParameterValue);
            return 0;
        }
    }
    if (!usable())
        return 0;
    bool ok = true;
    const auto three = [&](int first, double v) {
        for (int i = 0; i < 3 && ok; ++i)
            ok = writeSetting(first + i, v);
    };
    const int axes = axisCount();
    switch (key) {
    case 0x0102: three(110, value.f * 60.0); break;
    case 0x0105: ok = writeSetting(25, value.f * 60.0); break;
    case 0x0106: ok = writeSetting(24, value.f * 60.0); break;
    case 0x0107: three(120, value.longs[0]); break;
    case 0x0400:
    case 0x0401:
    case 0x0402: ok = writeSetting(100 + index, value.f); break;
    case 0x0403:
        if (axes == 4)
            ok = writeSetting(103, value.f);
        break;
    case 0x0408:
        ok = writeSetting(3, value.longs[0] | value.longs[1] << 1 | value.longs[2] << 2);
        break;
    case 0x040A:
        for (int i = 0; i < 3 && ok; ++i)
            ok = writeSetting(130 + i, value.longs[i]);
        break;
    case 0x0305:
        ok = writeSetting(21, value.longs[0] || value.longs[1] || value.longs[2] ? 1 : 0);
        break;
    case 0x0304: {
        int mask = roundToInt(setting(23, 0)) & ~7;
        bool any = false;
        for (int i = 0; i < 4; ++i) {
            const int axis = value.longs[4 + i];
            if (value.longs[i] != 2)
                any = true;
            if (axis < 3 && value.longs[i] == 1)
                mask |= 1 << axis;
        }
        ok = writeSetting(22, any ? 1 : 0) && writeSetting(23, mask);
        break;
    }
    case 0x0505: {
        const std::string name(value.name, strnlen(value.name, sizeof value.name));
        std::string current;
        {
            std::lock_guard<std::mutex> lock(mutex);
            current = buildInfo;
        }
        if (name != current) {
            ok = sendLine("$I=" + name, Sent::Command,
                          Clock::now() + std::chrono::milliseconds(ReplyTimeoutMs))
                 == Reply::Ok;
            if (ok) {
                std::lock_guard<std::mutex> lock(mutex);
                buildInfo = name;
            }
        }
        break;
    }
    default:
        break;
    }
    if (!ok)
        return 0;
    hostParams[key] = value;
    saveHostParameter(key);
    std::lock_guard<std::mutex> lock(mutex);
    updateResolution();
    return 1;
}

void GrblDevice::loadHostParameters()
{
    hostParams.clear();
    QSettings store(QStringLiteral("lumbrix"), QStringLiteral("Quenta"));
    store.beginGroup(QStringLiteral("grbl/") + QString::fromStdString(port));
    for (const ParameterRule& rule : ParameterRules()) {
        ParamValue v = DefaultParameterValue(rule);
        const QString name = QString::asprintf("%04X", rule.key);
        const QStringList saved = store.value(name).toStringList();
        if (rule.kind == Kind::Name) {
            const QByteArray text = store.value(name).toString().toLatin1().left(16);
            std::memcpy(v.name, text.constData(), size_t(text.size()));
        } else if (rule.kind == Kind::Float && saved.size() == 1) {
            v.f = saved[0].toFloat();
        } else {
            for (int i = 0; i < std::min<int>(8, int(saved.size())); ++i)
                v.longs[i] = saved[i].toInt();
        }
        hostParams[rule.key] = v;
    }
}

void GrblDevice::saveHostParameter(uint16_t key)
{
    const ParameterRule* const rule = FindParameterRule(key);
    const ParamValue& v = hostParams[key];
    QSettings store(QStringLiteral("lumbrix"), QStringLiteral("Quenta"));
    store.beginGroup(QStringLiteral("grbl/") + QString::fromStdString(port));
    const QString name = QString::asprintf("%04X", key);
    QStringList values;
    switch (rule->kind) {
    case Kind::Name:
        store.setValue(name, QString::fromLatin1(v.name, int(strnlen(v.name, sizeof v.name))));
        return;
    case Kind::Float:
        values << QString::number(double(v.f), 'g', 9);
        break;
    case Kind::Long:
        values << QString::number(v.longs[0]);
        break;
    case Kind::FourLongs:
    case Kind::FourUchar:
        for (int i = 0; i < 4; ++i)
            values << QString::number(v.longs[i]);
        break;
    case Kind::RefSequence:
        for (int i = 0; i < 8; ++i)
            values << QString::number(v.longs[i]);
        break;
    }
    store.setValue(name, values);
}

}  // namespace quenta
