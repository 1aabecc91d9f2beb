#pragma once
// A controller on a serial tty (placeholder until the serial transport lands).

#include "device.h"

namespace quenta {

class SerialDevice : public Device {
public:
    explicit SerialDevice(std::string path) : path(std::move(path)) {}
    int open(OpenMode, int32_t, std::string&) override { return 1; }
    void close() override {}
    bool waitForStatus(std::chrono::milliseconds) override { return false; }
    int getStatus(StatusReport&) override { return 0; }
    int moveSteps(int, int32_t, uint8_t, const int32_t*, const int32_t*, uint8_t) override
    {
        return 0;
    }
    int moveMm(int, float, uint8_t, const float*, const float*, uint8_t) override { return 0; }

private:
    std::string path;
};

}  // namespace quenta
