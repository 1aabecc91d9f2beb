#include "grblprotocol.h"

#include <QByteArray>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

namespace quenta {
namespace grbl {

namespace {

using namespace codes;

std::string trimmed(const std::string& s)
{
    size_t b = 0;
    size_t e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
        --e;
    return s.substr(b, e - b);
}

std::vector<std::string> split(const std::string& s, char sep)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = s.find(sep, start);
        parts.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos)
            return parts;
        start = at + 1;
    }
}

bool toDouble(const std::string& s, double& out)
{
    if (s.empty())
        return false;
    char* end = nullptr;
    out = std::strtod(s.c_str(), &end);
    return end && *end == 0 && std::isfinite(out);
}

bool toInt(const std::string& s, int& out)
{
    double d = 0;
    if (!toDouble(s, d) || d != std::floor(d) || std::fabs(d) > 1e9)
        return false;
    out = static_cast<int>(d);
    return true;
}

// Up to four comma-separated numbers; count receives how many there were.
bool numbers(const std::string& s, double* out, int& count)
{
    const std::vector<std::string> parts = split(s, ',');
    if (parts.size() < 3 || parts.size() > 4)
        return false;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (!toDouble(parts[i], out[i]))
            return false;
    }
    count = static_cast<int>(parts.size());
    return true;
}

bool startsWith(const std::string& s, const char* prefix)
{
    return s.rfind(prefix, 0) == 0;
}

uint8_t limitCode(int axis, int direction)
{
    if (axis < 0 || axis > 3 || direction == 0)
        return 0;
    return axisCode(axis, direction > 0 ? UpperLimit : LowerLimit);
}

}  // namespace

bool parseReport(const std::string& raw, Report& out)
{
    const std::string line = trimmed(raw);
    if (line.size() < 3 || line.front() != '<' || line.back() != '>')
        return false;
    const std::vector<std::string> fields = split(line.substr(1, line.size() - 2), '|');
    if (fields.size() < 2)
        return false;
    Report r;
    const std::vector<std::string> state = split(fields[0], ':');
    r.state = state[0];
    if (r.state.empty() || (state.size() > 1 && !toInt(state[1], r.subState)))
        return false;
    bool havePos = false;
    for (size_t i = 1; i < fields.size(); ++i) {
        const std::string& f = fields[i];
        const size_t colon = f.find(':');
        if (colon == std::string::npos)
            return false;
        const std::string name = f.substr(0, colon);
        const std::string value = f.substr(colon + 1);
        int count = 0;
        if (name == "MPos" || name == "WPos") {
            if (!numbers(value, r.pos, count))
                return false;
            r.axes = count;
            r.machinePos = name == "MPos";
            havePos = true;
        } else if (name == "WCO") {
            if (!numbers(value, r.wco, count))
                return false;
            r.haveWco = true;
        } else if (name == "Bf") {
            const std::vector<std::string> bf = split(value, ',');
            if (bf.size() != 2 || !toInt(bf[0], r.blocksFree) || !toInt(bf[1], r.bytesFree))
                return false;
            r.haveBuffer = true;
        } else if (name == "FS" || name == "F") {
            toDouble(split(value, ',')[0], r.feed);
        } else if (name == "Pn") {
            r.pins = value;
        } else if (name == "Ov") {
            r.haveOverrides = true;
            const std::vector<std::string> ov = split(value, ',');
            for (size_t k = 0; k < ov.size() && k < 3; ++k)
                toInt(ov[k], r.overrides[k]);
        } else if (name == "A") {
            for (const char c : value) {
                r.spindle = r.spindle || c == 'S' || c == 'C';
                r.coolant = r.coolant || c == 'F' || c == 'M';
            }
        }
        // Other fields (Ln:, later additions) are not needed here.
    }
    if (!havePos)
        return false;
    out = r;
    return true;
}

Line classifyLine(const std::string& raw)
{
    const std::string line = trimmed(raw);
    Line l;
    l.text = line;
    if (line == "ok") {
        l.kind = LineKind::Ok;
    } else if (startsWith(line, "error:") && toInt(line.substr(6), l.code)) {
        l.kind = LineKind::Error;
    } else if (startsWith(line, "ALARM:") && toInt(line.substr(6), l.code)) {
        l.kind = LineKind::Alarm;
    } else if (startsWith(line, "<")) {
        l.kind = LineKind::Report;
    } else if (startsWith(line, "Grbl ") && line.find("['$' for help]") != std::string::npos) {
        l.kind = LineKind::Welcome;
        l.text = line.substr(5, line.find(' ', 5) - 5);
    } else if (startsWith(line, "$") && line.find('=') != std::string::npos
               && toInt(line.substr(1, line.find('=') - 1), l.code)) {
        l.kind = LineKind::Setting;
        l.text = line.substr(line.find('=') + 1);
    } else if (startsWith(line, "[MSG:") && line.back() == ']') {
        l.kind = LineKind::Message;
        l.text = line.substr(5, line.size() - 6);
    } else if (startsWith(line, "[VER:") && line.back() == ']') {
        l.kind = LineKind::Version;
        const std::string body = line.substr(5, line.size() - 6);
        const size_t colon = body.find(':');
        l.text = body.substr(0, colon);
        l.info = colon == std::string::npos ? std::string() : body.substr(colon + 1);
    } else if (startsWith(line, "[OPT:") && line.back() == ']') {
        const std::vector<std::string> parts = split(line.substr(5, line.size() - 6), ',');
        l.kind = LineKind::Options;
        l.text = parts[0];
        if (parts.size() < 3 || !toInt(parts[1], l.code) || !toInt(parts[2], l.value)) {
            l.code = 0;
            l.value = 0;
        }
    }
    return l;
}

uint8_t errorCodeForError(int error, int axisHint, int direction)
{
    switch (error) {
    case 5:   // homing not enabled: nothing to reference
        return ReferenceAxes;
    case 4:   // negative value for a setting
    case 6:   // step pulse too short
    case 7:   // EEPROM read failed, defaults restored
    case 10:  // soft limits without homing
    case 12:  // step rate too high
    case 14:  // build info too long
        return ParameterValue;
    case 13:  // safety door open: the axes were stopped
        return EmergencyStopped;
    case 15: {  // jog target beyond the travel
        const uint8_t code = limitCode(axisHint, direction);
        return code ? code : NotAllowed;
    }
    default:  // locked out (alarm, jog), not idle, unsupported or malformed command
        return NotAllowed;
    }
}

uint8_t errorCodeForAlarm(int alarm, const std::string& pins, int axisHint, int direction)
{
    switch (alarm) {
    case 1: {  // hard limit: the end switch of the axis whose pin is triggered
        static const char letters[] = "XYZA";
        for (int axis = 0; axis < 4; ++axis) {
            if (pins.find(letters[axis]) != std::string::npos)
                return axisCode(axis, EndSwitch);
        }
        return EmergencyStopped;
    }
    case 2: {  // soft limit: the travel limit the last motion aimed beyond
        const uint8_t code = limitCode(axisHint, direction);
        return code ? code : NotAllowed;
    }
    case 3:  // reset during motion
    case 6:  // reset during homing
    case 7:  // door opened during homing
        return EmergencyStopped;
    case 8:  // homing could not clear the switch
    case 9:  // homing found no switch
        return ReferenceAxes;
    case 10:  // emergency stop input (boards that have one)
        return EmergencyInput;
    default:  // probe failures and anything newer
        return NotAllowed;
    }
}

uint8_t inputsFromPins(const std::string& pins)
{
    uint8_t bits = 0;
    for (const char c : pins) {
        switch (c) {
        case 'X': bits |= endSwitchInput(0); break;
        case 'Y': bits |= endSwitchInput(1); break;
        case 'Z': bits |= endSwitchInput(2); break;
        case 'A': bits |= endSwitchInput(3); break;
        case 'R': bits |= EmergencyIn; break;  // reset / e-stop pin
        case 'D': bits |= InputJ1; break;      // safety door
        case 'H': bits |= InputJ2; break;      // feed hold button
        case 'P': bits |= InputJ3; break;      // probe
        default: break;                 // S (cycle start) has no input bit
        }
    }
    return bits;
}

std::string formatNumber(double value)
{
    // A GRBL line holds at most 80 characters: no number is longer than 11.
    if (!std::isfinite(value))
        value = 0;
    value = std::clamp(value, -1e9, 1e9);
    QByteArray text = QByteArray::number(value, 'f', 3);
    while (text.contains('.') && (text.endsWith('0') || text.endsWith('.')))
        text.chop(1);
    if (text == "-0")
        text = "0";
    return text.toStdString();
}

std::string formatDistance(double value)
{
    if (!std::isfinite(value))
        value = 0;
    value = std::clamp(value, -1e7, 1e7);
    int whole = 1;
    for (double v = std::fabs(value); v >= 10.0 && whole < 8; v /= 10.0)
        ++whole;
    QByteArray text = QByteArray::number(value, 'f', std::clamp(8 - whole, 0, 6));
    while (text.contains('.') && (text.endsWith('0') || text.endsWith('.')))
        text.chop(1);
    if (text == "-0")
        text = "0";
    return text.toStdString();
}

std::string errorMessage(int error)
{
    static const std::map<int, const char*> texts = {
        {1, "a word has no letter"},
        {2, "a number is malformed"},
        {3, "unknown $ command"},
        {4, "a value must not be negative"},
        {5, "homing is not enabled"},
        {6, "the step pulse must be at least 3 microseconds"},
        {7, "the settings could not be read from EEPROM"},
        {8, "the command needs the machine idle"},
        {9, "G-code is locked during an alarm or a jog"},
        {10, "soft limits need homing enabled"},
        {11, "the line is too long"},
        {12, "the step rate would exceed 30 kHz"},
        {13, "the safety door is open"},
        {14, "the text is too long for a startup line or the build info"},
        {15, "the jog target is beyond the machine's travel"},
        {16, "the jog command is malformed"},
        {17, "laser mode needs the PWM output"},
        {20, "an unsupported or invalid G-code command"},
        {21, "two commands of one modal group"},
        {22, "the feed rate is not set"},
        {23, "a command needs a whole number"},
        {24, "two commands that both need the axis words"},
        {25, "a word is repeated"},
        {26, "a command needs axis words and has none"},
        {27, "the line number is invalid"},
        {28, "a command lacks a value it needs"},
        {29, "G59.1, G59.2 and G59.3 are not supported"},
        {30, "G53 works with G0 and G1 only"},
        {31, "axis words that no command uses"},
        {32, "an arc needs an axis word in its plane"},
        {33, "the motion's target is invalid"},
        {34, "the arc radius is invalid"},
        {35, "an arc needs an offset word in its plane"},
        {36, "value words that no command uses"},
        {37, "the tool length offset is not on the tool length axis"},
        {38, "the tool number is too large"},
    };
    const auto it = texts.find(error);
    return it == texts.end() ? std::string("unknown error") : std::string(it->second);
}

std::string alarmMessage(int alarm)
{
    static const std::map<int, const char*> texts = {
        {1, "a limit switch was hit; the position is lost"},
        {2, "the motion's target is beyond the machine's travel"},
        {3, "reset while moving; the position is lost"},
        {4, "probe fail: the probe was not in its expected state"},
        {5, "probe fail: the probe did not touch"},
        {6, "homing fail: reset during the homing cycle"},
        {7, "homing fail: the safety door opened"},
        {8, "homing fail: the pull-off did not clear the switch"},
        {9, "homing fail: no limit switch found"},
    };
    const auto it = texts.find(alarm);
    return it == texts.end() ? std::string("unknown alarm") : std::string(it->second);
}

}  // namespace grbl
}  // namespace quenta
