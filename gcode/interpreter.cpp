#include "interpreter.h"

#include "arcs.h"
#include "lexer.h"

#include <cmath>
#include <cstring>

// The checks below run in the firmware's order, so a line with several faults reports the
// error the firmware reports. All arithmetic is single precision, as on the controller.

namespace gcode {

namespace {

constexpr float MmPerInch = 25.4f;
constexpr float MaxLineNumber = 10000000;
constexpr int MaxTool = 255;

// Error codes of GRBL 1.1.
enum : int {
    NegativeValue = 4, UnsupportedCommand = 20, ModalGroupViolation = 21,
    UndefinedFeedRate = 22, CommandValueNotInteger = 23, AxisCommandConflict = 24,
    WordRepeated = 25, NoAxisWords = 26, InvalidLineNumber = 27, ValueWordMissing = 28,
    UnsupportedCoordSys = 29, G53InvalidMotionMode = 30, AxisWordsExist = 31,
    NoAxisWordsInPlane = 32, InvalidTarget = 33, ArcRadiusError = 34, NoOffsetsInPlane = 35,
    UnusedWords = 36, G43DynamicAxisError = 37, MaxValueExceeded = 38, LineOverflow = 11,
};

// Modal groups, as bits of the line's command mask.
enum Group : uint16_t {
    GNonModal = 1 << 0, GMotion = 1 << 1, GPlane = 1 << 2, GDistance = 1 << 3,
    GArcDistance = 1 << 4, GFeedMode = 1 << 5, GUnits = 1 << 6, GCutterComp = 1 << 7,
    GToolLength = 1 << 8, GWorkSystem = 1 << 9, GPathControl = 1 << 10,
    MFlow = 1 << 11, MSpindle = 1 << 12, MCoolant = 1 << 13,
};

// Value words, as bits of the line's value mask.
enum ValueWord : uint16_t {
    WF = 1 << 0, WI = 1 << 1, WJ = 1 << 2, WK = 1 << 3, WL = 1 << 4, WN = 1 << 5, WP = 1 << 6,
    WR = 1 << 7, WS = 1 << 8, WT = 1 << 9, WX = 1 << 10, WY = 1 << 11, WZ = 1 << 12,
};

enum class NonModal : uint8_t {
    None, Dwell, SetCoordinateData, GoHome28, SetHome28, GoHome30, SetHome30,
    AbsoluteOverride, SetOffset, ResetOffset,
};
enum class AxisCommand : uint8_t { None, NonModal, Motion, ToolLength };
enum class Flow : uint8_t { Running, Pause, OptionalStop, End };
enum class ToolLengthMode : uint8_t { Unchanged, Cancel, Dynamic };

bool isFeedMotion(Motion m)
{
    return m != Motion::Rapid && m != Motion::None;
}

bool isArc(Motion m)
{
    return m == Motion::ArcCw || m == Motion::ArcCcw;
}

// The axis a value word sets, or -1.
int axisOf(char letter)
{
    return letter >= 'X' && letter <= 'Z' ? letter - 'X' : -1;
}

int offsetAxisOf(char letter)
{
    return letter >= 'I' && letter <= 'K' ? letter - 'I' : -1;
}

bool allFinite(const float v[3])
{
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

// The distance the planner moves for a block: from step counts, as the firmware measures it.
float plannerLength(const float from[3], const float to[3], const MachineSettings& m)
{
    float sum = 0;
    for (int i = 0; i < 3; ++i) {
        const auto spm = static_cast<float>(m.stepsPerMm[i]);
        const float steps = static_cast<float>(std::lround(to[i] * spm) -
                                               std::lround(from[i] * spm));
        const float mm = steps / spm;
        sum += mm * mm;
    }
    return std::sqrt(sum);
}

} // namespace

float State::workPosition(int axis) const
{
    float w = position[axis] - workOffsets[workSystem][axis] - g92Offset[axis];
    return axis == 2 ? w - toolLengthOffset : w;
}

// One line as the firmware's parser holds it between reading and executing.
struct Interpreter::Parsed {
    State next;                 // the modal state this line leads to, if it passes
    NonModal nonModal = NonModal::None;
    AxisCommand axisCommand = AxisCommand::None;
    Flow flow = Flow::Running;
    ToolLengthMode toolLength = ToolLengthMode::Unchanged;
    uint16_t commands = 0;      // Group bits
    uint16_t values = 0;        // ValueWord bits
    uint8_t axisWords = 0;      // bit per axis X Y Z
    uint8_t offsetWords = 0;    // bit per axis I J K
    float xyz[3] = {0, 0, 0};
    float ijk[3] = {0, 0, 0};
    float f = 0, p = 0, r = 0, s = 0;
    int l = 0;
    float n = 0;
    int tool = 0;
    bool toolChange = false;    // M6, taken out of the line sent
    int coordSelect = 0;        // G10's system, 0-based
    float coordData[3] = {0, 0, 0};
    float workSystemOffset[3] = {0, 0, 0};
    int axis0 = 0, axis1 = 1, axisLinear = 2;
};

// --- Reading the words ---------------------------------------------------------------------

namespace {

struct Reader {
    const State& state;
    Interpreter::Parsed& p; // NOLINT: the parser fills it word by word

    int group(uint16_t bit)
    {
        if (p.commands & bit)
            return ModalGroupViolation;
        p.commands |= bit;
        return 0;
    }

    int axisCommand(AxisCommand kind)
    {
        if (p.axisCommand != AxisCommand::None)
            return AxisCommandConflict;
        p.axisCommand = kind;
        return 0;
    }

    int nonModal(int whole, int& hundredths, uint16_t& bit)
    {
        bit = GNonModal;
        if ((whole == 10 || whole == 28 || whole == 30 || whole == 92) && hundredths == 0) {
            if (const int e = axisCommand(AxisCommand::NonModal))
                return e;
        }
        switch (whole) {
        case 4: p.nonModal = NonModal::Dwell; break;
        case 10: p.nonModal = NonModal::SetCoordinateData; break;
        case 53: p.nonModal = NonModal::AbsoluteOverride; break;
        default:
            if (hundredths != 0 && hundredths != 10)
                return UnsupportedCommand;
            const bool set = hundredths == 10;
            p.nonModal = whole == 28   ? (set ? NonModal::SetHome28 : NonModal::GoHome28)
                         : whole == 30 ? (set ? NonModal::SetHome30 : NonModal::GoHome30)
                                       : (set ? NonModal::ResetOffset : NonModal::SetOffset);
            hundredths = 0;
        }
        return 0;
    }

    int motion(int whole, int& hundredths, uint16_t& bit)
    {
        bit = GMotion;
        if (whole != 80) {
            if (const int e = axisCommand(AxisCommand::Motion))
                return e;
        }
        static const Motion plain[] = {Motion::Rapid, Motion::Linear, Motion::ArcCw,
                                       Motion::ArcCcw};
        if (whole == 80) {
            p.next.motion = Motion::None;
        } else if (whole < 4) {
            p.next.motion = plain[whole];
        } else {
            if (hundredths != 20 && hundredths != 30 && hundredths != 40 && hundredths != 50)
                return UnsupportedCommand;
            p.next.motion = static_cast<Motion>(int(Motion::ProbeToward) + hundredths / 10 - 2);
            hundredths = 0;
        }
        return 0;
    }

    int toolLength(int whole, int& hundredths, uint16_t& bit)
    {
        bit = GToolLength;
        if (const int e = axisCommand(AxisCommand::ToolLength))
            return e;
        if (whole == 49)
            p.toolLength = ToolLengthMode::Cancel;
        else if (hundredths == 10)
            p.toolLength = ToolLengthMode::Dynamic;
        else
            return UnsupportedCommand;
        hundredths = 0;
        return 0;
    }

    // Applies one G word to the line's modes; `bit` receives its modal group.
    int gWord(int whole, int& hundredths, uint16_t& bit)
    {
        switch (whole) {
        case 4: case 10: case 28: case 30: case 53: case 92:
            return nonModal(whole, hundredths, bit);
        case 0: case 1: case 2: case 3: case 38: case 80:
            return motion(whole, hundredths, bit);
        case 17: case 18: case 19:
            p.next.plane = static_cast<Plane>(whole - 17);
            bit = GPlane;
            return 0;
        case 90: case 91:
            if (hundredths == 0) {
                p.next.incremental = whole == 91;
                bit = GDistance;
                return 0;
            }
            if (hundredths != 10 || whole == 90)
                return UnsupportedCommand;
            hundredths = 0;
            bit = GArcDistance;
            return 0;
        case 93: case 94:
            p.next.inverseTime = whole == 93;
            bit = GFeedMode;
            return 0;
        case 20: case 21:
            p.next.inches = whole == 20;
            bit = GUnits;
            return 0;
        case 40:
            bit = GCutterComp;
            return 0;
        case 43: case 49:
            return toolLength(whole, hundredths, bit);
        case 54: case 55: case 56: case 57: case 58: case 59:
            p.next.workSystem = static_cast<uint8_t>(whole - 54);
            bit = GWorkSystem;
            return 0;
        case 61:
            bit = GPathControl;
            return hundredths != 0 ? UnsupportedCommand : 0;
        default:
            return UnsupportedCommand;
        }
    }

    int gCommand(float value)
    {
        int whole = 0, hundredths = 0;
        lex::splitCommand(value, whole, hundredths);
        uint16_t bit = 0;
        if (const int e = gWord(whole, hundredths, bit))
            return e;
        if (hundredths != 0)
            return CommandValueNotInteger;
        return group(bit);
    }

    int mCommand(float value)
    {
        int whole = 0, hundredths = 0;
        lex::splitCommand(value, whole, hundredths);
        if (hundredths != 0)
            return CommandValueNotInteger;
        switch (whole) {
        case 0: p.flow = Flow::Pause; return group(MFlow);
        case 1: p.flow = Flow::OptionalStop; return group(MFlow);
        case 2: case 30: p.flow = Flow::End; return group(MFlow);
        case 3: p.next.spindle = Spindle::Cw; return group(MSpindle);
        case 4: p.next.spindle = Spindle::Ccw; return group(MSpindle);
        case 5: p.next.spindle = Spindle::Off; return group(MSpindle);
        case 7: p.next.coolant |= Mist; return group(MCoolant);
        case 8: p.next.coolant |= Flood; return group(MCoolant);
        case 9: p.next.coolant = 0; return group(MCoolant);
        default: return UnsupportedCommand;
        }
    }

    int valueWord(char letter, float value)
    {
        uint16_t bit = 0;
        if (const int a = axisOf(letter); a >= 0) {
            bit = uint16_t(WX << a);
            p.xyz[a] = value;
            p.axisWords |= uint8_t(1 << a);
        } else if (const int o = offsetAxisOf(letter); o >= 0) {
            bit = uint16_t(WI << o);
            p.ijk[o] = value;
            p.offsetWords |= uint8_t(1 << o);
        } else {
            switch (letter) {
            case 'F': bit = WF; p.f = value; break;
            case 'L': bit = WL; p.l = std::fabs(value) < 1e6f ? int(std::trunc(value)) : -1; break;
            case 'N': bit = WN; p.n = std::trunc(value); break;
            case 'P': bit = WP; p.p = value; break;
            case 'R': bit = WR; p.r = value; break;
            case 'S': bit = WS; p.s = value; break;
            case 'T':
                if (value > MaxTool)
                    return MaxValueExceeded;
                bit = WT;
                p.tool = int(std::trunc(value));
                break;
            default: return UnsupportedCommand;
            }
        }
        if (p.values & bit)
            return WordRepeated;
        if ((bit & (WF | WN | WP | WT | WS)) && value < 0)
            return NegativeValue;
        p.values |= bit;
        return 0;
    }

    int word(char letter, float value)
    {
        // More digits than a float holds read as infinity on the controller: refused here.
        if (!std::isfinite(value))
            return ErrorValueRange;
        if (letter == 'G')
            return gCommand(value);
        if (letter == 'M')
            return mCommand(value);
        return valueWord(letter, value);
    }
};

} // namespace

// --- Checking the line ---------------------------------------------------------------------

namespace {

struct Checker {
    const State& state;
    Interpreter::Parsed& p; // NOLINT

    int feedAndValues()
    {
        if (p.values & WN && p.n > MaxLineNumber)
            return InvalidLineNumber;
        if (p.next.inverseTime) {
            // Inverse time: every feed motion names its own F; nothing carries over.
            if (p.axisCommand == AxisCommand::Motion && isFeedMotion(p.next.motion) &&
                !(p.values & WF))
                return UndefinedFeedRate;
        } else if (!state.inverseTime) {
            if (p.values & WF)
                p.f *= p.next.inches ? MmPerInch : 1.0f;
            else
                p.f = state.feed;
        } // else: back from G93 to G94, the feed is only what this line gives
        if (!(p.values & WS))
            p.s = state.spindleSpeed;
        if (p.nonModal == NonModal::Dwell) {
            if (!(p.values & WP))
                return ValueWordMissing;
            p.values &= uint16_t(~WP);
        }
        return 0;
    }

    void plane()
    {
        static const int axes[3][3] = {{0, 1, 2}, {2, 0, 1}, {1, 2, 0}};
        const int* a = axes[static_cast<int>(p.next.plane)];
        p.axis0 = a[0];
        p.axis1 = a[1];
        p.axisLinear = a[2];
    }

    int unitsAndToolLength()
    {
        if (p.next.inches) {
            for (int i = 0; i < 3; ++i)
                if (p.axisWords & (1 << i))
                    p.xyz[i] *= MmPerInch;
        }
        if (p.axisCommand == AxisCommand::ToolLength &&
            p.toolLength == ToolLengthMode::Dynamic && p.axisWords != 0x4)
            return G43DynamicAxisError;
        std::memcpy(p.workSystemOffset, state.workOffsets[p.next.workSystem],
                    sizeof p.workSystemOffset);
        return 0;
    }

    int setCoordinateData()
    {
        if (!p.axisWords)
            return NoAxisWords;
        if (!(p.values & (WP | WL)))
            return ValueWordMissing;
        const int select = p.p < 1e6f ? int(std::trunc(p.p)) : 99;
        if (select > 6)
            return UnsupportedCoordSys;
        if (p.l != 20 && (p.l != 2 || (p.values & WR)))
            return UnsupportedCommand;
        p.values &= uint16_t(~(WL | WP));
        p.coordSelect = select > 0 ? select - 1 : p.next.workSystem;
        std::memcpy(p.coordData, state.workOffsets[p.coordSelect], sizeof p.coordData);
        for (int i = 0; i < 3; ++i) {
            if (!(p.axisWords & (1 << i)))
                continue;
            if (p.l == 20) {
                // The system's origin such that the current position reads as the value given.
                p.coordData[i] = state.position[i] - state.g92Offset[i] - p.xyz[i];
                if (i == 2)
                    p.coordData[i] -= state.toolLengthOffset;
            } else {
                p.coordData[i] = p.xyz[i];
            }
        }
        return 0;
    }

    int setOffset()
    {
        if (!p.axisWords)
            return NoAxisWords;
        for (int i = 0; i < 3; ++i) {
            if (p.axisWords & (1 << i)) {
                p.xyz[i] = state.position[i] - p.workSystemOffset[i] - p.xyz[i];
                if (i == 2)
                    p.xyz[i] -= state.toolLengthOffset;
            } else {
                p.xyz[i] = state.g92Offset[i];
            }
        }
        return 0;
    }

    // Axis words become a machine target: work offsets and distance mode applied, or none
    // of them under G53.
    void targets()
    {
        if (p.axisCommand == AxisCommand::ToolLength || !p.axisWords)
            return;
        for (int i = 0; i < 3; ++i) {
            if (!(p.axisWords & (1 << i))) {
                p.xyz[i] = state.position[i];
            } else if (p.nonModal != NonModal::AbsoluteOverride) {
                if (!p.next.incremental) {
                    p.xyz[i] += p.workSystemOffset[i] + state.g92Offset[i];
                    if (i == 2)
                        p.xyz[i] += state.toolLengthOffset;
                } else {
                    p.xyz[i] += state.position[i];
                }
            }
        }
    }

    int goHomeAndOverride()
    {
        if (p.nonModal == NonModal::GoHome28 || p.nonModal == NonModal::GoHome30) {
            const float* stored = p.nonModal == NonModal::GoHome28 ? state.g28 : state.g30;
            std::memcpy(p.ijk, stored, sizeof p.ijk);
            if (p.axisWords) {
                for (int i = 0; i < 3; ++i)
                    if (!(p.axisWords & (1 << i)))
                        p.ijk[i] = state.position[i];
            } else {
                p.axisCommand = AxisCommand::None;
            }
        } else if (p.nonModal == NonModal::AbsoluteOverride) {
            if (p.next.motion != Motion::Rapid && p.next.motion != Motion::Linear)
                return G53InvalidMotionMode;
        }
        return 0;
    }

    int nonModalCommands()
    {
        if (p.nonModal == NonModal::SetCoordinateData)
            return setCoordinateData();
        if (p.nonModal == NonModal::SetOffset)
            return setOffset();
        targets();
        return goHomeAndOverride();
    }

    bool sameAsPosition() const
    {
        return p.xyz[0] == state.position[0] && p.xyz[1] == state.position[1] &&
               p.xyz[2] == state.position[2];
    }

    int radiusArc(float x, float y, LineResult& result)
    {
        p.values &= uint16_t(~WR);
        if (sameAsPosition())
            return InvalidTarget;
        if (p.next.inches)
            p.r *= MmPerInch;
        float h = 4.0f * p.r * p.r - x * x - y * y;
        if (h < 0)
            return ArcRadiusError;
        const float chord = std::sqrt(x * x + y * y);
        if (chord == 0) {
            // Both ends at one point of the plane: the firmware divides by zero and gets no
            // centre at all, so the arc cannot run as programmed.
            result.arcRadiusMismatch = 0;
            return ErrorValueRange;
        }
        h = -std::sqrt(h) / chord;
        if (p.next.motion == Motion::ArcCcw)
            h = -h;
        if (p.r < 0) { // a negative R asks for the longer way round
            h = -h;
            p.r = -p.r;
        }
        p.ijk[p.axis0] = 0.5f * (x - y * h);
        p.ijk[p.axis1] = 0.5f * (y + x * h);
        return 0;
    }

    int centreArc(float x, float y, LineResult& result)
    {
        if (!(p.offsetWords & ((1 << p.axis0) | (1 << p.axis1))))
            return NoOffsetsInPlane;
        p.values &= uint16_t(~(WI | WJ | WK));
        if (p.next.inches) {
            for (int i = 0; i < 3; ++i)
                if (p.offsetWords & (1 << i))
                    p.ijk[i] *= MmPerInch;
        }
        x -= p.ijk[p.axis0];
        y -= p.ijk[p.axis1];
        const float endRadius = std::sqrt(x * x + y * y);
        p.r = std::sqrt(p.ijk[p.axis0] * p.ijk[p.axis0] + p.ijk[p.axis1] * p.ijk[p.axis1]);
        // The end must lie on the circle through the start: within 0.005 mm, or else within
        // 0.5 mm and 0.1 % of the radius.
        const float delta = std::fabs(endRadius - p.r);
        if (delta > 0.005f && (delta > 0.5f || delta > 0.001f * p.r)) {
            result.arcRadiusMismatch = delta;
            return InvalidTarget;
        }
        return 0;
    }

    int arc(LineResult& result)
    {
        if (!p.axisWords)
            return NoAxisWords;
        if (!(p.axisWords & ((1 << p.axis0) | (1 << p.axis1))))
            return NoAxisWordsInPlane;
        const float x = p.xyz[p.axis0] - state.position[p.axis0];
        const float y = p.xyz[p.axis1] - state.position[p.axis1];
        return (p.values & WR) ? radiusArc(x, y, result) : centreArc(x, y, result);
    }

    int motion(LineResult& result)
    {
        if (p.next.motion == Motion::None)
            return p.axisWords ? AxisWordsExist : 0;
        if (p.axisCommand != AxisCommand::Motion)
            return 0;
        if (p.next.motion == Motion::Rapid || p.next.motion == Motion::Linear) {
            if (p.next.motion == Motion::Linear && p.f == 0)
                return UndefinedFeedRate;
            if (!p.axisWords)
                p.axisCommand = AxisCommand::None;
            return 0;
        }
        if (p.f == 0)
            return UndefinedFeedRate;
        if (isArc(p.next.motion))
            return arc(result);
        if (!p.axisWords)
            return NoAxisWords;
        return sameAsPosition() ? InvalidTarget : 0;
    }

    int unusedWords()
    {
        uint16_t left = p.values & uint16_t(~(WN | WF | WS | WT));
        if (p.axisCommand != AxisCommand::None)
            left &= uint16_t(~(WX | WY | WZ));
        return left ? UnusedWords : 0;
    }

    int run(LineResult& result)
    {
        if (p.axisWords && p.axisCommand == AxisCommand::None)
            p.axisCommand = AxisCommand::Motion; // axis words alone continue the motion mode
        plane();
        int e = feedAndValues();
        if (!e)
            e = unitsAndToolLength();
        if (!e)
            e = nonModalCommands();
        if (!e)
            e = motion(result);
        if (!e)
            e = unusedWords();
        return e;
    }
};

} // namespace

// --- Executing the line --------------------------------------------------------------------

Interpreter::Interpreter(Target target, const MachineSettings& machine, bool mistCoolant)
    : target_(target), machine_(machine), mist_(mistCoolant), line_(new lex::Line)
{
}

Interpreter::~Interpreter() = default;
Interpreter::Interpreter(Interpreter&&) noexcept = default;
Interpreter& Interpreter::operator=(Interpreter&&) noexcept = default;

std::string Interpreter::sentText(std::string_view text, Target target, bool mistCoolant)
{
    lex::Line line;
    lex::lexLine(text, target, mistCoolant, line);
    std::string out;
    lex::sentText(line, out);
    return out;
}

const LineResult& Interpreter::interpret(std::string_view text, uint32_t lineIndex,
                                         std::vector<Block>& out)
{
    lex::Line& line = *line_;
    lex::lexLine(text, target_, mist_, line);
    result_.error = 0;
    result_.arcRadiusMismatch = 0;
    result_.programEnd = false;
    result_.sent = line.sentLength > 0;
    result_.sentLength = static_cast<uint16_t>(std::min<size_t>(line.sentLength, 0xFFFF));
    result_.unsupported = line.unsupported;
    if (line.realtimeByte) {
        result_.error = ErrorRealtimeByte;
        return result_;
    }
    if (line.tooLong) {
        result_.error = LineOverflow;
        return result_;
    }
    if (line.words.empty() && !line.lexError && !line.toolChange)
        return result_;

    Parsed p;
    p.next = state_;
    Reader reader{state_, p};
    for (const lex::Word& w : line.words) {
        if (!w.parse)
            continue;
        if (const int e = reader.word(w.letter, w.value)) {
            result_.error = e;
            return result_;
        }
    }
    if (line.lexError) {
        result_.error = line.lexError;
        return result_;
    }
    if (p.commands & MFlow && p.flow == Flow::End)
        result_.programEnd = true;
    Checker checker{state_, p};
    if (const int e = checker.run(result_)) {
        result_.error = e;
        result_.programEnd = false;
        return result_;
    }
    p.toolChange = line.toolChange;
    result_.error = execute(p, lineIndex, out);
    return result_;
}

namespace {

struct Emitter {
    const State& before;
    std::vector<Block>& out;
    uint32_t line;
    float at[3];

    void push(BlockKind kind, const float target[3], float value, uint8_t flags)
    {
        Block b;
        for (int i = 0; i < 3; ++i)
            b.target[i] = target[i];
        b.value = value;
        b.line = line;
        b.kind = kind;
        b.flags = flags;
        out.push_back(b);
        std::memcpy(at, target, sizeof at);
    }

    void pushMove(BlockKind kind, const float target[3], float value, uint8_t flags)
    {
        // The planner drops a move that goes nowhere.
        if (target[0] == at[0] && target[1] == at[1] && target[2] == at[2])
            return;
        push(kind, target, value, flags);
    }
};

// Whether the planner empties before this line goes on: spindle, coolant, a written offset.
bool needsSync(const State& s, const State& n, const Interpreter::Parsed& p)
{
    if (n.spindle != s.spindle || n.coolant != s.coolant)
        return true;
    if (s.spindle != Spindle::Off && p.s != s.spindleSpeed)
        return true;
    if (n.workSystem != s.workSystem)
        return true;
    if (p.axisCommand == AxisCommand::ToolLength) {
        const float tlo = p.toolLength == ToolLengthMode::Cancel ? 0 : p.xyz[2];
        if (tlo != s.toolLengthOffset)
            return true;
    }
    switch (p.nonModal) {
    case NonModal::SetCoordinateData: case NonModal::SetHome28: case NonModal::SetHome30:
    case NonModal::SetOffset: case NonModal::ResetOffset:
        return true;
    default:
        return false;
    }
}

float feedValue(const State& n, const Interpreter::Parsed& p, const float from[3],
                const MachineSettings& machine)
{
    // Inverse time: the line takes 1/F minutes, so the planner's rate is F times its length.
    return n.inverseTime ? p.f * plannerLength(from, p.xyz, machine) : p.f;
}

int arcMotion(const Interpreter::Parsed& p, const State& n, Emitter& emit,
              const MachineSettings& machine)
{
    Arc arc;
    std::memcpy(arc.start, emit.at, sizeof arc.start);
    std::memcpy(arc.target, p.xyz, sizeof arc.target);
    std::memcpy(arc.offset, p.ijk, sizeof arc.offset);
    arc.radius = p.r;
    arc.axis0 = p.axis0;
    arc.axis1 = p.axis1;
    arc.axisLinear = p.axisLinear;
    arc.clockwise = n.motion == Motion::ArcCw;
    if (!allFinite(arc.offset) || !std::isfinite(arc.radius))
        return ErrorValueRange;
    const ArcPlan plan = planArc(arc, static_cast<float>(machine.arcTolerance));
    if (!plan.valid)
        return ErrorValueRange;
    // In inverse time the firmware gives every chord F times the chord count as its rate in
    // mm/min, whatever the chord's length; a single-chord arc keeps the straight-line rule.
    float value = p.f;
    if (n.inverseTime) {
        value = plan.segments > 0 ? p.f * static_cast<float>(plan.segments)
                                  : p.f * plannerLength(arc.start, arc.target, machine);
    }
    Block chord;
    chord.kind = BlockKind::Feed;
    chord.value = value;
    chord.line = emit.line;
    appendArcChords(arc, plan, chord, emit.out);
    return 0;
}

int motion(const Interpreter::Parsed& p, State& n, Emitter& emit, const MachineSettings& machine)
{
    if (!allFinite(p.xyz))
        return ErrorValueRange;
    const uint8_t frame = p.nonModal == NonModal::AbsoluteOverride ? MachineFrame : 0;
    if (n.motion == Motion::Rapid) {
        emit.pushMove(BlockKind::Rapid, p.xyz, 0, frame);
    } else if (n.motion == Motion::Linear) {
        emit.pushMove(BlockKind::Feed, p.xyz, feedValue(n, p, emit.at, machine), frame);
    } else if (isArc(n.motion)) {
        if (const int e = arcMotion(p, n, emit, machine))
            return e;
    } else {
        // Probing stops where the probe touches; until a report says where, the path
        // continues from the programmed end.
        emit.push(BlockKind::Feed, p.xyz, feedValue(n, p, emit.at, machine), Probe);
    }
    std::memcpy(n.position, p.xyz, sizeof n.position);
    return 0;
}

// M0/M1 pause, M2/M30 end the program; the end restores the modes LinuxCNC restores.
void endOfLine(const Interpreter::Parsed& p, State& n, Emitter& emit)
{
    if (p.flow != Flow::End) {
        emit.push(BlockKind::Sync, n.position, 0, ProgramPause);
        return;
    }
    emit.push(BlockKind::Sync, n.position, 0, ProgramEnd);
    n.motion = Motion::Linear;
    n.plane = Plane::XY;
    n.incremental = false;
    n.inverseTime = false;
    n.workSystem = 0;
    n.spindle = Spindle::Off;
    n.coolant = 0;
}

} // namespace

int Interpreter::execute(const Parsed& p, uint32_t lineIndex, std::vector<Block>& out)
{
    const size_t firstBlock = out.size();
    State n = p.next;
    Emitter emit{state_, out, lineIndex, {state_.position[0], state_.position[1],
                                          state_.position[2]}};
    const bool toolChange = p.toolChange;
    if (needsSync(state_, n, p) || toolChange)
        emit.push(BlockKind::Sync, state_.position, 0, toolChange ? ToolChange : 0);
    if (p.nonModal == NonModal::Dwell)
        emit.push(BlockKind::Dwell, state_.position, p.p, 0);

    n.feed = p.f;
    n.spindleSpeed = p.s;
    if (p.values & WT)
        n.tool = static_cast<uint8_t>(p.tool);
    if (p.axisCommand == AxisCommand::ToolLength)
        n.toolLengthOffset = p.toolLength == ToolLengthMode::Cancel ? 0 : p.xyz[2];
    if (n.workSystem != state_.workSystem)
        std::memcpy(n.workOffsets[n.workSystem], p.workSystemOffset, sizeof p.workSystemOffset);

    switch (p.nonModal) {
    case NonModal::SetCoordinateData:
        std::memcpy(n.workOffsets[p.coordSelect], p.coordData, sizeof p.coordData);
        break;
    case NonModal::GoHome28: case NonModal::GoHome30:
        if (!allFinite(p.xyz) || !allFinite(p.ijk))
            return ErrorValueRange;
        if (p.axisCommand != AxisCommand::None)
            emit.pushMove(BlockKind::Rapid, p.xyz, 0, 0);
        emit.pushMove(BlockKind::Rapid, p.ijk, 0, MachineFrame);
        std::memcpy(n.position, p.ijk, sizeof n.position);
        break;
    case NonModal::SetHome28: std::memcpy(n.g28, state_.position, sizeof n.g28); break;
    case NonModal::SetHome30: std::memcpy(n.g30, state_.position, sizeof n.g30); break;
    case NonModal::SetOffset: std::memcpy(n.g92Offset, p.xyz, sizeof n.g92Offset); break;
    case NonModal::ResetOffset: std::memset(n.g92Offset, 0, sizeof n.g92Offset); break;
    default: break;
    }

    if (n.motion != Motion::None && p.axisCommand == AxisCommand::Motion) {
        if (const int e = motion(p, n, emit, machine_)) {
            out.resize(firstBlock);
            return e;
        }
    }
    if (p.commands & MFlow && p.flow != Flow::Running)
        endOfLine(p, n, emit);
    // A feed or position can still overflow (inches of a huge value, F times a length).
    bool finite = allFinite(n.position);
    for (size_t b = firstBlock; b < out.size() && finite; ++b)
        finite = allFinite(out[b].target) && std::isfinite(out[b].value);
    if (!finite) {
        out.resize(firstBlock);
        return ErrorValueRange;
    }
    state_ = n;
    return 0;
}

} // namespace gcode
