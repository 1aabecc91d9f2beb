#pragma once
// One motion the controller plans: what the interpreter produces for every line and what the
// estimator, the preview and the job engine for our own controllers consume.

#include <cstdint>

namespace gcode {

enum class BlockKind : uint8_t {
    Rapid,  // G0 and the rapid legs of G28/G30: at the axes' maximum rates
    Feed,   // G1, every chord of G2/G3, probing moves: at `value` mm/min
    Dwell,  // G4: the planner empties, then the machine waits `value` seconds
    Sync,   // the planner empties before the line goes on (spindle, coolant, M0/M1/M2/M30,
            // a tool change, writes of offsets); `value` is 0
};

enum BlockFlag : uint8_t {
    ArcChord = 0x01,     // one chord of an arc
    MachineFrame = 0x02, // G53, G28, G30: given in machine coordinates
    Probe = 0x04,        // G38.x
    ToolChange = 0x08,   // the Sync of an M6 line
    ProgramPause = 0x10, // the Sync of M0 / M1
    ProgramEnd = 0x20,   // the Sync of M2 / M30
};

struct Block {
    float target[3] = {0, 0, 0}; // end point, machine coordinates, millimetres (X, Y, Z)
    float value = 0;             // Feed: mm/min (inverse time already converted); Dwell: s
    uint32_t line = 0;           // 0-based index of the source line
    BlockKind kind = BlockKind::Rapid;
    uint8_t flags = 0;
};

} // namespace gcode
