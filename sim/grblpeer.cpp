#include "grblpeer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr int FlagParen = 1;
constexpr int FlagSemicolon = 2;
constexpr int FlagOverflow = 4;
constexpr double EepromUsPerByte = 3400;  // an ATmega328P programs a byte in about 3.4 ms
constexpr double Never = std::numeric_limits<double>::infinity();

std::string fixed(double v, int decimals)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    // No "-0.000": the firmware rounds before it prints the sign.
    std::string s = text;
    if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos)
        s.erase(0, 1);
    return s;
}

// The firmware's number reader: optional sign, digits with at most one point, no exponent.
bool readFloat(const std::string& s, size_t& i, float& value)
{
    size_t j = i;
    bool negative = false;
    if (j < s.size() && (s[j] == '-' || s[j] == '+'))
        negative = s[j++] == '-';
    double v = 0;
    double scale = 0;
    int digits = 0;
    for (; j < s.size(); ++j) {
        if (s[j] >= '0' && s[j] <= '9') {
            ++digits;
            if (scale == 0) {
                v = v * 10 + (s[j] - '0');
            } else {
                v += (s[j] - '0') * scale;
                scale /= 10;
            }
        } else if (s[j] == '.' && scale == 0) {
            scale = 0.1;
        } else {
            break;
        }
    }
    if (digits == 0)
        return false;
    value = static_cast<float>(negative ? -v : v);
    i = j;
    return true;
}

}  // namespace

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

// --- $ commands ---

void GrblPeer::systemLine(const std::string& line)
{
    const bool idleOrAlarm = state_ == "Idle" || state_ == "Alarm";
    if (line.size() == 1) {
        say("[HLP:$$ $# $G $I $N $x=val $Nx=line $J=line $SLP $C $X $H ~ ! ? ctrl-x]");
        return finish();
    }
    const char c = line[1];
    if (c == 'J') {
        if (state_ != "Idle" && state_ != "Jog")
            return fail(8);
        if (line.size() < 3 || line[2] != '=')
            return fail(3);
        return gcodeLine(line.substr(3), true);
    }
    if (c == '$' || c == 'G' || c == 'C' || c == 'X') {
        if (line.size() != 2)
            return fail(3);
        if (c == '$') {
            if (state_ == "Run" || state_ == "Hold")
                return fail(8);
            settingsReport();
        } else if (c == 'G') {
            std::string m = "[GC:G";
            m += rapidMode ? "0" : "1";
            m += " G54 G17 ";
            m += inches ? "G20" : "G21";
            m += relative ? " G91" : " G90";
            m += " G94 M" + std::to_string(spindle);
            if (mist)
                m += " M7";
            if (flood)
                m += " M8";
            if (!mist && !flood)
                m += " M9";
            m += " T0 F" + fixed(inches ? feed / 25.4 : feed, inches ? 1 : 0) + " S"
                 + fixed(spindleSpeed, 0) + "]";
            say(m);
        } else if (c == 'C') {
            return fail(3);  // check mode is not modelled
        } else if (state_ == "Alarm") {
            say("[MSG:Caution: Unlocked]");
            state_ = "Idle";
        }
        return finish();
    }
    if (!idleOrAlarm)
        return fail(8);
    if (c == '#') {
        if (line.size() != 2)
            return fail(3);
        for (int p = 0; p < 6; ++p) {
            std::string m = "[G" + std::to_string(54 + p) + ":";
            for (int a = 0; a < 3; ++a)
                m += (a ? "," : "") + position(wcs[p][a]);
            say(m + "]");
        }
        for (const char* name : {"G28", "G30", "G92"})
            say(std::string("[") + name + ":" + position(0) + "," + position(0) + ","
                + position(0) + "]");
        say("[TLO:" + position(0) + "]");
        say("[PRB:0.000,0.000,0.000:0]");
        return finish();
    }
    if (c == 'H') {
        if (settings[22] == 0)
            return fail(5);
        if (line.size() != 2)
            return fail(3);
        state_ = "Home";
        homingPhase = 0;
        homingLeft = std::max<double>(1, homingCycleUs / 2.0);  // Z first, then X and Y
        return finish();  // answered once the cycle has ended (the loop waits on homingLeft)
    }
    if (c == 'I') {
        if (line.size() == 2) {
            say("[VER:1.1h.20190830:" + info + "]");
            say("[OPT:V," + std::to_string(PlannerBlocks) + "," + std::to_string(RxBuffer)
                + "]");
            return finish();
        }
        if (line[2] != '=')
            return fail(3);
        info = line.substr(3);
        eepromWrite(int(info.size()) + 2);
        return finish();
    }
    if (c == 'N' && line.size() == 2) {
        say("$N0=");
        say("$N1=");
        return finish();
    }
    if (c == 'N' || c == 'R' || c == 'S')
        return fail(3);  // startup lines, restore and sleep are not modelled
    size_t i = 1;
    float n = 0;
    float v = 0;
    if (!readFloat(line, i, n))
        return fail(2);
    if (i >= line.size() || line[i++] != '=')
        return fail(3);
    if (!readFloat(line, i, v))
        return fail(2);
    if (i != line.size() || n > 255)
        return fail(3);
    const int code = storeSetting(int(n), v);
    if (code)
        return fail(code);
    eepromWrite(5);
    finish();
}

int GrblPeer::storeSetting(int n, double v)
{
    if (v < 0)
        return 4;
    if (n >= 100) {
        const int group = n / 10 * 10;
        if ((group != 100 && group != 110 && group != 120 && group != 130) || n % 10 > 2)
            return 3;
        settings[n] = v;
        return 0;
    }
    static const int integers[] = {0, 1, 2, 3, 4, 5, 6, 10, 13, 20, 21, 22, 23, 26, 32};
    static const int reals[] = {11, 12, 24, 25, 27, 30, 31};
    const bool integer = std::find(std::begin(integers), std::end(integers), n) != std::end(integers);
    if (!integer && std::find(std::begin(reals), std::end(reals), n) == std::end(reals))
        return 3;
    const double value = integer ? std::trunc(v) : v;
    if (n == 0 && value < 3)
        return 6;
    if (n == 20 && value != 0 && settings[22] == 0)
        return 10;  // soft limits need homing
    if (n == 22 && value == 0)
        settings[20] = 0;
    settings[n] = value;
    return 0;
}

void GrblPeer::settingsReport()
{
    static const int integers[] = {0, 1, 2, 3, 4, 5, 6, 10, 13, 20, 21, 22, 23, 26, 32};
    for (const auto& s : settings) {
        const bool integer =
            std::find(std::begin(integers), std::end(integers), s.first) != std::end(integers);
        say("$" + std::to_string(s.first) + "=" + fixed(s.second, integer ? 0 : 3));
    }
}

// --- G-code ---

void GrblPeer::gcodeLine(const std::string& text, bool jog)
{
    struct Word {
        char letter;
        float value;
    };
    std::vector<Word> words;
    for (size_t i = 0; i < text.size();) {
        const char letter = text[i++];
        if (letter < 'A' || letter > 'Z')
            return fail(1);
        float v = 0;
        if (!readFloat(text, i, v))
            return fail(2);
        words.push_back({letter, v});
    }
    // Modal groups seen on the line: motion, non-modal, units, distance, spindle, coolant,
    // and the ones this machine has a single mode of (plane, compensation, offsets, feed mode).
    enum { Motion, NonModal, Units, Distance, Spindle, Coolant, Other, Groups };
    bool group[Groups] = {};
    int motion = -1, nonModal = -1, units = -1, distance = -1, spindleWord = -1, coolantWord = -1;
    bool machineCoords = false;
    bool seen[26] = {};
    float value[26] = {};
    for (const Word& w : words) {
        if (w.letter == 'G' || w.letter == 'M') {
            const int code = int(std::trunc(w.value));
            const bool fraction = std::lround(100 * (w.value - float(code))) != 0;
            int g = -1;
            if (w.letter == 'G') {
                switch (code) {
                case 0: case 1: g = Motion; motion = code; break;
                case 4: case 10: g = NonModal; nonModal = code; break;
                case 53: g = NonModal; machineCoords = true; break;
                case 20: case 21: g = Units; units = code; break;
                case 90: case 91: g = Distance; distance = code; break;
                case 17: case 40: case 49: case 54: case 94: g = Other; break;
                default: return fail(20);
                }
                if (jog && g != Units && g != Distance && code != 53)
                    return fail(16);
            } else {
                if (jog)
                    return fail(16);
                switch (code) {
                case 3: case 4: case 5: g = Spindle; spindleWord = code; break;
                case 7: case 8: case 9: g = Coolant; coolantWord = code; break;
                default: return fail(20);
                }
            }
            if (fraction)
                return fail(23);
            if (g != Other && group[g])
                return fail(21);
            group[g] = true;
            continue;
        }
        if (!std::strchr("FSPLXYZAN", w.letter))
            return fail(20);
        if (jog && !std::strchr("FXYZAN", w.letter))
            return fail(16);
        const int k = w.letter - 'A';
        if (seen[k])
            return fail(25);
        if (w.value < 0 && std::strchr("FSPN", w.letter))
            return fail(4);
        seen[k] = true;
        value[k] = w.value;
    }
    const auto has = [&](char c) { return seen[c - 'A']; };
    const auto val = [&](char c) { return value[c - 'A']; };
    static const char axisLetters[] = "XYZA";
    bool axisWords = false;
    for (int a = 0; a < Axes; ++a)
        axisWords = axisWords || has(axisLetters[a]);

    const bool inch = units >= 0 ? units == 20 : inches;
    const bool rel = distance >= 0 ? distance == 91 : relative;
    const float scale = inch ? 25.4f : 1.0f;
    float lineFeed = has('F') ? val('F') * scale : (jog ? 0.0f : feed);
    const bool lineRapid = jog ? false : (motion >= 0 ? motion == 0 : rapidMode);

    // Checks before anything changes.
    if (jog) {
        if (!has('F'))
            return fail(22);
        if (!axisWords)
            return fail(26);
    }
    if (nonModal == 4 && !has('P'))
        return fail(28);
    if (nonModal == 10) {
        if (!axisWords)
            return fail(26);
        if (!has('P') || !has('L'))
            return fail(28);
        if (val('L') != 2 && val('L') != 20)
            return fail(20);
        if (std::trunc(val('P')) > 6)
            return fail(29);
    } else if (has('L')) {
        return fail(36);
    }
    if (has('P') && nonModal != 4 && nonModal != 10)
        return fail(36);
    const bool moves = axisWords && nonModal != 10;
    if (moves && !jog && !lineRapid && lineFeed <= 0)
        return fail(22);

    float target[Axes];
    for (int a = 0; a < Axes; ++a) {
        if (!moves || !has(axisLetters[a]))
            target[a] = gpos[a];
        else if (machineCoords)
            target[a] = val(axisLetters[a]) * scale;
        else if (rel)
            target[a] = gpos[a] + val(axisLetters[a]) * scale;
        else
            target[a] = val(axisLetters[a]) * scale + wcs[0][a];
    }
    bool outside = false;
    for (int a = 0; a < 3; ++a)
        outside = outside || target[a] > 0 || target[a] < -float(axisSetting(130, a));
    const bool softLimits = settings[20] != 0;
    if (jog && moves && softLimits && outside)
        return fail(15);

    if (jog) {
        const double rate = lineFeed;
        job.push_back([this, target, rate] {
            if (int(planner.size()) >= PlannerBlocks)
                return false;
            plan(target, rate, false, true);
            std::copy(target, target + Axes, gpos);
            return true;
        });
        return finish();
    }

    // Modal state of the line.
    if (has('F'))
        feed = lineFeed;
    if (units >= 0)
        inches = inch;
    if (distance >= 0)
        relative = rel;
    if (motion >= 0)
        rapidMode = motion == 0;
    const float newSpeed = has('S') ? val('S') : spindleSpeed;
    const int newSpindle = spindleWord >= 0 ? spindleWord : spindle;
    if (newSpindle != spindle || (newSpindle != 5 && newSpeed != spindleSpeed)) {
        job.push_back([this, newSpindle, newSpeed] {
            if (!plannerIdle())
                return false;
            spindle = newSpindle;
            spindleSpeed = newSpeed;
            ovrCounter = 0;
            ranEmpty = false;
            return true;
        });
    } else {
        spindleSpeed = newSpeed;
    }
    if (coolantWord >= 0) {
        const bool newFlood = coolantWord == 8 ? true : coolantWord == 9 ? false : flood;
        const bool newMist = coolantWord == 7 ? true : coolantWord == 9 ? false : mist;
        if (newFlood != flood || newMist != mist) {
            job.push_back([this, newFlood, newMist] {
                if (!plannerIdle())
                    return false;
                flood = newFlood;
                mist = newMist;
                ovrCounter = 0;
                ranEmpty = false;
                return true;
            });
        }
    }
    if (nonModal == 4) {
        const double us = double(val('P')) * 1e6;
        job.push_back([this, us] {
            if (!plannerIdle())
                return false;
            dwellUs = us;
            ranEmpty = false;
            return true;
        });
    }
    if (nonModal == 10) {
        const int p = std::max(0, int(std::trunc(val('P'))) - 1);
        float offsets[Axes];
        for (int a = 0; a < Axes; ++a) {
            if (!has(axisLetters[a]))
                offsets[a] = wcs[p][a];
            else if (val('L') == 20)
                offsets[a] = gpos[a] - val(axisLetters[a]) * scale;
            else
                offsets[a] = val(axisLetters[a]) * scale;
        }
        job.push_back([this, p, offsets] {
            if (!plannerIdle())
                return false;
            std::copy(offsets, offsets + Axes, wcs[p]);
            if (p == 0)
                wcoCounter = 0;
            eepromWrite(13);
            return true;
        });
    }
    if (moves) {
        if (softLimits && outside) {
            job.push_back([this] {
                if (state_ == "Run") {
                    // Brake first so the position stays known, then the alarm.
                    state_ = "Hold";
                    holdSub = 1;
                    braking = softLimitStop = true;
                    speed = planner.front().speed;
                } else {
                    raiseCritical(2);
                }
                return false;  // waits for the reset, which answers the line
            });
            return;
        }
        const double rate = lineRapid ? Never : double(lineFeed);
        job.push_back([this, target, rate, lineRapid] {
            if (int(planner.size()) >= PlannerBlocks)
                return false;
            plan(target, rate, lineRapid, false);
            std::copy(target, target + Axes, gpos);
            return true;
        });
    }
    finish();
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
