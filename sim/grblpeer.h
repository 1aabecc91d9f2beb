#pragma once
// A GRBL 1.1h controller as the link library's tests, the benchmark and `kavro-sim --grbl` need
// it. The core (GrblPeer) runs on an explicit clock (advance) and models what a host can observe
// on the serial line:
// - a 128-byte receive buffer (127 usable) that loses bytes arriving while it is full, and the
//   realtime bytes ? ! ~ 0x18 0x80-0xA1 that never enter it;
// - G-code lines read by the project's GRBL interpreter (gcode::Interpreter): GRBL's error
//   numbers, its modal state, arcs split into the firmware's chords, offsets, dwells, M0/M2;
// - the main loop: characters move into an 80-character line buffer (blanks and comments
//   dropped, letters upper-cased); a line that must wait (planner full, a planner sync, a dwell,
//   an EEPROM write, homing) waits in the line buffer, and nothing behind it is read meanwhile;
// - a planner of 15 blocks, targets in single-precision millimetres rounded to whole steps,
//   GRBL's look-ahead (junction deviation, per-axis rates and accelerations, the last block
//   planned to stop), braking at the axes' acceleration for feed hold and jog cancel;
// - homing, soft and hard limits, the critical alarms that silence everything until a reset,
//   EEPROM stalls, status reports with the firmware's WCO/Ov refresh counters.
// GrblPtyServer serves the core on a pseudo-terminal in real time, handing it the received bytes
// at the line's baud rate as a UART would.

#include "interpreter.h"
#include "pty.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

class GrblPeer {
public:
    static constexpr int PlannerBlocks = 15;
    static constexpr size_t RxBuffer = 128;  // reported; one byte of it stays free
    static constexpr size_t LineBuffer = 80;
    static constexpr int Axes = 4;           // X Y Z reported; A accepted and tracked

    GrblPeer();
    // Power-up: the welcome line (and the lock message when homing is enabled).
    void powerUp();
    // Bytes arriving at the UART, one after the other with no time between them.
    void receive(const uint8_t* data, size_t count);
    void advance(int64_t us);
    std::string takeOutput();

    // Test hooks.
    void setPins(const std::string& pins) { pins_ = pins; }
    void hardLimit(char axis);
    void setSetting(int n, double v) { settings[n] = v; }
    // The next homing cycle finds no switch and raises this alarm (8 or 9); 0 = succeed.
    void failNextHoming(int alarm) { homingFailure = alarm; }
    void setHomingCycleMs(int ms) { homingCycleUs = int64_t(ms) * 1000; }
    // How long each EEPROM write stalls the main loop; -1 = a few ms per byte written.
    void setEepromStallMs(int ms) { eepromStallMs = ms; }
    // A firmware built without this $ command (for example "$C"): error:3, as for an unknown one.
    void refuseCommand(const std::string& line) { refused.insert(line); }

    // Observations.
    int eepromWrites = 0;
    int rxOverflows = 0;
    size_t rxHighWater = 0;
    int starvations = 0;   // the planner ran empty between motions of a stream
    int linesDone = 0;     // lines answered with ok or error
    int resets = 0;
    int ignoredPolls = 0;  // '?' not answered (homing, critical alarm)
    double travelled = 0;  // path length moved by planner blocks, mm
    int blocksStarted = 0; // planner blocks that began executing
    std::string state() const { return state_; }
    int holdState() const { return holdSub; }  // -1 none, 0 stopped, 1 braking
    int32_t steps(int axis) const;
    double machine(int axis) const;             // mm
    double workOffset(int axis) const { return axis < 3 ? parser_.workOffsets[0][axis] : 0; }
    const gcode::State& parserState() const { return parser_; }
    bool spindleOn() const { return spindle != 5; }
    bool homing() const { return homingLeft > 0; }
    bool critical() const { return critical_; }
    std::string buildInfo() const { return info; }

private:
    struct Block {
        int32_t target[Axes];
        double from[Axes];  // where the block started, in steps
        double length;      // mm
        double speed;       // nominal, mm/s
        double accel;       // mm/s^2, along the path
        double maxEntry2;   // (mm/s)^2: the junction's limit and both blocks' nominal speeds
        double entry2;      // (mm/s)^2 planned; the executing block's speed when last replanned
        bool jog;
    };
    // The rest of the executing block from the machine's speed: up towards the nominal speed,
    // cruising, down to the next block's entry speed in time.
    struct Ramp {
        double peak;        // mm/s
        double upTime, cruiseTime, downTime;  // s
        double upDistance, cruiseDistance;    // mm
    };
    // A step of the line in the line buffer; true when it is done.
    using Step = std::function<bool()>;

    void realtime(uint8_t byte);
    void mainLoop();
    void takeChar(char c);
    void executeLine(const std::string& line);
    void systemLine(const std::string& line);
    void gcodeLine(const std::string& line);
    void jogLine(const std::string& line);
    gcode::MachineSettings machineSettings() const;
    void applyLine(const gcode::State& next, bool writesEeprom);
    void queueBlocks(const std::string& line, const std::vector<gcode::Block>& blocks,
                     const gcode::State& beforeEnd);
    void queueMotion(const gcode::Block& block);
    void queueProbe(const gcode::Block& block, bool failIfUntouched);
    void queueDwell(float seconds);
    void queuePause();
    void queueProgramEnd();
    void softLimitAlarm();
    bool outsideSoftLimits(const float target[3]) const;
    void modesReport();
    void parametersReport();
    int storeSetting(int n, double v);
    void eepromWrite(int bytes);
    void report();
    void settingsReport();
    void reset();
    void resetParser();
    void raiseCritical(int code);
    void say(const std::string& s) { out += s + "\r\n"; }
    void answer(const std::string& s);
    void fail(int code) { job.push_back([this, code] { answer("error:" + std::to_string(code)); return true; }); }
    void finish() { job.push_back([this] { answer("ok"); return true; }); }
    bool plannerIdle() const { return planner.empty(); }
    bool suspended() const;
    bool moving() const;
    // Braking has begun to slow the machine down (it first runs out the prepared segments).
    bool decelerating() const { return braking && holdDelayUs <= 0; }
    void plan(const float target[Axes], double rate, bool rapid, bool jog);
    double junctionLimit2(const double unit[Axes]) const;
    void recalculate();
    void clearPlanner();
    double exitSpeed2() const;
    Ramp ramp() const;
    void startBlock();
    void move(double us, int mode);
    void stopped();
    void syncPositions();
    double spm(int axis) const;
    double axisSetting(int base, int axis) const;
    std::string position(double mm) const;
    void endHoming();

    std::map<int, double> settings;
    std::string info;
    std::string out;
    std::deque<char> rx;
    std::string lineBuf;
    int lineFlags = 0;
    std::deque<Step> job;  // the line being executed
    std::string state_ = "Idle";
    int holdSub = -1;
    bool critical_ = false;
    bool resetAfterLine = false;
    std::set<std::string> refused;  // $ commands answered as unknown  // leaving check mode: a reset once the line is answered
    bool braking = false;
    bool jogCancel = false;
    bool softLimitStop = false;
    double speed = 0;       // mm/s along the front block
    double holdDelayUs = 0; // a stop brakes once the segments already prepared have run
    double progress = 0;    // mm into the front block
    size_t planned = 0;     // blocks before this one keep their entry speeds: nothing improves them
    double lastUnit[Axes] = {0, 0, 0, 0};  // direction of the block planned last
    double lastNominal = 0;                // its nominal speed, mm/s
    double at[Axes] = {0, 0, 0, 0};          // machine position, steps (fractional in motion)
    int32_t planPos[Axes] = {0, 0, 0, 0};    // end of the last planned block, steps
    float gpos[Axes] = {0, 0, 0, 0};         // the parser's position, mm
    std::deque<Block> planner;
    double dwellUs = 0;
    double stallUs = 0;
    double homingLeft = 0;
    int homingPhase = 0;
    int64_t homingCycleUs = 250000;
    int homingFailure = 0;
    int eepromStallMs = -1;
    bool pendingReport = false;
    // The parser's modes and offsets ($G, $#, jogs); its position is gpos.
    gcode::State parser_;
    // What the machine does: the offset reports show and the accessories, both set once the
    // line that changes them has waited for the planner.
    float wco[3] = {0, 0, 0};
    float spindleSpeed = 0;
    int spindle = 5;   // 3, 4 or 5
    bool flood = false;
    bool mist = false;
    float probeAt[3] = {0, 0, 0};  // machine position of the last probing, mm
    bool probeOk = false;
    // Streaming observation.
    bool started = false;
    bool ranEmpty = false;
    int wcoCounter = 0;
    int ovrCounter = 0;
    std::string pins_;
};

// Serves a GrblPeer on a pseudo-terminal from its own thread, in real time. Received bytes reach
// the peer at the baud rate the client set (one byte every ten bit times), as through a UART.
class GrblPtyServer {
public:
    GrblPtyServer();
    ~GrblPtyServer();
    bool start();
    const std::string& path() const { return pty.slavePath(); }
    // Runs f with the peer locked.
    void with(const std::function<void(GrblPeer&)>& f);
    // Closes the pseudo-terminal, as when the USB cable is pulled.
    void hangup();
    // CPU seconds the peer's own thread has used, so a benchmark can tell the host's share.
    double threadCpuSeconds();
    std::atomic<bool> mute{false};

private:
    void loop();
    GrblPeer peer;
    std::mutex mutex;
    PseudoTerminal pty;
    std::atomic<bool> stop{false};
    std::thread thread;
};
