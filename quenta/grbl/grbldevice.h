#pragma once
// A GRBL 1.1 controller on a serial tty. Every call of the link library is translated into GRBL
// lines, $ settings and realtime bytes; RAM programs and the parameters GRBL has no setting for
// are kept by the library. The mapping is described in docs/grbl.md.
//
// The parts: the tty (tty.h) carries bytes; the line channel (grblchannel.h) owns the character
// count, the answers and soft resets; the settings map (grblsettings.h) says which parameter
// lives in which $ setting; the host store (grblhoststore.h) keeps the others. This class holds
// the controller's state and turns calls into lines (grbldevice.cpp) and the firmware's reports
// into status (grblstatus.cpp).

#include "device.h"
#include "grblchannel.h"
#include "grblhoststore.h"
#include "grblprotocol.h"
#include "grblsettings.h"
#include "machine.h"
#include "tty.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace quenta {

class GrblDevice : public Device,
                   private Tty::Handler,
                   private grbl::LineChannel::Sink,
                   private grbl::LineChannel::Listener {
public:
    // The connect waits this long for the welcome line, and sends one soft reset when nothing
    // has come after ResetAfterMs (boards that do not restart when the port opens).
    static constexpr int WelcomeWaitMs = 3000;
    static constexpr int ResetAfterMs = 1000;
    // How long a line waits for its answer; with the write it stays within 200 ms. A line
    // still unanswered then stays in flight and counts as sent while the firmware is heard.
    static constexpr int ReplyTimeoutMs = 150;
    // A setting write stalls the firmware for its EEPROM write: it waits a little longer.
    static constexpr int SettingTimeoutMs = 190;
    // Without a byte from the firmware for this long (it answers "?" every PollMs), calls
    // fail at once. Homing and a critical alarm silence GRBL on purpose: they do not count.
    static constexpr int SilenceMs = 500;
    // Status: "?" at most every PollMs (HaltPollMs while an emergency halt is under way); a
    // notification when the report changed, and at least every NotifyMs while the firmware
    // answers or is silent on purpose.
    static constexpr int PollMs = 100;
    static constexpr int HaltPollMs = 20;
    static constexpr int NotifyMs = 500;
    static constexpr int AnsweringMs = 1500;
    static constexpr int HomingMaxMs = 120000;
    // An emergency halt that has not come to rest after this long ends in a soft reset.
    static constexpr int HaltMaxMs = 5000;
    // RAM programs kept per port: slots 1 ... 4 of at most this many lines each.
    static constexpr int RamSlots = 4;
    static constexpr size_t RamCapacity = 20000;
    static constexpr size_t SentKept = 32;

    // path: the tty; port: the port text, which names the persisted parameters.
    GrblDevice(std::string path, std::string port,
               std::unique_ptr<grbl::HostParameterStore> store = nullptr);
    ~GrblDevice() override;
    GrblDevice(const GrblDevice&) = delete;
    GrblDevice& operator=(const GrblDevice&) = delete;

    int open(OpenMode mode, int32_t baudRate, std::string& controllerName) override;
    std::string openFailure() const override { return tty.reason(); }
    void close() override;
    bool waitForStatus(std::chrono::milliseconds maxWait) override;
    void wake() override;
    int getStatus(StatusReport& out) override;
    bool statusWithoutCallLock() const override { return true; }
    std::string takeRefusal() override;
    std::vector<std::string> takeSentLines() override;
    bool runState(RunState& out) override;
    std::vector<RamRunEnd> takeRamRunEnds() override;

    int acknowledgeError() override;
    int emergencyHalt() override;
    int emergencyStop() override;
    int park() override;
    int moveSteps(int pair, int32_t speed, uint8_t one, const int32_t* a, const int32_t* b,
                  uint8_t three) override;
    int moveMm(int pair, float speed, uint8_t one, const float* a, const float* b,
               uint8_t three) override;
    int wait(int32_t ms) override;
    int reference(int32_t a, int32_t b) override;
    int setZeroSteps(const int32_t v[4]) override;
    int setZeroMm(const float v[4]) override;
    int setSpindleCoolant(uint8_t spindle, uint8_t coolant) override;
    int setOutputs(uint8_t bits) override;
    int changeMode(uint8_t mode) override;
    int loadRam(uint8_t ram) override;
    int startRam(uint8_t ram, uint8_t count) override;
    int readParameter(uint8_t group, uint8_t index, uint8_t result[16]) override;
    int setParameter(uint8_t group, uint8_t index, const ParamValue& value) override;

    bool isLost() const;

    // G-code jobs (grbljob.cpp): the device feeds the job's lines from its reader thread as
    // the firmware answers, on the one line channel.
    std::unique_ptr<JobRunner> makeJobRunner() override;
    bool jobMachine(gcode::MachineSettings& settings, gcode::State& start) override;
    int startJob(std::shared_ptr<const JobSource> source, const JobOptions& options);
    int controlJob(JobControl what);
    int overrideJob(uint8_t command);
    JobProgress jobProgress() const;
    // The firmware's settings that shape a job's path and time.
    gcode::MachineSettings machineSettings() const;

    // The console (grblconsole.cpp): typed lines on the one line channel, realtime bytes, and
    // the channel's transcript.
    bool hasConsole() const override { return true; }
    int consoleSend(const std::string& line, std::string& reason) override;
    int consoleRealtime(uint8_t byte) override;
    void consoleTake(std::vector<ConsoleEntry>& out) override;
    // Work coordinates and manual motion (grblmachine.cpp).
    bool workCoordinates(WorkCoordinates& out) override;
    int readWorkOffsets() override;
    int zeroAxes(unsigned axes) override;
    int goToZero() override;
    int jog(int axis, int direction, double distanceMm, double feedMmPerMin) override;
    int cancelJog() override;

private:
    using Clock = std::chrono::steady_clock;
    using LineInfo = grbl::LineInfo;
    using Kind = grbl::LineInfo::Kind;
    using Reply = grbl::LineChannel::Reply;

    // How an emergency halt proceeds: GRBL's hold (a jog cancel while jogging) brakes, and
    // once the machine rests a soft reset drops what the firmware still holds.
    enum class Halt { None, Braking, Resetting };

    struct Slot {
        std::vector<std::pair<std::string, grbl::LineInfo>> lines;  // with what they move
        bool overflow = false;
    };

    // Everything one connection knows; a new connection starts from a fresh one.
    struct Session {
        bool opened = false;
        bool lost = false;
        bool welcomed = false;
        std::string version;
        std::string buildInfo;
        bool haveBuildInfo = false;
        int plannerBlocks = 15;
        int rxBytes = 128;
        grbl::Settings settings;
        double stepsPerMm[4] = {250, 250, 250, 100};
        bool inches = false;  // $13=1: reports in inches
        // Status.
        bool haveReport = false;
        grbl::Report report;
        std::string lastPins;
        double wco[4] = {0, 0, 0, 0};
        StatusReport status;
        bool statusPending = false;
        uint8_t errorCode = 0;
        bool hardLimitAxisOpen = false;  // ALARM:1 came before a report named its pin
        uint8_t referenced = 0;
        bool spindle = false;
        bool coolant = false;
        int overrides[3] = {0, 0, 0};  // the last Ov: (it comes with every 10th report or so)
        bool critical = false;  // [MSG:Reset to continue]: silent until a soft reset
        bool homing = false;
        bool alarmWhileHoming = false;
        Clock::time_point homingSince;
        Halt halt = Halt::None;
        Clock::time_point haltSince;
        Clock::time_point lastHold;  // when the halt last sent "!"
        Clock::time_point lastPoll;
        Clock::time_point lastNotify;
        // Planner fill without Bf: the estimated run times of the blocks planned since idle.
        std::vector<double> plannedSeconds;
        Clock::time_point plannedClock;
        // Distances not yet sent, so a run of small moves lands on whole steps.
        double jogCarry[4] = {0, 0, 0, 0};
        double ramCarry[4] = {0, 0, 0, 0};
        // Modes and RAM programs.
        int mode = 2;
        int loadingSlot = 0;
        Slot ramSlots[RamSlots];
        bool streaming = false;
        int streamSlot = 0;
        int streamRemaining = 0;  // 0 = until a stop
        size_t streamIndex = 0;
        uint64_t streamQueued = 0;  // lines of the stream queued and not yet answered
        int streamPasses = 0;       // as started: 0 = until a stop
        int streamQueuePass = 1;    // the pass of the next line queued
        int streamPass = 1;         // the pass of the line answered last
        bool streamFinishing = false;  // all queued: the firmware runs the last lines
        bool streamWatched = false;    // a run whose end is not told yet
        std::vector<RamRunEnd> streamEnds;
        // What the calls sent, for the operator's log (at most SentKept, the newest).
        std::vector<std::string> sent;
        std::string refusal;
        std::vector<std::string> parserReports;  // [G54:...] ... [GC:...] from $# and $G
        // The same reports kept for the work coordinates: offsets and the system in force.
        gcode::State wcs;
        bool haveOffsets = false;
        bool haveModes = false;
        bool wcoKnown = false;       // a report carried WCO since the connect
        bool jogCancelDue = false;   // a jog cancelled while its line was unanswered
        // A jog cancel brakes until a report shows Idle; GRBL would plan a jog sent meanwhile
        // and flush it with the cancelled one, so none leaves until then.
        bool jogCancelling = false;
        // The G-code job (grbljob.cpp).
        struct Job {
            std::shared_ptr<const JobSource> source;
            JobOptions options;
            JobProgress progress;
            uint32_t next = 0;        // the source's next line to take
            uint32_t queued = 0;      // job lines queued and not yet answered
            bool barrier = false;     // a settings line is in flight: nothing goes beside it
            bool havePending = false; // `pending` waits for the queue to empty
            bool toolChangeDone = false;  // the pending line's tool change was resumed
            JobLine pending;
            bool holding = false;     // the job holds the machine (pause, error, program pause)
            bool resuming = false;    // resumed, and no report without the hold yet
            bool cycleStartDue = false;  // the hold is complete: the resume goes now
            std::vector<uint32_t> answeredLines;  // file lines of recent answered motion lines
        } job;
    };

    // --- grbldevice.cpp: calls ---
    // Sends a line and waits for its answer: 1 for ok, or for a line still in flight while the
    // firmware is heard (or silent on purpose); 0 otherwise.
    int command(const std::string& line, const LineInfo& info,
                int timeoutMs = ReplyTimeoutMs);
    // mode 3 stores the line in the loading RAM slot; mode 2 sends it.
    int ramOrSend(const std::string& line, const LineInfo& info);
    int motion(int pair, double speed, bool stepsSpeed, double first, double second);
    bool usable();  // open, not lost, not silent
    bool silentLocked() const;
    void raise(uint8_t code);  // mutex held; keeps an error already pending
    void refuse(uint8_t code, std::string reason = {});  // takes the mutex
    bool admitParameterCall(bool knownParameter);  // mutex held
    bool writeSetting(int number, double value);
    void updateResolution();  // mutex held
    int axisCount() const;
    std::string axisWords(const double mm[4], bool allAxes) const;
    int zeroPoint(const double mm[4]);
    // Relative words for a move, carrying what the digits cannot say into the next move.
    std::string relativeWords(double mm[4], double carry[4]) const;
    bool softResetAndWait(Clock::time_point deadline);
    // Manual motion is refused (and why) unless the machine is free for it; mutex held.
    bool manualMotionRefused();
    void pumpStream();
    // Mutex held: the RAM program stream ends (when one is watched), completed or for reason.
    void endStream(bool completed, const std::string& reason);
    // Mutex held: a call sent this line or realtime byte.
    void noteSent(std::string line);

    // --- grbljob.cpp ---
    void pumpJob();
    // Mutex held: a job line was answered; true when the job wants the machine held.
    bool jobLineAnswered(const LineInfo& info, bool ok, int errorCode);
    // Mutex held: the job ends (when one runs) in state with reason.
    void endJob(JobState state, const std::string& reason);
    // Mutex held: a report came; completes a job whose lines all ran.
    void jobReport(const grbl::Report& r);
    bool takeCycleStart();  // mutex held
    // Mutex held: a job owns the machine (a tool change leaves it to the operator).
    bool jobHoldsMachine() const
    {
        return jobActive(s.job.progress.state) && s.job.progress.state != JobState::ToolChange;
    }
    std::atomic<int> baud{115200};
    std::mutex jobOrder;  // one pump at a time, so job lines leave in order

    // --- grblstatus.cpp: the firmware's side ---
    void lineAnswered(const LineInfo& info, bool ok, int errorCode) override;
    void lineReceived(const std::string& line) override;
    void handleReport(const grbl::Report& r);  // mutex held
    void afterWelcome();                        // mutex held
    void alarm(int code);                       // mutex held
    // What the halt sequence does next on a report; mutex held.
    enum class HaltStep { Nothing, Hold, Reset };
    HaltStep haltStep();
    void doHaltStep(HaltStep step);
    uint8_t bufferFill(const grbl::Report& r);  // mutex held
    void composeStatus();                       // mutex held

    // Tty::Handler and LineChannel::Sink.
    void ttyData(const uint8_t* data, size_t count) override;
    void ttyLost() override;
    bool writeBytes(const uint8_t* data, size_t count, Clock::time_point deadline) override;

    const std::string path;
    const std::string port;
    std::unique_ptr<grbl::HostParameterStore> store;
    Tty tty{*this};
    grbl::LineChannel channel{*this, *this};

    mutable std::mutex mutex;
    std::condition_variable changed;
    bool woken = false;
    Session s;
    // Parameters the firmware has no setting for: key -> value (the whole set, from the
    // store). Guarded by mutex, like the session.
    std::map<uint16_t, ParamValue> hostParams;
    std::mutex streamOrder;  // one pumpStream at a time
};

}  // namespace quenta
