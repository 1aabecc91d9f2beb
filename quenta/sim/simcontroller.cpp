#include "simcontroller.h"

#include "parameterrules.h"

#include "wireprotocol.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace quenta {

using namespace codes;

namespace {

using Kind = Device::ParamKind;

bool sameReport(const StatusReport& a, const StatusReport& b)
{
    return a.firstValue == b.firstValue && a.inputs == b.inputs && a.flags == b.flags
           && std::equal(a.pos, a.pos + 4, b.pos) && a.bufferFill == b.bufferFill
           && a.generalInputs == b.generalInputs && a.generalOutputs == b.generalOutputs
           && a.errorCode == b.errorCode;
}

int32_t clampToInt32(double v)
{
    if (std::isnan(v))
        return 0;
    const double r = std::nearbyint(v);
    if (r >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    if (r <= static_cast<double>(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(r);
}

// Commanded distances and zero points beyond any real machine are cut to this many steps, so
// the arithmetic never meets infinities.
constexpr double MaxSteps = 1e12;

double limitSteps(double steps)
{
    return std::clamp(steps, -MaxSteps, MaxSteps);
}

}  // namespace

SimController::SimController()
{
    setDefaults();
    for (int axis = 0; axis < 4; ++axis) {
        machine[axis] = axisLinear(axis) ? (rangeLow(axis) + rangeHigh(axis)) / 2.0 : 0.0;
        origin[axis] = machine[axis];
    }
}

void SimController::setDefaults()
{
    params.clear();
    for (const ParameterRule& rule : ParameterRules()) {
        const Device::ParamValue v = DefaultParameterValue(rule);
        ParamSlot& slot = params[rule.key];
        slot.kind = rule.kind;
        std::copy(v.longs, v.longs + 8, slot.longs);
        slot.f = v.f;
    }
    params[0x0505].name = "Dorvik USB";
}

// --- parameters as the machine uses them ---

float SimController::fparam(uint16_t key) const
{
    return params.at(key).f;
}

int32_t SimController::lparam(uint16_t key, int i) const
{
    return params.at(key).longs[i];
}

double SimController::resolution(int axis) const
{
    return fparam(static_cast<uint16_t>(0x0400 + axis));
}

double SimController::rangeLow(int axis) const
{
    return lparam(0x0409, axis) * resolution(axis);
}

double SimController::rangeHigh(int axis) const
{
    return lparam(0x040A, axis) * resolution(axis);
}

double SimController::switchMargin(int axis) const
{
    return resolution(axis);  // 1 mm
}

bool SimController::axisActive(int axis) const
{
    return lparam(0x040D, axis) != 2;
}

bool SimController::axisLinear(int axis) const
{
    return lparam(0x040D, axis) == 0;
}

std::string SimController::name() const
{
    return params.at(0x0505).name;
}

void SimController::setName(const std::string& n)
{
    params[0x0505].name = n.substr(0, 16);
}

// --- clock ---

void SimController::advanceUs(int64_t us)
{
    if (us < 0)
        return;
    const int64_t target = now + us;
    pump();
    // Every segment a command starts lasts at least 1 ms and reference phases are finite, so
    // the loop ends; the guard only protects against a fault in that reasoning.
    for (int guard = 0; segment.active && guard < 10000000; ++guard) {
        const int64_t end = segment.start + segment.duration;
        if (end > target)
            break;
        now = std::max(now, end);
        finishSegment();
        pump();
    }
    now = target;
}

// --- connection and status ---

void SimController::connect()
{
    connected = true;
    connectedAt = now;
    lastNotify = now - SlowStatusUs;
    lastSent = StatusReport();
    if (!busy()) {
        currentMode = 2;
        loadingSlot = 0;
    }
}

void SimController::disconnect()
{
    connected = false;
}

bool SimController::answering() const
{
    if (faultSet.silent)
        return false;
    return !(faultSet.silenceAfterMs >= 0 && connected
             && now - connectedAt >= int64_t(faultSet.silenceAfterMs) * 1000);
}

bool SimController::takeNotification()
{
    if (!connected || boot.active || !answering())
        return false;
    const StatusReport current = status();
    const int64_t elapsed = now - lastNotify;
    if ((!sameReport(current, lastSent) && now >= nextChangeDue()) || elapsed >= SlowStatusUs) {
        lastNotify = now;
        lastSent = current;
        return true;
    }
    return false;
}

int64_t SimController::usUntilStatusCheck() const
{
    if (!connected || boot.active || !answering())
        return SlowStatusUs;
    const int64_t elapsed = now - lastNotify;
    const int64_t slow = std::max<int64_t>(0, SlowStatusUs - elapsed);
    const int64_t untilDue = nextChangeDue() - now;
    if (!sameReport(status(), lastSent))
        return std::max<int64_t>(0, untilDue);  // due then
    if (!busy())
        return slow;
    // Busy, but the report has not changed yet (a WAIT, a slow move between two steps): look
    // again a little later. Zero here would be returned until the next change, and a waiter
    // sleeping for it would poll without pause.
    return std::min(slow, std::max(untilDue, StatusPollUs));
}

int64_t SimController::nextChangeDue() const
{
    const int64_t earliest = lastNotify + FastStatusUs - GridSlackUs;
    const int64_t intoSlot = ((earliest % FastStatusUs) + FastStatusUs) % FastStatusUs;
    return intoSlot == 0 ? earliest : earliest + FastStatusUs - intoSlot;
}

uint8_t SimController::switchBits() const
{
    uint8_t bits = 0;
    for (int axis = 0; axis < 4; ++axis) {
        if (!axisLinear(axis))
            continue;
        const double p = position(axis);
        const double eps = 1e-6;
        if (p <= rangeLow(axis) - switchMargin(axis) + eps
            || p >= rangeHigh(axis) + switchMargin(axis) - eps)
            bits |= static_cast<uint8_t>(1u << axis);
    }
    return bits;
}

StatusReport SimController::status() const
{
    StatusReport r;
    r.firstValue = boot.active ? 0 : static_cast<uint8_t>(currentMode);
    r.inputs = static_cast<uint8_t>(switchBits() | forcedInputs);
    uint8_t flags = 0;
    for (int axis = 0; axis < 4; ++axis) {
        if (referenced[axis])
            flags |= static_cast<uint8_t>(1u << axis);
    }
    if (spindle)
        flags |= codes::SpindleOn;
    if (coolant)
        flags |= codes::CoolingOn;
    r.flags = flags;
    for (int axis = 0; axis < 4; ++axis)
        r.pos[axis] = clampToInt32(position(axis) - origin[axis]);
    r.bufferFill = static_cast<uint8_t>(std::min<size_t>(255, buffer.size()));
    r.generalInputs = generalInputs;
    r.generalOutputs = generalOutputs;
    r.errorCode = errorCode;
    return r;
}

bool SimController::anyMotion() const
{
    if (refRun.active)
        return true;
    if (!segment.active)
        return false;
    for (int axis = 0; axis < 4; ++axis) {
        if (segment.from[axis] != segment.to[axis])
            return true;
    }
    return false;
}

quenta::RamRun SimController::ramProgress() const
{
    quenta::RamRun run;
    if (ram.active || (ram.watched && ram.lastFetched && !ram.cut && busy())) {
        run.slot = ram.slot;
        run.pass = ram.pass;
        run.passes = ram.passes;
    }
    return run;
}

bool SimController::takeRamEnd(RamRunEnd& end)
{
    if (!ram.watched || ram.active)
        return false;
    const bool completed = ram.lastFetched && !ram.cut;
    if (completed && busy())
        return false;  // the last commands still run
    ram.watched = false;
    end = RamRunEnd();
    end.run.slot = ram.slot;
    end.run.pass = ram.pass;
    end.run.passes = ram.passes;
    end.completed = completed;
    end.errorCode = completed ? 0 : errorCode;
    if (!completed && errorCode == 0)
        end.reason = "the controller stopped it";
    return true;
}

bool SimController::referencing() const
{
    if (refRun.active)
        return true;
    return std::any_of(buffer.begin(), buffer.end(),
                       [](const Command& c) { return c.kind == CommandKind::Reference; });
}

bool SimController::busy() const
{
    return segment.active || refRun.active || ram.active || !buffer.empty();
}

double SimController::machinePosition(int axis) const
{
    return position(axis);
}

int SimController::ramLength(int slot) const
{
    if (slot < 1 || slot > RamSlots)
        return 0;
    return static_cast<int>(ramSlots[static_cast<size_t>(slot - 1)].commands.size());
}

// --- motion ---

double SimController::progress(const Segment& s, int64_t t)
{
    return std::clamp(double(t - s.start) / double(s.duration), 0.0, 1.0);
}

double SimController::fraction(const Segment& s, int64_t t) const
{
    if (s.duration <= 0)
        return 1.0;
    const double u = progress(s, t);
    switch (s.profile) {
    case Profile::Linear:
        break;
    case Profile::Brake:
        return u * (2.0 - u);
    case Profile::Ramp: {
        const double r = s.ramp;
        if (r <= 0.0)
            break;
        const double cruise = 1.0 / (1.0 - r);  // so that the whole way is 1
        if (u < r)
            return cruise * u * u / (2.0 * r);
        if (u <= 1.0 - r)
            return cruise * (u - r / 2.0);
        return 1.0 - cruise * (1.0 - u) * (1.0 - u) / (2.0 * r);
    }
    }
    return u;
}

double SimController::slope(const Segment& s, int64_t t) const
{
    if (s.duration <= 0)
        return 0.0;
    const double u = progress(s, t);
    switch (s.profile) {
    case Profile::Linear:
        break;
    case Profile::Brake:
        return 2.0 - 2.0 * u;
    case Profile::Ramp: {
        const double r = s.ramp;
        if (r <= 0.0)
            break;
        const double cruise = 1.0 / (1.0 - r);
        return cruise * std::min({1.0, u / r, (1.0 - u) / r});
    }
    }
    return 1.0;
}

double SimController::position(int axis) const
{
    if (!segment.active)
        return machine[axis];
    const double f = fraction(segment, now);
    return segment.from[axis] + (segment.to[axis] - segment.from[axis]) * f;
}

void SimController::startHold(int64_t us)
{
    Segment s;
    s.active = true;
    s.purpose = Purpose::Command;
    std::copy(machine, machine + 4, s.from);
    std::copy(machine, machine + 4, s.to);
    s.start = now;
    s.duration = std::max<int64_t>(1, us);
    segment = s;
}

void SimController::startMotion(const double target[4], double durationUs, Purpose purpose,
                                bool checkLimits, int refAxis)
{
    Segment s;
    s.active = true;
    s.purpose = purpose;
    s.refAxis = refAxis;
    std::copy(machine, machine + 4, s.from);
    std::copy(target, target + 4, s.to);
    s.start = now;
    const double capped = std::min(durationUs, 1e15);
    s.duration = std::max<int64_t>(1, std::llround(capped));
    if (checkLimits)
        cutAtLimits(s);
    segment = s;
}

double SimController::limitFraction(const Segment& s, uint8_t& error) const
{
    double best = 1.0;
    error = 0;
    for (int axis = 0; axis < 4; ++axis) {
        const double d = s.to[axis] - s.from[axis];
        if (d == 0.0 || !axisLinear(axis))
            continue;
        double lo = rangeLow(axis);
        double hi = rangeHigh(axis);
        uint8_t errLo = axisCode(axis, LowerLimit);
        uint8_t errHi = axisCode(axis, UpperLimit);
        if (!referenced[axis]) {
            lo -= switchMargin(axis);
            hi += switchMargin(axis);
            errLo = errHi = axisCode(axis, EndSwitch);
        }
        double phi = 1.0;
        uint8_t e = 0;
        if (d > 0 && s.to[axis] > hi) {
            phi = s.from[axis] >= hi ? 0.0 : (hi - s.from[axis]) / d;
            e = errHi;
        } else if (d < 0 && s.to[axis] < lo) {
            phi = s.from[axis] <= lo ? 0.0 : (lo - s.from[axis]) / d;
            e = errLo;
        }
        if (e && phi < best) {
            best = phi;
            error = e;
        }
    }
    return best;
}

void SimController::cutAtLimits(Segment& s) const
{
    uint8_t error = 0;
    const double best = limitFraction(s, error);
    if (!error)
        return;
    for (int axis = 0; axis < 4; ++axis)
        s.to[axis] = s.from[axis] + (s.to[axis] - s.from[axis]) * best;
    // Ramp segments are cut before they are planned (startLinear), never here.
    const double u = s.profile == Profile::Linear ? best : 1.0 - std::sqrt(1.0 - best);
    s.duration = static_cast<int64_t>(std::llround(double(s.duration) * u));
    s.stopError = error;
}

void SimController::startLinear(const Command& c)
{
    Segment s;
    s.active = true;
    s.profile = Profile::Ramp;
    s.start = now;
    std::copy(machine, machine + 4, s.from);
    std::copy(machine, machine + 4, s.to);
    for (int axis = 0; axis < 4; ++axis) {
        // Whole steps from the zero point, so the move ends exactly on the reported target.
        if (axisActive(axis))
            s.to[axis] =
                origin[axis] + limitSteps(std::nearbyint(c.values[axis] * resolution(axis)));
    }
    // Cut before planning, so the move brakes to a stop where a limit ends it.
    uint8_t limitError = 0;
    const double reach = limitFraction(s, limitError);
    s.stopError = limitError;
    double lengthMm = 0.0;
    double leadMm = 0.0;
    for (int axis = 0; axis < 4; ++axis) {
        s.to[axis] = s.from[axis] + (s.to[axis] - s.from[axis]) * reach;
        const double mm = std::fabs(s.to[axis] - s.from[axis]) / resolution(axis);
        lengthMm += mm * mm;
        leadMm = std::max(leadMm, mm);
    }
    if (leadMm == 0.0) {
        // Nowhere to go: startNext holds the queue for 1 ms, or the limit error comes at once,
        // as for a relative move further onto a switch.
        if (s.stopError)
            segment = s;
        return;
    }
    lengthMm = std::sqrt(lengthMm);
    // The axis with the longest way runs fastest: the path may be this much faster than it.
    const double share = lengthMm / leadMm;
    const double fastest = fparam(0x0102) * share;
    const double speed = c.speed > 0.0 ? std::min(c.speed / 60.0, fastest) : fastest;
    planRamp(s, lengthMm, speed, lparam(0x0107) * share);
    segment = s;
}

void SimController::planRamp(Segment& s, double lengthMm, double speed, double accel) const
{
    double rampS = speed / accel;
    if (speed * rampS > lengthMm) {
        // Too short to reach the speed: accelerate over half the way, brake over the other.
        speed = std::sqrt(lengthMm * accel);
        rampS = speed / accel;
    }
    const double totalUs = std::min((rampS + lengthMm / speed) * 1e6, 1e15);
    s.duration = std::max<int64_t>(MinCommandUs, std::llround(totalUs));
    s.ramp = std::min(0.5, rampS * 1e6 / double(s.duration));
}

void SimController::finishSegment()
{
    const Segment done = segment;
    std::copy(done.to, done.to + 4, machine);
    segment.active = false;
    if (done.stopError) {
        failExecution(done.stopError);
        return;
    }
    if (done.purpose == Purpose::RefSeek) {
        const int axis = done.refAxis;
        const bool negative = refRun.dirs[refRun.step] == 1;
        double target[4];
        std::copy(machine, machine + 4, target);
        target[axis] = negative ? rangeLow(axis) : rangeHigh(axis);
        const double speed = fparam(0x0106) * resolution(axis) / 1e6;
        startMotion(target, std::fabs(target[axis] - machine[axis]) / speed, Purpose::RefFree,
                    false, axis);
    } else if (done.purpose == Purpose::RefFree) {
        const int axis = done.refAxis;
        referenced[axis] = true;
        origin[axis] = lparam(0x040C, axis) * resolution(axis);
        ++refRun.step;
        nextReferenceStep();
    }
}

void SimController::nextReferenceStep()
{
    while (refRun.active && refRun.step < refRun.axes.size()) {
        const int axis = refRun.axes[refRun.step];
        const bool negative = refRun.dirs[refRun.step] == 1;
        if (!axisLinear(axis)) {
            // A rotary axis has no switch: its current angle becomes the machine's 0.
            machine[axis] = 0.0;
            referenced[axis] = true;
            origin[axis] = lparam(0x040C, axis) * resolution(axis);
            ++refRun.step;
            continue;
        }
        const double sw = negative ? rangeLow(axis) - switchMargin(axis)
                                   : rangeHigh(axis) + switchMargin(axis);
        double target[4];
        std::copy(machine, machine + 4, target);
        const bool onSwitch = negative ? machine[axis] <= sw : machine[axis] >= sw;
        if (onSwitch) {
            // Already on the switch: only the free move back to the range end remains.
            target[axis] = negative ? rangeLow(axis) : rangeHigh(axis);
            const double speed = fparam(0x0106) * resolution(axis) / 1e6;
            startMotion(target, std::fabs(target[axis] - machine[axis]) / speed,
                        Purpose::RefFree, false, axis);
        } else {
            target[axis] = sw;
            const double speed = fparam(0x0105) * resolution(axis) / 1e6;
            startMotion(target, std::fabs(sw - machine[axis]) / speed, Purpose::RefSeek, false,
                        axis);
        }
        return;
    }
    refRun.active = false;
}

void SimController::pump()
{
    if (!segment.active && !refRun.active)
        startNext();
}

bool SimController::startNext()
{
    Command c;
    if (ram.active) {
        const std::vector<Command>& program = ramSlots[static_cast<size_t>(ram.slot - 1)].commands;
        if (program.empty()) {
            ram.active = false;
            return false;
        }
        c = program[ram.index++];
        if (ram.index >= program.size()) {
            ram.index = 0;
            if (ram.remaining > 0 && --ram.remaining == 0) {
                ram.active = false;
                ram.lastFetched = true;
            } else {
                ++ram.pass;
            }
        }
    } else if (!buffer.empty()) {
        c = buffer.front();
        buffer.pop_front();
    } else {
        return false;
    }
    execute(c);
    if (!segment.active && !refRun.active)
        startHold(c.kind == CommandKind::Wait ? std::max<int64_t>(MinCommandUs, c.ms * 1000LL)
                                              : MinCommandUs);
    return true;
}

void SimController::execute(const Command& c)
{
    switch (c.kind) {
    case CommandKind::Move: {
        double target[4];
        std::copy(machine, machine + 4, target);
        double leadSteps = 0.0;
        double leadMm = 0.0;
        for (int k = 0; k < 2; ++k) {
            const int axis = c.pair * 2 + k;
            if (!axisActive(axis))
                continue;
            const double steps = limitSteps(c.mm ? c.values[k] * resolution(axis) : c.values[k]);
            target[axis] += steps;
            leadSteps = std::max(leadSteps, std::fabs(steps));
            leadMm = std::max(leadMm, std::fabs(steps) / resolution(axis));
        }
        double seconds = 0.0;
        if (c.speed == 0.0)
            seconds = leadMm / fparam(0x0101);
        else
            seconds = (c.mm ? leadMm : leadSteps) / c.speed;
        startMotion(target, std::max(seconds * 1e6, double(MinCommandUs)), Purpose::Command,
                    true);
        break;
    }
    case CommandKind::Linear:
        startLinear(c);
        break;
    case CommandKind::Wait:
        break;  // startNext holds the queue for the time
    case CommandKind::Park: {
        double target[4];
        double leadMm = 0.0;
        for (int axis = 0; axis < 4; ++axis) {
            target[axis] = machine[axis];
            if (!axisActive(axis))
                continue;
            if (!referenced[axis]) {
                failExecution(NotAllowed);
                return;
            }
            target[axis] = lparam(0x040B, axis) * resolution(axis);
            leadMm = std::max(leadMm, std::fabs(target[axis] - machine[axis]) / resolution(axis));
        }
        startMotion(target, std::max(leadMm / fparam(0x0102) * 1e6, double(MinCommandUs)),
                    Purpose::Command, true);
        break;
    }
    case CommandKind::Reference: {
        ReferenceRun run;
        run.active = true;
        for (int i = 0; i < 4; ++i) {
            const int dir = lparam(0x0304, i);
            const int axis = lparam(0x0304, 4 + i);
            if (dir == 2 || axis < 0 || axis > 3 || !axisActive(axis))
                continue;
            run.axes.push_back(axis);
            run.dirs.push_back(dir);
        }
        if (run.axes.empty()) {
            failExecution(ReferenceAxes);
            return;
        }
        for (const int axis : run.axes)
            referenced[axis] = false;
        refRun = run;
        nextReferenceStep();
        break;
    }
    case CommandKind::Zero:
        for (int axis = 0; axis < 4; ++axis)
            origin[axis] = machine[axis]
                           - limitSteps(c.mm ? c.values[axis] * resolution(axis) : c.values[axis]);
        break;
    case CommandKind::Func:
        spindle = c.a != 0;
        coolant = c.b != 0;
        break;
    case CommandKind::Outputs:
        generalOutputs = c.a;
        break;
    }
}

void SimController::stopAll()
{
    if (segment.active) {
        for (int axis = 0; axis < 4; ++axis)
            machine[axis] = position(axis);
        segment.active = false;
    }
    refRun.active = false;
    cutRam();
    buffer.clear();
}

void SimController::cutRam()
{
    if (ram.watched && (ram.active || ram.lastFetched))
        ram.cut = true;
    ram.active = false;
}

void SimController::failExecution(uint8_t code)
{
    stopAll();
    raise(code);
}

// --- commands ---

int SimController::enqueue(const Command& c)
{
    if (currentMode == 3) {
        if (loadingSlot == 0) {
            raise(NotAllowed);
            return 0;
        }
        RamSlot& slot = ramSlots[static_cast<size_t>(loadingSlot - 1)];
        if (slot.commands.size() >= static_cast<size_t>(RamCapacity)) {
            slot.overflow = true;
            raise(RamTooBig);
            return 0;
        }
        slot.commands.push_back(c);
        return 1;
    }
    if (errorCode != 0)
        return 0;
    if (forcedInputs & EmergencyIn) {
        raise(EmergencyInput);
        return 0;
    }
    if (currentMode != 2 || ram.active) {
        raise(NotAllowed);
        return 0;
    }
    if (buffer.size() >= static_cast<size_t>(BufferSize))
        return 0;
    buffer.push_back(c);
    pump();
    return 1;
}

int SimController::acknowledgeError()
{
    if (forcedInputs & EmergencyIn) {
        errorCode = EmergencyInput;
        return 0;
    }
    errorCode = 0;
    return 1;
}

int SimController::emergencyHalt()
{
    const bool moving = segment.active && anyMotion();
    if (moving) {
        const double speedFactor = slope(segment, now);
        double v[4];
        double p[4];
        double leadMmPerUs = 0.0;
        for (int axis = 0; axis < 4; ++axis) {
            p[axis] = position(axis);
            v[axis] = segment.duration > 0
                          ? (segment.to[axis] - segment.from[axis]) / double(segment.duration)
                                * speedFactor
                          : 0.0;
            leadMmPerUs = std::max(leadMmPerUs, std::fabs(v[axis]) / resolution(axis));
        }
        const double accel = lparam(0x0107) / 1e12;  // mm/s^2 in mm/us^2
        const double brakeUs = leadMmPerUs / accel;
        refRun.active = false;
        cutRam();
        buffer.clear();
        segment.active = false;
        std::copy(p, p + 4, machine);
        if (brakeUs >= 1.0) {
            double target[4];
            for (int axis = 0; axis < 4; ++axis)
                target[axis] = p[axis] + v[axis] * brakeUs / 2.0;
            Segment s;
            s.active = true;
            s.purpose = Purpose::Brake;
            s.profile = Profile::Brake;
            std::copy(p, p + 4, s.from);
            std::copy(target, target + 4, s.to);
            s.start = now;
            s.duration = std::max<int64_t>(1, std::llround(brakeUs));
            cutAtLimits(s);
            segment = s;
        }
    } else {
        stopAll();
    }
    spindle = false;
    coolant = false;
    raise(EmergencyStopped);
    return 1;
}

int SimController::emergencyStop()
{
    stopAll();
    // Stopped without a ramp, the motors may have lost steps: the reference is gone.
    std::fill(referenced, referenced + 4, false);
    spindle = false;
    coolant = false;
    raise(EmergencyStopped);
    return 1;
}

int SimController::park()
{
    Command c;
    c.kind = CommandKind::Park;
    return enqueue(c);
}

int SimController::moveSteps(int pair, int32_t speed, int32_t first, int32_t second)
{
    if (pair < 0 || pair > 1 || speed < 0) {
        raise(NotAllowed);
        return 0;
    }
    Command c;
    c.kind = CommandKind::Move;
    c.pair = pair;
    c.speed = speed;
    c.values[0] = first;
    c.values[1] = second;
    return enqueue(c);
}

int SimController::moveMm(int pair, float speed, float first, float second)
{
    if (pair < 0 || pair > 1 || !(speed >= 0.0f) || !std::isfinite(speed)
        || !std::isfinite(first) || !std::isfinite(second)) {
        raise(NotAllowed);
        return 0;
    }
    Command c;
    c.kind = CommandKind::Move;
    c.pair = pair;
    c.mm = true;
    c.speed = speed;
    c.values[0] = first;
    c.values[1] = second;
    return enqueue(c);
}

int SimController::moveLinearMm(const float target[4], float feed)
{
    bool finite = std::isfinite(feed);
    for (int axis = 0; axis < 4; ++axis)
        finite = finite && std::isfinite(target[axis]);
    // Mode 3 stores what it is sent in a RAM program, which holds no linear moves.
    if (!finite || currentMode == 3) {
        raise(NotAllowed);
        return 0;
    }
    Command c;
    c.kind = CommandKind::Linear;
    c.mm = true;
    c.speed = feed;
    std::copy(target, target + 4, c.values);
    return enqueue(c);
}

int SimController::wait(int32_t ms)
{
    if (ms < 0) {
        raise(NotAllowed);
        return 0;
    }
    Command c;
    c.kind = CommandKind::Wait;
    c.ms = ms;
    return enqueue(c);
}

int SimController::reference()
{
    Command c;
    c.kind = CommandKind::Reference;
    return enqueue(c);
}

int SimController::setZeroSteps(const int32_t v[4])
{
    Command c;
    c.kind = CommandKind::Zero;
    std::copy(v, v + 4, c.values);
    return enqueue(c);
}

int SimController::setZeroMm(const float v[4])
{
    Command c;
    c.kind = CommandKind::Zero;
    c.mm = true;
    for (int i = 0; i < 4; ++i) {
        if (!std::isfinite(v[i])) {
            raise(NotAllowed);
            return 0;
        }
        c.values[i] = v[i];
    }
    return enqueue(c);
}

int SimController::setSpindleCoolant(uint8_t spindleOn, uint8_t coolantOn)
{
    Command c;
    c.kind = CommandKind::Func;
    c.a = spindleOn;
    c.b = coolantOn;
    return enqueue(c);
}

int SimController::setOutputs(uint8_t bits)
{
    Command c;
    c.kind = CommandKind::Outputs;
    c.a = bits;
    return enqueue(c);
}

int SimController::changeMode(uint8_t mode)
{
    if (mode < 1 || mode > 3) {
        raise(NotAllowed);
        return 0;
    }
    if (mode == currentMode) {
        if (mode == 3)
            loadingSlot = 0;
        return 1;
    }
    if (anyMotion()) {
        raise(AxesMoving);
        return 0;
    }
    if (busy()) {
        raise(BufferNotEmpty);
        return 0;
    }
    currentMode = mode;
    loadingSlot = 0;
    return 1;
}

int SimController::loadRam(uint8_t n)
{
    if (n < 1 || n > RamSlots) {
        raise(RamNumber);
        return 0;
    }
    if (currentMode != 3) {
        raise(NotAllowed);
        return 0;
    }
    ramSlots[n - 1u] = RamSlot();
    loadingSlot = n;
    return 1;
}

int SimController::startRam(uint8_t n, uint8_t count)
{
    if (n < 1 || n > RamSlots) {
        raise(RamNumber);
        return 0;
    }
    if (currentMode != 2) {
        raise(NotAllowed);
        return 0;
    }
    if (errorCode != 0)
        return 0;
    const RamSlot& slot = ramSlots[n - 1u];
    if (slot.overflow) {
        raise(RamTooBig);
        return 0;
    }
    if (slot.commands.empty()) {
        raise(RamEmpty);
        return 0;
    }
    if (busy()) {
        raise(anyMotion() ? AxesMoving : BufferNotEmpty);
        return 0;
    }
    ram.active = true;
    ram.slot = n;
    ram.remaining = count;
    ram.index = 0;
    ram.pass = 1;
    ram.passes = count;
    ram.lastFetched = false;
    ram.watched = true;
    ram.cut = false;
    pump();
    return 1;
}

bool SimController::admitParameterCall(uint16_t key)
{
    if (faultSet.failParameterCalls != 0) {
        if (faultSet.failParameterCalls > 0)
            --faultSet.failParameterCalls;
        return false;
    }
    if (!FindParameterRule(key)) {
        raise(ParameterNumber);
        return false;
    }
    if (currentMode != 1) {
        raise(NotAllowed);
        return false;
    }
    return true;
}

int SimController::readParameter(uint8_t group, uint8_t index, uint8_t result[16])
{
    const auto key = static_cast<uint16_t>(group << 8 | index);
    if (!admitParameterCall(key))
        return 0;
    const ParamSlot& p = params.at(key);
    EncodeParameterReply(p.kind, p.longs, p.f, p.name.data(), p.name.size(), result);
    return 1;
}

int SimController::setParameter(uint8_t group, uint8_t index, const Device::ParamValue& v)
{
    const auto key = static_cast<uint16_t>(group << 8 | index);
    if (!admitParameterCall(key))
        return 0;
    const ParameterRule* const entry = FindParameterRule(key);
    const bool ok = IsValidParameterValue(*entry, v);
    if (!ok) {
        raise(ParameterValue);
        return 0;
    }
    ParamSlot& p = params[key];
    std::copy(v.longs, v.longs + 8, p.longs);
    p.f = v.f;
    if (entry->kind == Kind::Name)
        p.name.assign(v.name, strnlen(v.name, sizeof v.name));
    return 1;
}

// --- inputs ---

void SimController::setGeneralInputs(uint8_t bits)
{
    generalInputs = bits;
}

void SimController::setSwitchInputs(uint8_t bits)
{
    const auto rising = static_cast<uint8_t>(bits & ~forcedInputs);
    forcedInputs = bits;
    if (rising & EmergencyIn) {
        stopAll();
        std::fill(referenced, referenced + 4, false);
        spindle = false;
        coolant = false;
        raise(EmergencyInput);
        return;
    }
    if (refRun.active)
        return;
    for (int axis = 0; axis < 4; ++axis) {
        if (rising & (1u << axis)) {
            failExecution(axisCode(axis, EndSwitch));
            return;
        }
    }
}

// --- bootloader ---

void SimController::resetRuntime()
{
    stopAll();
    currentMode = 2;
    loadingSlot = 0;
    errorCode = 0;
    generalOutputs = 0;
    spindle = false;
    coolant = false;
    std::fill(referenced, referenced + 4, false);
    for (RamSlot& slot : ramSlots)
        slot = RamSlot();
    for (int axis = 0; axis < 4; ++axis)
        origin[axis] = machine[axis];
    connected = false;
}

bool SimController::enterBootloader()
{
    if (faultSet.noBootloader)
        return false;
    resetRuntime();
    boot = Bootloader();
    boot.active = true;
    boot.crc = static_cast<uint32_t>(crc32(0L, Z_NULL, 0));
    return true;
}

size_t SimController::resetOnIdentify(const uint8_t* data, size_t count)
{
    if (boot.active)
        return 0;
    const uint8_t* identify = std::find(data, data + count, uint8_t('S'));
    if (identify == data + count || !enterBootloader())
        return count;
    return static_cast<size_t>(identify - data);
}

void SimController::leaveBootloader()
{
    if (!boot.active)
        return;
    boot.active = false;
    boot.addressBytes = 0;
    boot.blockBytes = -1;
    resetRuntime();
}

uint32_t SimController::receivedCrc() const
{
    return boot.crc;
}

size_t SimController::bootloaderInput(const uint8_t* data, size_t count,
                                      std::vector<uint8_t>& reply)
{
    const auto answer = [&](const char* text, size_t n) {
        if (!boot.silent)
            reply.insert(reply.end(), text, text + n);
    };
    size_t i = 0;
    while (i < count) {
        if (!boot.active)
            return i;
        if (boot.silent) {
            // A hung bootloader only notices that the host talks to the firmware again.
            const uint8_t* sync = std::find(data + i, data + count, wire::Sync);
            if (sync == data + count)
                return count;
            leaveBootloader();
            return static_cast<size_t>(sync - data);
        }
        if (boot.blockBytes > 0) {
            const size_t take = std::min(static_cast<size_t>(boot.blockBytes), count - i);
            boot.crc = static_cast<uint32_t>(
                crc32(boot.crc, data + i, static_cast<uInt>(take)));
            const size_t room = MaxStoredFirmware - std::min(MaxStoredFirmware, boot.image.size());
            boot.image.insert(boot.image.end(), data + i, data + i + std::min(take, room));
            boot.blockBytes -= static_cast<int>(take);
            i += take;
            if (boot.blockBytes == 0) {
                boot.blockBytes = -1;
                ++boot.blocks;
                if (faultSet.bootloaderSilentAfterBlock >= 0
                    && boot.blocks > faultSet.bootloaderSilentAfterBlock)
                    boot.silent = true;
                answer("\r", 1);
            }
            continue;
        }
        const uint8_t b = data[i++];
        if (boot.addressBytes > 0) {
            if (--boot.addressBytes == 0)
                answer("\r", 1);
            continue;
        }
        switch (b) {
        case 'S':
            boot.crc = static_cast<uint32_t>(crc32(0L, Z_NULL, 0));
            answer("AVRB128", 7);
            break;
        case 'P':
            answer("\r", 1);
            break;
        case 'e':
            boot.crc = static_cast<uint32_t>(crc32(0L, Z_NULL, 0));
            boot.image.clear();
            boot.blocks = 0;
            answer("\r", 1);
            break;
        case 'A':
            boot.addressBytes = 2;
            break;
        case '#':
            boot.blockBytes = BootBlockSize;
            break;
        case '$': {
            uint32_t crc = boot.crc;
            if (faultSet.wrongCrc)
                crc ^= 0xA5A5A5A5u;
            const char bytes[4] = {static_cast<char>(crc >> 24), static_cast<char>(crc >> 16),
                                   static_cast<char>(crc >> 8), static_cast<char>(crc)};
            answer(bytes, 4);
            // The bootloader starts the new firmware once the checksum is out.
            leaveBootloader();
            break;
        }
        case wire::Sync:
            // A wire-protocol frame: the host talks to the firmware again.
            leaveBootloader();
            return i - 1;
        default:
            answer("?", 1);
            break;
        }
    }
    return count;
}

}  // namespace quenta
