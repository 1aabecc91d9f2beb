// The GRBL device's modes: RAM programs kept and streamed by the library, and the parameter
// mode, which reads and writes the firmware's $ settings and the library's own parameters.

#include "grbldevice.h"

#include "parameterrules.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quenta {

namespace {

using namespace codes;
// Stream lines handed to the channel ahead of their answers: enough to keep GRBL's receive
// buffer full, few enough that a stop has little to drop.
constexpr uint64_t StreamWindow = 24;

}  // namespace

int GrblDevice::changeMode(uint8_t m)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!s.opened || s.lost)
            return 0;
        if (m < 1 || m > 3) {
            raise(NotAllowed);
            return 0;
        }
        s.loadingSlot = 0;
        if (m == s.mode)
            return 1;
        if (s.streaming) {
            raise(NotAllowed);
            return 0;
        }
        s.mode = m;
    }
    if (m != 1)
        return 1;
    // Parameter mode reads the settings afresh: the parameter reads answer from them.
    if (!usable())
        return 0;
    LineInfo query;
    query.kind = Kind::Query;
    return channel.send("$$", query, Clock::now() + std::chrono::milliseconds(ReplyTimeoutMs))
                   == Reply::Ok
               ? 1
               : 0;
}

int GrblDevice::loadRam(uint8_t n)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!s.opened || s.lost)
        return 0;
    if (n < 1 || n > RamSlots) {
        raise(RamNumber);
        return 0;
    }
    if (s.mode != 3) {
        raise(NotAllowed);
        return 0;
    }
    s.ramSlots[n - 1] = Slot();
    std::fill(s.ramCarry, s.ramCarry + 4, 0.0);
    s.loadingSlot = n;
    return 1;
}

int GrblDevice::startRam(uint8_t n, uint8_t count)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!s.opened || s.lost)
            return 0;
        if (n < 1 || n > RamSlots) {
            raise(RamNumber);
            return 0;
        }
        if (s.mode != 2 || s.streaming || jobHoldsMachine() || s.errorCode != 0 || s.critical) {
            raise(NotAllowed);
            return 0;
        }
        const Slot& slot = s.ramSlots[n - 1];
        if (slot.overflow) {
            raise(RamTooBig);
            return 0;
        }
        if (slot.lines.empty()) {
            raise(RamEmpty);
            return 0;
        }
        s.streaming = true;
        s.streamSlot = n;
        s.streamRemaining = count;
        s.streamIndex = 0;
        s.streamQueued = 0;
        s.streamPasses = count;
        s.streamQueuePass = s.streamPass = 1;
        s.streamFinishing = false;
        s.streamWatched = true;
    }
    pumpStream();
    return 1;
}

void GrblDevice::pumpStream()
{
    // The starting call and the reader thread both pump: one at a time, so lines leave in the
    // program's order.
    std::lock_guard<std::mutex> order(streamOrder);
    for (;;) {
        std::string line;
        LineInfo info;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!s.streaming || s.lost || s.streamQueued >= StreamWindow)
                return;
            const Slot& slot = s.ramSlots[s.streamSlot - 1];
            line = slot.lines[s.streamIndex].first;
            info = slot.lines[s.streamIndex].second;
            info.pass = s.streamQueuePass;
            ++s.streamQueued;
            if (++s.streamIndex >= slot.lines.size()) {
                s.streamIndex = 0;
                ++s.streamQueuePass;
                if (s.streamRemaining > 0 && --s.streamRemaining == 0) {
                    // The firmware still runs the last lines: the end comes with Idle.
                    s.streaming = false;
                    s.streamFinishing = true;
                }
            }
        }
        info.stream = true;  // answered through the stream's count
        if (channel.queue(line, info) == 0) {
            std::lock_guard<std::mutex> lock(mutex);
            endStream(false, "the line could not be queued for the controller");
            return;
        }
    }
}

// --- parameters ---

void GrblDevice::updateResolution()
{
    for (int axis = 0; axis < 3; ++axis) {
        const double v = grbl::settingValue(s.settings, 100 + axis, 250);
        s.stepsPerMm[axis] = v > 0 ? v : 250;
    }
    const double c = grbl::settingValue(s.settings, 103, hostParams[0x0403].f);
    s.stepsPerMm[3] = c > 0.1 ? c : 0.1;
    s.inches = grbl::settingValue(s.settings, 13, 0) != 0;
}

bool GrblDevice::admitParameterCall(bool knownParameter)
{
    if (!s.opened || s.lost)
        return false;
    if (!knownParameter) {
        raise(ParameterNumber);
        return false;
    }
    if (s.mode != 1) {
        raise(NotAllowed);
        return false;
    }
    return true;
}

int GrblDevice::readParameter(uint8_t group, uint8_t index, uint8_t result[16])
{
    const auto key = static_cast<uint16_t>(group << 8 | index);
    const ParameterRule* const rule = FindParameterRule(key);
    std::lock_guard<std::mutex> lock(mutex);
    if (!admitParameterCall(rule != nullptr))
        return 0;
    ParamValue v = hostParams[key];
    grbl::SettingsMap::read(key, s.settings, v);
    if (key == 0x0505) {
        // The name as the firmware stores it.
        std::memset(v.name, 0, sizeof v.name);
        std::memcpy(v.name, s.buildInfo.data(), std::min<size_t>(16, s.buildInfo.size()));
    }
    EncodeParameterReply(rule->kind, v.longs, v.f, v.name, strnlen(v.name, sizeof v.name),
                         result);
    return 1;
}

bool GrblDevice::writeSetting(int number, double value)
{
    const std::string text = grbl::formatNumber(value);
    {
        // EEPROM cells wear: a setting is written only when its value changes.
        std::lock_guard<std::mutex> lock(mutex);
        const double old = grbl::settingValue(s.settings, number, std::nan(""));
        if (std::fabs(old - value) < 0.0005)
            return true;
    }
    LineInfo info;
    info.kind = Kind::Setting;
    info.number = number;
    info.value = text;
    // The firmware stalls for the EEPROM write; an "ok" after the wait is still recorded
    // (lineAnswered), so the library never disagrees with the firmware.
    const std::string line = "$" + std::to_string(number) + "=" + text;
    const Reply r =
        channel.send(line, info, Clock::now() + std::chrono::milliseconds(SettingTimeoutMs));
    if (r != Reply::Failed) {
        std::lock_guard<std::mutex> lock(mutex);
        noteSent(line);
    }
    return r == Reply::Ok;
}

int GrblDevice::setParameter(uint8_t group, uint8_t index, const ParamValue& value)
{
    const auto key = static_cast<uint16_t>(group << 8 | index);
    const ParameterRule* const rule = FindParameterRule(key);
    std::vector<grbl::SettingWrite> writes;
    std::string refusal;
    int axes = 3;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!admitParameterCall(rule != nullptr))
            return 0;
        if (!IsValidParameterValue(*rule, value)) {
            raise(ParameterValue);
            return 0;
        }
        axes = s.haveReport ? s.report.axes : 3;
        if (!grbl::SettingsMap::writes(key, value, s.settings, axes, writes, refusal)) {
            s.refusal = refusal;
            raise(ParameterValue);
            return 0;
        }
    }
    if (!usable())
        return 0;
    bool ok = true;
    for (const grbl::SettingWrite& w : writes) {
        if (!(ok = writeSetting(w.number, w.value)))
            break;
    }
    if (ok && key == 0x0505) {
        const std::string stored =
            grbl::storedBuildInfo(std::string(value.name, strnlen(value.name, sizeof value.name)));
        std::string current;
        {
            std::lock_guard<std::mutex> lock(mutex);
            current = s.buildInfo;
        }
        if (stored != current) {
            LineInfo info;
            info.kind = Kind::BuildInfo;
            info.value = stored;
            ok = channel.send("$I=" + stored, info,
                              Clock::now() + std::chrono::milliseconds(SettingTimeoutMs))
                 == Reply::Ok;
        }
    }
    if (!ok)
        return 0;
    store->save(key, value);
    std::lock_guard<std::mutex> lock(mutex);
    hostParams[key] = value;
    updateResolution();  // the C resolution is the library's own without $103
    return 1;
}

}  // namespace quenta
