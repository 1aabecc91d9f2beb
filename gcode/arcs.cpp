#include "arcs.h"

#include <cmath>

namespace gcode {

namespace {

// Below this the end points of a centre-form arc count as the same point: a full circle.
constexpr float FullCircleEpsilon = 5e-7f;
// Chords rotated by the small-angle approximation before one exact rotation from the start.
constexpr unsigned ExactEvery = 12;
constexpr float TwoPi = 2 * static_cast<float>(M_PI);

void setPoint(Block& b, const float p[3])
{
    for (int i = 0; i < 3; ++i)
        b.target[i] = p[i];
}

} // namespace

ArcPlan planArc(const Arc& arc, float tolerance)
{
    ArcPlan plan;
    const float r0 = -arc.offset[arc.axis0];
    const float r1 = -arc.offset[arc.axis1];
    const float centre0 = arc.start[arc.axis0] + arc.offset[arc.axis0];
    const float centre1 = arc.start[arc.axis1] + arc.offset[arc.axis1];
    const float t0 = arc.target[arc.axis0] - centre0;
    const float t1 = arc.target[arc.axis1] - centre1;
    float angle = std::atan2(r0 * t1 - r1 * t0, r0 * t0 + r1 * t1);
    if (arc.clockwise && angle >= -FullCircleEpsilon)
        angle -= TwoPi;
    else if (!arc.clockwise && angle <= FullCircleEpsilon)
        angle += TwoPi;
    plan.angularTravel = angle;

    // The chord count that keeps every chord within `tolerance` of the circle. The firmware
    // keeps it in 16 bits; beyond that (or for a radius under half the tolerance, where the
    // root is undefined) its result is undefined, and so the arc is refused.
    const float root = std::sqrt(tolerance * (2 * arc.radius - tolerance));
    const float count = std::floor(std::fabs(0.5f * angle * arc.radius) / root);
    if (!std::isfinite(count) || count < 0 || count > 65535.0f)
        return plan;
    plan.segments = static_cast<uint32_t>(count);
    plan.valid = true;
    return plan;
}

void appendArcChords(const Arc& arc, const ArcPlan& plan, const Block& chord,
                     std::vector<Block>& out)
{
    Block b = chord;
    b.flags |= ArcChord;
    if (plan.segments > 0) {
        const float step = plan.angularTravel / static_cast<float>(plan.segments);
        const float linearStep =
            (arc.target[arc.axisLinear] - arc.start[arc.axisLinear]) / plan.segments;
        // cos and sin of the step to third order, folded as the firmware folds them.
        float cosStep = 2.0f - step * step;
        const float sinStep = step * 0.16666667f * (cosStep + 4.0f);
        cosStep *= 0.5f;

        const float centre0 = arc.start[arc.axis0] + arc.offset[arc.axis0];
        const float centre1 = arc.start[arc.axis1] + arc.offset[arc.axis1];
        float r0 = -arc.offset[arc.axis0];
        float r1 = -arc.offset[arc.axis1];
        float p[3] = {arc.start[0], arc.start[1], arc.start[2]};
        unsigned sinceExact = 0;
        for (uint32_t i = 1; i < plan.segments; ++i) {
            if (sinceExact < ExactEvery) {
                const float rotated = r0 * sinStep + r1 * cosStep;
                r0 = r0 * cosStep - r1 * sinStep;
                r1 = rotated;
                ++sinceExact;
            } else {
                // Rotates the start vector exactly, so the approximation's drift never adds up.
                const float c = std::cos(static_cast<float>(i) * step);
                const float s = std::sin(static_cast<float>(i) * step);
                r0 = -arc.offset[arc.axis0] * c + arc.offset[arc.axis1] * s;
                r1 = -arc.offset[arc.axis0] * s - arc.offset[arc.axis1] * c;
                sinceExact = 0;
            }
            p[arc.axis0] = centre0 + r0;
            p[arc.axis1] = centre1 + r1;
            p[arc.axisLinear] += linearStep;
            setPoint(b, p);
            out.push_back(b);
        }
    }
    setPoint(b, arc.target);
    out.push_back(b);
}

} // namespace gcode
