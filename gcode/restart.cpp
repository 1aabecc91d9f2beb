#include "restart.h"

#include <algorithm>
#include <cstdio>

namespace gcode {

namespace {

constexpr float MmPerInch = 25.4f;
// On a homed GRBL machine Z = 0 is where the Z switch triggers; stopping short of it keeps the
// hard limit from tripping (GRBL's default pull-off leaves Z there after homing, too).
constexpr float HomedTopZ = -1.0f;

// A number for a G-code word: mm to three decimals, inches to four, no trailing zeros.
std::string number(float mm, bool inches)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, inches ? "%.4f" : "%.3f",
                  static_cast<double>(inches ? mm / MmPerInch : mm));
    std::string s = buf;
    while (s.back() == '0')
        s.pop_back();
    if (s.back() == '.')
        s.pop_back();
    return s == "-0" ? "0" : s;
}

std::string spindleLine(const State& s)
{
    static const char* words[] = {"M5", "M3", "M4"};
    return std::string(words[static_cast<int>(s.spindle)]) + " S" +
           number(s.spindleSpeed, false);
}

void coolantLines(const State& s, std::vector<std::string>& lines)
{
    if (s.coolant & Mist)
        lines.push_back("M7");
    if (s.coolant & Flood)
        lines.push_back("M8");
    if (!s.coolant)
        lines.push_back("M9");
}

void approach(const Program& program, const State& s, float fallbackFeed, RestartPlan& plan)
{
    const MachineSettings& m = program.options().machine;
    float safeZ = program.highestZ();
    if (m.homingEnabled)
        safeZ = std::max(safeZ, HomedTopZ);
    float feed = s.feed;
    if (s.inverseTime || feed <= 0) {
        feed = fallbackFeed;
        plan.notes.push_back("No feed rate in mm/min is in force at this line; the plunge "
                             "uses F" + number(fallbackFeed, false) + ".");
    }
    std::vector<std::string>& l = plan.lines;
    l.push_back("G21 G94");
    l.push_back("G53 G0 Z" + number(safeZ, false));
    l.push_back(spindleLine(s));
    coolantLines(s, l);
    l.push_back("G53 G0 X" + number(s.position[0], false) + " Y" +
                number(s.position[1], false));
    l.push_back("G53 G1 Z" + number(s.position[2], false) + " F" + number(feed, false));
}

// The job's modes; the approach left G1 in force, so only another motion mode is named.
void modes(const State& s, RestartPlan& plan)
{
    static const char* planes[] = {"G17", "G18", "G19"};
    std::string line = s.inches ? "G20" : "G21";
    line += s.incremental ? " G91" : " G90";
    line += std::string(" ") + planes[static_cast<int>(s.plane)];
    line += " G" + std::to_string(54 + s.workSystem) + " G91.1";
    line += s.inverseTime ? " G93" : " G94";
    if (!s.inverseTime && s.feed > 0)
        line += " F" + number(s.feed, s.inches);
    if (s.motion == Motion::Rapid)
        line += " G0";
    else if (s.motion == Motion::None)
        line += " G80";
    else if (s.motion != Motion::Linear)
        plan.notes.push_back("The job is in an arc or probing mode here; the restart line "
                             "must name its own G2, G3 or G38 command.");
    line += " T" + std::to_string(s.tool);
    plan.lines.push_back(line);
}

void offsets(const State& s, RestartPlan& plan)
{
    if (s.toolLengthOffset != 0)
        plan.lines.push_back("G43.1 Z" + number(s.toolLengthOffset, s.inches));
    if (s.g92Offset[0] != 0 || s.g92Offset[1] != 0 || s.g92Offset[2] != 0) {
        // G92 is relative to where the tool stands: the tool is at the start point now.
        static const char axes[] = "XYZ";
        std::string line = "G92";
        for (int i = 0; i < 3; ++i)
            line += std::string(" ") + axes[i] + number(s.workPosition(i), s.inches);
        plan.lines.push_back(line);
    }
}

} // namespace

RestartPlan restartPlan(const Program& program, uint32_t from, float fallbackFeed)
{
    RestartPlan plan;
    const State s = program.stateBefore(from);
    approach(program, s, fallbackFeed, plan);
    modes(s, plan);
    offsets(s, plan);
    return plan;
}

} // namespace gcode
