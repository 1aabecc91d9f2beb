#include "grblpeer.h"
#include "grblpeer_p.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

using namespace grblpeer;

GrblPeer::GrblPeer()
{
    const double defaults[][2] = {
        {0, 10},    {1, 25},    {2, 0},      {3, 0},      {4, 0},      {5, 0},     {6, 0},
        {10, 1},    {11, 0.01}, {12, 0.002}, {13, 0},     {20, 0},     {21, 0},    {22, 0},
        {23, 0},    {24, 25},   {25, 500},   {26, 250},   {27, 1},     {30, 1000}, {31, 0},
        {32, 0},    {100, 250}, {101, 250},  {102, 250},  {110, 500},  {111, 500}, {112, 500},
        {120, 10},  {121, 10},  {122, 10},   {130, 200},  {131, 200},  {132, 200},
    };
    for (const auto& d : defaults)
        settings[int(d[0])] = d[1];
    homingCycleUs = 500000;
}

double GrblPeer::axisSetting(int base, int axis) const
{
    // The A axis has no settings of its own: it moves like X.
    return settings.at(base + (axis < 3 ? axis : 0));
}

double GrblPeer::spm(int axis) const
{
    return axisSetting(100, axis);
}

int32_t GrblPeer::steps(int axis) const
{
    return static_cast<int32_t>(std::lround(at[axis]));
}

double GrblPeer::machine(int axis) const
{
    return double(steps(axis)) / spm(axis);
}

void GrblPeer::powerUp()
{
    clearPlanner();
    homingLeft = 0;
    holdSub = -1;
    state_ = settings[22] != 0 ? "Alarm" : "Idle";
    reset();
}

std::string GrblPeer::takeOutput()
{
    std::string s;
    s.swap(out);
    return s;
}

void GrblPeer::answer(const std::string& s)
{
    say(s);
    ++linesDone;
    // A report asked for during an EEPROM write follows the line's answer.
    if (pendingReport && stallUs <= 0 && homingLeft <= 0) {
        pendingReport = false;
        report();
    }
}

// --- reset and alarms ---

void GrblPeer::reset()
{
    const bool inMotion = state_ == "Run" || state_ == "Jog" || (state_ == "Hold" && holdSub == 1);
    const int code = homingLeft > 0 ? 6 : inMotion ? 3 : 0;
    clearPlanner();
    braking = jogCancel = softLimitStop = false;
    holdDelayUs = 0;
    speed = progress = 0;
    homingLeft = dwellUs = stallUs = 0;
    critical_ = false;
    pendingReport = false;
    holdSub = -1;
    if (code) {
        state_ = "Alarm";
        say("ALARM:" + std::to_string(code));
    }
    // The line that was executing still gets its answer before the welcome.
    if (!job.empty()) {
        job.clear();
        answer("ok");
    }
    rx.clear();
    lineBuf.clear();
    lineFlags = 0;
    syncPositions();
    resetParser();
    if (state_ != "Alarm")
        state_ = "Idle";
    started = ranEmpty = false;
    wcoCounter = ovrCounter = 0;
    ++resets;
    say("");
    say("Grbl 1.1h ['$' for help]");
    if (state_ == "Alarm")
        say("[MSG:'$H'|'$X' to unlock]");
}

// The parser starts again from its power-up modes: feed, spindle speed, tool, G92 and the tool
// length offset are gone; G54-G59, G28 and G30 stay, the firmware keeps them in EEPROM. Spindle
// and coolant stop.
void GrblPeer::resetParser()
{
    gcode::State fresh;
    std::memcpy(fresh.workOffsets, parser_.workOffsets, sizeof fresh.workOffsets);
    std::memcpy(fresh.g28, parser_.g28, sizeof fresh.g28);
    std::memcpy(fresh.g30, parser_.g30, sizeof fresh.g30);
    std::copy(gpos, gpos + 3, fresh.position);
    parser_ = fresh;
    spindle = 5;
    spindleSpeed = 0;
    flood = mist = false;
    std::copy(parser_.workOffsets[0], parser_.workOffsets[0] + 3, wco);
}

void GrblPeer::raiseCritical(int code)
{
    clearPlanner();
    braking = jogCancel = softLimitStop = false;
    holdDelayUs = 0;
    speed = progress = 0;
    homingLeft = dwellUs = 0;
    syncPositions();
    state_ = "Alarm";
    holdSub = -1;
    say("ALARM:" + std::to_string(code));
    say("[MSG:Reset to continue]");
    critical_ = true;
}

void GrblPeer::hardLimit(char axis)
{
    pins_ = std::string(1, axis);
    // The switch interrupt does nothing while an alarm stands.
    if (state_ != "Alarm")
        raiseCritical(1);
}

// --- serial input ---

void GrblPeer::receive(const uint8_t* data, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const uint8_t c = data[i];
        if (c == '?' || c == '!' || c == '~' || c == 0x18 || c >= 0x80) {
            realtime(c);
        } else if (rx.size() >= RxBuffer - 1) {
            ++rxOverflows;
        } else {
            rx.push_back(static_cast<char>(c));
            rxHighWater = std::max(rxHighWater, rx.size());
        }
        mainLoop();
    }
}

void GrblPeer::realtime(uint8_t c)
{
    if (c == 0x18) {
        reset();
        return;
    }
    if (c == '?') {
        if (critical_ || homingLeft > 0) {
            ++ignoredPolls;
            pendingReport = homingLeft > 0;  // answered once the cycle has ended
        } else if (stallUs > 0) {
            pendingReport = true;
        } else {
            report();
        }
        return;
    }
    if (critical_ || homingLeft > 0 || state_ == "Alarm")
        return;
    switch (c) {
    case '!':
        if (state_ == "Jog") {
            realtime(0x85);
        } else if (state_ == "Run") {
            state_ = "Hold";
            holdSub = 1;
            braking = true;
            holdDelayUs = SegmentLeadUs;
        } else if (state_ == "Idle") {
            state_ = "Hold";
            holdSub = 0;
        }
        break;
    case '~':
        if (state_ == "Hold" && holdSub == 0) {
            holdSub = -1;
            state_ = planner.empty() ? "Idle" : "Run";
            // The held block starts again from rest: the whole plan is redone from there.
            planned = 0;
            if (!planner.empty())
                recalculate();
            mainLoop();
        }
        break;
    case 0x85:
        if (state_ == "Jog" && !jogCancel) {
            jogCancel = braking = true;
            holdDelayUs = SegmentLeadUs;
        }
        break;
    default:
        break;
    }
}

// --- main loop ---

bool GrblPeer::suspended() const
{
    return state_ == "Hold" || jogCancel || softLimitStop;
}

void GrblPeer::mainLoop()
{
    for (;;) {
        while (!job.empty()) {
            if (critical_ || suspended() || stallUs > 0 || homingLeft > 0 || dwellUs > 0)
                return;
            // A line beyond the soft limits brakes from the speed the machine has, after the
            // segments already prepared.
            const bool wasBraking = braking;
            const bool done = job.front()();
            if (braking && !wasBraking)
                holdDelayUs = SegmentLeadUs;
            if (!done)
                return;
            job.pop_front();
            if (resetAfterLine && job.empty()) {
                resetAfterLine = false;
                reset();
                return;
            }
        }
        if (critical_ || suspended() || rx.empty())
            return;
        const char c = rx.front();
        rx.pop_front();
        takeChar(c);
    }
}

void GrblPeer::takeChar(char c)
{
    if (c == '\n' || c == '\r') {
        const std::string line = lineBuf;
        const int flags = lineFlags;
        lineBuf.clear();
        lineFlags = 0;
        if (flags & FlagOverflow)
            fail(11);
        else if (line.empty())
            finish();
        else if (line[0] == '$')
            systemLine(line);
        else if (state_ == "Alarm" || state_ == "Jog")
            fail(9);
        else
            gcodeLine(line);
        return;
    }
    if (lineFlags) {
        if (c == ')')
            lineFlags &= ~FlagParen;
        return;
    }
    if (static_cast<uint8_t>(c) <= ' ' || c == '/')
        return;
    if (c == '(')
        lineFlags |= FlagParen;
    else if (c == ';')
        lineFlags |= FlagSemicolon;
    else if (lineBuf.size() >= LineBuffer - 1)
        lineFlags |= FlagOverflow;
    else
        lineBuf += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}

void GrblPeer::eepromWrite(int bytes)
{
    ++eepromWrites;
    stallUs = eepromStallMs >= 0 ? eepromStallMs * 1000.0 : bytes * EepromUsPerByte;
}

// --- planner and motion ---

void GrblPeer::plan(const float target[Axes], double rate, bool rapid, bool jog)
{
    Block b;
    double delta[Axes];
    double length2 = 0;
    bool any = false;
    for (int a = 0; a < Axes; ++a) {
        b.target[a] = static_cast<int32_t>(std::lround(target[a] * static_cast<float>(spm(a))));
        delta[a] = (b.target[a] - planPos[a]) / spm(a);
        length2 += delta[a] * delta[a];
        any = any || b.target[a] != planPos[a];
    }
    if (!any)
        return;  // shorter than a step: nothing to move
    b.length = std::sqrt(length2);
    double limit = rapid ? Never : rate;
    b.accel = Never;
    double unit[Axes];
    for (int a = 0; a < Axes; ++a) {
        unit[a] = delta[a] / b.length;
        if (delta[a] == 0)
            continue;
        const double share = b.length / std::fabs(delta[a]);
        limit = std::min(limit, axisSetting(110, a) * share);
        b.accel = std::min(b.accel, axisSetting(120, a) * share);
    }
    b.speed = std::max(limit, MinimumFeed) / 60.0;
    // Into an empty planner a block starts from rest; else the corner and the slower of the
    // two nominal speeds limit its entry.
    const double slower = std::min(b.speed, lastNominal);
    b.maxEntry2 = planner.empty() ? 0 : std::min(junctionLimit2(unit), slower * slower);
    b.entry2 = 0;
    b.jog = jog;
    lastNominal = b.speed;
    std::copy(unit, unit + Axes, lastUnit);
    std::copy(b.target, b.target + Axes, planPos);
    planner.push_back(b);
    started = true;
    if (planner.size() == 1 && (state_ == "Idle" || state_ == "Run" || state_ == "Jog")) {
        if (ranEmpty)
            ++starvations;
        ranEmpty = false;
        state_ = jog ? "Jog" : "Run";
        speed = 0;
        startBlock();
    }
    recalculate();
}

// The corner speed at which the acceleration towards the centre of a circle touching both
// blocks, no farther than the junction deviation ($11) from the corner, is what the axes allow
// in the direction the velocity turns. Straight on has no limit, a reversal stops.
double GrblPeer::junctionLimit2(const double unit[Axes]) const
{
    double cosine = 0;
    double turn[Axes];
    double turnLength2 = 0;
    for (int a = 0; a < Axes; ++a) {
        cosine -= lastUnit[a] * unit[a];
        turn[a] = unit[a] - lastUnit[a];
        turnLength2 += turn[a] * turn[a];
    }
    if (cosine > 0.999999)
        return 0;
    if (cosine < -0.999999)
        return Never;
    double accel = Never;
    for (int a = 0; a < Axes; ++a) {
        if (turn[a] != 0)
            accel = std::min(accel, axisSetting(120, a) * std::sqrt(turnLength2) / std::fabs(turn[a]));
    }
    const double halfSine = std::sqrt(0.5 * (1 - cosine));
    return std::max(0.0, accel * settings.at(11) * halfSine / (1 - halfSine));
}

// The firmware's two passes over the blocks behind `planned`: backwards, the fastest entry from
// which the rest can still stop at the end of the last block; forwards, no entry faster than the
// block before can reach. The executing block takes part with its speed and what is left of it.
void GrblPeer::recalculate()
{
    const size_t last = planner.size() - 1;
    if (last <= planned)
        return;
    Block& end = planner[last];
    end.entry2 = std::min(end.maxEntry2, 2 * end.accel * end.length);
    for (size_t i = last - 1; i > planned; --i) {
        Block& b = planner[i];
        if (b.entry2 != b.maxEntry2)
            b.entry2 = std::min(b.maxEntry2, planner[i + 1].entry2 + 2 * b.accel * b.length);
    }
    if (planned == 0)
        planner[0].entry2 = speed * speed;
    for (size_t i = planned; i < last; ++i) {
        const Block& b = planner[i];
        Block& next = planner[i + 1];
        const double length = i == 0 ? b.length - progress : b.length;
        if (b.entry2 < next.entry2) {
            const double reach = b.entry2 + 2 * b.accel * length;
            if (reach < next.entry2) {
                next.entry2 = reach;
                planned = i + 1;  // accelerating all the way: optimal up to here
            }
        }
        if (next.entry2 == next.maxEntry2)
            planned = i + 1;
    }
}

void GrblPeer::clearPlanner()
{
    planner.clear();
    planned = 0;
    lastNominal = 0;
    std::fill(lastUnit, lastUnit + Axes, 0.0);
}

double GrblPeer::exitSpeed2() const
{
    return planner.size() > 1 ? planner[1].entry2 : 0.0;
}

GrblPeer::Ramp GrblPeer::ramp() const
{
    const Block& b = planner.front();
    const double rest = std::max(0.0, b.length - progress);
    const double v2 = speed * speed;
    const double exit2 = exitSpeed2();
    // The highest speed from which the exit is still reached, capped by the nominal speed.
    double peak2 = std::min(b.speed * b.speed, (2 * b.accel * rest + v2 + exit2) / 2);
    peak2 = std::max(peak2, std::max(v2, exit2));
    Ramp r;
    r.peak = std::sqrt(peak2);
    r.upDistance = (peak2 - v2) / (2 * b.accel);
    const double downDistance = (peak2 - exit2) / (2 * b.accel);
    r.cruiseDistance = std::max(0.0, rest - r.upDistance - downDistance);
    r.upTime = (r.peak - speed) / b.accel;
    r.cruiseTime = r.peak > 0 ? r.cruiseDistance / r.peak : 0;
    r.downTime = (r.peak - std::sqrt(exit2)) / b.accel;
    return r;
}

void GrblPeer::startBlock()
{
    Block& b = planner.front();
    std::copy(at, at + Axes, b.from);
    progress = 0;
    ++blocksStarted;
}

bool GrblPeer::moving() const
{
    return !planner.empty() && !critical_
           && (state_ == "Run" || state_ == "Jog" || (state_ == "Hold" && holdSub == 1));
}

void GrblPeer::syncPositions()
{
    for (int a = 0; a < Axes; ++a) {
        at[a] = std::round(at[a]);
        planPos[a] = static_cast<int32_t>(at[a]);
        gpos[a] = static_cast<float>(planPos[a]) / static_cast<float>(spm(a));
    }
}

// Moves along the front block for us microseconds; mode 1 reaches its end, mode 2 the
// standstill of a braking.
void GrblPeer::move(double us, int mode)
{
    Block& b = planner.front();
    const double s = us / 1e6;
    double dist = 0;
    if (mode == 1) {
        dist = b.length - progress;
        if (decelerating())
            speed = std::sqrt(std::max(0.0, speed * speed - 2 * b.accel * dist));
    } else if (mode == 2) {
        dist = speed * speed / (2 * b.accel);
        speed = 0;
    } else if (decelerating()) {
        dist = speed * s - 0.5 * b.accel * s * s;
        speed = std::max(0.0, speed - b.accel * s);
    } else {
        const Ramp r = ramp();
        double t = s;
        if (t < r.upTime) {
            dist = (speed + 0.5 * b.accel * t) * t;
            speed += b.accel * t;
        } else if ((t -= r.upTime) < r.cruiseTime) {
            dist = r.upDistance + r.peak * t;
            speed = r.peak;
        } else {
            t = std::min(t - r.cruiseTime, r.downTime);
            dist = r.upDistance + r.cruiseDistance + (r.peak - 0.5 * b.accel * t) * t;
            speed = r.peak - b.accel * t;
        }
    }
    travelled += dist;
    if (mode == 1) {
        for (int a = 0; a < Axes; ++a)
            at[a] = b.target[a];
        if (!decelerating())
            speed = std::sqrt(exitSpeed2());
        planner.pop_front();
        if (planned > 0)
            --planned;
        progress = 0;
        if (!planner.empty()) {
            startBlock();
            if (braking && speed <= 0)
                stopped();
        } else if (braking) {
            stopped();
        } else {
            ranEmpty = started;
            state_ = "Idle";
        }
        return;
    }
    progress = std::min(b.length, progress + dist);
    for (int a = 0; a < Axes; ++a)
        at[a] = b.from[a] + (b.target[a] - b.from[a]) * progress / b.length;
    if (mode == 2)
        stopped();
}

void GrblPeer::stopped()
{
    braking = false;
    holdDelayUs = 0;
    speed = 0;
    if (jogCancel) {
        // Only the planner is flushed: lines behind the jog run as they come.
        jogCancel = false;
        clearPlanner();
        progress = 0;
        syncPositions();
        state_ = "Idle";
        holdSub = -1;
        ranEmpty = false;
    } else if (softLimitStop) {
        softLimitStop = false;
        raiseCritical(2);
    } else {
        holdSub = 0;
    }
}

void GrblPeer::endHoming()
{
    const double pulloff = settings[27];
    for (int a = 0; a < 3; ++a) {
        const bool negative = (int(settings[23]) >> a) & 1;
        const double mm = negative ? -axisSetting(130, a) + pulloff : -pulloff;
        at[a] = double(std::lround(mm * spm(a)));
    }
    syncPositions();
    if (pendingReport) {
        pendingReport = false;
        report();  // still shows Home, as the firmware's check after the cycle does
    }
    state_ = "Idle";
}

void GrblPeer::advance(int64_t us)
{
    double left = double(us);
    while (left > 0) {
        double dt = left;
        if (stallUs > 0)
            dt = std::min(dt, stallUs);
        if (homingLeft > 0)
            dt = std::min(dt, homingLeft);
        if (dwellUs > 0 && !suspended())
            dt = std::min(dt, dwellUs);
        int mode = 0;
        if (moving()) {
            if (braking && holdDelayUs > 0)
                dt = std::min(dt, holdDelayUs);
            const Block& b = planner.front();
            const double rest = b.length - progress;
            double toEnd = Never;
            double toStop = Never;
            if (!decelerating()) {
                const Ramp r = ramp();
                toEnd = (r.upTime + r.cruiseTime + r.downTime) * 1e6;
            } else {
                toStop = speed / b.accel * 1e6;
                const double disc = speed * speed - 2 * b.accel * rest;
                if (disc >= 0)
                    toEnd = (speed - std::sqrt(disc)) / b.accel * 1e6;
            }
            if (toEnd <= dt && toEnd <= toStop) {
                dt = toEnd;
                mode = 1;
            } else if (toStop <= dt) {
                dt = toStop;
                mode = 2;
            }
        }
        const bool wasMoving = moving();
        left -= dt;
        if (stallUs > 0)
            stallUs = std::max(0.0, stallUs - dt);
        if (dwellUs > 0 && !suspended())
            dwellUs = std::max(0.0, dwellUs - dt);
        if (homingLeft > 0) {
            homingLeft = std::max(0.0, homingLeft - dt);
            if (homingLeft == 0 && homingPhase == 0 && homingFailure) {
                // The switch was not found: the alarm, the $H line's answer, then the reset.
                const int code = homingFailure;
                homingFailure = 0;
                state_ = "Alarm";
                pendingReport = false;
                say("ALARM:" + std::to_string(code));
                job.clear();
                answer("ok");
                reset();
            } else if (homingLeft == 0 && homingPhase == 0) {
                homingPhase = 1;
                homingLeft = std::max<double>(1, homingCycleUs / 2.0);
            } else if (homingLeft == 0) {
                endHoming();
            }
        }
        if (wasMoving) {
            move(dt, mode);
            if (braking)
                holdDelayUs = std::max(0.0, holdDelayUs - dt);
        }
        mainLoop();
    }
    mainLoop();
}

// --- status report ---

std::string GrblPeer::position(double mm) const
{
    return int(settings.at(13)) & 1 ? fixed(mm / 25.4, 4) : fixed(mm, 3);
}

void GrblPeer::report()
{
    std::string r = "<" + state_;
    if (state_ == "Hold")
        r += ":" + std::to_string(holdSub);
    const int mask = int(settings[10]);
    r += mask & 1 ? "|MPos:" : "|WPos:";
    for (int a = 0; a < 3; ++a) {
        float mm = static_cast<float>(steps(a)) / static_cast<float>(spm(a));
        if (!(mask & 1))
            mm -= wco[a];
        r += (a ? "," : "") + position(mm);
    }
    if (mask & 2)
        r += "|Bf:" + std::to_string(PlannerBlocks - int(planner.size())) + ","
             + std::to_string(RxBuffer - rx.size());
    double rate = 0;
    if (moving())
        rate = speed * 60;
    const bool inch = int(settings[13]) & 1;
    double rpm = 0;
    if (spindle != 5 && spindleSpeed > 0)
        rpm = std::min(std::max(double(spindleSpeed), settings[31]), settings[30]);
    r += "|FS:" + fixed(inch ? rate / 25.4 : rate, inch ? 1 : 0) + "," + fixed(rpm, 0);
    if (!pins_.empty())
        r += "|Pn:" + pins_;
    const bool busy = state_ == "Run" || state_ == "Hold" || state_ == "Jog" || state_ == "Home";
    if (wcoCounter > 0) {
        --wcoCounter;
    } else {
        wcoCounter = busy ? 29 : 9;
        if (ovrCounter == 0)
            ovrCounter = 1;
        r += "|WCO:" + position(wco[0]) + "," + position(wco[1]) + "," + position(wco[2]);
    }
    if (ovrCounter > 0) {
        --ovrCounter;
    } else {
        ovrCounter = busy ? 19 : 9;
        r += "|Ov:100,100,100";
        std::string a;
        if (spindle == 3)
            a += "S";
        if (spindle == 4)
            a += "C";
        if (flood)
            a += "F";
        if (mist)
            a += "M";
        if (!a.empty())
            r += "|A:" + a;
    }
    say(r + ">");
}
