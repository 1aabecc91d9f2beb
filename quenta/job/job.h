#pragma once
// G-code jobs in the link library: what a job is made of, how far it has come, and the runner
// that feeds it to one controller from the library's own threads, so a busy window never
// starves a machine.

#include "block.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quenta {

enum class JobState : uint8_t {
    Idle,        // no job since the port opened
    Running,
    Paused,      // held by the operator
    ToolChange,  // stopped before a tool change line, spindle off, waiting to resume
    ErrorPause,  // the controller refused a line: held, waiting for resume (skip it) or stop
    Stopped,     // stopped by the operator, a reset or an emergency stop
    Completed,
    Failed,      // an alarm, a lost connection, a refused start
};

// Resume after a tool change, or after an error pause (the refused line is skipped).
enum class JobControl : uint8_t { Pause, Resume, Stop };

// One line of a job as the runner needs it.
struct JobLine {
    uint32_t fileLine = 0;  // 1-based line of the file; 0 for lines the runner adds
    std::string text;       // what a G-code controller gets; empty: nothing to send
    bool toolChange = false;
    int tool = 0;
    bool writesSettings = false;  // stores into the controller's EEPROM: sent alone
    // What our own controllers get: the line's motion, and the spindle (0 off, 1 clockwise,
    // 2 counter-clockwise) and coolant bits (1 flood, 2 mist) after the line.
    std::vector<gcode::Block> blocks;
    uint8_t spindle = 0;
    uint8_t coolant = 0;
};

// The lines of a job, read one at a time while it runs.
class JobSource {
public:
    virtual ~JobSource() = default;
    virtual uint32_t lineCount() const = 0;
    // Lines are asked for in ascending order, each once per run.
    virtual void line(uint32_t index, JobLine& out) const = 0;
};

struct JobOptions {
    bool pauseOnToolChange = true;  // false: tool changes are skipped
    // GRBL's own dry run ($C): the firmware parses every line and moves nothing; its errors
    // are collected instead of pausing the job. Controllers without it refuse the start.
    bool checkMode = false;
};

// A line the controller refused during a check.
struct JobError {
    uint32_t fileLine = 0;
    int code = 0;
    std::string reason;
};

struct JobProgress {
    JobState state = JobState::Idle;
    uint32_t linesTotal = 0;
    uint32_t linesSent = 0;
    uint32_t linesAcknowledged = 0;
    uint32_t fileLineExecuting = 0;  // 0 when unknown
    uint32_t failedFileLine = 0;     // the line of a failure or error pause
    int tool = 0;                    // the tool to insert (ToolChange)
    std::string reason;              // why it failed, stopped or pauses on an error
    std::vector<JobError> errors;    // check mode: the lines the controller refused
    // The controller's feed, rapid and spindle overrides in percent, as it last told them;
    // 0 where it does not say (also without a job).
    int overrides[3] = {0, 0, 0};
};

// Runs one job at a time on one port. Every method may be called from any thread.
class JobRunner {
public:
    virtual ~JobRunner() = default;
    // 1 when the job started; 0 when one is running or the controller cannot take it (the
    // reason is in progress().reason).
    virtual int start(std::shared_ptr<const JobSource> source, const JobOptions& options) = 0;
    virtual int control(JobControl what) = 0;
    // A feed / rapid / spindle override: GRBL's realtime command bytes 0x90 ... 0x9D.
    virtual int override(uint8_t command) { (void)command; return 0; }
    virtual JobProgress progress() const = 0;
};

inline bool jobActive(JobState s)
{
    return s == JobState::Running || s == JobState::Paused || s == JobState::ToolChange
           || s == JobState::ErrorPause;
}

// Whether the job failed on a controller alarm (its reason then reads "ALARM:n: ...").
inline bool jobAlarm(const JobProgress& p)
{
    return p.state == JobState::Failed && p.reason.rfind("ALARM:", 0) == 0;
}

// Whether a stripped GRBL line writes the firmware's EEPROM ($x=, $N, $RST, $I=, G10 L2/L20,
// G28.1, G30.1).
bool writesEeprom(const std::string& stripped);

}  // namespace quenta
