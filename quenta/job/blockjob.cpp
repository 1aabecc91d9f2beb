#include "blockjob.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

namespace quenta {

namespace {

std::string controllerError(uint8_t code)
{
    char text[48];
    std::snprintf(text, sizeof text, "the controller reports error 0x%02X", code);
    return text;
}

}  // namespace

BlockJobRunner::BlockJobRunner(Call call) : call(std::move(call)) {}

BlockJobRunner::~BlockJobRunner()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopWanted = true;
        changed.notify_all();
    }
    if (worker.joinable())
        worker.join();
}

int BlockJobRunner::start(std::shared_ptr<const JobSource> src, const JobOptions& opts)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (jobActive(prog.state) || !src)
            return 0;
        if (opts.checkMode) {
            prog.reason = "this controller has no check mode";
            return 0;
        }
    }
    if (worker.joinable())
        worker.join();  // the last job's thread has ended: its state is final
    std::lock_guard<std::mutex> lock(mutex);
    source = std::move(src);
    options = opts;
    prog = JobProgress{};
    prog.state = JobState::Running;
    prog.linesTotal = source->lineCount();
    stopWanted = pauseWanted = false;
    feedScale = 1.0;
    spindle = coolant = 0;
    worker = std::thread([this] { run(); });
    return 1;
}

int BlockJobRunner::control(JobControl what)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!jobActive(prog.state))
        return 0;
    switch (what) {
    case JobControl::Pause:
        pauseWanted = true;
        break;
    case JobControl::Resume:
        pauseWanted = false;
        break;
    case JobControl::Stop:
        stopWanted = true;
        break;
    }
    changed.notify_all();
    return 1;
}

int BlockJobRunner::override(uint8_t command)
{
    // Ours scale the feed of the moves not yet sent: 0x90 100 %, 0x91/0x92 +/-10 %,
    // 0x93/0x94 +/-1 %, between 10 % and 200 % as on GRBL.
    std::lock_guard<std::mutex> lock(mutex);
    const double steps[] = {0, 0.10, -0.10, 0.01, -0.01};
    if (command < 0x90 || command > 0x94)
        return 0;
    feedScale = command == 0x90 ? 1.0 : std::clamp(feedScale + steps[command - 0x90], 0.1, 2.0);
    feedScale = std::round(feedScale * 100) / 100;
    return 1;
}

JobProgress BlockJobRunner::progress() const
{
    std::lock_guard<std::mutex> lock(mutex);
    JobProgress p = prog;
    p.overrides[0] = int(std::lround(feedScale * 100));  // rapids and spindle have none here
    return p;
}

void BlockJobRunner::setState(JobState state)
{
    std::lock_guard<std::mutex> lock(mutex);
    prog.state = state;
}

bool BlockJobRunner::fail(uint32_t fileLine, std::string reason)
{
    std::lock_guard<std::mutex> lock(mutex);
    prog.state = JobState::Failed;
    prog.failedFileLine = fileLine;
    prog.reason = std::move(reason);
    return false;
}

bool BlockJobRunner::proceed()
{
    std::unique_lock<std::mutex> lock(mutex);
    while (pauseWanted && !stopWanted) {
        if (prog.state == JobState::Running)
            prog.state = JobState::Paused;
        changed.wait(lock);
    }
    if (stopWanted) {
        lock.unlock();
        // Braking empties the controller's buffer: nothing of the job runs on.
        call([](Device& d) { return d.emergencyHalt(); });
        lock.lock();
        prog.state = JobState::Stopped;
        prog.reason = "stopped by the operator";
        return false;
    }
    if (prog.state == JobState::Paused || prog.state == JobState::ToolChange)
        prog.state = JobState::Running;
    return true;
}

bool BlockJobRunner::waitUntil(const std::function<bool(const StatusReport&)>& done)
{
    for (;;) {
        StatusReport r;
        if (!call([&r](Device& d) { return d.getStatus(r); }))
            return fail(prog.fileLineExecuting, "the connection to the controller was lost");
        if (r.errorCode != 0)
            return fail(prog.fileLineExecuting, controllerError(r.errorCode));
        if (done(r))
            return true;
        std::unique_lock<std::mutex> lock(mutex);
        if (stopWanted) {
            lock.unlock();
            return proceed();  // stops the job: false
        }
        changed.wait_for(lock, std::chrono::milliseconds(PollMs));
    }
}

bool BlockJobRunner::waitForRoom(int depth)
{
    return waitUntil([depth](const StatusReport& r) { return r.bufferFill <= depth; });
}

bool BlockJobRunner::waitForRest()
{
    // At rest: the buffer empty, on the last move's end, and the same position a little later
    // (the fill does not count the command executing, whose last steps follow the rounding).
    bool still = false;
    int32_t seen[4] = {0, 0, 0, 0};
    auto since = std::chrono::steady_clock::now();
    return waitUntil([&](const StatusReport& r) {
        const auto now = std::chrono::steady_clock::now();
        const bool there = r.bufferFill == 0
                           && (!haveEnd || std::equal(endSteps, endSteps + 4, r.pos));
        if (there && still && std::equal(seen, seen + 4, r.pos))
            return now - since >= std::chrono::milliseconds(RestCheckMs);
        still = there;
        std::copy(r.pos, r.pos + 4, seen);
        since = now;
        return false;
    });
}

bool BlockJobRunner::toolChange(const JobLine& line)
{
    // The machine finishes what it has, the spindle stops, and the operator changes the tool.
    if (!waitForRest())
        return false;
    if (spindle != 0 && !call([this](Device& d) { return d.setSpindleCoolant(0, coolant != 0); }))
        return fail(line.fileLine, "the spindle could not be switched off");
    spindle = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        prog.state = JobState::ToolChange;
        prog.tool = line.tool;
        pauseWanted = true;
    }
    // On resume the line is sent as any other: the spindle follows the job's modes again.
    return proceed();
}

bool BlockJobRunner::send(const JobLine& line)
{
    if (line.spindle != spindle || line.coolant != coolant) {
        if (!waitForRoom(BufferDepth - 1))
            return false;
        if (!call([&](Device& d) { return d.setSpindleCoolant(line.spindle, line.coolant); }))
            return fail(line.fileLine, "the spindle or coolant could not be switched");
        spindle = line.spindle;
        coolant = line.coolant;
    }
    for (const gcode::Block& b : line.blocks) {
        if (!proceed() || !waitForRoom(BufferDepth - 1))
            return false;
        int ok = 1;
        switch (b.kind) {
        case gcode::BlockKind::Rapid:
        case gcode::BlockKind::Feed: {
            const float target[4] = {b.target[0], b.target[1], b.target[2], cAxis};
            float feed = 0;
            if (b.kind == gcode::BlockKind::Feed) {
                std::lock_guard<std::mutex> lock(mutex);
                feed = static_cast<float>(b.value * feedScale);
            }
            ok = call([&](Device& d) { return d.moveLinearMm(target, feed); });
            for (int a = 0; a < 4; ++a)
                endSteps[a] = int32_t(std::lround(target[a] * stepsPerMm[a]));
            haveEnd = true;
            break;
        }
        case gcode::BlockKind::Dwell: {
            const auto ms = static_cast<int32_t>(std::lround(std::min(b.value * 1000.0, 2e9)));
            ok = call([ms](Device& d) { return d.wait(ms); });
            break;
        }
        case gcode::BlockKind::Sync:
            if (b.flags & gcode::ProgramPause) {
                // M0/M1: the machine stops here until the operator resumes.
                if (!waitForRest())
                    return false;
                std::lock_guard<std::mutex> lock(mutex);
                pauseWanted = true;
            }
            break;
        }
        if (!ok) {
            StatusReport r;
            const bool known = call([&r](Device& d) { return d.getStatus(r); }) && r.errorCode;
            return fail(line.fileLine, known ? controllerError(r.errorCode)
                                             : std::string("the controller refused the move"));
        }
    }
    return true;
}

bool BlockJobRunner::readCAxis()
{
    int32_t steps[4];
    uint8_t error = 0;
    if (!call([&](Device& d) { return readOwnMachine(d, stepsPerMm, steps, error); }))
        return fail(0, error ? controllerError(error)
                             : std::string("the controller is busy or its parameters "
                                           "cannot be read"));
    cAxis = float(steps[3] / stepsPerMm[3]);
    haveEnd = false;
    return true;
}

bool atRest(Device& d, StatusReport& r)
{
    // The fill level does not count the command executing, and a move's last steps come after
    // its position has rounded to the end: at rest is an empty buffer and the same position
    // over a little while.
    if (!d.getStatus(r) || r.errorCode != 0 || r.bufferFill != 0)
        return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(BlockJobRunner::RestCheckMs));
    StatusReport again;
    return d.getStatus(again) && again.bufferFill == 0 && std::equal(r.pos, r.pos + 4, again.pos);
}

int readOwnMachine(Device& d, double stepsPerMm[4], int32_t steps[4], uint8_t& error)
{
    // The resolutions are parameters, readable in the parameter mode only, and the mode
    // changes only at rest.
    StatusReport r;
    const bool rest = atRest(d, r);
    error = r.errorCode;
    if (!rest || !d.changeMode(1))
        return 0;
    int ok = 1;
    for (uint8_t axis = 0; axis < 4 && ok; ++axis) {
        uint8_t value[16] = {};
        ok = d.readParameter(0x04, axis, value);
        const uint32_t bits = uint32_t(value[0]) | uint32_t(value[1]) << 8
                              | uint32_t(value[2]) << 16 | uint32_t(value[3]) << 24;
        float f = 0;
        std::memcpy(&f, &bits, sizeof f);
        stepsPerMm[axis] = f > 0 && std::isfinite(f) ? f : 1.0;
        steps[axis] = r.pos[axis];
    }
    return d.changeMode(2) && ok;
}

void BlockJobRunner::run()
{
    if (!readCAxis())
        return;
    JobLine line;
    const uint32_t total = prog.linesTotal;
    for (uint32_t i = 0; i < total; ++i) {
        if (!proceed())
            return;
        source->line(i, line);
        if (line.toolChange && options.pauseOnToolChange && !toolChange(line))
            return;
        if (!send(line))
            return;
        std::lock_guard<std::mutex> lock(mutex);
        prog.linesSent = prog.linesAcknowledged = i + 1;
        if (line.fileLine)
            prog.fileLineExecuting = line.fileLine;
    }
    if (!waitForRest())
        return;
    setState(JobState::Completed);
}

}  // namespace quenta
