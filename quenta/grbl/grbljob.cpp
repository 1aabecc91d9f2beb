// The GRBL device's G-code jobs. GRBL interprets G-code itself: the job's lines go out on the
// one line channel (so jogs, settings and job lines share one character count), a few at a
// time as the firmware answers, fed from the reader thread. Lines that store settings in the
// firmware's EEPROM go alone. An error pauses the job on a feed hold, an alarm or a reset ends
// it, and a stop holds the machine and then resets it at rest, so it keeps its position.

#include "grbldevice.h"

#include <algorithm>

namespace quenta {

namespace {

using namespace codes;

// Job lines queued in the channel beyond those answered: enough to keep GRBL's receive
// buffer full, few enough that a stop has little to drop.
constexpr uint32_t JobWindow = 24;
// The answered motion lines kept to tell the one executing: a full planner and more.
constexpr size_t AnsweredKept = 64;

// Forwards the runner interface to the device, which outlives it.
class GrblJobRunner : public JobRunner {
public:
    explicit GrblJobRunner(GrblDevice& device) : device(device) {}
    int start(std::shared_ptr<const JobSource> source, const JobOptions& options) override
    {
        return device.startJob(std::move(source), options);
    }
    int control(JobControl what) override { return device.controlJob(what); }
    int override(uint8_t command) override { return device.overrideJob(command); }
    JobProgress progress() const override { return device.jobProgress(); }

private:
    GrblDevice& device;
};

// A job between two "$C": GRBL's check mode on, the job's lines, and off again (which resets
// the firmware).
class CheckModeSource : public JobSource {
public:
    explicit CheckModeSource(std::shared_ptr<const JobSource> job) : job(std::move(job)) {}
    uint32_t lineCount() const override { return job->lineCount() + 2; }
    void line(uint32_t index, JobLine& out) const override
    {
        if (index == 0 || index == lineCount() - 1) {
            out = JobLine{};
            out.text = "$C";
            // Into an empty queue and answered before anything follows: a firmware without
            // check mode must never get the job's lines as a real run.
            out.writesSettings = index == 0;
            return;
        }
        job->line(index - 1, out);
        out.toolChange = false;
    }

private:
    std::shared_ptr<const JobSource> job;
};

}  // namespace

bool writesEeprom(const std::string& line)
{
    if (line.empty())
        return false;
    if (line[0] == '$')
        return line.find('=') != std::string::npos || line == "$RST" || line.rfind("$N", 0) == 0;
    const bool g10 = line.find("G10") != std::string::npos
                     && (line.find("L2") != std::string::npos);  // L2 and L20
    return g10 || line.find("G28.1") != std::string::npos
           || line.find("G30.1") != std::string::npos;
}

std::unique_ptr<JobRunner> GrblDevice::makeJobRunner()
{
    return std::make_unique<GrblJobRunner>(*this);
}

gcode::MachineSettings GrblDevice::machineSettings() const
{
    std::lock_guard<std::mutex> lock(mutex);
    gcode::MachineSettings m;
    for (int a = 0; a < 3; ++a) {
        m.stepsPerMm[a] = grbl::settingValue(s.settings, 100 + a, m.stepsPerMm[a]);
        m.maxRate[a] = grbl::settingValue(s.settings, 110 + a, m.maxRate[a]);
        m.acceleration[a] = grbl::settingValue(s.settings, 120 + a, m.acceleration[a]);
        m.maxTravel[a] = grbl::settingValue(s.settings, 130 + a, m.maxTravel[a]);
    }
    m.junctionDeviation = grbl::settingValue(s.settings, 11, m.junctionDeviation);
    m.arcTolerance = grbl::settingValue(s.settings, 12, m.arcTolerance);
    m.reportInches = grbl::settingValue(s.settings, 13, 0) != 0;
    m.softLimits = grbl::settingValue(s.settings, 20, 0) != 0;
    m.homingEnabled = grbl::settingValue(s.settings, 22, 0) != 0;
    m.plannerBlocks = s.plannerBlocks;
    m.rxBufferBytes = s.rxBytes;
    m.baudRate = baud;
    return m;
}

bool GrblDevice::jobMachine(gcode::MachineSettings& settings, gcode::State& start)
{
    settings = machineSettings();
    {
        std::lock_guard<std::mutex> lock(mutex);
        s.parserReports.clear();
    }
    // The work offsets ($#) and the modes in force ($G): a job's coordinates are work
    // coordinates, and its extents are checked in machine coordinates. GRBL answers $# only at
    // rest; without it the offsets count as zero.
    LineInfo query;
    query.kind = Kind::Query;
    command("$#", query);
    command("$G", query);
    std::lock_guard<std::mutex> lock(mutex);
    if (!s.opened || s.lost || !s.haveReport)
        return false;
    start = gcode::State{};
    for (const std::string& line : s.parserReports)
        gcode::applyControllerReport(line, start, s.inches);
    const double unit = s.inches ? 25.4 : 1.0;
    for (int a = 0; a < 3; ++a) {
        const double mm = s.report.pos[a] * unit;
        start.position[a] = float(s.report.machinePos ? mm : mm + s.wco[a]);
    }
    return true;
}

int GrblDevice::startJob(std::shared_ptr<const JobSource> source, const JobOptions& options)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        JobProgress& p = s.job.progress;
        std::string why;
        if (!source)
            why = "there is no job";
        else if (!s.opened || s.lost)
            why = "the controller is not connected";
        else if (jobActive(p.state))
            why = "a job is running";
        else if (s.streaming || s.halt != Halt::None || s.homing)
            why = "the controller is busy";
        else if (s.critical || s.errorCode != 0 || s.report.state == "Alarm")
            why = "the controller reports an error or an alarm: acknowledge it first";
        else if (s.mode != 2)
            why = "the controller is not in the normal mode";
        if (!why.empty()) {
            if (!jobActive(p.state))
                p.reason = why;
            s.refusal = why;
            return 0;
        }
        s.job = Session::Job{};
        s.job.source = options.checkMode ? std::make_shared<CheckModeSource>(std::move(source))
                                         : std::move(source);
        s.job.options = options;
        s.job.progress.state = JobState::Running;
        s.job.progress.linesTotal = s.job.source->lineCount();
    }
    pumpJob();
    return 1;
}

void GrblDevice::pumpJob()
{
    std::lock_guard<std::mutex> order(jobOrder);
    for (;;) {
        std::string text;
        LineInfo info;
        {
            std::lock_guard<std::mutex> lock(mutex);
            Session::Job& j = s.job;
            JobProgress& p = j.progress;
            if (p.state != JobState::Running || s.lost || j.barrier || j.queued >= JobWindow)
                return;
            if (!j.havePending) {
                if (j.next >= p.linesTotal)
                    return;  // all sent: the reports complete the job
                j.source->line(j.next++, j.pending);
                j.havePending = true;
                j.toolChangeDone = false;
            }
            const JobLine& line = j.pending;
            if (line.toolChange && j.options.pauseOnToolChange && !j.toolChangeDone) {
                // Everything before the change has run; the spindle stops (M5 waits for the
                // planner to empty), and the operator resumes once the tool is in.
                if (j.queued > 0)
                    return;
                p.state = JobState::ToolChange;
                p.tool = line.tool;
                j.toolChangeDone = true;
                s.statusPending = true;
                text = "M5";
                info.kind = Kind::Spindle;
                info.number = s.coolant ? 2 : 0;
            } else {
                if (line.writesSettings && j.queued > 0)
                    return;  // EEPROM writes stall the firmware: they go into an empty queue
                j.havePending = false;
                ++p.linesSent;
                if (line.text.empty()) {
                    ++p.linesAcknowledged;  // nothing to send (a comment, a blank line)
                    continue;
                }
                text = line.text;
                info.kind = line.blocks.empty() ? Kind::Command : Kind::Motion;
                info.job = true;
                info.fileLine = line.fileLine;
                j.barrier = line.writesSettings;
                ++j.queued;
            }
        }
        if (channel.queue(text, info) == 0) {
            std::lock_guard<std::mutex> lock(mutex);
            endJob(JobState::Failed, "the connection to the controller was lost");
            return;
        }
    }
}

bool GrblDevice::takeCycleStart()
{
    const bool due = s.job.cycleStartDue;
    s.job.cycleStartDue = false;
    return due;
}

bool GrblDevice::jobLineAnswered(const LineInfo& info, bool ok, int errorCode)
{
    Session::Job& j = s.job;
    JobProgress& p = j.progress;
    if (!jobActive(p.state))
        return false;
    if (j.queued > 0)
        --j.queued;
    ++p.linesAcknowledged;
    j.barrier = false;
    if (ok) {
        if (info.kind == Kind::Motion) {
            j.answeredLines.push_back(info.fileLine);
            if (j.answeredLines.size() > AnsweredKept)
                j.answeredLines.erase(j.answeredLines.begin());
        }
        return false;
    }
    if (j.options.checkMode && info.fileLine == 0) {
        // "$C" itself was refused: nothing of the job has been sent.
        endJob(JobState::Failed, "the controller has no check mode ($C: error:"
                                     + std::to_string(errorCode) + ": "
                                     + grbl::errorMessage(errorCode) + ")");
        return false;
    }
    if (j.options.checkMode) {
        // A dry run goes on: every refused line is listed.
        p.errors.push_back({info.fileLine, errorCode,
                            "error:" + std::to_string(errorCode) + ": "
                                + grbl::errorMessage(errorCode)});
        return false;
    }
    if (p.state == JobState::ErrorPause)
        return false;  // a second refusal behind the first: it keeps the first's line
    // The firmware refused the line: hold here, let the operator decide.
    p.state = JobState::ErrorPause;
    p.failedFileLine = info.fileLine;
    p.reason = "error:" + std::to_string(errorCode) + ": " + grbl::errorMessage(errorCode);
    j.holding = true;
    s.statusPending = true;
    return true;
}

void GrblDevice::endJob(JobState state, const std::string& reason)
{
    Session::Job& j = s.job;
    JobProgress& p = j.progress;
    if (!jobActive(p.state))
        return;
    p.state = state;
    p.reason = reason;
    if (state == JobState::Failed && p.failedFileLine == 0 && !j.answeredLines.empty())
        p.failedFileLine = j.answeredLines.back();
    j.holding = false;
    j.resuming = false;
    j.barrier = false;
    j.havePending = false;
    j.queued = 0;
    j.source.reset();
    s.statusPending = true;
}

void GrblDevice::jobReport(const grbl::Report& r)
{
    Session::Job& j = s.job;
    JobProgress& p = j.progress;
    if (!jobActive(p.state))
        return;
    // The line executing: the answered motion lines less those the planner still holds.
    if (!j.answeredLines.empty()) {
        const int held = r.haveBuffer ? std::max(0, s.plannerBlocks - r.blocksFree)
                                      : (r.state == "Idle" ? 0 : 1);
        const size_t n = j.answeredLines.size();
        const size_t oldestHeld = std::clamp<size_t>(size_t(held), 1, n);
        p.fileLineExecuting = j.answeredLines[n - oldestHeld];
    }
    if (j.resuming && r.state != "Hold") {
        j.resuming = false;
        j.holding = false;
    }
    // GRBL takes a cycle start only once the hold is complete: until then it is repeated.
    if (j.resuming && r.state == "Hold" && r.subState == 0)
        j.cycleStartDue = true;
    if (r.state == "Hold" && p.state == JobState::Running && !j.holding
        && s.halt == Halt::None) {
        // M0/M1 in the job, or a hold from elsewhere: the job waits for resume.
        p.state = JobState::Paused;
        j.holding = true;
    }
    if (p.state == JobState::Running && r.state == "Idle" && j.next >= p.linesTotal
        && !j.havePending && j.queued == 0 && channel.linesQueued() == 0
        && channel.bytesInFlight() == 0) {
        p.state = JobState::Completed;
        p.fileLineExecuting = 0;
        j.source.reset();
        s.statusPending = true;
    }
}

int GrblDevice::controlJob(JobControl what)
{
    bool pump = false;
    uint8_t realtime = 0;
    bool stop = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        Session::Job& j = s.job;
        JobProgress& p = j.progress;
        if (!jobActive(p.state) || !s.opened || s.lost)
            return 0;
        switch (what) {
        case JobControl::Pause:
            if (p.state != JobState::Running)
                return 0;
            p.state = JobState::Paused;
            j.holding = true;
            realtime = grbl::FeedHold;
            break;
        case JobControl::Resume:
            if (p.state == JobState::Running)
                return 0;
            if (p.state == JobState::ErrorPause) {
                // The refused line is skipped; the error it raised is acknowledged with it.
                s.errorCode = 0;
                s.status.errorCode = 0;
            }
            p.state = JobState::Running;
            p.reason.clear();
            p.failedFileLine = 0;
            // Reports may still show the hold until the firmware has taken the cycle start.
            j.resuming = j.holding;
            realtime = grbl::CycleStart;
            pump = true;
            break;
        case JobControl::Stop:
            endJob(JobState::Stopped, "stopped by the operator");
            // The halt sequence holds the machine and resets it at rest, without raising the
            // emergency stop's error.
            endStream(false, "stopped with the G-code job");
            s.halt = Halt::Braking;
            s.haltSince = s.lastHold = Clock::now();
            stop = true;
            realtime = grbl::FeedHold;
            break;
        }
        s.statusPending = true;
        changed.notify_all();
    }
    if (stop)
        channel.dropUnsent();
    const bool ok = channel.writeRealtime(realtime);
    channel.writeRealtime(grbl::StatusQuery);
    if (pump)
        pumpJob();
    return ok ? 1 : 0;
}

int GrblDevice::overrideJob(uint8_t command)
{
    const bool known = (command >= 0x90 && command <= 0x9D) || command == 0xA0 || command == 0xA1;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!known || !s.opened || s.lost)
            return 0;
    }
    return channel.writeRealtime(command) ? 1 : 0;
}

JobProgress GrblDevice::jobProgress() const
{
    std::lock_guard<std::mutex> lock(mutex);
    JobProgress p = s.job.progress;
    std::copy(s.overrides, s.overrides + 3, p.overrides);
    return p;
}

}  // namespace quenta
