#pragma once
// The in-process simulated controller behind a port (placeholder until the full simulator).

#include "device.h"

#include <condition_variable>
#include <mutex>

namespace quenta {

class SimDevice : public Device {
public:
    int open(OpenMode mode, int32_t baudRate, std::string& controllerName) override;
    void close() override;
    bool waitForStatus(std::chrono::milliseconds maxWait) override;
    void wake() override;
    int getStatus(StatusReport& out) override;
    int acknowledgeError() override;
    int moveSteps(int pair, int32_t speed, uint8_t one, const int32_t* a, const int32_t* b,
                  uint8_t three) override;
    int moveMm(int pair, float speed, uint8_t one, const float* a, const float* b,
               uint8_t three) override;

private:
    std::mutex mutex;
    std::condition_variable wakeUp;
    StatusReport status;
    bool woken = false;
};

}  // namespace quenta
