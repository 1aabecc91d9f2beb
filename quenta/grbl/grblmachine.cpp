// The GRBL device's work coordinates and manual motion: positions from the reports, offsets
// from "$#", zeroing with G10 L20, the move to the work zero and jogs with their cancel.
#include "grbldevice.h"

#include "machinecontrol.h"

#include <algorithm>
#include <cmath>

namespace quenta {

namespace {

using namespace codes;
using grbl::formatDistance;
using grbl::formatNumber;

const char AxisLetters[] = "XYZA";
constexpr double MmPerInch = 25.4;
// A continuous jog stops this far inside the soft limits: the reported position is rounded,
// and GRBL refuses a jog whose target lies beyond them (error:15).
constexpr double SoftLimitMarginMm = 0.01;
// Without soft limits a continuous jog goes as far as the axis' travel, or this far when the
// travel is not set; the hard limits stop it before.
constexpr double UnboundedJogMm = 1000;

}  // namespace

bool GrblDevice::manualMotionRefused()
{
    std::string why;
    if (!s.opened || s.lost)
        why = "the controller is not connected";
    else if (s.mode != 2)
        why = "the controller is not in the normal mode";
    else if (s.streaming || jobHoldsMachine())
        why = "a program or job runs";
    else if (s.halt != Halt::None || s.homing || s.critical)
        why = "the controller is busy";
    if (why.empty())
        return false;
    s.refusal = why;
    return true;
}

bool GrblDevice::workCoordinates(WorkCoordinates& out)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!s.opened || s.lost || !s.haveReport)
        return false;
    out = WorkCoordinates{};
    out.millimetres = true;
    out.axes = std::min(4, s.report.axes);
    const double unit = s.inches ? MmPerInch : 1.0;
    for (int axis = 0; axis < out.axes; ++axis) {
        const double mm = s.report.pos[axis] * unit;
        out.machine[axis] = s.report.machinePos ? mm : mm + s.wco[axis];
        out.work[axis] = s.report.machinePos ? mm - s.wco[axis] : mm;
    }
    out.haveMachine = s.report.machinePos || s.wcoKnown;
    out.activeSystem = s.haveModes ? s.wcs.workSystem : -1;
    out.haveOffsets = s.haveOffsets;
    for (int system = 0; system < 6; ++system)
        for (int axis = 0; axis < 3; ++axis)
            out.offsets[system][axis] = s.wcs.workOffsets[system][axis];
    return true;
}

int GrblDevice::readWorkOffsets()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!s.opened || s.lost || !s.haveReport)
            return 0;
        // "$#" is answered at rest only (error:8 otherwise); "$G" always.
        if (s.report.state != "Idle" && s.report.state != "Alarm")
            return 0;
    }
    LineInfo query;
    query.kind = Kind::Query;
    return command("$#", query) && command("$G", query);
}

int GrblDevice::zeroAxes(unsigned axes)
{
    LineInfo query;
    query.kind = Kind::Query;
    bool knowSystem = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (manualMotionRefused()) {
            raise(NotAllowed);
            return 0;
        }
        knowSystem = s.haveModes;
    }
    if (!knowSystem && !command("$G", query))
        return 0;
    std::string line;
    {
        std::lock_guard<std::mutex> lock(mutex);
        // P1 ... P6 = G54 ... G59: the system in force, so the work position reads 0.
        line = "G10 L20 P" + std::to_string(s.wcs.workSystem + 1);
        const int count = s.haveReport ? s.report.axes : 3;
        for (int axis = 0; axis < count; ++axis) {
            if ((axes >> axis) & 1)
                line += std::string(" ") + AxisLetters[axis] + "0";
        }
        if (line.find(' ', 8) == std::string::npos) {
            s.refusal = "no axis of this controller chosen";
            return 0;
        }
    }
    if (!command(line, LineInfo()))
        return 0;
    // The table follows; the next report with WCO shows the new work position.
    command("$#", query);
    return 1;
}

int GrblDevice::goToZero()
{
    double workZ = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (manualMotionRefused() || !s.haveReport) {
            raise(NotAllowed);
            return 0;
        }
        const double unit = s.inches ? MmPerInch : 1.0;
        const double z = s.report.pos[2] * unit;
        workZ = s.report.machinePos ? z - s.wco[2] : z;
    }
    LineInfo info;
    info.kind = Kind::Motion;
    const auto xy = [&] { return command("G90 G0 X0 Y0", info); };
    const auto z = [&] { return command("G90 G0 Z0", info); };
    // Below its zero the tool is in the work: up first, then across.
    if (workZ < 0)
        return z() && xy();
    return xy() && z();
}

int GrblDevice::jog(int axis, int direction, double distanceMm, double feedMmPerMin)
{
    if (direction == 0 || !(feedMmPerMin > 0) || !std::isfinite(feedMmPerMin)
        || !(distanceMm >= 0) || !std::isfinite(distanceMm))
        return 0;
    double mm = distanceMm;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (manualMotionRefused()) {
            raise(NotAllowed);
            return 0;
        }
        const int count = s.haveReport ? s.report.axes : 3;
        if (axis < 0 || axis >= count) {
            s.refusal = "this controller has no such axis";
            return 0;
        }
        if (distanceMm == ContinuousJog) {
            const double travel = grbl::settingValue(s.settings, 130 + axis, 0);
            if (grbl::settingValue(s.settings, 20, 0) != 0) {
                // Soft limits: the machine's envelope is [-travel, 0]; go to its edge.
                const double unit = s.inches ? MmPerInch : 1.0;
                const double at = s.report.pos[axis] * unit;
                if (!s.report.machinePos && !s.wcoKnown) {
                    s.refusal = "the machine position is not known yet (no WCO report)";
                    return 0;
                }
                const double machine = s.report.machinePos ? at : at + s.wco[axis];
                mm = (direction > 0 ? -machine : machine + travel) - SoftLimitMarginMm;
                if (mm <= 0) {
                    s.refusal = "the axis stands at its soft limit";
                    return 0;
                }
            } else {
                mm = travel > 0 ? travel : UnboundedJogMm;
            }
        }
    }
    const std::string distance = formatDistance(direction > 0 ? mm : -mm);
    if (distance == "0")
        return 0;
    LineInfo info;
    info.kind = Kind::Jog;
    info.axis = axis;
    info.direction = direction > 0 ? 1 : -1;
    info.seconds = mm / (feedMmPerMin / 60.0);
    return command(std::string("$J=G91 G21 ") + AxisLetters[axis] + distance + " F"
                       + formatNumber(feedMmPerMin),
                   info);
}

int GrblDevice::cancelJog()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!s.opened || s.lost)
            return 0;
        // Set before looking, so an answer that comes meanwhile cancels its jog too.
        s.jogCancelDue = true;
        s.jogCancelling = true;
    }
    // The next jog waits for the report that shows the machine at rest.
    channel.plannerFree(0);
    // Jogs still in the library never leave; one GRBL has not planned yet is cancelled when
    // its answer says it is planned (GRBL ignores the cancel before that).
    channel.dropUnsentJogs();
    if (!channel.jogInFlight()) {
        std::lock_guard<std::mutex> lock(mutex);
        s.jogCancelDue = false;
    }
    return channel.writeRealtime(grbl::JogCancel) ? 1 : 0;
}

}  // namespace quenta
