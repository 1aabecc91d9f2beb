#pragma once
// GRBL 1.1's serial grammar as the GRBL device needs it: the lines the firmware sends, its
// status reports, and the translation of its alarms, errors and pins into the controller's
// error codes and input bits (the table is in docs/grbl.md).

#include "controllercodes.h"

#include <cstdint>
#include <map>
#include <string>

namespace quenta {
namespace grbl {


// Realtime bytes: never part of a line, acted on at once by the firmware.
constexpr uint8_t StatusQuery = '?';
constexpr uint8_t FeedHold = '!';
constexpr uint8_t CycleStart = '~';
constexpr uint8_t SoftReset = 0x18;
constexpr uint8_t JogCancel = 0x85;

// One status report "<State|MPos:...|...>". Fields the report lacks keep their "have" false.
struct Report {
    std::string state;        // Idle, Run, Hold, Jog, Alarm, Door, Check, Home, Sleep
    int subState = -1;        // Hold:0 = hold complete, Hold:1 = braking; -1 = none
    bool machinePos = false;  // pos holds MPos (else WPos)
    int axes = 3;             // 4 when the firmware reports a fourth axis
    double pos[4] = {0, 0, 0, 0};
    bool haveWco = false;
    double wco[4] = {0, 0, 0, 0};
    bool haveBuffer = false;
    int blocksFree = 0;
    int bytesFree = 0;
    double feed = 0;
    std::string pins;         // letters of Pn:, empty when none is triggered
    bool haveOverrides = false;  // Ov: present, so A: (or its absence) is current
    int overrides[3] = {0, 0, 0};  // Ov: feed, rapid, spindle in percent
    bool spindle = false;     // A: S or C
    bool coolant = false;     // A: F or M
};

// Parses one report line (with or without its line end). False when it is no report.
bool parseReport(const std::string& line, Report& out);

enum class LineKind {
    Ok,        // ok
    Error,     // error:N (code)
    Alarm,     // ALARM:N (code)
    Report,    // <...>
    Welcome,   // Grbl X.Yz ['$' for help] (text = version)
    Setting,   // $N=value (code = N, text = value)
    Message,   // [MSG:text]
    Version,   // [VER:version:info] (text = version, info = build-info text)
    Options,   // [OPT:letters,blocks,bytes] (code = blocks, value = bytes)
    Other,     // other feedback ([GC:], [HLP:], >startup line) and noise
};

struct Line {
    LineKind kind = LineKind::Other;
    int code = 0;
    int value = 0;
    std::string text;
    std::string info;
};

Line classifyLine(const std::string& line);

// Controller error codes for firmware errors and alarms. axisHint is the axis (0..3) of the last
// commanded motion and its sign (+1/-1), used where GRBL names a travel limit without the axis;
// pins are the last Pn letters, used for the hard limit.
uint8_t errorCodeForError(int error, int axisHint = -1, int direction = 0);
uint8_t errorCodeForAlarm(int alarm, const std::string& pins, int axisHint = -1,
                          int direction = 0);

// What GRBL 1.1 means by error:N and ALARM:N, in a few words ("unknown" for other numbers).
std::string errorMessage(int error);
std::string alarmMessage(int alarm);

// The input bits for the triggered pins of a report.
uint8_t inputsFromPins(const std::string& pins);

// A number for a G-code word or setting: at most three decimals, no trailing zeros, "-0" as
// "0", within +-1e9 (an infinity or NaN gives "0").
std::string formatNumber(double value);
// A distance with as many decimals (at most six) as GRBL reads: its number reader keeps eight
// digits, leading zeros included. "-0" is "0"; beyond +-1e7 the value is clamped.
std::string formatDistance(double value);

}  // namespace grbl
}  // namespace quenta
