#pragma once
// Arcs split into chords the way GRBL 1.1's arc generator splits them: the same chord count
// from the arc tolerance, the same rotation by a small-angle approximation with an exact
// correction every twelfth chord, in single precision, ending exactly on the programmed end.
// Internal to the library.

#include "block.h"

#include <cstdint>
#include <vector>

namespace gcode {

struct Arc {
    float start[3] = {0, 0, 0};  // machine coordinates, mm
    float target[3] = {0, 0, 0};
    float offset[3] = {0, 0, 0}; // from the start to the centre, mm
    float radius = 0;            // start to centre, mm
    int axis0 = 0, axis1 = 1, axisLinear = 2;
    bool clockwise = false;
};

struct ArcPlan {
    float angularTravel = 0; // radians, negative clockwise
    uint32_t segments = 0;   // 0: a single line to the end point
    bool valid = false;      // false when the firmware's chord count is undefined
};

ArcPlan planArc(const Arc& arc, float tolerance);

// Appends the chords: copies of `chord` with their end points (the last one on arc.target).
void appendArcChords(const Arc& arc, const ArcPlan& plan, const Block& chord,
                     std::vector<Block>& out);

} // namespace gcode
