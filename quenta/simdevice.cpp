#include "simdevice.h"

namespace quenta {

int SimDevice::open(OpenMode, int32_t, std::string& controllerName)
{
    controllerName = "Dorvik USB";
    return 0;
}

void SimDevice::close() {}

bool SimDevice::waitForStatus(std::chrono::milliseconds maxWait)
{
    std::unique_lock<std::mutex> lock(mutex);
    return !wakeUp.wait_for(lock, maxWait, [this] { return woken; });
}

void SimDevice::wake()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        woken = true;
    }
    wakeUp.notify_all();
}

int SimDevice::getStatus(StatusReport& out)
{
    std::lock_guard<std::mutex> lock(mutex);
    out = status;
    return 1;
}

int SimDevice::acknowledgeError()
{
    std::lock_guard<std::mutex> lock(mutex);
    status.errorCode = 0;
    return 1;
}

int SimDevice::moveSteps(int pair, int32_t, uint8_t, const int32_t* a, const int32_t* b, uint8_t)
{
    std::lock_guard<std::mutex> lock(mutex);
    status.pos[pair * 2] += a[0];
    status.pos[pair * 2 + 1] += b[0];
    return 1;
}

int SimDevice::moveMm(int pair, float, uint8_t, const float* a, const float* b, uint8_t)
{
    std::lock_guard<std::mutex> lock(mutex);
    status.pos[pair * 2] += static_cast<int32_t>(a[0] * 100);
    status.pos[pair * 2 + 1] += static_cast<int32_t>(b[0] * 100);
    return 1;
}

}  // namespace quenta
