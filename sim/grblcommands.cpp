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
    if (refused.count(line))
        return fail(3);
    const char c = line[1];
    if (c == 'J') {
        if (state_ != "Idle" && state_ != "Jog")
            return fail(8);
        if (line.size() < 3 || line[2] != '=')
            return fail(3);
        return jogLine(line.substr(3));
    }
    if (c == '$' || c == 'G' || c == 'C' || c == 'X') {
        if (line.size() != 2)
            return fail(3);
        if (c == '$') {
            if (state_ == "Run" || state_ == "Hold")
                return fail(8);
            settingsReport();
        } else if (c == 'G') {
            modesReport();
        } else if (c == 'C') {
            // Check mode: lines are parsed and answered, nothing moves. Leaving it resets the
            // firmware once the line is answered, which brings the parser back to the machine.
            if (state_ == "Check") {
                say("[MSG:Disabled]");
                resetAfterLine = true;
            } else {
                if (state_ != "Idle")
                    return fail(8);
                state_ = "Check";
                say("[MSG:Enabled]");
            }
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
        parametersReport();
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

