#pragma once
// G-code jobs on an open port, beside the C functions: the runner of the record's port started,
// paused, resumed, stopped and read. The job's lines are fed from the library's threads.

#include "interpreter.h"
#include "job.h"
#include "machine.h"
#include "program.h"
#include "quenta.h"

#include <memory>
#include <string>

namespace quenta {

// 1 when the job started; 0 when the port is not open or cannot take it (jobProgress() then
// says why).
int startJob(TarvoPortSettings* record, std::shared_ptr<const JobSource> source,
             const JobOptions& options);
// Reads a G-code file, checks it against the record's controller and starts it from fromLine
// (1-based); the reason when it does not start.
int startJobFile(TarvoPortSettings* record, const char* path, uint32_t fromLine,
                 bool pauseOnToolChange, std::string& reason);
int controlJob(TarvoPortSettings* record, JobControl what);
int overrideJob(TarvoPortSettings* record, uint8_t command);
// A closed port reports Idle with the reason of its last refusal, if any.
JobProgress jobProgress(TarvoPortSettings* record);

// What a job on the record's controller starts from: the settings that shape its path and time
// (a GRBL controller's own; the factory values of GRBL for ours, with our resolutions) and the
// parser's state: the position in millimetres (GRBL: machine coordinates, with its work offsets
// and modes; ours: from the zero point). false when the port is not open or the controller
// cannot say now.
bool jobMachine(TarvoPortSettings* record, gcode::MachineSettings& settings, gcode::State& start);

// The options to interpret a program for the record's controller with: its target, settings
// and position. false when the port is not open or the controller cannot tell them now.
bool jobProgramOptions(TarvoPortSettings* record, gcode::Program::Options& options);

// Whether the record's controller reads G-code itself (GRBL) or gets our linear moves.
gcode::Target jobTarget(TarvoPortSettings* record);

}  // namespace quenta
