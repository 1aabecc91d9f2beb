#pragma once
// A device for tests: records every call with its arguments and returns scripted results.

#include "device.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace quenta {

class ScriptedDevice : public Device {
public:
    // Call log entries look like "FahreRelativ_XY_Schritte(100,1,[10,0,0,0,0,0],[0,...],3)",
    // named after the C function that made the call.
    std::vector<std::string> calls() const;
    void clearCalls();
    // Number of logged calls whose text starts with prefix.
    int countCalls(const std::string& prefix) const;

    // The next result of the named C function (FIFO); when none is queued, defaultResult.
    void queueResult(const std::string& function, int result);
    void setDefaultResult(int result);
    // Result code of the next open: 0 = success.
    void setOpenCode(int code);
    void setControllerName(const std::string& name);
    // The reason the next takeRefusal hands out (once).
    void setRefusal(const std::string& reason);

    // Replies to ParameterLesen: bytes copied into the caller's buffer (at most 16) when the
    // call succeeds. Keyed by group << 8 | index.
    void setParameterReply(int key, const std::vector<uint8_t>& bytes);

    void setStatus(const StatusReport& report);
    // What runState reports from now on (before the first call: the device cannot tell).
    void setRunState(const RunState& state);
    // An end the next takeRamRunEnds hands out.
    void queueRamRunEnd(const RamRunEnd& end);
    // Makes the service thread deliver one status notification.
    void notify();

    // Bytes TarvoReadChar hands out, and everything TarvoWriteChar was given.
    void queueReadBytes(const std::vector<uint8_t>& bytes);
    std::vector<uint8_t> writtenBytes() const;

    bool isOpen() const;

    int open(OpenMode mode, int32_t baudRate, std::string& controllerName) override;
    void closeTransfer() override;
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
    int writeBytes(const uint8_t* bytes, int32_t length) override;
    int readBytes(uint8_t* bytes, int32_t length) override;
    std::string takeRefusal() override;
    bool runState(RunState& out) override;
    std::vector<RamRunEnd> takeRamRunEnds() override;

private:
    int record(const std::string& function, const std::string& args);

    mutable std::mutex mutex;
    std::condition_variable wakeUp;
    std::vector<std::string> log;
    std::map<std::string, std::deque<int>> results;
    int defaultResult = 1;
    std::string refusal;
    int openCode = 0;
    std::string name = "Dorvik USB";
    std::map<int, std::vector<uint8_t>> parameterReplies;
    StatusReport status;
    bool runsKnown = false;
    RunState runs;
    std::vector<RamRunEnd> ramEnds;
    int pendingNotifications = 0;
    bool woken = false;
    bool opened = false;
    std::deque<uint8_t> readQueue;
    std::vector<uint8_t> written;
};

// Formats a float the way the call log shows it (shortest round-trip form, "1.5", "10").
std::string formatLogFloat(float value);

}  // namespace quenta
