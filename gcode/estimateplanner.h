#pragma once
// The motion half of the estimator: GRBL 1.1's look-ahead planner and the stepper that executes
// its blocks, replayed on a clock. Blocks enter when the parser hands them over; the machine
// runs the plan between those moments.

#include "block.h"
#include "machine.h"

#include <cstdint>
#include <vector>

namespace gcode {

// The speed profile of one block: accelerate from the entry speed, cruise at the nominal speed,
// decelerate to the exit speed (a triangle when the block is too short to reach the nominal
// speed). Speeds squared in mm^2/s^2, length in mm, acceleration in mm/s^2.
struct SpeedProfile {
    SpeedProfile(double length, double accel, double nominal2, double entry2, double exit2);
    double duration() const { return accelTime + cruiseTime + decelTime; }
    // Distance done (mm) and speed (mm/s) after t seconds into the block.
    void at(double t, double& distance, double& speed) const;

    double accel, entry, peak, exit;
    double accelDistance, cruiseDistance;
    double accelTime, cruiseTime, decelTime;
};

class PlannerReplay {
public:
    // lineEnds: per source line, the time its last motion ends; blocks write into it as they
    // complete.
    PlannerReplay(const MachineSettings& settings, const float start[3],
                  std::vector<float>& lineEnds);

    // The parser hands a motion block (Rapid or Feed) of the given line over at time now;
    // returns the time the planner took it, later than now when the parser had to wait for a
    // free slot.
    double plan(const Block& block, uint32_t line, double now);
    // Lets the planned motion run out; returns when the machine stands still (at least now).
    double drain(double now);

private:
    struct Move {
        double length;     // mm; for the front block what is left of it
        double accel;      // mm/s^2 along the path
        double nominal2;   // (mm/s)^2
        double maxEntry2;  // the junction's limit
        double reverse2;   // the fastest entry that still stops at the end of the plan
        double entry2;     // the planned entry (for the front block: its speed at frontStart)
        uint32_t line;
    };

    Move& at(int i) { return ring[(head + i) & mask]; }
    double exit2(int i) { return i + 1 < count ? at(i + 1).entry2 : 0.0; }
    bool makeMove(const Block& block, Move& move);
    double junctionLimit2(const double unit[3]) const;
    void runUntil(double t);
    void completeFront();
    void replan(double now);
    void cutFront(double now);
    void timeFront();

    MachineSettings settings;
    std::vector<float>& lineEnds;
    std::vector<Move> ring;
    int mask = 0;
    int head = 0;
    int count = 0;
    int depth = 15;
    double frontStart = 0;  // when the front block began (or was last cut)
    double frontEnd = 0;    // when it ends under the current plan
    int32_t position[3] = {0, 0, 0};  // end of the last planned block, steps
    double previousUnit[3] = {0, 0, 0};
    double previousNominal = 0;        // mm/s
};

} // namespace gcode
