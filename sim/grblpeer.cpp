#include "grblpeer.h"
#include "grblpeer_p.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
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
    planner.clear();
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
    planner.clear();
    braking = jogCancel = softLimitStop = false;
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
    spindle = 5;
    flood = mist = false;
    relative = inches = false;
    rapidMode = true;
    feed = spindleSpeed = 0;
    syncPositions();
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

void GrblPeer::raiseCritical(int code)
{
    planner.clear();
    braking = jogCancel = softLimitStop = false;
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
            speed = planner.front().speed;
        } else if (state_ == "Idle") {
            state_ = "Hold";
            holdSub = 0;
        }
        break;
    case '~':
        if (state_ == "Hold" && holdSub == 0) {
            holdSub = -1;
            state_ = planner.empty() ? "Idle" : "Run";
            mainLoop();
        }
        break;
    case 0x85:
        if (state_ == "Jog" && !jogCancel) {
            jogCancel = braking = true;
            speed = planner.front().speed;
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
            if (!job.front()())
                return;
            job.pop_front();
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
            gcodeLine(line, false);
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
    for (int a = 0; a < Axes; ++a) {
        if (delta[a] == 0)
            continue;
        const double share = b.length / std::fabs(delta[a]);
        limit = std::min(limit, axisSetting(110, a) * share);
        b.accel = std::min(b.accel, axisSetting(120, a) * share);
    }
    b.speed = limit / 60.0;
    b.jog = jog;
    std::copy(b.target, b.target + Axes, planPos);
    planner.push_back(b);
    started = true;
    if (planner.size() == 1 && (state_ == "Idle" || state_ == "Run" || state_ == "Jog")) {
        if (ranEmpty)
            ++starvations;
        ranEmpty = false;
        state_ = jog ? "Jog" : "Run";
        startBlock();
    }
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
        if (braking)
            speed = std::sqrt(std::max(0.0, speed * speed - 2 * b.accel * dist));
    } else if (mode == 2) {
        dist = speed * speed / (2 * b.accel);
        speed = 0;
    } else if (braking) {
        dist = speed * s - 0.5 * b.accel * s * s;
        speed = std::max(0.0, speed - b.accel * s);
    } else {
        dist = b.speed * s;
    }
    travelled += dist;
    if (mode == 1) {
        for (int a = 0; a < Axes; ++a)
            at[a] = b.target[a];
        planner.pop_front();
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
    speed = 0;
    if (jogCancel) {
        // Only the planner is flushed: lines behind the jog run as they come.
        jogCancel = false;
        planner.clear();
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
            const Block& b = planner.front();
            const double rest = b.length - progress;
            double toEnd = Never;
            double toStop = Never;
            if (!braking) {
                toEnd = rest / b.speed * 1e6;
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
        if (wasMoving)
            move(dt, mode);
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
            mm -= wcs[0][a];
        r += (a ? "," : "") + position(mm);
    }
    if (mask & 2)
        r += "|Bf:" + std::to_string(PlannerBlocks - int(planner.size())) + ","
             + std::to_string(RxBuffer - rx.size());
    double rate = 0;
    if (moving())
        rate = (braking ? speed : planner.front().speed) * 60;
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
        r += "|WCO:" + position(wcs[0][0]) + "," + position(wcs[0][1]) + ","
             + position(wcs[0][2]);
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
