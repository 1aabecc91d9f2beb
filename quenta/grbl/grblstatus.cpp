// The GRBL device's firmware side: answers to lines, alarms, messages and status reports,
// turned into the controller's status, and the emergency halt that follows the reports until
// the machine rests.

#include "grbldevice.h"

#include <algorithm>
#include <cmath>

namespace quenta {

namespace {

using namespace codes;
constexpr double MmPerInch = 25.4;

int32_t roundToInt(double v)
{
    if (!std::isfinite(v))
        return 0;
    return static_cast<int32_t>(std::clamp(std::nearbyint(v), -2147483648.0, 2147483647.0));
}

bool sameReport(const StatusReport& a, const StatusReport& b)
{
    return a.inputs == b.inputs && a.flags == b.flags && std::equal(a.pos, a.pos + 4, b.pos)
           && a.bufferFill == b.bufferFill && a.errorCode == b.errorCode;
}

}  // namespace

// --- reader thread ---

void GrblDevice::ttyLost()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        s.lost = true;
        endStream(false, "the connection to the controller was lost");
        endJob(JobState::Failed, "the connection to the controller was lost");
        s.statusPending = false;  // a vanished controller reports nothing more
        changed.notify_all();
    }
    channel.stop();
}

void GrblDevice::ttyData(const uint8_t* data, size_t count)
{
    channel.receive(data, count);
}

void GrblDevice::lineAnswered(const LineInfo& info, bool ok, int code)
{
    bool stream = false;
    bool streamFailed = false;
    bool jobHold = false;
    bool cancelAgain = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        switch (info.kind) {
        case Kind::Home:
            s.homing = false;
            // After a failed cycle GRBL may still answer "ok": the alarm decides.
            if (ok && !s.alarmWhileHoming)
                s.referenced = s.report.axes == 4 ? ReferencedAll : ReferencedXYZ;
            break;
        case Kind::Spindle:
            if (ok) {
                s.spindle = info.number & 1;
                s.coolant = info.number & 2;
            }
            break;
        case Kind::Setting:
            if (ok) {
                s.settings[info.number] = info.value;
                updateResolution();
            }
            break;
        case Kind::BuildInfo:
            if (ok) {
                s.buildInfo = info.value;
                s.haveBuildInfo = true;
            }
            break;
        case Kind::Jog:
            // Planned after its cancel went out: it runs now, so it is cancelled now.
            cancelAgain = s.jogCancelDue;
            s.jogCancelDue = false;
            break;
        default:
            break;
        }
        if (info.stream) {
            stream = true;
            if (s.streamQueued > 0)
                --s.streamQueued;
            if (ok && info.pass > 0)
                s.streamPass = info.pass;
            streamFailed = !ok && s.streaming;
        }
        if (info.job)
            jobHold = jobLineAnswered(info, ok, code);
        if (ok && info.isMotion() && info.seconds > 0) {
            if (s.plannedSeconds.empty())
                s.plannedClock = Clock::now();
            s.plannedSeconds.push_back(info.seconds);
        }
        // A dry run's refusals are its findings, not the controller's error.
        const bool dryRun = info.job && s.job.options.checkMode;
        // A console line's error is shown beside it in the console, not raised.
        if (!ok && info.kind != Kind::Query && info.kind != Kind::Unlock && !dryRun
            && !info.console)
            raise(grbl::errorCodeForError(code, info.axis, info.direction));
        if (info.stream && !ok)
            endStream(false, "error:" + std::to_string(code) + ": " + grbl::errorMessage(code)
                                 + " (pass " + std::to_string(info.pass) + ")");
        changed.notify_all();
    }
    // A stream that failed ends: its lines still waiting in the channel are dropped.
    if (streamFailed)
        channel.dropUnsent();
    else if (stream)
        pumpStream();
    if (jobHold)
        channel.writeRealtime(grbl::FeedHold);
    if (cancelAgain)
        channel.writeRealtime(grbl::JogCancel);
    if (info.job || info.kind == Kind::Spindle)
        pumpJob();
}

void GrblDevice::alarm(int code)
{
    // A travel-limit alarm belongs to the line GRBL was parsing: the oldest one unanswered.
    const LineInfo failing = channel.oldestInFlight();
    s.errorCode = grbl::errorCodeForAlarm(code, s.lastPins, failing.axis, failing.direction);
    s.status.errorCode = s.errorCode;
    // A hard limit is announced before the report that shows its pin: the axis is named by the
    // next report that does.
    s.hardLimitAxisOpen = code == 1 && s.errorCode == grbl::errorCodeForAlarm(1, {});
    s.referenced = 0;
    if (s.homing)
        s.alarmWhileHoming = true;
    endStream(false, "ALARM:" + std::to_string(code) + ": " + grbl::alarmMessage(code));
    endJob(JobState::Failed, "ALARM:" + std::to_string(code) + ": " + grbl::alarmMessage(code));
    s.halt = Halt::None;
    s.statusPending = true;
}

void GrblDevice::afterWelcome()
{
    // The firmware starts afresh: buffers empty, spindle and coolant off, no program. A reset
    // at rest keeps the position and so the reference; an alarm or the unlock message that
    // follows a reset which lost it clears the reference.
    s.welcomed = true;
    s.homing = false;
    s.critical = false;
    s.spindle = s.coolant = false;
    endStream(false, "the controller was reset");
    // Leaving check mode resets the firmware: that reset ends a dry run whose lines were all
    // answered.
    const JobProgress& job = s.job.progress;
    const bool checked = s.job.options.checkMode && job.linesAcknowledged == job.linesTotal;
    endJob(checked ? JobState::Completed : JobState::Stopped,
           checked ? std::string() : std::string("the controller was reset"));
    s.halt = Halt::None;
    s.plannedSeconds.clear();
    std::fill(s.jogCarry, s.jogCarry + 4, 0.0);
}

void GrblDevice::lineReceived(const std::string& text)
{
    const grbl::Line line = grbl::classifyLine(text);
    HaltStep step = HaltStep::Nothing;
    int freeBlocks = -1;  // planner blocks free to tell the channel, -1 none
    bool cycleStart = false;
    bool stopChannel = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        switch (line.kind) {
        case grbl::LineKind::Alarm:
            alarm(line.code);
            stopChannel = true;
            break;
        case grbl::LineKind::Welcome:
            s.version = line.text;
            afterWelcome();
            break;
        case grbl::LineKind::Report: {
            grbl::Report r;
            if (!grbl::parseReport(line.text, r))
                break;
            handleReport(r);
            if (r.haveBuffer)
                freeBlocks = r.blocksFree;
            else if (r.state == "Idle")
                freeBlocks = s.plannerBlocks;
            if (s.jogCancelling) {
                if (r.state == "Idle" || r.state == "Alarm")
                    s.jogCancelling = false;
                else
                    freeBlocks = -1;
            }
            step = haltStep();
            cycleStart = takeCycleStart();
            break;
        }
        case grbl::LineKind::Setting:
            s.settings[line.code] = line.text;
            break;
        case grbl::LineKind::Message:
            if (line.text == "Reset to continue") {
                // A limit alarm: GRBL answers nothing, not even "?", until a reset; the
                // controller is alive, and its alarm stays shown.
                s.critical = true;
                s.statusPending = true;
            } else if (line.text.find("to unlock") != std::string::npos) {
                s.referenced = 0;
                raise(NotAllowed);  // locked at start-up (homing enabled) or after an alarm
            }
            break;
        case grbl::LineKind::Version:
            s.buildInfo = line.info;
            s.haveBuildInfo = true;
            break;
        case grbl::LineKind::Other:
            // The parser's state from $# and $G, for a job's start.
            if ((line.text.rfind("[G", 0) == 0 || line.text.rfind("[TLO:", 0) == 0)
                && s.parserReports.size() < 32)
                s.parserReports.push_back(line.text);
            if (gcode::applyControllerReport(line.text, s.wcs, s.inches)) {
                if (line.text.rfind("[GC:", 0) == 0)
                    s.haveModes = true;
                else if (line.text.rfind("[G5", 0) == 0)
                    s.haveOffsets = true;
            }
            break;
        case grbl::LineKind::Options:
            if (line.code > 0)
                s.plannerBlocks = line.code;
            if (line.value > 0)
                s.rxBytes = line.value;
            channel.setSizes(s.rxBytes, s.plannerBlocks);
            break;
        default:
            break;
        }
        changed.notify_all();
    }
    if (stopChannel)
        channel.dropUnsent();  // nothing queued before an alarm may run after it
    if (freeBlocks >= 0)
        channel.plannerFree(freeBlocks);
    doHaltStep(step);
    if (cycleStart)
        channel.writeRealtime(grbl::CycleStart);
}

void GrblDevice::handleReport(const grbl::Report& r)
{
    s.report = r;
    s.haveReport = true;
    // A RAM program whose lines were all answered has ended once the machine rests.
    if (s.streamFinishing && s.streamQueued == 0 && r.state == "Idle")
        endStream(true, {});
    const double unit = s.inches ? MmPerInch : 1.0;
    if (r.haveWco) {
        for (int i = 0; i < 4; ++i)
            s.wco[i] = r.wco[i] * unit;
        s.wcoKnown = true;
    }
    s.lastPins = r.pins;
    if (s.hardLimitAxisOpen && s.errorCode != 0) {
        const uint8_t named = grbl::errorCodeForAlarm(1, r.pins);
        if (named != grbl::errorCodeForAlarm(1, {})) {
            s.errorCode = named;
            s.hardLimitAxisOpen = false;
        }
    } else {
        s.hardLimitAxisOpen = false;
    }
    if (r.haveOverrides) {
        // Ov: comes with A: whenever an accessory runs, so here A: is current.
        s.spindle = r.spindle;
        s.coolant = r.coolant;
        std::copy(r.overrides, r.overrides + 3, s.overrides);
    }
    if (r.state == "Home")
        s.homing = true;
    jobReport(r);
    if ((r.state == "Hold" || r.state == "Door") && s.halt == Halt::None && !s.job.holding)
        raise(EmergencyStopped);
    if (r.state == "Alarm" && s.errorCode == 0)
        raise(NotAllowed);
    StatusReport st;
    st.inputs = grbl::inputsFromPins(r.pins);
    for (int axis = 0; axis < r.axes && axis < 4; ++axis) {
        const double mm = r.pos[axis] * unit;
        const double work = r.machinePos ? mm - s.wco[axis] : mm;
        st.pos[axis] = roundToInt(work * s.stepsPerMm[axis]);
    }
    st.bufferFill = bufferFill(r);
    st.errorCode = s.errorCode;
    st.flags = static_cast<uint8_t>(s.referenced | (s.spindle ? SpindleOn : 0)
                                    | (s.coolant ? CoolingOn : 0));
    if (!sameReport(st, s.status))
        s.statusPending = true;
    s.status = st;
}

uint8_t GrblDevice::bufferFill(const grbl::Report& r)
{
    const int blocks = std::max(1, s.plannerBlocks);
    int used = 0;
    if (r.haveBuffer) {
        used = blocks - r.blocksFree;
    } else if (r.state == "Idle") {
        s.plannedSeconds.clear();
    } else {
        // Without Bf: the blocks planned since idle whose estimated run time has not yet
        // passed (the clock stands while the machine holds).
        const auto now = Clock::now();
        double elapsed = std::chrono::duration<double>(now - s.plannedClock).count();
        if (r.state != "Run" && r.state != "Jog")
            elapsed = 0;
        s.plannedClock = now;
        while (!s.plannedSeconds.empty() && elapsed > 0) {
            const double take = std::min(elapsed, s.plannedSeconds.front());
            s.plannedSeconds.front() -= take;
            elapsed -= take;
            if (s.plannedSeconds.front() <= 1e-9)
                s.plannedSeconds.erase(s.plannedSeconds.begin());
        }
        used = int(s.plannedSeconds.size());
        if (r.state == "Run" || r.state == "Jog")
            used = std::max(used, 1);
    }
    used = std::clamp(used, 0, blocks);
    return static_cast<uint8_t>(std::min(255, used * 256 / blocks));
}

// --- emergency halt ---

GrblDevice::HaltStep GrblDevice::haltStep()
{
    if (s.halt != Halt::Braking || !s.haveReport)
        return HaltStep::Nothing;
    const auto now = Clock::now();
    const std::string& state = s.report.state;
    if ((state == "Hold" && s.report.subState == 0)
        || now - s.haltSince > std::chrono::milliseconds(HaltMaxMs)) {
        // At rest: a reset now keeps the position and drops every line the firmware still
        // holds (its receive buffer, a line waiting for the planner).
        s.halt = Halt::Resetting;
        return HaltStep::Reset;
    }
    if (state == "Alarm") {
        s.halt = Halt::None;
        return HaltStep::Nothing;
    }
    if (state == "Hold" || (state == "Jog" && now - s.lastHold < std::chrono::milliseconds(50)))
        return HaltStep::Nothing;  // braking
    // Idle (a jog cancel ended), or moving again: hold, so the firmware's line reader stops
    // before the reset.
    s.lastHold = now;
    return HaltStep::Hold;
}

void GrblDevice::doHaltStep(HaltStep step)
{
    if (step == HaltStep::Reset)
        channel.softReset();
    else if (step == HaltStep::Hold)
        channel.writeRealtime(grbl::FeedHold);
}

// --- status service ---

bool GrblDevice::waitForStatus(std::chrono::milliseconds maxWait)
{
    const auto deadline = Clock::now() + maxWait;
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        if (woken) {
            woken = false;
            return false;
        }
        const auto now = Clock::now();
        if (!s.opened || s.lost) {
            changed.wait_until(lock, deadline, [this] { return woken; });
            woken = false;
            return false;
        }
        if (s.statusPending) {
            s.statusPending = false;
            s.lastNotify = now;
            return true;
        }
        if (s.homing && now - s.homingSince > std::chrono::milliseconds(HomingMaxMs))
            s.homing = false;
        const bool answering =
            now - channel.lastByte() < std::chrono::milliseconds(AnsweringMs);
        if ((answering || s.homing || s.critical)
            && now - s.lastNotify >= std::chrono::milliseconds(NotifyMs)) {
            s.lastNotify = now;
            return true;
        }
        const auto poll = std::chrono::milliseconds(s.halt == Halt::None ? PollMs : HaltPollMs);
        if (now - s.lastPoll >= poll) {
            s.lastPoll = now;
            // A halt that never comes to rest (no reports) still ends in a reset.
            HaltStep step = HaltStep::Nothing;
            if (s.halt == Halt::Braking
                && now - s.haltSince > std::chrono::milliseconds(HaltMaxMs)) {
                s.halt = Halt::Resetting;
                step = HaltStep::Reset;
            }
            lock.unlock();
            doHaltStep(step);
            channel.writeRealtime(grbl::StatusQuery);
            lock.lock();
            continue;
        }
        if (now >= deadline)
            return false;
        const auto next = std::min({deadline, s.lastPoll + poll,
                                    s.lastNotify + std::chrono::milliseconds(NotifyMs)});
        changed.wait_until(lock, next, [this] { return woken || s.statusPending || s.lost; });
    }
}

void GrblDevice::wake()
{
    std::lock_guard<std::mutex> lock(mutex);
    woken = true;
    changed.notify_all();
}

int GrblDevice::getStatus(StatusReport& out)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!s.opened || s.lost || !s.haveReport)
        return 0;
    out = s.status;
    out.errorCode = s.errorCode;
    out.flags = static_cast<uint8_t>(s.referenced | (s.spindle ? SpindleOn : 0)
                                     | (s.coolant ? CoolingOn : 0));
    return 1;
}

}  // namespace quenta
