#include "grbldevice.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quenta {

namespace {

using namespace codes;
using grbl::formatDistance;
using grbl::formatNumber;

const char AxisLetters[] = "XYZA";

}  // namespace

GrblDevice::GrblDevice(std::string p, std::string portText,
                       std::unique_ptr<grbl::HostParameterStore> parameterStore)
    : path(std::move(p)), port(std::move(portText)), store(std::move(parameterStore))
{
    if (!store)
        store = grbl::settingsParameterStore(port);
}

GrblDevice::~GrblDevice()
{
    tty.close();
    channel.stop();
}

bool GrblDevice::isLost() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return s.lost;
}

std::string GrblDevice::takeRefusal()
{
    std::lock_guard<std::mutex> lock(mutex);
    std::string reason;
    reason.swap(s.refusal);
    return reason;
}

std::vector<std::string> GrblDevice::takeSentLines()
{
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<std::string> lines;
    lines.swap(s.sent);
    return lines;
}

void GrblDevice::noteSent(std::string line)
{
    if (s.sent.size() >= SentKept)
        s.sent.erase(s.sent.begin());
    s.sent.push_back(std::move(line));
}

bool GrblDevice::runState(RunState& out)
{
    std::lock_guard<std::mutex> lock(mutex);
    out = RunState();
    out.referencing = s.homing;
    if (s.streamWatched) {
        out.ram.slot = s.streamSlot;
        out.ram.pass = s.streamPass;
        out.ram.passes = s.streamPasses;
    }
    return true;
}

std::vector<RamRunEnd> GrblDevice::takeRamRunEnds()
{
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<RamRunEnd> ends;
    ends.swap(s.streamEnds);
    return ends;
}

void GrblDevice::endStream(bool completed, const std::string& reason)
{
    s.streaming = false;
    s.streamFinishing = false;
    if (!s.streamWatched)
        return;
    s.streamWatched = false;
    RamRunEnd end;
    end.run.slot = s.streamSlot;
    end.run.pass = s.streamPass;
    end.run.passes = s.streamPasses;
    end.completed = completed;
    end.errorCode = completed ? 0 : s.errorCode;
    end.reason = reason;
    if (s.streamEnds.size() < 8)
        s.streamEnds.push_back(std::move(end));
    s.statusPending = true;
}

int GrblDevice::open(OpenMode m, int32_t baudRate, std::string& controllerName)
{
    // GRBL has no bootloader the firmware update could talk to: not a controller of that kind.
    if (m == OpenMode::FirmwareUpdate)
        return 2;
    close();
    std::map<uint16_t, ParamValue> kept = store->load();
    {
        std::lock_guard<std::mutex> lock(mutex);
        s = Session();
        woken = false;
        hostParams = std::move(kept);
    }
    channel.start(128, 15);
    if (!tty.open(path, baudRate > 0 ? baudRate : 115200))
        return 1;
    baud = baudRate > 0 ? baudRate : 115200;
    const auto start = Clock::now();
    std::unique_lock<std::mutex> lock(mutex);
    s.opened = true;
    const auto welcomed = [&](Clock::time_point until) {
        return changed.wait_until(lock, until, [&] { return s.welcomed || s.lost; })
               && !s.lost;
    };
    // An Arduino restarts when the port opens and greets after its boot loader's wait.
    bool welcome = welcomed(start + std::chrono::milliseconds(ResetAfterMs));
    if (!welcome && !s.lost) {
        lock.unlock();
        channel.softReset();
        lock.lock();
        welcome = welcomed(start + std::chrono::milliseconds(WelcomeWaitMs));
    }
    lock.unlock();
    int code = 0;
    if (!welcome)
        code = channel.bytesReceived() > 0 ? 2 : 3;
    const auto deadline = [] { return Clock::now() + std::chrono::milliseconds(400); };
    LineInfo query;
    query.kind = Kind::Query;
    if (code == 0
        && (channel.send("$$", query, deadline()) != Reply::Ok
            || channel.send("$I", query, deadline()) != Reply::Ok))
        code = 2;
    if (code != 0) {
        close();
        return code;
    }
    channel.writeRealtime(grbl::StatusQuery);
    lock.lock();
    changed.wait_until(lock, Clock::now() + std::chrono::milliseconds(100),
                       [this] { return s.haveReport; });
    updateResolution();
    controllerName = s.haveBuildInfo && !s.buildInfo.empty() ? s.buildInfo : "Grbl " + s.version;
    if (controllerName.size() > 75)
        controllerName.resize(75);
    s.lastPoll = s.lastNotify = Clock::now();
    return 0;
}

void GrblDevice::close()
{
    tty.close();
    channel.stop();
    std::lock_guard<std::mutex> lock(mutex);
    s.opened = false;
    endStream(false, "the port was closed");
    s.haveReport = false;
    changed.notify_all();
}

bool GrblDevice::writeBytes(const uint8_t* data, size_t count, Clock::time_point deadline)
{
    return tty.write(data, count, deadline);
}

// --- sending ---

bool GrblDevice::silentLocked() const
{
    if (s.homing || s.critical)
        return false;  // GRBL is silent on purpose
    return Clock::now() - channel.lastByte() > std::chrono::milliseconds(SilenceMs);
}

bool GrblDevice::usable()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!s.opened || s.lost)
        return false;
    if (s.critical) {
        // GRBL ignores everything but a reset now: the pending alarm says why.
        raise(NotAllowed);
        return false;
    }
    return !silentLocked();
}

int GrblDevice::command(const std::string& line, const LineInfo& info, int timeoutMs)
{
    if (!usable())
        return 0;
    const uint64_t before = channel.bytesReceived();
    const Reply r =
        channel.send(line, info, Clock::now() + std::chrono::milliseconds(timeoutMs));
    if (r != Reply::Failed) {
        std::lock_guard<std::mutex> lock(mutex);
        noteSent(line);
    }
    if (r == Reply::Ok)
        return 1;
    if (r != Reply::Queued)
        return 0;
    // Still in flight: sent, unless the firmware said nothing at all while it was waited for
    // (and was not silent on purpose, as while homing).
    std::lock_guard<std::mutex> lock(mutex);
    return channel.bytesReceived() != before || s.homing ? 1 : 0;
}

void GrblDevice::raise(uint8_t code)
{
    if (s.errorCode == 0)
        s.errorCode = code;
    s.status.errorCode = s.errorCode;
    s.statusPending = true;
    changed.notify_all();
}

void GrblDevice::refuse(uint8_t code, std::string reason)
{
    std::lock_guard<std::mutex> lock(mutex);
    s.refusal = std::move(reason);
    raise(code);
}

int GrblDevice::axisCount() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return s.haveReport ? s.report.axes : 3;
}

std::string GrblDevice::axisWords(const double mm[4], bool allAxes) const
{
    std::string words;
    const int axes = axisCount();
    for (int axis = 0; axis < axes; ++axis) {
        if (allAxes || mm[axis] != 0.0)
            words += std::string(" ") + AxisLetters[axis] + formatDistance(mm[axis]);
    }
    return words;
}

std::string GrblDevice::relativeWords(double mm[4], double carry[4]) const
{
    // The firmware reads a limited number of digits: what a word cannot say is carried into
    // the next move of the axis, so a thousand one-step moves make a thousand steps.
    std::string words;
    const int axes = axisCount();
    for (int axis = 0; axis < axes; ++axis) {
        if (mm[axis] == 0.0)
            continue;
        const double wanted = mm[axis] + carry[axis];
        const std::string text = formatDistance(wanted);
        const double sent = std::strtod(text.c_str(), nullptr);
        carry[axis] = wanted - sent;
        mm[axis] = sent;
        if (text != "0")
            words += std::string(" ") + AxisLetters[axis] + text;
    }
    return words;
}

int GrblDevice::motion(int pair, double speed, bool stepsSpeed, double first, double second)
{
    double mm[4] = {0, 0, 0, 0};
    mm[pair * 2] = first;
    mm[pair * 2 + 1] = second;
    if (axisCount() < 4)
        mm[3] = 0;  // GRBL without a fourth axis: C does not move
    if (!(speed >= 0) || !std::isfinite(speed)) {
        refuse(NotAllowed);
        return 0;
    }
    std::unique_lock<std::mutex> lock(mutex);
    const bool loading = s.mode == 3;
    double* carry = loading ? s.ramCarry : s.jogCarry;
    double stepsPerMm[4];
    std::copy(s.stepsPerMm, s.stepsPerMm + 4, stepsPerMm);
    const double travelSpeed = std::max(0.01f, hostParams[0x0101].f);  // mm/s
    lock.unlock();
    // The carry is only touched by calls, which the library serialises per port.
    const std::string words = relativeWords(mm, carry);
    double path = 0, leadMm = 0, leadSteps = 0;
    int lead = -1, moving = 0;
    for (int axis = 0; axis < 4; ++axis) {
        path += mm[axis] * mm[axis];
        moving += mm[axis] != 0.0;
        if (std::fabs(mm[axis]) > leadMm) {
            leadMm = std::fabs(mm[axis]);
            leadSteps = leadMm * stepsPerMm[axis];
            lead = axis;
        }
    }
    path = std::sqrt(path);
    if (lead < 0 || words.empty())
        return 1;  // nothing to move (yet: a fraction of a step waits in the carry)
    // The lead axis takes as long as the speed says (steps or mm per second); speed 0 is the
    // travel speed 0101 in mm/s. GRBL's feed is the path speed in mm/min.
    double seconds = 0;
    if (speed == 0)
        seconds = leadMm / travelSpeed;
    else
        seconds = (stepsSpeed ? leadSteps : leadMm) / speed;
    const double feed = std::clamp(path / std::max(seconds, 1e-6) * 60.0, 1.0, 1e6);
    LineInfo info;
    info.kind = loading ? Kind::Motion : Kind::Jog;
    // A limit error names an axis only when one axis moves.
    info.axis = moving == 1 ? lead : -1;
    info.direction = mm[lead] > 0 ? 1 : -1;
    info.seconds = path / (feed / 60.0);
    if (loading)
        return ramOrSend("G91 G1" + words + " F" + formatNumber(feed), info);
    return ramOrSend("$J=G91 G21" + words + " F" + formatNumber(feed), info);
}

int GrblDevice::ramOrSend(const std::string& line, const LineInfo& info)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!s.opened || s.lost)
            return 0;
        if (s.mode == 3) {
            if (s.loadingSlot == 0) {
                raise(NotAllowed);
                return 0;
            }
            Slot& slot = s.ramSlots[s.loadingSlot - 1];
            if (slot.lines.size() >= RamCapacity) {
                slot.overflow = true;
                raise(RamTooBig);
                return 0;
            }
            slot.lines.emplace_back(line, info);
            return 1;
        }
        if (s.mode != 2 || s.streaming || jobHoldsMachine()) {
            raise(NotAllowed);
            return 0;
        }
    }
    return command(line, info);
}

int GrblDevice::moveSteps(int pair, int32_t speed, uint8_t, const int32_t* a, const int32_t* b,
                          uint8_t)
{
    if (pair < 0 || pair > 1)
        return 0;
    double spmA = 0, spmB = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        spmA = s.stepsPerMm[pair * 2];
        spmB = s.stepsPerMm[pair * 2 + 1];
    }
    return motion(pair, speed, true, a[0] / spmA, b[0] / spmB);
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
    LineInfo info;
    info.kind = Kind::Dwell;
    return ramOrSend("G4 P" + formatNumber(ms / 1000.0), info);
}

int GrblDevice::reference(int32_t, int32_t)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (s.mode != 2 || s.streaming || jobHoldsMachine()) {
            raise(NotAllowed);
            return 0;
        }
        // GRBL answers nothing, not even "?", until the cycle ends: that silence is expected.
        s.homing = true;
        s.alarmWhileHoming = false;
        s.homingSince = Clock::now();
    }
    LineInfo info;
    info.kind = Kind::Home;
    const int done = command("$H", info);
    if (!done) {
        std::lock_guard<std::mutex> lock(mutex);
        s.homing = false;
        // GRBL's "error:5" (homing not enabled) becomes a code that speaks of the axis
        // count; the operator needs to know that homing is off and where to switch it on.
        if (s.errorCode == ReferenceAxes)
            s.refusal = "Homing is disabled on this controller ($22=0). Switch it on: "
                        "Parameters > Edit..., Referenzfahrt, give X, Y and Z a direction, "
                        "then Parameters > Write to controller (or send $22=1).";
    }
    return done;
}

int GrblDevice::park()
{
    double mm[4] = {0, 0, 0, 0};
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (s.mode != 2) {
            raise(NotAllowed);
            return 0;
        }
        if ((s.referenced & ReferencedXYZ) != ReferencedXYZ) {
            s.refusal = "Park refused: X, Y and Z are not referenced";
            raise(NotAllowed);
            return 0;
        }
        // The park position is in GRBL's machine coordinates, whose envelope after homing is
        // [-travel, 0] per axis ($130-$132). Beyond it the move would raise a soft-limit alarm
        // or drive into the switches: refuse it before anything moves.
        const ParamValue& p = hostParams[0x040B];
        for (int axis = 0; axis < 3; ++axis) {
            mm[axis] = p.longs[axis];
            const double travel = grbl::settingValue(s.settings, 130 + axis, 0);
            if (mm[axis] > 0 || mm[axis] < -travel) {
                s.refusal = std::string("Park position ") + AxisLetters[axis]
                            + formatNumber(mm[axis]) + " mm lies outside the machine's envelope ["
                            + formatNumber(-travel) + ", 0] (GRBL machine coordinates)";
                raise(axisCode(axis, mm[axis] > 0 ? UpperLimit : LowerLimit));
                return 0;
            }
        }
        mm[3] = p.longs[3];
    }
    LineInfo info;
    info.kind = Kind::Motion;
    return command("G90 G53 G0" + axisWords(mm, true), info);
}

int GrblDevice::setZeroMm(const float v[4])
{
    if (!std::all_of(v, v + 4, [](float f) { return std::isfinite(f); })) {
        refuse(NotAllowed);
        return 0;
    }
    const double mm[4] = {v[0], v[1], v[2], v[3]};
    return zeroPoint(mm);
}

int GrblDevice::setZeroSteps(const int32_t v[4])
{
    double mm[4];
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (int i = 0; i < 4; ++i)
            mm[i] = v[i] / s.stepsPerMm[i];
    }
    return zeroPoint(mm);
}

int GrblDevice::zeroPoint(const double mm[4])
{
    // The current position then reads as the given values (work offset G54).
    return ramOrSend("G10 L20 P1" + axisWords(mm, true), LineInfo());
}

int GrblDevice::setSpindleCoolant(uint8_t spindleOn, uint8_t coolantOn)
{
    std::string line;
    {
        std::lock_guard<std::mutex> lock(mutex);
        line = spindleOn ? "M3 S" + formatNumber(grbl::settingValue(s.settings, 30, 1000))
                         : "M5";
    }
    LineInfo info;
    info.kind = Kind::Spindle;
    info.number = (spindleOn ? 1 : 0) | (coolantOn ? 2 : 0);
    return ramOrSend(line + (coolantOn ? " M8" : " M9"), info);
}

int GrblDevice::setOutputs(uint8_t)
{
    // GRBL 1.1 has no general outputs.
    return 0;
}

// --- stops ---

int GrblDevice::emergencyHalt()
{
    bool homing = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!s.opened || s.lost)
            return 0;
        endJob(JobState::Stopped, "emergency stop");
        s.errorCode = EmergencyStopped;
        s.status.errorCode = EmergencyStopped;
        endStream(false, "emergency stop (Not Halt)");
        s.statusPending = true;
        homing = s.homing;
        noteSent(homing ? "0x18 (soft reset)" : "! (feed hold)");
        if (!homing) {
            s.halt = Halt::Braking;
            s.haltSince = s.lastHold = Clock::now();
        }
    }
    // Nothing the library still holds may move the machine after this.
    channel.dropUnsent();
    // GRBL ignores a hold while homing: only a reset stops the cycle (the position is not
    // known yet anyway).
    if (homing)
        return channel.softReset() ? 1 : 0;
    // A hold brakes a program or idles the firmware's line reader; while jogging it cancels
    // the jogs. The status side follows up until the machine rests, then resets (grblstatus).
    const bool ok = channel.writeRealtime(grbl::FeedHold);
    channel.writeRealtime(grbl::StatusQuery);
    return ok ? 1 : 0;
}

int GrblDevice::emergencyStop()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!s.opened || s.lost)
            return 0;
        endJob(JobState::Stopped, "emergency stop");
        s.halt = Halt::None;
        s.errorCode = EmergencyStopped;
        s.status.errorCode = EmergencyStopped;
        endStream(false, "emergency stop (Not Stop)");
        s.statusPending = true;
        noteSent("0x18 (soft reset)");
    }
    return channel.softReset() ? 1 : 0;
}

bool GrblDevice::softResetAndWait(Clock::time_point deadline)
{
    if (!channel.softReset())
        return false;
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_until(lock, deadline, [this] { return !channel.resetting() || s.lost; })
           && !s.lost;
}

int GrblDevice::acknowledgeError()
{
    bool reset = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!s.opened || s.lost || silentLocked())
            return 0;
        reset = s.critical || s.halt != Halt::None
                || (s.haveReport && (s.report.state == "Hold" || s.report.state == "Door"));
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(ReplyTimeoutMs);
    // After a limit alarm GRBL listens to nothing but a reset; a hold ends with one too.
    if (reset) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            noteSent("0x18 (soft reset)");
        }
        if (!softResetAndWait(deadline))
            return 0;
    }
    LineInfo unlock;
    unlock.kind = Kind::Unlock;
    const bool unlocked = channel.send("$X", unlock, deadline) != Reply::Failed;
    std::lock_guard<std::mutex> lock(mutex);
    if (unlocked)
        noteSent("$X");
    s.errorCode = 0;
    s.status.errorCode = 0;
    s.statusPending = true;
    return 1;
}

}  // namespace quenta
