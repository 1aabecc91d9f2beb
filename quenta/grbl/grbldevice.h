#pragma once
// A GRBL 1.1 controller on a serial tty. Every call of the link library is translated into GRBL
// lines, $ settings and realtime bytes; RAM programs and the parameters GRBL has no setting for
// are kept by the library. The mapping is described in docs/grbl.md.

#include "device.h"
#include "grblprotocol.h"
#include "tty.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace quenta {

class GrblDevice : public Device, private Tty::Handler {
public:
    // The connect waits this long for the welcome line, and sends one soft reset when nothing
    // has come after ResetAfterMs (boards that do not restart when the port opens).
    static constexpr int WelcomeWaitMs = 3000;
    static constexpr int ResetAfterMs = 1000;
    // How long a line waits for its "ok"; with the write it stays within 200 ms. A line still
    // unanswered then (a dwell, a homing cycle, a full planner) stays queued and counts as sent.
    static constexpr int ReplyTimeoutMs = 150;
    // After this many time-outs in a row without a byte from the firmware, calls fail at once
    // until a byte arrives (the status poll keeps asking).
    static constexpr int SilentTimeouts = 2;
    // Status: "?" at most every PollMs; a notification when the report changed, and at least
    // every NotifyMs while the firmware answers (or a homing cycle, which mutes it, runs).
    static constexpr int PollMs = 100;
    static constexpr int NotifyMs = 500;
    static constexpr int AnsweringMs = 1500;
    static constexpr int HomingMaxMs = 120000;
    // RAM programs kept per port: ramSlots 1 ... 4 of at most this many lines each.
    static constexpr int RamSlots = 4;
    static constexpr size_t RamCapacity = 20000;

    // path: the tty; port: the port text, which names the persisted parameters.
    GrblDevice(std::string path, std::string port);
    ~GrblDevice() override;
    GrblDevice(const GrblDevice&) = delete;
    GrblDevice& operator=(const GrblDevice&) = delete;

    int open(OpenMode mode, int32_t baudRate, std::string& controllerName) override;
    std::string openFailure() const override { return tty.reason(); }
    void close() override;
    bool waitForStatus(std::chrono::milliseconds maxWait) override;
    void wake() override;
    int getStatus(StatusReport& out) override;

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

private:
    using Clock = std::chrono::steady_clock;
    enum class Sent { Command, Motion, Stream, Home, Query, Unlock, Spindle };
    struct Pending {
        size_t bytes;
        Sent kind;
        uint64_t id;
        int funcs;  // Spindle: the spindle/coolant bits the line sets
    };
    // Result of a line: answered ok / error, or still queued at the deadline.
    enum class Reply { Ok, Error, Queued, Failed };

    // Sends one line (without its line end) once the firmware's RX buffer has room, and waits
    // for its answer until the deadline.
    Reply sendLine(const std::string& line, Sent kind, Clock::time_point deadline,
                   int funcs = 0);
    // sendLine within the reply time; 1 for ok or queued, 0 otherwise.
    int command(const std::string& line, Sent kind = Sent::Command, int funcs = 0);
    bool writeRealtime(uint8_t byte);
    // Soft reset: the firmware drops its RX buffer and every line queued there.
    bool softReset();
    // Sends further lines of a running RAM program while the RX buffer has room.
    void pumpStream();
    void handleLine(const std::string& line);
    void handleReport(const grbl::Report& r);
    void raise(uint8_t code);      // mutex held; keeps an error already pending
    // Mutex held: a parameter call needs an open link, a known parameter (else the parameter
    // number error) and mode 1 (else "not allowed").
    bool admitParameterCall(bool knownParameter);
    void refuse(uint8_t code);     // takes the mutex
    void stopStream();             // mutex held
    void afterReset();             // mutex held
    bool usable();                 // open, not lost, not silent
    bool waitFor(std::unique_lock<std::mutex>& lock, Clock::time_point deadline,
                 const std::function<bool()>& done);
    // " X1 Y2 Z3" for the axes the firmware has (all, or those that move).
    std::string axisWords(const double mm[4], bool allAxes) const;
    int axisCount() const;
    int motion(int pair, double speed, bool stepsSpeed, double first, double second);
    int ramOrSend(const std::string& line, Sent kind = Sent::Command, int funcs = 0);
    double setting(int number, double fallback) const;
    bool writeSetting(int number, double value);
    void loadHostParameters();
    void saveHostParameter(uint16_t key);
    void updateResolution();

    // The tty's reader thread.
    void ttyData(const uint8_t* data, size_t count) override;
    void ttyLost() override;

    const std::string path;
    const std::string port;
    Tty tty{*this};
    std::mutex sendMutex;  // keeps reservation and write of lines in one order

    mutable std::mutex mutex;
    std::condition_variable changed;
    bool opened = false;
    bool lost = false;
    bool woken = false;
    std::string inLine;  // reader thread: the line being received
    // Connect.
    bool welcomed = false;
    std::string version;
    std::string buildInfo;
    bool haveBuildInfo = false;
    int plannerBlocks = 15;
    int rxBytes = 128;
    std::map<int, std::string> settings;  // $N -> value text
    // Lines in the firmware's RX buffer, oldest first.
    std::deque<Pending> pending;
    size_t pendingBytes = 0;
    uint64_t nextId = 1;
    uint64_t awaitedId = 0;
    bool awaitedDone = false;
    bool awaitedOk = false;
    bool resetting = false;  // a soft reset was sent, its welcome line has not come
    uint64_t bytesReceived = 0;
    int silentTimeouts = 0;
    Clock::time_point lastByte;
    Clock::time_point lastPoll;
    Clock::time_point lastNotify;
    Clock::time_point homingSince;
    bool homing = false;
    // Status.
    bool haveReport = false;
    grbl::Report report;
    std::string lastPins;
    double wco[4] = {0, 0, 0, 0};  // the last work offset reported
    StatusReport status;
    bool statusPending = false;
    uint8_t errorCode = 0;
    // An ALARM:1 came before any report named its limit pin.
    bool hardLimitAxisOpen = false;
    uint8_t referenced = 0;
    bool spindle = false;
    bool coolant = false;
    int plannedSinceIdle = 0;
    bool needsReset = false;   // [MSG:Reset to continue]
    bool holdFlush = false;    // a feed hold waits to end in a soft reset
    int axisHint = -1;
    int directionHint = 0;
    double stepsPerMm[4] = {250, 250, 250, 100};
    // Modes and RAM programs.
    int mode = 2;
    int loadingSlot = 0;
    struct Slot {
        std::vector<std::string> lines;
        bool overflow = false;
    };
    Slot ramSlots[RamSlots];
    bool streaming = false;
    int streamSlot = 0;
    int streamRemaining = 0;  // 0 = until a stop
    size_t streamIndex = 0;
    // Parameters the firmware has no setting for: key -> value.
    std::map<uint16_t, ParamValue> hostParams;
};

}  // namespace quenta
