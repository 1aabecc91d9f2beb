// The English texts of the check's findings.

#include "lexer.h"
#include "program.h"

#include <cstdio>

namespace gcode {

namespace {

template <typename... Args>
std::string format(const char* pattern, Args... args)
{
    char buf[200];
    std::snprintf(buf, sizeof buf, pattern, args...);
    return buf;
}

// "G41", "G61.1", "Q0.5": a word as it was written, to three decimals at most.
std::string wordText(char letter, float value)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%c%.3f", letter, static_cast<double>(value));
    std::string s = buf;
    while (s.back() == '0')
        s.pop_back();
    if (s.back() == '.')
        s.pop_back();
    return s;
}

std::string refusalReason(char letter, float value)
{
    if (letter != 'G' && letter != 'M') {
        switch (letter) {
        case 'A': case 'B': case 'C': case 'U': case 'V': case 'W':
            return "an axis the controller does not have";
        case 'D': case 'H':
            return "a tool-table offset, which the controller does not keep";
        case 'Q':
            return "a canned-cycle value the controller cannot use";
        case 'O':
            return "a subroutine or loop, which the controller cannot run";
        default:
            return "a word the controller does not know";
        }
    }
    int whole = 0, hundredths = 0;
    lex::splitCommand(value, whole, hundredths);
    if (letter == 'M') {
        if (whole == 7)
            return "mist coolant is not built into this controller ($I lacks option M)";
        return "a machine function the controller does not have";
    }
    if (whole == 41 || whole == 42)
        return "cutter radius compensation changes the path, and the controller cannot do it";
    if (whole == 43)
        return "a tool length from a tool table the controller does not keep";
    if ((whole >= 81 && whole <= 89) || whole == 73 || whole == 76 || whole == 98 ||
        whole == 99)
        return "canned cycles are not supported by the controller";
    if (whole == 38)
        return "this controller cannot probe";
    if (whole == 90 && hundredths == 10)
        return "absolute arc centres would be read as incremental by the controller";
    if (whole == 59 || whole == 92 || whole == 28)
        return "a variant the controller does not support";
    return "a command the controller does not support";
}

std::string droppedReason(char letter, float value)
{
    int whole = 0, hundredths = 0;
    lex::splitCommand(value, whole, hundredths);
    if (letter == 'M')
        return "the operator's overrides stay enabled";
    if (letter == 'P' || letter == 'Q')
        return "the blending tolerance of G64 goes with it";
    if (whole == 97)
        return "the controller always reads S as spindle speed in rpm";
    if (whole == 64)
        return "path blending is a tuning; the controller follows the path exactly (G61)";
    return "exact stop only slows the path; the controller blends at its junction deviation";
}

} // namespace

std::string errorMeaning(int code)
{
    switch (code) {
    case 1: return "a word without its letter";
    case 2: return "a number missing or malformed";
    case 4: return "a negative value where only positive ones are allowed";
    case 11: return "the line is longer than the controller's line buffer";
    case 20: return "unsupported command";
    case 21: return "two commands of one modal group in a line";
    case 22: return "undefined feed rate";
    case 23: return "a command number that must be an integer";
    case 24: return "two commands in a line that both use the axis words";
    case 25: return "a word repeated in a line";
    case 26: return "axis words missing for the command";
    case 27: return "line number out of range";
    case 28: return "a required value word is missing";
    case 29: return "work coordinate system out of range";
    case 30: return "G53 is allowed only with G0 and G1";
    case 31: return "axis words that no command uses";
    case 32: return "the arc has no end point word in its plane";
    case 33: return "invalid motion target";
    case 34: return "the arc radius is too small for its end point";
    case 35: return "the arc has no centre offset in its plane";
    case 36: return "value words that no command uses";
    case 37: return "the dynamic tool length offset must name the Z axis only";
    case 38: return "tool number above 255";
    case ErrorRealtimeByte:
        return "a byte the controller acts on at once ('?', '!', '~', 0x18 or above 0x7F) "
               "outside a comment";
    case ErrorValueRange: return "a number or result beyond what the controller can compute";
    default: return "error";
    }
}

std::string Finding::message() const
{
    static const char axes[] = "XYZ";
    switch (kind) {
    case FindingKind::FirmwareError: {
        if (code == 33 && value > 0)
            return format("error:33: the arc does not close: its end lies %.3f mm off the "
                          "circle through its start (allowed: 0.005 mm, or 0.1 %% of the "
                          "radius up to 0.5 mm)",
                          double(value));
        if (code == 11)
            return "error:11: the line has more than 79 characters without comments and "
                   "blanks, more than the controller's 80-byte line buffer holds";
        const std::string what = errorMeaning(code);
        if (code >= 100)
            return what;
        return "error:" + std::to_string(code) + ": " + what;
    }
    case FindingKind::RefusedWord:
        return wordText(letter, value) + " refused: " + refusalReason(letter, value);
    case FindingKind::DroppedWord:
        return wordText(letter, value) + " dropped from the line sent: " +
               droppedReason(letter, value);
    case FindingKind::ToolChange:
        return "tool change to T" + std::to_string(code) + " (M6): the job pauses here for "
               "the operator";
    case FindingKind::OutsideTravel:
        return format("%c reaches machine coordinate %.3f mm, outside the machine space "
                      "[-$13%d, 0]",
                      axes[code], double(value), code) +
               (severity == Severity::Refuse ? ": the soft limits stop the job with ALARM:2"
                                             : ": the axis would run into its end");
    case FindingKind::SpanExceedsTravel:
        return format("the job spans %.3f mm in %c, more than the axis travels ($13%d)",
                      double(value), axes[code], code);
    }
    return {};
}

} // namespace gcode
