#pragma once
// Restarting a job in the middle: the lines that bring the controller into the state the job
// had before a given line, and the tool safely to where that line starts.

#include "program.h"

#include <cstdint>
#include <string>
#include <vector>

namespace gcode {

struct RestartPlan {
    std::vector<std::string> lines; // sent before the restart line; the operator may edit them
    std::vector<std::string> notes; // what the operator should know before sending them
};

// `from` is the 0-based index of the first job line to run again. The approach lifts the tool
// in machine coordinates to a safe height (the highest machine Z of the job and its start; on
// a homed GRBL at least 1 mm under the Z switch), rapids over the line's start point, switches
// spindle and coolant on, and plunges at the job's feed (or `fallbackFeed` mm/min when the job
// has none in force there). Then the job's modes and offsets follow.
RestartPlan restartPlan(const Program& program, uint32_t from, float fallbackFeed = 100);

} // namespace gcode
