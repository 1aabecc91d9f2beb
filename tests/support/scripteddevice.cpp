#include "scripteddevice.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace quenta {

namespace {

template <typename T, typename Format>
std::string list(const T* values, int n, Format format)
{
    std::string s = "[";
    for (int i = 0; i < n; ++i) {
        if (i)
            s += ",";
        s += format(values[i]);
    }
    return s + "]";
}

std::string num(long long v)
{
    return std::to_string(v);
}

}  // namespace

std::string formatLogFloat(float value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::vector<std::string> ScriptedDevice::calls() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return log;
}

void ScriptedDevice::clearCalls()
{
    std::lock_guard<std::mutex> lock(mutex);
    log.clear();
}

int ScriptedDevice::countCalls(const std::string& prefix) const
{
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const std::string& c) {
        return c.compare(0, prefix.size(), prefix) == 0;
    }));
}

void ScriptedDevice::queueResult(const std::string& function, int result)
{
    std::lock_guard<std::mutex> lock(mutex);
    results[function].push_back(result);
}

void ScriptedDevice::setDefaultResult(int result)
{
    std::lock_guard<std::mutex> lock(mutex);
    defaultResult = result;
}

void ScriptedDevice::setOpenCode(int code)
{
    std::lock_guard<std::mutex> lock(mutex);
    openCode = code;
}

void ScriptedDevice::setControllerName(const std::string& n)
{
    std::lock_guard<std::mutex> lock(mutex);
    name = n;
}

void ScriptedDevice::setParameterReply(int key, const std::vector<uint8_t>& bytes)
{
    std::lock_guard<std::mutex> lock(mutex);
    parameterReplies[key] = bytes;
}

void ScriptedDevice::setStatus(const StatusReport& report)
{
    std::lock_guard<std::mutex> lock(mutex);
    status = report;
}

void ScriptedDevice::notify()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++pendingNotifications;
    }
    wakeUp.notify_all();
}

void ScriptedDevice::queueReadBytes(const std::vector<uint8_t>& bytes)
{
    std::lock_guard<std::mutex> lock(mutex);
    readQueue.insert(readQueue.end(), bytes.begin(), bytes.end());
}

std::vector<uint8_t> ScriptedDevice::writtenBytes() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return written;
}

bool ScriptedDevice::isOpen() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return opened;
}

// Logs the call and pops its scripted result. The caller holds no lock.
int ScriptedDevice::record(const std::string& function, const std::string& args)
{
    std::lock_guard<std::mutex> lock(mutex);
    log.push_back(function + "(" + args + ")");
    auto it = results.find(function);
    if (it != results.end() && !it->second.empty()) {
        const int r = it->second.front();
        it->second.pop_front();
        return r;
    }
    return defaultResult;
}

int ScriptedDevice::open(OpenMode mode, int32_t baudRate, std::string& controllerName)
{
    record(mode == OpenMode::Normal ? "TarvoOpenConnectionPort"
                                    : "TarvoOpenConnection4FirmwareUpdate",
           num(baudRate));
    std::lock_guard<std::mutex> lock(mutex);
    if (openCode != 0)
        return openCode;
    opened = true;
    woken = false;
    controllerName = name;
    return 0;
}

void ScriptedDevice::closeTransfer()
{
    record("TarvoCloseTransfer", "");
}

void ScriptedDevice::close()
{
    record("TarvoCloseConnection", "");
    std::lock_guard<std::mutex> lock(mutex);
    opened = false;
}

bool ScriptedDevice::waitForStatus(std::chrono::milliseconds maxWait)
{
    std::unique_lock<std::mutex> lock(mutex);
    wakeUp.wait_for(lock, maxWait, [this] { return pendingNotifications > 0 || woken; });
    if (woken || pendingNotifications == 0)
        return false;
    --pendingNotifications;
    return true;
}

void ScriptedDevice::wake()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        woken = true;
    }
    wakeUp.notify_all();
}

int ScriptedDevice::getStatus(StatusReport& out)
{
    const int r = record("GetStatus_Schritte", "");
    std::lock_guard<std::mutex> lock(mutex);
    out = status;
    return r;
}

int ScriptedDevice::acknowledgeError() { return record("FehlerQuitieren", ""); }
int ScriptedDevice::emergencyHalt() { return record("NotHalt_mitBremsrampe", ""); }
int ScriptedDevice::emergencyStop() { return record("NotStop_ohneBremsrampe", ""); }
int ScriptedDevice::park() { return record("ParkPositionAnfahren", ""); }

int ScriptedDevice::moveSteps(int pair, int32_t speed, uint8_t one, const int32_t* a,
                              const int32_t* b, uint8_t three)
{
    const auto f = [](int32_t v) { return num(v); };
    return record(pair == 0 ? "FahreRelativ_XY_Schritte" : "FahreRelativ_ZC_Schritte",
                  num(speed) + "," + num(one) + "," + list(a, 6, f) + "," + list(b, 6, f) + ","
                      + num(three));
}

int ScriptedDevice::moveMm(int pair, float speed, uint8_t one, const float* a, const float* b,
                           uint8_t three)
{
    return record(pair == 0 ? "FahreRelativ_XY_mm" : "FahreRelativ_ZC_mm",
                  formatLogFloat(speed) + "," + num(one) + "," + list(a, 6, formatLogFloat) + ","
                      + list(b, 6, formatLogFloat) + "," + num(three));
}

int ScriptedDevice::wait(int32_t ms) { return record("HaltePosition", num(ms)); }

int ScriptedDevice::reference(int32_t a, int32_t b)
{
    return record("Referenzfahrt", num(a) + "," + num(b));
}

int ScriptedDevice::setZeroSteps(const int32_t v[4])
{
    return record("NullPunktSetzen_Schritte",
                  num(v[0]) + "," + num(v[1]) + "," + num(v[2]) + "," + num(v[3]));
}

int ScriptedDevice::setZeroMm(const float v[4])
{
    return record("NullPunktSetzen_mm", formatLogFloat(v[0]) + "," + formatLogFloat(v[1]) + ","
                                            + formatLogFloat(v[2]) + "," + formatLogFloat(v[3]));
}

int ScriptedDevice::setSpindleCoolant(uint8_t spindle, uint8_t coolant)
{
    return record("SpindelKuhlungSetzen", num(spindle) + "," + num(coolant));
}

int ScriptedDevice::setOutputs(uint8_t bits) { return record("AllgemeineAusgaeneSetzen", num(bits)); }
int ScriptedDevice::changeMode(uint8_t mode) { return record("BetriebsArtenWechsel", num(mode)); }
int ScriptedDevice::loadRam(uint8_t ram) { return record("LoadRAMprogramm", num(ram)); }

int ScriptedDevice::startRam(uint8_t ram, uint8_t count)
{
    return record("StartRAMprogramm", num(ram) + "," + num(count));
}

int ScriptedDevice::readParameter(uint8_t group, uint8_t index, uint8_t result[16])
{
    char key[8];
    std::snprintf(key, sizeof key, "%02x%02x", group, index);
    const int r = record("ParameterLesen", key);
    if (r == 0)
        return 0;
    std::lock_guard<std::mutex> lock(mutex);
    const auto it = parameterReplies.find(group << 8 | index);
    if (it != parameterReplies.end() && !it->second.empty())
        std::memcpy(result, it->second.data(), std::min<size_t>(16, it->second.size()));
    return r;
}

int ScriptedDevice::setParameter(uint8_t group, uint8_t index, const ParamValue& v)
{
    char key[8];
    std::snprintf(key, sizeof key, "%02x%02x", group, index);
    std::string args = key;
    std::string function;
    switch (v.kind) {
    case ParamKind::Long:
        function = "ParameterAendern_long";
        args += "," + num(v.longs[0]);
        break;
    case ParamKind::Float:
        function = "ParameterAendern_float";
        args += "," + formatLogFloat(v.f);
        break;
    case ParamKind::FourLongs:
    case ParamKind::FourUchar:
        function = v.kind == ParamKind::FourLongs ? "ParameterAendern_4_longs"
                                                  : "ParameterAendern_4_uchar";
        for (int i = 0; i < 4; ++i)
            args += "," + num(v.longs[i]);
        break;
    case ParamKind::RefSequence:
        function = "ParameterAendern_Richtung_Sequenz_ReferenzFahrt";
        for (int i = 0; i < 8; ++i)
            args += "," + num(v.longs[i]);
        break;
    case ParamKind::Name: {
        function = "ParameterAendern_ControllerName";
        // All 32 bytes in hex, so tests see the padding too.
        args += ",";
        char hex[3];
        for (unsigned char c : v.name) {
            std::snprintf(hex, sizeof hex, "%02x", c);
            args += hex;
        }
        break;
    }
    }
    return record(function, args);
}

int ScriptedDevice::writeBytes(const uint8_t* bytes, int32_t length)
{
    const int r = record("TarvoWriteChar", num(length));
    std::lock_guard<std::mutex> lock(mutex);
    written.insert(written.end(), bytes, bytes + length);
    return r;
}

int ScriptedDevice::readBytes(uint8_t* bytes, int32_t length)
{
    std::lock_guard<std::mutex> lock(mutex);
    int n = 0;
    while (n < length && !readQueue.empty()) {
        bytes[n++] = readQueue.front();
        readQueue.pop_front();
    }
    return n;
}

void ScriptedDevice::setRefusal(const std::string& reason)
{
    std::lock_guard<std::mutex> lock(mutex);
    refusal = reason;
}

std::string ScriptedDevice::takeRefusal()
{
    std::lock_guard<std::mutex> lock(mutex);
    std::string reason;
    reason.swap(refusal);
    return reason;
}

void ScriptedDevice::setRunState(const RunState& state)
{
    std::lock_guard<std::mutex> lock(mutex);
    runsKnown = true;
    runs = state;
}

void ScriptedDevice::queueRamRunEnd(const RamRunEnd& end)
{
    std::lock_guard<std::mutex> lock(mutex);
    ramEnds.push_back(end);
}

std::vector<RamRunEnd> ScriptedDevice::takeRamRunEnds()
{
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<RamRunEnd> ends;
    ends.swap(ramEnds);
    return ends;
}

bool ScriptedDevice::runState(RunState& out)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (runsKnown)
        out = runs;
    return runsKnown;
}

}  // namespace quenta
