#pragma once
// The G-code interpreter: reads GRBL 1.1's dialect line by line, keeps the modal state the
// firmware keeps, and turns every line into the planner motions the firmware would make.

#include "block.h"
#include "machine.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace gcode {

namespace lex {
struct Line;
}

// The controller a job is meant for. Kavro controllers receive the interpreter's linear moves
// and cannot probe; everything else is GRBL 1.1's dialect on both.
enum class Target : uint8_t { Grbl, Kavro };

enum class Motion : uint8_t {
    Rapid, Linear, ArcCw, ArcCcw,          // G0 G1 G2 G3
    ProbeToward, ProbeTowardNoError,       // G38.2 G38.3
    ProbeAway, ProbeAwayNoError,           // G38.4 G38.5
    None,                                  // G80
};
enum class Plane : uint8_t { XY, ZX, YZ }; // G17 G18 G19
enum class Spindle : uint8_t { Off, Cw, Ccw };
enum CoolantBit : uint8_t { Flood = 0x01, Mist = 0x02 };

// The modal groups and the values the firmware keeps between lines.
struct State {
    Motion motion = Motion::Rapid;  // GRBL starts in G0
    Plane plane = Plane::XY;
    bool inches = false;            // G20
    bool incremental = false;       // G91 (arc centres are always incremental: G91.1)
    bool inverseTime = false;       // G93
    uint8_t workSystem = 0;         // 0..5 = G54..G59
    Spindle spindle = Spindle::Off;
    uint8_t coolant = 0;            // CoolantBit
    uint8_t tool = 0;               // T, tracked only
    float feed = 0;                 // mm/min (G94); the inverse time value of the line (G93)
    float spindleSpeed = 0;         // S
    float position[3] = {0, 0, 0};  // machine coordinates, mm
    float workOffsets[6][3] = {};   // G54..G59, mm
    float g92Offset[3] = {0, 0, 0};
    float toolLengthOffset = 0;     // G43.1, on Z
    float g28[3] = {0, 0, 0};       // G28.1 / G30.1 stored positions, machine coordinates
    float g30[3] = {0, 0, 0};

    // The work position of the current machine position.
    float workPosition(int axis) const;
};

// Reads one line of a controller's parameter reports into the state: `[GC:...]` ($G), and
// `[G54:x,y,z]`..`[G59:]`, `[G28:]`, `[G30:]`, `[G92:]`, `[TLO:z]` ($#). Values in inches when
// the controller reports inches ($13=1). False for any other line.
bool applyControllerReport(std::string_view line, State& state, bool reportInches = false);

// Error codes of the interpreter's own, beside GRBL's status codes 1..38.
constexpr int ErrorRealtimeByte = 100; // '?', '!', '~', 0x18 or a byte >= 0x80 outside comments
constexpr int ErrorValueRange = 101;   // a number or result the controller cannot represent

// What the target does with a word it lacks.
enum class WordFate : uint8_t {
    Dropped,    // only tunes the path: removed from the line sent, listed as a warning
    Refused,    // changes what is cut: the job is refused
    ToolChange, // M6: removed from the line sent; the job engine pauses at the line's Sync
};

struct UnsupportedWord {
    char letter = 0;
    float value = 0;
    WordFate fate = WordFate::Refused;
};

// The outcome of one line.
struct LineResult {
    int error = 0;                 // 0, a GRBL status code (error:N) or one of the above
    float arcRadiusMismatch = 0;   // with error 33 of a centre-form arc: the radius difference, mm
    bool sent = false;             // something is left to send after stripping
    bool programEnd = false;       // M2 / M30
    uint16_t sentLength = 0;       // characters of the line sent, without its line end
    std::vector<UnsupportedWord> unsupported;
};

class Interpreter {
public:
    explicit Interpreter(Target target = Target::Grbl, const MachineSettings& machine = {},
                         bool mistCoolant = true);
    ~Interpreter();
    Interpreter(Interpreter&&) noexcept;
    Interpreter& operator=(Interpreter&&) noexcept;

    // mistCoolant: whether the controller knows M7 (GRBL lists 'M' in $I's [OPT:] when built
    // with it); without it M7 refuses the job.
    void setState(const State& state) { state_ = state; }
    const State& state() const { return state_; }

    // Interprets one line (without its line end). Appends the line's blocks to `out` with
    // `lineIndex` as their line. A line the firmware rejects leaves the state as it was.
    const LineResult& interpret(std::string_view text, uint32_t lineIndex,
                                std::vector<Block>& out);

    // The text the controller receives for a line: comments, blanks and dropped words removed,
    // upper case. Empty for lines with nothing to send (blank, comment only, '%').
    static std::string sentText(std::string_view text, Target target, bool mistCoolant = true);

    struct Parsed; // a line between reading and executing (internal)

private:
    int execute(const Parsed& p, uint32_t lineIndex, std::vector<Block>& out);

    Target target_;
    MachineSettings machine_;
    bool mist_;
    State state_;
    LineResult result_;
    std::unique_ptr<lex::Line> line_; // buffers reused from line to line
};

} // namespace gcode
