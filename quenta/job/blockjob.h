#pragma once
// Runs a job on our own controllers (the simulated one and the wire protocol): the
// interpreter's straight moves, dwells and spindle/coolant switches become library calls, fed
// from a thread of the runner's own while the controller's command buffer has room.
//
// The controller buffers at most a few commands (BufferDepth), so a pause, which simply stops
// feeding, takes effect within those moves; a stop brakes with the emergency halt, which
// empties the controller's buffer.

#include "device.h"
#include "job.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace quenta {

class BlockJobRunner : public JobRunner {
public:
    // Runs one call on the device with the port's call lock held; returns the call's result.
    using Call = std::function<int(const std::function<int(Device&)>&)>;
    static constexpr int BufferDepth = 4;
    static constexpr int PollMs = 10;
    static constexpr int RestCheckMs = 30;

    explicit BlockJobRunner(Call call);
    ~BlockJobRunner() override;

    int start(std::shared_ptr<const JobSource> source, const JobOptions& options) override;
    int control(JobControl what) override;
    int override(uint8_t command) override;
    JobProgress progress() const override;

private:
    void run();
    // False when the job must end (stop or failure); waits while paused.
    bool proceed();
    // Polls the status until done says so; false (the job has ended) on a lost line, a
    // controller error or a stop.
    bool waitUntil(const std::function<bool(const StatusReport&)>& done);
    bool waitForRoom(int depth);  // until at most depth commands are buffered
    // Until the machine stands on the last move's end: the buffer fill does not count the
    // command executing.
    bool waitForRest();
    bool send(const JobLine& line);
    bool fail(uint32_t fileLine, std::string reason);
    bool toolChange(const JobLine& line);
    void setState(JobState state);
    bool readCAxis();  // where the C axis stands, in mm: jobs leave it there


    Call call;
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::thread worker;
    std::shared_ptr<const JobSource> source;
    JobOptions options;
    JobProgress prog;
    bool stopWanted = false;
    bool pauseWanted = false;
    double feedScale = 1.0;
    uint8_t spindle = 0;
    uint8_t coolant = 0;
    float cAxis = 0;
    double stepsPerMm[4] = {1, 1, 1, 1};
    int32_t endSteps[4] = {0, 0, 0, 0};  // where the last move sent ends
    bool haveEnd = false;
};

// Whether the controller stands still: an empty buffer and the same position over RestCheckMs.
bool atRest(Device& device, StatusReport& report);

// Reads what a job needs of one of our controllers at rest: each axis's steps per mm and its
// position in steps. 0 when it moves, reports an error (in error) or cannot be read.
int readOwnMachine(Device& device, double stepsPerMm[4], int32_t steps[4], uint8_t& error);

}  // namespace quenta
