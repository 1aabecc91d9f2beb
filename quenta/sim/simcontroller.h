#pragma once
// The simulated controller: a small 4-axis stepper machine with command buffer, parameter
// store, RAM program slots and bootloader, driven by an explicit clock (advance) so that the
// same core runs in real time (SimDevice, kavro-sim) and in fast deterministic tests.
//
// Coordinates. The core tracks where each axis physically is, in steps of the machine frame
// in which the travel range 0409/040A and the park position 040B (millimetres times the
// resolution 0400 ... 0403) are given. The positions it reports are relative to the zero
// point ("origin"): reported = machine - origin.
// - At power-up every linear axis stands in the middle of its travel range, unreferenced,
//   and the origin is the current position (all positions read 0).
// - NullPunktSetzen(x, y, z, c) makes the current position read (x, y, z, c): origin =
//   machine - value. The command is queued like a motion command.
// - A reference run sets each referenced axis's origin to the machine coordinate 040C.
// - End switches sit 1 mm outside both ends of the travel range. A referenced axis stops at
//   the range end with the axis's lower/upper-limit error; an unreferenced axis does not know
//   the range, runs on to the switch and stops there with the end-switch error.
// - Rotary axes (040D = 1) have no range and no switches; deactivated axes (2) never move.
//
// Speeds. A relative move of a pair runs both axes together and finishes both at once: the
// axis with the longer way runs at the commanded speed (steps/s or mm/s), the other in
// proportion. Speed 0 means the travel speed 0101 (mm/s). Relative moves run at constant
// speed; "Not Halt" brakes with a ramp (acceleration 0107, mm/s^2).
//
// Linear moves (moveLinearMm) run all four axes along the straight line to a target relative
// to the zero point, rounded to whole steps. The feed (mm/min along the path) is limited so
// that no axis runs faster than the rapid speed 0102; they accelerate from standstill and brake
// to standstill at 0107, both limits holding for the axis with the longest way, so consecutive
// linear moves stop between each other. A target beyond the travel range or an end switch
// is cut there with the error a relative move raises; the move brakes to a stop at that point.
//
// Park needs every active axis referenced; otherwise it fails with 0x03, because without a
// reference the controller does not know where the park position lies.
//
// Every queued command takes at least 1 ms, so a RAM program repeating without end never
// stalls the clock.
//
// Not thread safe: the owner serialises all calls.

#include "controllercodes.h"
#include "device.h"
#include "simoptions.h"

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace quenta {

class SimController {
public:
    static constexpr int BufferSize = 256;
    static constexpr int RamSlots = 4;
    static constexpr int RamCapacity = 100;
    static constexpr int64_t MinCommandUs = 1000;
    // While something changes, reports fall on a grid of 20 ms of the clock, so simulators
    // report at the same moments and one wake-up of the program serves all of them; two
    // reports are at least FastStatusUs - GridSlackUs apart, so a late wake-up still makes
    // the next grid point.
    static constexpr int64_t FastStatusUs = 20000;
    static constexpr int64_t GridSlackUs = 5000;
    static constexpr int64_t SlowStatusUs = 500000;  // at least one per 500 ms
    static constexpr int64_t StatusPollUs = 5000;    // re-check while busy but unchanged
    static constexpr int BootBlockSize = 8192;
    static constexpr size_t MaxStoredFirmware = 4u << 20;

    // Its error codes, flags and inputs are those of controllercodes.h.

    SimController();

    // Clock.
    void advance(int64_t ms) { advanceUs(ms * 1000); }
    void advanceUs(int64_t us);
    int64_t nowUs() const { return now; }

    // Connection and status notifications.
    void connect();
    void disconnect();
    bool isConnected() const { return connected; }
    // False while the silence fault holds: the controller answers nothing.
    bool answering() const;
    // True when a status notification is due now (and counts it as sent): on the 20 ms grid
    // while something changes, and one at least every 500 ms while connected.
    bool takeNotification();
    // Microseconds until takeNotification should be asked again (0 only when it is true
    // now); while something runs without changing the report yet, at most StatusPollUs.
    int64_t usUntilStatusCheck() const;
    StatusReport status() const;
    std::string name() const;
    // Replaces the controller name (parameter 0505), cut to 16 characters.
    void setName(const std::string& name);
    // Something runs or waits: a motion, a WAIT, a reference run, a RAM program, the buffer.
    bool busy() const;

    // Commands, with the results of the C functions (1 done or accepted, 0 refused).
    int acknowledgeError();
    int emergencyHalt();
    int emergencyStop();
    int park();
    // pair 0 = X/Y, 1 = Z/C. Distances are relative, in steps or in millimetres.
    int moveSteps(int pair, int32_t speed, int32_t first, int32_t second);
    int moveMm(int pair, float speed, float first, float second);
    // target: X, Y, Z, C in mm relative to the zero point; feed in mm/min, <= 0 the fastest.
    // Only in mode 2: mode 3 refuses it with 0x03, RAM programs do not hold linear moves.
    int moveLinearMm(const float target[4], float feed);
    int wait(int32_t ms);
    int reference();
    int setZeroSteps(const int32_t v[4]);
    int setZeroMm(const float v[4]);
    int setSpindleCoolant(uint8_t spindle, uint8_t coolant);
    int setOutputs(uint8_t bits);
    int changeMode(uint8_t mode);
    int loadRam(uint8_t ram);
    int startRam(uint8_t ram, uint8_t count);
    int readParameter(uint8_t group, uint8_t index, uint8_t result[16]);
    int setParameter(uint8_t group, uint8_t index, const Device::ParamValue& value);

    // Inputs a test or the operator of kavro-sim sets.
    void setGeneralInputs(uint8_t bits);
    // Switch inputs forced on (end switches, emergency stop, joystick). A rising end-switch
    // bit outside a reference run stops the machine with that axis's end-switch error; a
    // rising emergency bit stops it with 0x53.
    void setSwitchInputs(uint8_t bits);

    // Inspection for tests and kavro-sim.
    int mode() const { return currentMode; }
    double machinePosition(int axis) const;
    bool isReferenced(int axis) const { return referenced[axis]; }
    size_t bufferFill() const { return buffer.size(); }
    bool ramRunning() const { return ram.active; }
    // The RAM program under way (slot 0: none), also while its last commands still run.
    quenta::RamRun ramProgress() const;
    // How the program last started ended, once, as soon as it has (false: it runs, or its
    // end was told already).
    bool takeRamEnd(RamRunEnd& end);
    // A reference run runs or waits in the buffer.
    bool referencing() const;
    int ramLength(int slot) const;

    // Bootloader (firmware-update mode).
    // Resets the controller into its bootloader; false when it has none.
    bool enterBootloader();
    // Bytes that reach the running firmware outside the wire protocol, such as the host's raw
    // channel in firmware-update mode. The firmware ignores them, with one exception that
    // models the operator: a program asks for Enter+Reset at the controller and sends the
    // bootloader's identification request "S" once the operator confirmed, so the first "S"
    // stands for that Enter+Reset and restarts the controller into its bootloader (when it has
    // one). Returns the offset where the bootloader's bytes begin: that "S", 0 when the
    // bootloader runs already, count when the firmware keeps running (no "S", no bootloader).
    size_t resetOnIdentify(const uint8_t* data, size_t count);
    bool inBootloader() const { return boot.active; }
    // Feeds bytes to the bootloader and appends its answers to reply. Returns how many bytes
    // it consumed: fewer than count when a frame's sync byte made it return to the firmware
    // (the rest belongs to the wire protocol).
    size_t bootloaderInput(const uint8_t* data, size_t count, std::vector<uint8_t>& reply);
    // Leaves the bootloader and restarts the firmware (parameters and positions are kept).
    void leaveBootloader();
    // The data bytes of every block received since the last erase (at most 4 MiB kept).
    const std::vector<uint8_t>& receivedFirmware() const { return boot.image; }
    uint32_t receivedCrc() const;
    int receivedBlocks() const { return boot.blocks; }

    SimFaults& faults() { return faultSet; }
    const SimFaults& faults() const { return faultSet; }

private:
    // Injected failures, unknown numbers (0x91) and the mode (parameters only in mode 1) for
    // one parameter call; true when the call may go on.
    bool admitParameterCall(uint16_t key);
    // Stops the RAM program, also one whose last commands still run, before its end.
    void cutRam();
    enum class CommandKind { Move, Linear, Wait, Park, Reference, Zero, Func, Outputs };
    struct Command {
        CommandKind kind = CommandKind::Wait;
        int pair = 0;
        bool mm = false;
        double speed = 0.0;  // Linear: the feed in mm/min
        double values[4] = {0.0, 0.0, 0.0, 0.0};
        int32_t ms = 0;
        uint8_t a = 0;
        uint8_t b = 0;
    };
    // Linear: constant speed. Brake: from full speed to standstill. Ramp: accelerates during
    // the first `ramp` of the duration, brakes during the last, constant speed between.
    enum class Profile { Linear, Brake, Ramp };
    enum class Purpose { Command, RefSeek, RefFree, Brake };
    struct Segment {
        bool active = false;
        Purpose purpose = Purpose::Command;
        Profile profile = Profile::Linear;
        double from[4] = {0, 0, 0, 0};
        double to[4] = {0, 0, 0, 0};
        int64_t start = 0;
        int64_t duration = 0;
        double ramp = 0.0;      // Ramp: share of the duration each ramp takes, 0 ... 0.5
        uint8_t stopError = 0;  // raised when the segment ends (it was cut at a limit)
        int refAxis = -1;
    };
    struct ReferenceRun {
        bool active = false;
        std::vector<int> axes;
        std::vector<int> dirs;  // 0 positive, 1 negative
        size_t step = 0;
    };
    struct RamRun {
        bool active = false;
        int slot = 0;
        int remaining = 0;  // 0 = without end
        size_t index = 0;
        int pass = 0;            // 1-based
        int passes = 0;          // as started
        bool lastFetched = false;  // the last pass's last command left the program
        bool watched = false;      // its end is not told yet
        bool cut = false;          // stopped before its end
    };
    struct RamSlot {
        std::vector<Command> commands;
        bool overflow = false;
    };
    struct ParamSlot {
        Device::ParamKind kind = Device::ParamKind::Long;
        int32_t longs[8] = {0, 0, 0, 0, 0, 0, 0, 0};
        float f = 0.0f;
        std::string name;
    };
    struct Bootloader {
        bool active = false;
        bool silent = false;
        int addressBytes = 0;  // address bytes still expected after "A"
        int blockBytes = -1;   // data bytes still expected after "#"; -1 = not in a block
        uint32_t crc = 0;      // zlib running value
        int blocks = 0;
        std::vector<uint8_t> image;
    };

    int enqueue(const Command& c);
    void pump();
    bool startNext();
    void execute(const Command& c);
    void startMotion(const double target[4], double durationUs, Purpose purpose,
                     bool checkLimits, int refAxis = -1);
    void startLinear(const Command& c);
    void planRamp(Segment& s, double lengthMm, double speed, double accel) const;
    // How far along s (0 ... 1) the machine may go before a travel-range end or an end switch
    // stops it, and the error it stops with (0 and 1.0: the whole way).
    double limitFraction(const Segment& s, uint8_t& error) const;
    void cutAtLimits(Segment& s) const;
    void finishSegment();
    void nextReferenceStep();
    void startHold(int64_t us);
    void stopAll();
    void raise(uint8_t code) { errorCode = code; }
    void failExecution(uint8_t code);
    void resetRuntime();
    void setDefaults();
    double position(int axis) const;
    static double progress(const Segment& s, int64_t t);  // share of the duration, 0 ... 1
    double fraction(const Segment& s, int64_t t) const;
    // The speed at time t as a multiple of the segment's mean speed.
    double slope(const Segment& s, int64_t t) const;
    uint8_t switchBits() const;
    bool axisActive(int axis) const;
    bool axisLinear(int axis) const;
    bool anyMotion() const;

    float fparam(uint16_t key) const;
    int32_t lparam(uint16_t key, int i = 0) const;
    double resolution(int axis) const;
    double rangeLow(int axis) const;
    double rangeHigh(int axis) const;
    double switchMargin(int axis) const;

    int64_t now = 0;
    bool connected = false;
    int64_t connectedAt = 0;
    int64_t lastNotify = 0;
    StatusReport lastSent;
    // The grid point from which a changed report may be sent.
    int64_t nextChangeDue() const;

    int currentMode = 2;
    uint8_t errorCode = 0;
    uint8_t generalInputs = 0;
    uint8_t generalOutputs = 0;
    uint8_t forcedInputs = 0;
    bool spindle = false;
    bool coolant = false;
    double machine[4] = {0, 0, 0, 0};
    double origin[4] = {0, 0, 0, 0};
    bool referenced[4] = {false, false, false, false};

    std::deque<Command> buffer;
    Segment segment;
    ReferenceRun refRun;
    RamRun ram;
    std::array<RamSlot, RamSlots> ramSlots;
    int loadingSlot = 0;  // 1 ... 4 while mode 3 stores into a slot

    std::map<uint16_t, ParamSlot> params;
    Bootloader boot;
    SimFaults faultSet;
};

}  // namespace quenta
