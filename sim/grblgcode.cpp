// The GRBL peer's G-code: lines read by the project's GRBL interpreter and executed as the
// firmware executes them (planner blocks, syncs, dwells, program pause and end, probing), the
// parser's reports ($G, $#), and the firmware's own reading of $J= jog lines.
#include "grblpeer.h"
#include "grblpeer_p.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace grblpeer;

namespace {

// One word of a line, with where it stands in the line.
struct LineWord {
    char letter;
    float value;
    size_t begin, end;
};

// The words the firmware's reader takes from the start of a line, up to the first it cannot.
std::vector<LineWord> splitWords(const std::string& text)
{
    std::vector<LineWord> words;
    size_t i = 0;
    while (i < text.size() && text[i] >= 'A' && text[i] <= 'Z') {
        size_t j = i + 1;
        float v = 0;
        if (!readFloat(text, j, v))
            break;
        words.push_back({text[i], v, i, j});
        i = j;
    }
    return words;
}

bool isCommand(const LineWord& w, char letter, int whole, int hundredths = 0)
{
    return w.letter == letter && std::lround(double(w.value) * 100) == whole * 100 + hundredths;
}

bool hasCommand(const std::vector<LineWord>& words, char letter, int whole, int hundredths = 0)
{
    return std::any_of(words.begin(), words.end(), [&](const LineWord& w) {
        return isCommand(w, letter, whole, hundredths);
    });
}

const gcode::LineResult& interpretOn(gcode::Interpreter& interpreter, const gcode::State& state,
                                     const std::string& text, std::vector<gcode::Block>& blocks)
{
    interpreter.setState(state);
    return interpreter.interpret(text, 0, blocks);
}

// The firmware reads a line's words in order and stops at the first it fails on. The
// interpreter sets the words GRBL lacks aside (and names them), so such a line is error:20
// unless a word before the first of them already fails while being read.
int unsupportedWordError(const std::string& text, const gcode::State& state,
                         const gcode::MachineSettings& machine)
{
    gcode::Interpreter interpreter(gcode::Target::Grbl, machine, false);
    std::vector<gcode::Block> blocks;
    size_t firstUnsupported = text.size();
    for (const LineWord& w : splitWords(text)) {
        if (!interpretOn(interpreter, state, text.substr(w.begin, w.end - w.begin), blocks)
                 .unsupported.empty()) {
            firstUnsupported = w.begin;
            break;
        }
    }
    const int e = interpretOn(interpreter, state, text.substr(0, firstUnsupported), blocks).error;
    // The errors of reading words (the rest come from checking the whole line, after all words).
    static const int readingErrors[] = {4, 21, 23, 24, 25, 38};
    return std::find(std::begin(readingErrors), std::end(readingErrors), e)
                   != std::end(readingErrors)
               ? e
               : 20;
}

// GRBL's answer to a line the interpreter has read.
int lineError(const std::string& text, const gcode::LineResult& result, const gcode::State& state,
              const gcode::MachineSettings& machine)
{
    if (!result.unsupported.empty())
        return unsupportedWordError(text, state, machine);
    switch (result.error) {
    case gcode::ErrorRealtimeByte:
        return 1;  // never happens here: the receiver takes those bytes out of the stream
    case gcode::ErrorValueRange:
        return 2;  // a number the firmware cannot hold is a bad number to the peer
    default:
        return result.error;
    }
}

// The state a program-ending line leaves before M2/M30 resets its modes: the same line
// without its end word.
gcode::State stateBeforeEnd(const std::string& text, const gcode::State& state,
                            const gcode::MachineSettings& machine, const gcode::State& fallback)
{
    gcode::Interpreter scratch(gcode::Target::Grbl, machine, false);
    std::string rest;
    for (const LineWord& w : splitWords(text)) {
        if (!isCommand(w, 'M', 2) && !isCommand(w, 'M', 30))
            rest += text.substr(w.begin, w.end - w.begin);
    }
    std::vector<gcode::Block> blocks;
    return interpretOn(scratch, state, rest, blocks).error ? fallback : scratch.state();
}

}  // namespace

gcode::MachineSettings GrblPeer::machineSettings() const
{
    gcode::MachineSettings m;
    for (int a = 0; a < 3; ++a) {
        m.stepsPerMm[a] = settings.at(100 + a);
        m.maxRate[a] = settings.at(110 + a);
        m.acceleration[a] = settings.at(120 + a);
        m.maxTravel[a] = settings.at(130 + a);
    }
    m.junctionDeviation = settings.at(11);
    m.arcTolerance = settings.at(12);
    m.reportInches = int(settings.at(13)) & 1;
    m.softLimits = settings.at(20) != 0;
    m.homingEnabled = settings.at(22) != 0;
    m.plannerBlocks = PlannerBlocks;
    m.rxBufferBytes = int(RxBuffer);
    return m;
}

void GrblPeer::gcodeLine(const std::string& text)
{
    gcode::State current = parser_;
    std::copy(gpos, gpos + 3, current.position);
    const gcode::MachineSettings machine = machineSettings();
    // This build has no mist coolant (no 'M' in $I's [OPT:]): M7 is error:20, as on GRBL.
    gcode::Interpreter interpreter(gcode::Target::Grbl, machine, false);
    std::vector<gcode::Block> blocks;
    const gcode::LineResult& result = interpretOn(interpreter, current, text, blocks);
    if (const int code = lineError(text, result, current, machine))
        return fail(code);
    const gcode::State beforeEnd = result.programEnd
                                       ? stateBeforeEnd(text, current, machine, interpreter.state())
                                       : interpreter.state();
    parser_ = interpreter.state();
    std::copy(parser_.position, parser_.position + 3, gpos);
    if (state_ != "Check")  // check mode only parses
        queueBlocks(text, blocks, beforeEnd);
    finish();
}

// The line's blocks as steps of the main loop, in the order the firmware executes the line.
void GrblPeer::queueBlocks(const std::string& text, const std::vector<gcode::Block>& blocks,
                           const gcode::State& beforeEnd)
{
    const std::vector<LineWord> words = splitWords(text);
    const bool writesEeprom = hasCommand(words, 'G', 10) || hasCommand(words, 'G', 28, 10)
                              || hasCommand(words, 'G', 30, 10);
    const uint8_t flowFlags = gcode::ProgramPause | gcode::ProgramEnd;
    if (blocks.empty() || blocks.front().kind != gcode::BlockKind::Sync
        || (blocks.front().flags & flowFlags))
        applyLine(beforeEnd, false);  // nothing the line changes waits for the planner
    const bool probeFails = parser_.motion == gcode::Motion::ProbeToward
                            || parser_.motion == gcode::Motion::ProbeAway;
    for (const gcode::Block& b : blocks) {
        if (b.kind == gcode::BlockKind::Dwell) {
            queueDwell(b.value);
        } else if (b.kind != gcode::BlockKind::Sync) {
            if (b.flags & gcode::Probe)
                queueProbe(b, probeFails);
            else
                queueMotion(b);
        } else if (b.flags & gcode::ProgramPause) {
            if (hasCommand(words, 'M', 0))  // M1, the optional stop, does nothing on GRBL
                queuePause();
        } else if (b.flags & gcode::ProgramEnd) {
            queueProgramEnd();
        } else {
            job.push_back([this, beforeEnd, writesEeprom] {
                if (!plannerIdle())
                    return false;
                applyLine(beforeEnd, writesEeprom);
                ranEmpty = false;  // emptied on purpose: no starvation
                return true;
            });
        }
    }
}

// What the machine takes from a line once it may: spindle, coolant, the offset reports show,
// and the EEPROM write of G10, G28.1 and G30.1.
void GrblPeer::applyLine(const gcode::State& next, bool writesEeprom)
{
    const int newSpindle = next.spindle == gcode::Spindle::Cw    ? 3
                           : next.spindle == gcode::Spindle::Ccw ? 4
                                                                 : 5;
    const bool newFlood = next.coolant & gcode::Flood;
    const bool newMist = next.coolant & gcode::Mist;
    if (newSpindle != spindle || newFlood != flood || newMist != mist
        || (newSpindle != 5 && next.spindleSpeed != spindleSpeed))
        ovrCounter = 0;  // the next report shows the accessories
    spindle = newSpindle;
    spindleSpeed = next.spindleSpeed;
    flood = newFlood;
    mist = newMist;
    for (int a = 0; a < 3; ++a) {
        float offset = next.workOffsets[next.workSystem][a] + next.g92Offset[a];
        if (a == 2)
            offset += next.toolLengthOffset;
        if (offset != wco[a])
            wcoCounter = 0;
        wco[a] = offset;
    }
    if (writesEeprom)
        eepromWrite(13);  // three floats and a checksum
}

bool GrblPeer::outsideSoftLimits(const float target[3]) const
{
    if (settings.at(20) == 0)
        return false;
    for (int a = 0; a < 3; ++a) {
        if (target[a] > 0 || target[a] < -float(axisSetting(130, a)))
            return true;
    }
    return false;
}

// A block beyond the soft limits: a cycle in motion brakes first so the position stays known,
// then the alarm. The line waits for the reset, which answers it.
void GrblPeer::softLimitAlarm()
{
    if (state_ == "Run") {
        state_ = "Hold";
        holdSub = 1;
        braking = softLimitStop = true;
    } else {
        raiseCritical(2);
    }
}

// Like the firmware's line motion, every block (each arc chord too) is checked against the soft
// limits before it waits for room in the planner.
void GrblPeer::queueMotion(const gcode::Block& b)
{
    const float target[Axes] = {b.target[0], b.target[1], b.target[2], gpos[3]};
    const bool rapid = b.kind == gcode::BlockKind::Rapid;
    const double rate = rapid ? Never : double(b.value);
    job.push_back([this, target, rate, rapid] {
        if (outsideSoftLimits(target)) {
            softLimitAlarm();
            return false;
        }
        if (int(planner.size()) >= PlannerBlocks)
            return false;
        plan(target, rate, rapid, false);
        return true;
    });
}

void GrblPeer::queueDwell(float seconds)
{
    // The firmware waits in whole steps of 50 ms, counted in single precision.
    const double us = double(std::ceil(20.0f * seconds)) * 50000.0;
    job.push_back([this, us] {
        if (!plannerIdle())
            return false;
        dwellUs = us;
        ranEmpty = false;
        return true;
    });
}

// M0: the planner runs empty, then a feed hold that is complete at once; `~` resumes and only
// then is the line answered.
void GrblPeer::queuePause()
{
    job.push_back([this] {
        if (!plannerIdle())
            return false;
        if (state_ == "Idle") {
            state_ = "Hold";
            holdSub = 0;
        }
        ranEmpty = false;
        return true;
    });
}

// M2/M30: the parser's modes are already reset; the machine stops spindle and coolant, the
// offsets go back to G54's and the next report shows them.
void GrblPeer::queueProgramEnd()
{
    job.push_back([this, end = parser_] {
        if (!plannerIdle())
            return false;
        applyLine(end, false);
        wcoCounter = 0;
        ranEmpty = false;
        say("[MSG:Pgm End]");
        return true;
    });
}

// Nothing is wired to the peer's probe input: a probing move runs to its end untouched. G38.2
// and G38.4 then raise ALARM:5; G38.3 and G38.5 record where they stopped. Either way the probe
// report follows, as the firmware prints it.
void GrblPeer::queueProbe(const gcode::Block& b, bool failIfUntouched)
{
    job.push_back([this] { return plannerIdle(); });
    queueMotion(b);
    job.push_back([this, failIfUntouched] {
        if (!plannerIdle())
            return false;
        if (failIfUntouched) {
            state_ = "Alarm";
            say("ALARM:5");
        } else {
            for (int a = 0; a < 3; ++a)
                probeAt[a] = static_cast<float>(machine(a));
        }
        probeOk = false;
        say("[PRB:" + position(probeAt[0]) + "," + position(probeAt[1]) + ","
            + position(probeAt[2]) + ":0]");
        ranEmpty = false;
        return true;
    });
}

// --- the parser's reports ---

void GrblPeer::modesReport()
{
    static const char* const motions[] = {"G0",    "G1",    "G2",    "G3",  "G38.2",
                                          "G38.3", "G38.4", "G38.5", "G80"};
    const gcode::State& s = parser_;
    std::string m = std::string("[GC:") + motions[int(s.motion)];
    m += " G" + std::to_string(54 + s.workSystem) + " G" + std::to_string(17 + int(s.plane));
    m += s.inches ? " G20" : " G21";
    m += s.incremental ? " G91" : " G90";
    m += s.inverseTime ? " G93" : " G94";
    m += s.spindle == gcode::Spindle::Cw    ? " M3"
         : s.spindle == gcode::Spindle::Ccw ? " M4"
                                            : " M5";
    if (s.coolant & gcode::Mist)
        m += " M7";
    if (s.coolant & gcode::Flood)
        m += " M8";
    if (!s.coolant)
        m += " M9";
    // Rates follow $13, not G20.
    const bool inch = int(settings.at(13)) & 1;
    m += " T" + std::to_string(s.tool) + " F" + fixed(inch ? s.feed / 25.4 : s.feed, inch ? 1 : 0)
         + " S" + fixed(s.spindleSpeed, 0) + "]";
    say(m);
}

void GrblPeer::parametersReport()
{
    const auto triple = [this](const char* name, const float v[3]) {
        say(std::string("[") + name + ":" + position(v[0]) + "," + position(v[1]) + ","
            + position(v[2]) + "]");
    };
    static const char* const systems[] = {"G54", "G55", "G56", "G57", "G58", "G59"};
    for (int p = 0; p < 6; ++p)
        triple(systems[p], parser_.workOffsets[p]);
    triple("G28", parser_.g28);
    triple("G30", parser_.g30);
    triple("G92", parser_.g92Offset);
    say("[TLO:" + position(parser_.toolLengthOffset) + "]");
    say("[PRB:" + position(probeAt[0]) + "," + position(probeAt[1]) + "," + position(probeAt[2])
        + ":" + (probeOk ? "1" : "0") + "]");
}

// --- jogging ---

// $J=: the firmware's parser in jog mode. Only units, distance mode and G53 may stand beside
// the axis words and F; the parser's modes are used but not changed, only its position.
void GrblPeer::jogLine(const std::string& text)
{
    bool seen[26] = {};
    float value[26] = {};
    int units = -1, distance = -1;
    bool machineCoords = false;
    for (size_t i = 0; i < text.size();) {
        const char letter = text[i++];
        if (letter < 'A' || letter > 'Z')
            return fail(1);
        float v = 0;
        if (!readFloat(text, i, v))
            return fail(2);
        if (letter == 'G') {
            const int code = int(std::trunc(v));
            const bool allowed = code == 20 || code == 21 || code == 90 || code == 91 || code == 53;
            static const int known[] = {0,  1,  2,  3,  4,  10, 17, 18, 19, 28, 30, 38, 40,
                                        43, 49, 54, 55, 56, 57, 58, 59, 61, 80, 92, 93, 94};
            if (!allowed)
                return fail(std::find(std::begin(known), std::end(known), code) != std::end(known)
                                ? 16 : 20);
            if (std::lround(100 * (v - float(code))) != 0)
                return fail(23);
            int* group = code == 20 || code == 21 ? &units : code == 53 ? nullptr : &distance;
            if (!group) {
                machineCoords = true;
            } else if (*group >= 0) {
                return fail(21);
            } else {
                *group = code;
            }
            continue;
        }
        if (letter == 'M')
            return fail(16);
        if (!std::strchr("FIJKLNPRSTXYZA", letter))
            return fail(20);
        if (!std::strchr("FXYZAN", letter))
            return fail(16);
        const int k = letter - 'A';
        if (seen[k])
            return fail(25);
        if (v < 0 && (letter == 'F' || letter == 'N'))
            return fail(4);
        seen[k] = true;
        value[k] = v;
    }
    static const char axisLetters[] = "XYZA";
    bool axisWords = false;
    for (int a = 0; a < Axes; ++a)
        axisWords = axisWords || seen[axisLetters[a] - 'A'];
    if (!seen['F' - 'A'])
        return fail(22);
    if (!axisWords)
        return fail(26);
    const bool inch = units >= 0 ? units == 20 : parser_.inches;
    const bool rel = distance >= 0 ? distance == 91 : parser_.incremental;
    const float scale = inch ? 25.4f : 1.0f;
    float target[Axes];
    for (int a = 0; a < Axes; ++a) {
        const char letter = axisLetters[a];
        const float v = value[letter - 'A'] * scale;
        // Absolute jogs are in the parser's work coordinates: its system, G92 and tool offset.
        float offset = 0;
        if (a < 3)
            offset = parser_.workOffsets[parser_.workSystem][a] + parser_.g92Offset[a]
                     + (a == 2 ? parser_.toolLengthOffset : 0.0f);
        if (!seen[letter - 'A'])
            target[a] = gpos[a];
        else if (machineCoords)
            target[a] = v;
        else if (rel)
            target[a] = gpos[a] + v;
        else
            target[a] = v + offset;
    }
    bool outside = false;
    for (int a = 0; a < 3; ++a)
        outside = outside || target[a] > 0 || target[a] < -float(axisSetting(130, a));
    if (settings.at(20) != 0 && outside)
        return fail(15);
    const double rate = value['F' - 'A'] * scale;
    job.push_back([this, target, rate] {
        if (int(planner.size()) >= PlannerBlocks)
            return false;
        plan(target, rate, false, true);
        std::copy(target, target + Axes, gpos);
        return true;
    });
    finish();
}
