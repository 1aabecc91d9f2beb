#pragma once
// The link library's inner interface: one Device serves one open port.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "console.h"
#include "job.h"
#include "interpreter.h"
#include "machine.h"

struct TarvoPortSettings;

namespace quenta {

struct WorkCoordinates;

// One status report, in the field order of GetStatus_Schritte.
struct StatusReport {
    uint8_t firstValue = 0;
    uint8_t inputs = 0;
    uint8_t flags = 0;
    int32_t pos[4] = {0, 0, 0, 0};  // X, Y, Z, C in steps
    uint8_t bufferFill = 0;
    uint8_t generalInputs = 0;
    uint8_t generalOutputs = 0;
    uint8_t errorCode = 0;
};

enum class OpenMode { Normal, FirmwareUpdate };

// A RAM program the controller runs: its slot (0 = none runs), the pass under way (1-based) and
// how many passes it makes (0 = without end).
struct RamRun {
    int slot = 0;
    int pass = 0;
    int passes = 0;
};

// How a RAM program ended: after its last pass, or early, with the error code it raised (0
// when none) and the reason in words (empty when the code says it all).
struct RamRunEnd {
    RamRun run;  // pass: the pass it ended in
    bool completed = false;
    uint8_t errorCode = 0;
    std::string reason;
};

// What runs on the controller by itself after one call: a reference run, a RAM program.
struct RunState {
    bool referencing = false;
    RamRun ram;
};

// A controller behind a port. Every method but the status service's (waitForStatus, wake,
// pollStatus) is called with the library's per-port lock held, from any thread; those run on
// the library's own threads without that lock. Implementations guard their own state.
// Result values follow the C functions: 0 = failure, non-zero = done.
class Device {
public:
    virtual ~Device() = default;

    // Returns 0 on success, else the open result code (1 cannot open, 2 not a controller,
    // 3 no answer, 4 name mismatch) which the library stores at offset 93. controllerName
    // holds the record's name on entry; on success the device may replace it (at most 75
    // characters).
    virtual int open(OpenMode mode, int32_t baudRate, std::string& controllerName) = 0;
    // After a failed open: the system's reason ("No such file or directory"), when there is
    // one.
    virtual std::string openFailure() const { return {}; }
    virtual void closeTransfer() {}
    virtual void close() = 0;

    // How the library learns that a status notification is due.
    enum class StatusService {
        // A service thread of the port's own calls waitForStatus again and again; stopping
        // the port calls wake first.
        Thread,
        // The device decides its reports in the process without waiting on a line (the
        // simulated controller): one library thread serves all such devices. pollStatus
        // answers at once whether a report is due and sets when to ask again; the device
        // calls wakePolledDevices() whenever something may make a report due sooner.
        Polled,
        // The device has a thread of its own that learns of new status (the reader of a
        // line): it calls the notifier the library sets, from that thread and holding none of
        // its locks. An empty notifier stops it.
        Pushed,
    };
    virtual StatusService statusService() const { return StatusService::Thread; }

    // Thread: blocks for at most maxWait; true when a status notification is due now.
    virtual bool waitForStatus(std::chrono::milliseconds maxWait)
    {
        std::this_thread::sleep_for(maxWait);
        return false;
    }
    virtual void wake() {}
    // Polled.
    virtual bool pollStatus(std::chrono::microseconds& askAgainIn)
    {
        askAgainIn = std::chrono::seconds(1);
        return false;
    }
    // Pushed.
    virtual void setStatusNotifier(std::function<void()> notifier) { (void)notifier; }

    virtual int getStatus(StatusReport& out) = 0;
    // True when getStatus only reads what the device keeps under its own lock, so the library
    // answers it without waiting for a call in flight on the port.
    virtual bool statusWithoutCallLock() const { return false; }
    // Why the device refused the last call it refused, in words (empty when it gives none);
    // each reason is handed out once.
    virtual std::string takeRefusal() { return {}; }
    // The lines the device sent to the controller for the calls since the last time they were
    // taken, as it sent them (GRBL's G-code and realtime bytes); empty when it speaks no text.
    virtual std::vector<std::string> takeSentLines() { return {}; }
    // False when the device cannot tell what runs (a controller on a wire runs its reference
    // and its RAM programs without saying); it then leaves out untouched.
    virtual bool runState(RunState& out) { (void)out; return false; }
    // The RAM programs that ended since the last time their ends were taken; each told once.
    virtual std::vector<RamRunEnd> takeRamRunEnds() { return {}; }

    virtual int acknowledgeError() { return 0; }
    virtual int emergencyHalt() { return 0; }   // with braking ramp
    virtual int emergencyStop() { return 0; }   // without ramp
    virtual int park() { return 0; }
    // pair 0 = X/Y, 1 = Z/C; a and b point to six entries each, only entry 0 is a distance.
    virtual int moveSteps(int pair, int32_t speed, uint8_t one, const int32_t* a,
                          const int32_t* b, uint8_t three) = 0;
    virtual int moveMm(int pair, float speed, uint8_t one, const float* a, const float* b,
                       uint8_t three) = 0;
    virtual int wait(int32_t ms) { (void)ms; return 0; }
    virtual int reference(int32_t a, int32_t b) { (void)a; (void)b; return 0; }
    virtual int setZeroSteps(const int32_t v[4]) { (void)v; return 0; }
    virtual int setZeroMm(const float v[4]) { (void)v; return 0; }
    virtual int setSpindleCoolant(uint8_t spindle, uint8_t coolant) {
        (void)spindle; (void)coolant; return 0;
    }
    virtual int setOutputs(uint8_t bits) { (void)bits; return 0; }
    virtual int changeMode(uint8_t mode) { (void)mode; return 0; }
    // A coordinated straight move of every axis at once to target (mm, relative to the zero
    // point: X, Y, Z, C) at feed mm/min along the path (feed <= 0: the fastest the axes allow),
    // queued behind the commands before it like the relative moves. The job engine's motion on
    // our own controllers. 1 = queued.
    virtual int moveLinearMm(const float target[4], float feed) {
        (void)target; (void)feed; return 0;
    }
    // Work coordinates and manual motion (machinecontrol.h). The base class serves our own
    // controllers through the calls above (machinecontrol.cpp); GRBL brings its own lines.
    // Positions are read from what the device keeps, without a line to the controller.
    virtual bool workCoordinates(WorkCoordinates& out);
    virtual int readWorkOffsets() { return 1; }
    virtual int zeroAxes(unsigned axes);
    virtual int goToZero();
    // distanceMm 0: continuous, until cancelJog.
    virtual int jog(int axis, int direction, double distanceMm, double feedMmPerMin);
    virtual int cancelJog();
    // A controller that runs G-code jobs itself (GRBL) brings its own runner; for the others
    // the library feeds moveLinearMm.
    virtual std::unique_ptr<JobRunner> makeJobRunner() { return nullptr; }
    // Such a controller also tells its settings and its parser's state for the job: the
    // position (machine coordinates, mm), the work offsets and the modes in force.
    virtual bool jobMachine(gcode::MachineSettings& settings, gcode::State& start) {
        (void)settings; (void)start; return false;
    }
    virtual int loadRam(uint8_t ram) { (void)ram; return 0; }
    virtual int startRam(uint8_t ram, uint8_t count) { (void)ram; (void)count; return 0; }

    // result: 16 bytes. Values of setParameter: kind tells which C function was used.
    virtual int readParameter(uint8_t group, uint8_t index, uint8_t result[16]) {
        (void)group; (void)index; (void)result; return 0;
    }
    enum class ParamKind { Long, Float, FourLongs, FourUchar, RefSequence, Name };
    struct ParamValue {
        ParamKind kind = ParamKind::Long;
        int32_t longs[8] = {0, 0, 0, 0, 0, 0, 0, 0};  // Long: [0]; FourLongs/FourUchar: [0..3];
                                                   // RefSequence: dir0..3, order0..3
        float f = 0.0f;
        char name[32] = {};
    };
    virtual int setParameter(uint8_t group, uint8_t index, const ParamValue& value) {
        (void)group; (void)index; (void)value; return 0;
    }

    virtual int writeBytes(const uint8_t* bytes, int32_t length) {
        (void)bytes; (void)length; return 0;
    }
    // Returns the number of bytes copied; waits at most 1 ms when nothing is buffered.
    virtual int readBytes(uint8_t* bytes, int32_t length) { (void)bytes; (void)length; return 0; }

    // --- console (console.h): controllers that read text lines themselves ---
    virtual bool hasConsole() const { return false; }
    // Queues the line and returns at once; 0 with the reason when refused.
    virtual int consoleSend(const std::string& line, std::string& reason) {
        (void)line;
        reason = "this controller has no console";
        return 0;
    }
    // These two are called without the per-port lock (a hold must not wait behind a call in
    // flight): the device guards its line and its transcript itself.
    virtual int consoleRealtime(uint8_t byte) { (void)byte; return 0; }
    virtual void consoleTake(std::vector<ConsoleEntry>& out) { (void)out; }
};

// Wakes the thread that serves the polled devices (StatusService::Polled); cheap, and safe to call
// from any thread, with or without a device's own lock held.
void wakePolledDevices();

// Builds the device for a port text ("COM3"); nullptr when the port cannot be served.
using DeviceFactory = std::function<std::shared_ptr<Device>(const std::string& port)>;

// Test hook: while set, every open asks this factory instead of the port map.
// Pass an empty function to restore the port map.
void setDeviceFactory(DeviceFactory factory);

// The device's side of the calls, for the operator's log: none of these waits for a call in
// flight on the port. Empty / false for a record that is not open.
std::vector<std::string> takeSentLines(TarvoPortSettings* record);
bool runState(TarvoPortSettings* record, RunState& out);
std::vector<RamRunEnd> takeRamRunEnds(TarvoPortSettings* record);

// The device the port map names for a port: "simulator" or nothing = the in-process simulated
// controller; "grbl:<path>" = a GRBL 1.1 controller on that tty; anything else is a serial
// device path speaking our wire protocol.
std::shared_ptr<Device> createDeviceFromPortMap(const std::string& port);

// The system's reason for the last failed open of the record's port (empty after a
// successful open, or when the device gave none).
std::string lastOpenFailure(const TarvoPortSettings* record);

// Why the device of an open port refused its last refused call, when it says; empty otherwise,
// and once a reason has been taken.
std::string takeRefusal(TarvoPortSettings* record);

// Runs f on the device of the record's open port and returns its result; 0 when the port is
// not open. For the calls beside the C functions that live in their own files (console.cpp,
// machinecontrol.cpp). locked: with the port's call lock, as the C functions hold it; without
// it only for what the device guards itself (its kept status, its transcript).
int withPortDevice(TarvoPortSettings* record, bool locked, const std::function<int(Device&)>& f);

}  // namespace quenta
