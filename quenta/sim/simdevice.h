#pragma once
// The in-process simulated controller behind a port: the simulator core driven by real time,
// shared safely between the caller's thread and the library's thread that polls all simulators.

#include "device.h"
#include "simcontroller.h"
#include "simoptions.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace quenta {

class SimDevice : public Device {
public:
    // A device with a simulated controller of its own (tests configure its faults).
    SimDevice();
    explicit SimDevice(const SimOptions& options);
    // The device for a port of the port map. The simulated controller of each port lives as
    // long as the process, so parameters, RAM programs and positions survive a reconnect,
    // as on a real machine. The options' faults replace that controller's faults.
    static std::shared_ptr<SimDevice> forPort(const std::string& port, const SimOptions& options);
    // Forgets the simulated controllers of all ports (tests start from power-up).
    static void forgetPorts();

    // Runs f on the simulated controller under its lock, with its clock brought up to now;
    // for tests and demonstrations (set inputs, inject faults, inspect the machine).
    void withController(const std::function<void(SimController&)>& f);

    int open(OpenMode mode, int32_t baudRate, std::string& controllerName) override;
    void closeTransfer() override;
    void close() override;
    StatusService statusService() const override { return StatusService::Polled; }
    bool pollStatus(std::chrono::microseconds& askAgainIn) override;
    int getStatus(StatusReport& out) override;
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
    int moveLinearMm(const float target[4], float feed) override;
    // Beside the reported position, the machine frame the simulated controller knows.
    bool workCoordinates(WorkCoordinates& out) override;
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

private:
    struct Shared {
        Shared();
        std::mutex mutex;
        std::condition_variable changed;
        SimController core;
        std::chrono::steady_clock::time_point last = std::chrono::steady_clock::now();
        bool open = false;
        std::deque<uint8_t> bootOut;  // bootloader answers not read yet
    };
    explicit SimDevice(std::shared_ptr<Shared> shared);
    static std::map<std::string, std::shared_ptr<Shared>>& ports();

    // Wakes whoever waits for a report of this device: a change may make one due sooner.
    void notifyChanged();
    // Brings the core's clock up to the present; the mutex is held.
    void sync();
    // Runs a command of normal mode: fails while not open in that mode or while the
    // controller is silent.
    int command(const std::function<int(SimController&)>& f);

    std::shared_ptr<Shared> shared;
    OpenMode mode = OpenMode::Normal;
    bool opened = false;
};

}  // namespace quenta
