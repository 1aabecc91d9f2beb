// The interpreter's starting state from the controller's own reports ($G and $#).

#include "interpreter.h"

#include "lexer.h"

#include <cstring>

namespace gcode {

namespace {

constexpr float MmPerInch = 25.4f;

// "x,y,z" (at least three numbers; a fourth axis is ignored).
bool readTriple(std::string_view text, float out[3], float scale)
{
    size_t pos = 0;
    for (int i = 0; i < 3; ++i) {
        float v = 0;
        if (!lex::readNumber(text, pos, v))
            return false;
        out[i] = v * scale;
        if (i < 2) {
            if (pos >= text.size() || text[pos] != ',')
                return false;
            ++pos;
        }
    }
    return pos == text.size() || text[pos] == ',';
}

void applyModalWord(char letter, float value, State& s, float rateScale)
{
    int whole = 0, hundredths = 0;
    lex::splitCommand(value, whole, hundredths);
    if (letter == 'G') {
        if (whole <= 3)
            s.motion = static_cast<Motion>(whole);
        else if (whole == 38)
            s.motion = static_cast<Motion>(int(Motion::ProbeToward) + hundredths / 10 - 2);
        else if (whole == 80)
            s.motion = Motion::None;
        else if (whole >= 54 && whole <= 59)
            s.workSystem = static_cast<uint8_t>(whole - 54);
        else if (whole >= 17 && whole <= 19)
            s.plane = static_cast<Plane>(whole - 17);
        else if (whole == 20 || whole == 21)
            s.inches = whole == 20;
        else if ((whole == 90 || whole == 91) && hundredths == 0)
            s.incremental = whole == 91;
        else if (whole == 93 || whole == 94)
            s.inverseTime = whole == 93;
    } else if (letter == 'M') {
        if (whole == 3 || whole == 4 || whole == 5)
            s.spindle = whole == 3 ? Spindle::Cw : whole == 4 ? Spindle::Ccw : Spindle::Off;
        else if (whole == 7)
            s.coolant |= Mist;
        else if (whole == 8)
            s.coolant |= Flood;
        else if (whole == 9)
            s.coolant = 0;
    } else if (letter == 'T' && value >= 0 && value <= 255) {
        s.tool = static_cast<uint8_t>(value);
    } else if (letter == 'F') {
        s.feed = value * rateScale;
    } else if (letter == 'S') {
        s.spindleSpeed = value;
    }
}

bool applyModes(std::string_view words, State& state, float rateScale)
{
    State s = state;
    s.coolant = 0; // the report names every coolant that is on
    size_t pos = 0;
    while (pos < words.size()) {
        if (words[pos] == ' ') {
            ++pos;
            continue;
        }
        const char letter = words[pos++];
        float value = 0;
        if (letter < 'A' || letter > 'Z' || !lex::readNumber(words, pos, value))
            return false;
        applyModalWord(letter, value, s, rateScale);
    }
    state = s;
    return true;
}

} // namespace

bool applyControllerReport(std::string_view line, State& state, bool reportInches)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    if (line.size() < 4 || line.front() != '[' || line.back() != ']')
        return false;
    line = line.substr(1, line.size() - 2);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return false;
    const std::string_view key = line.substr(0, colon);
    const std::string_view value = line.substr(colon + 1);
    const float scale = reportInches ? MmPerInch : 1.0f;
    if (key == "GC")
        return applyModes(value, state, scale);
    float v[3];
    if (key == "TLO") {
        size_t pos = 0;
        float z = 0;
        if (!lex::readNumber(value, pos, z) || pos != value.size())
            return false;
        state.toolLengthOffset = z * scale;
        return true;
    }
    float* target = nullptr;
    if (key.size() == 3 && key[0] == 'G' && key[1] == '5' && key[2] >= '4' && key[2] <= '9')
        target = state.workOffsets[key[2] - '4'];
    else if (key == "G28")
        target = state.g28;
    else if (key == "G30")
        target = state.g30;
    else if (key == "G92")
        target = state.g92Offset;
    if (!target || !readTriple(value, v, scale))
        return false;
    std::memcpy(target, v, sizeof v);
    return true;
}

} // namespace gcode
