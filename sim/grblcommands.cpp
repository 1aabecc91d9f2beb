// The GRBL peer's command lines: $ commands and settings, and the G-code parser.
#include "grblpeer.h"
#include "grblpeer_p.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

using namespace grblpeer;

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
        if (!std::strchr("FSPLXYZANT", w.letter))
            return fail(20);
        if (w.letter == 'T' && w.value > 255)
            return fail(38);  // GRBL keeps the tool number and does nothing with it
        if (jog && !std::strchr("FXYZAN", w.letter))
            return fail(16);
        const int k = w.letter - 'A';
        if (seen[k])
            return fail(25);
        if (w.value < 0 && std::strchr("FSPNT", w.letter))
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

