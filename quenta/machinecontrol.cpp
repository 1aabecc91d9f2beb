#include "machinecontrol.h"

#include "blockjob.h"
#include "controllercodes.h"
#include "device.h"
#include "jobs.h"
#include "device.h"

#include <cmath>

namespace quenta {

namespace {

// Far enough to stay under the hand until the operator lets go; the controller's travel range
// and end switches stop it before.
constexpr float OwnContinuousMm = 99999.0f;

bool jobRuns(TarvoPortSettings* record)
{
    return jobActive(jobProgress(record).state);
}

}  // namespace

// --- our own controllers: the zero point of NullPunktSetzen, moves and the hold ---

bool Device::workCoordinates(WorkCoordinates& out)
{
    // A controller behind a line reports only its position relative to the zero point, which
    // the status report carries already.
    (void)out;
    return false;
}

int Device::zeroAxes(unsigned axes)
{
    // The zero point is set for all four axes at once: the others get the value they read
    // now, which needs the machine at rest.
    StatusReport r;
    if ((axes & 0x0f) == 0 || !atRest(*this, r))
        return 0;
    int32_t values[4];
    for (int axis = 0; axis < 4; ++axis)
        values[axis] = (axes >> axis) & 1 ? 0 : r.pos[axis];
    return setZeroSteps(values);
}

int Device::goToZero()
{
    StatusReport r;
    if (!atRest(*this, r))
        return 0;
    const int32_t none[6] = {};
    const int32_t x[6] = {-r.pos[0]};
    const int32_t y[6] = {-r.pos[1]};
    const int32_t z[6] = {-r.pos[2]};
    // Speed 0: the controller's travel speed.
    const auto xy = [&] { return moveSteps(0, 0, 1, x, y, 3); };
    const auto zOnly = [&] { return moveSteps(1, 0, 1, z, none, 3); };
    if (r.pos[2] < 0)
        return zOnly() && xy();
    return xy() && zOnly();
}

int Device::jog(int axis, int direction, double distanceMm, double feedMmPerMin)
{
    if (axis < 0 || axis > 3 || direction == 0 || !(feedMmPerMin > 0) || !(distanceMm >= 0)
        || !std::isfinite(distanceMm) || !std::isfinite(feedMmPerMin))
        return 0;
    const float mm = distanceMm == ContinuousJog ? OwnContinuousMm : float(distanceMm);
    float first[6] = {};
    float second[6] = {};
    (axis % 2 == 0 ? first : second)[0] = direction > 0 ? mm : -mm;
    return moveMm(axis / 2, float(feedMmPerMin / 60.0), 1, first, second, 3);
}

int Device::cancelJog()
{
    StatusReport r;
    if (!getStatus(r))
        return 0;
    // An error stopped the jog already (the end of the travel range, an end switch): it stays
    // shown, and nothing runs that needs a hold.
    if (r.errorCode != 0 && r.bufferFill == 0)
        return 1;
    // The hold brakes with the ramp and clears the buffer. It reports itself as an error,
    // which an ordinary release must not leave behind; an error that came before it stays.
    if (!emergencyHalt())
        return 0;
    if (r.errorCode == 0)
        acknowledgeError();
    return 1;
}

// --- the functions on a record ---

bool workCoordinates(TarvoPortSettings* record, WorkCoordinates& out)
{
    return withPortDevice(record, false, [&](Device& d) {
        // A device whose status is not its own to guard is read like a call.
        if (!d.statusWithoutCallLock())
            return 0;
        return d.workCoordinates(out) ? 1 : 0;
    }) || withPortDevice(record, true, [&](Device& d) {
        return !d.statusWithoutCallLock() && d.workCoordinates(out) ? 1 : 0;
    });
}

int readWorkOffsets(TarvoPortSettings* record)
{
    if (jobRuns(record))
        return 0;
    return withPortDevice(record, true, [](Device& d) { return d.readWorkOffsets(); });
}

int zeroAxes(TarvoPortSettings* record, unsigned axes)
{
    if (jobRuns(record))
        return 0;
    return withPortDevice(record, true, [axes](Device& d) { return d.zeroAxes(axes); });
}

int goToZero(TarvoPortSettings* record)
{
    if (jobRuns(record))
        return 0;
    return withPortDevice(record, true, [](Device& d) { return d.goToZero(); });
}

int jog(TarvoPortSettings* record, int axis, int direction, double distanceMm,
        double feedMmPerMin)
{
    if (jobRuns(record))
        return 0;
    return withPortDevice(record, true, [&](Device& d) {
        return d.jog(axis, direction, distanceMm, feedMmPerMin);
    });
}

int cancelJog(TarvoPortSettings* record)
{
    // A job's motion is the job's to stop (a hold would end it).
    if (jobRuns(record))
        return 0;
    return withPortDevice(record, true, [](Device& d) { return d.cancelJog(); });
}

}  // namespace quenta
