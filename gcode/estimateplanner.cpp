#include "estimateplanner.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace gcode {

namespace {

constexpr double Unlimited = std::numeric_limits<double>::infinity();
// The slowest feed the firmware plans, so that every block ends (1 mm/min).
constexpr double MinimumSpeed = 1.0 / 60.0;
// Beyond these cosines a junction counts as a full reversal or as a straight line.
constexpr double CosineLimit = 0.999999;

// The largest value along the unit vector that keeps every axis within its own limit.
double limitByAxes(const double (&axisLimit)[3], const double unit[3])
{
    double limit = Unlimited;
    for (int a = 0; a < 3; ++a) {
        if (unit[a] != 0)
            limit = std::min(limit, axisLimit[a] / std::fabs(unit[a]));
    }
    return limit;
}

} // namespace

SpeedProfile::SpeedProfile(double length, double accel_, double nominal2, double entry2,
                           double exit2)
    : accel(accel_), entry(std::sqrt(entry2)), exit(std::sqrt(exit2))
{
    // The peak a triangle would reach, capped by the nominal speed; never below the ends, which
    // the planner already made reachable (rounding aside).
    double peak2 = std::min(nominal2, (2 * accel * length + entry2 + exit2) / 2);
    peak2 = std::max(peak2, std::max(entry2, exit2));
    peak = std::sqrt(peak2);
    accelDistance = (peak2 - entry2) / (2 * accel);
    cruiseDistance = std::max(0.0, length - accelDistance - (peak2 - exit2) / (2 * accel));
    accelTime = (peak - entry) / accel;
    decelTime = (peak - exit) / accel;
    cruiseTime = peak > 0 ? cruiseDistance / peak : 0;
}

void SpeedProfile::at(double t, double& distance, double& speed) const
{
    if (t < accelTime) {
        speed = entry + accel * t;
        distance = (entry + 0.5 * accel * t) * t;
        return;
    }
    t -= accelTime;
    if (t < cruiseTime) {
        speed = peak;
        distance = accelDistance + peak * t;
        return;
    }
    t = std::min(t - cruiseTime, decelTime);
    speed = peak - accel * t;
    distance = accelDistance + cruiseDistance + (peak - 0.5 * accel * t) * t;
}

PlannerReplay::PlannerReplay(const MachineSettings& settings_, const float start[3],
                             std::vector<float>& lineEnds_)
    : settings(settings_), lineEnds(lineEnds_), depth(std::max(1, settings_.plannerBlocks))
{
    int size = 1;
    while (size < depth)
        size *= 2;
    ring.resize(size);
    mask = size - 1;
    for (int a = 0; a < 3 && start; ++a)
        position[a] = int32_t(std::lround(start[a] * float(settings.stepsPerMm[a])));
}

double PlannerReplay::plan(const Block& block, uint32_t line, double now)
{
    runUntil(now);
    // The parser waits for a free slot even for a block that turns out to be empty.
    if (count == depth) {
        now = frontEnd;
        completeFront();
    }
    Move move;
    if (!makeMove(block, move))
        return now;
    move.line = line;
    move.entry2 = 0;
    move.reverse2 = std::min(move.maxEntry2, 2 * move.accel * move.length);
    at(count++) = move;
    if (count == 1) {
        frontStart = now;
        timeFront();
    } else {
        replan(now);
    }
    return now;
}

double PlannerReplay::drain(double now)
{
    while (count > 0)
        completeFront();
    return std::max(now, frontStart);
}

// Fills in the block as the firmware plans it: the target rounded to whole steps, the length
// and direction from those steps, rate and acceleration capped so no axis exceeds its own, the
// entry speed capped by the junction and by both neighbours' nominal speeds.
bool PlannerReplay::makeMove(const Block& block, Move& move)
{
    int32_t target[3];
    double unit[3];
    double length2 = 0;
    for (int a = 0; a < 3; ++a) {
        // The firmware multiplies in single precision before rounding.
        target[a] = int32_t(std::lround(block.target[a] * float(settings.stepsPerMm[a])));
        unit[a] = (target[a] - position[a]) / settings.stepsPerMm[a];
        length2 += unit[a] * unit[a];
    }
    if (target[0] == position[0] && target[1] == position[1] && target[2] == position[2])
        return false;
    move.length = std::sqrt(length2);
    for (double& u : unit)
        u /= move.length;
    move.accel = limitByAxes(settings.acceleration, unit);
    const double rapid = limitByAxes(settings.maxRate, unit) / 60;
    double nominal = block.kind == BlockKind::Rapid ? rapid : std::min(double(block.value) / 60, rapid);
    nominal = std::max(nominal, MinimumSpeed);
    move.nominal2 = nominal * nominal;
    // A block entering an empty planner starts from rest.
    const double junction2 = count == 0 ? 0.0 : junctionLimit2(unit);
    const double slower = std::min(nominal, previousNominal);
    move.maxEntry2 = std::min(junction2, slower * slower);
    previousNominal = nominal;
    std::copy(unit, unit + 3, previousUnit);
    std::copy(target, target + 3, position);
    return true;
}

// The speed through the corner at which the centripetal acceleration on a circle that stays
// within the junction deviation of the corner equals the acceleration allowed in the
// direction the velocity changes.
double PlannerReplay::junctionLimit2(const double unit[3]) const
{
    double cosine = 0;
    double turn[3];
    for (int a = 0; a < 3; ++a) {
        cosine -= previousUnit[a] * unit[a];
        turn[a] = unit[a] - previousUnit[a];
    }
    if (cosine > CosineLimit)
        return 0;  // a reversal: stop
    if (cosine < -CosineLimit)
        return Unlimited;  // straight on
    const double turnLength = std::sqrt(turn[0] * turn[0] + turn[1] * turn[1] + turn[2] * turn[2]);
    for (double& t : turn)
        t /= turnLength;
    const double accel = limitByAxes(settings.acceleration, turn);
    const double sinHalf = std::sqrt(0.5 * (1 - cosine));
    return std::max(0.0, accel * settings.junctionDeviation * sinHalf / (1 - sinHalf));
}

void PlannerReplay::runUntil(double t)
{
    while (count > 0 && frontEnd <= t)
        completeFront();
}

void PlannerReplay::completeFront()
{
    float& end = lineEnds[at(0).line];
    end = std::max(end, float(frontEnd));
    head = (head + 1) & mask;
    --count;
    frontStart = frontEnd;
    if (count > 0)
        timeFront();
}

// The new last block raised the exit of the block before it from zero: the reverse pass lifts
// the entry limits backwards for as long as they change, the forward pass then caps the entries
// by what the blocks before them can reach.
void PlannerReplay::replan(double now)
{
    const int last = count - 1;
    int changed = last;
    for (int i = last - 1; i >= 1; --i) {
        Move& m = at(i);
        const double limit = std::min(m.maxEntry2, at(i + 1).reverse2 + 2 * m.accel * m.length);
        if (limit == m.reverse2)
            break;
        m.reverse2 = limit;
        changed = i;
    }
    const bool frontExitChanges = changed == 1;
    if (frontExitChanges)
        cutFront(now);
    for (int i = changed - 1; i < last; ++i) {
        const Move& m = at(i);
        Move& next = at(i + 1);
        next.entry2 = std::min(next.reverse2, m.entry2 + 2 * m.accel * m.length);
    }
    if (frontExitChanges)
        timeFront();
}

// The executing block is replanned from where it is: what is left of it becomes the block,
// entered at the speed it has now.
void PlannerReplay::cutFront(double now)
{
    const double t = now - frontStart;
    if (t <= 0)
        return;
    Move& front = at(0);
    const SpeedProfile profile(front.length, front.accel, front.nominal2, front.entry2, exit2(0));
    double done = 0;
    double speed = 0;
    profile.at(t, done, speed);
    front.length = std::max(0.0, front.length - done);
    front.entry2 = speed * speed;
    frontStart = now;
}

void PlannerReplay::timeFront()
{
    const Move& front = at(0);
    frontEnd = frontStart
               + SpeedProfile(front.length, front.accel, front.nominal2, front.entry2, exit2(0))
                     .duration();
}

} // namespace gcode
