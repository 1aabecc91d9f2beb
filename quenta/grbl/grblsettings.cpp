#include "grblsettings.h"

#include <QString>

#include <algorithm>
#include <cctype>
#include <cmath>

namespace quenta {
namespace grbl {

namespace {

using ParamValue = Device::ParamValue;

int32_t toLong(double v)
{
    return static_cast<int32_t>(std::clamp(std::nearbyint(v), -2147483648.0, 2147483647.0));
}

// How a parameter sits in the settings.
enum class Shape {
    Float,      // one float from one setting (scale: setting = value x scale)
    FloatAxes,  // one float written to three settings (one per axis), read from the first
    LongAxes,   // likewise for a whole number
    PerAxis,    // four-axis array: X, Y, Z each in its own setting
    Mask,       // four-axis array of 0/1: bit i of one setting
    AnyOn,      // four-axis array of 0/1: one setting, on when any of X, Y, Z is on
    Homing,     // reference directions: $22 (on/off) and the $23 direction mask
    FourthAxis, // a float that exists only on firmware with a fourth axis
};

struct Row {
    uint16_t key;
    Shape shape;
    int setting;
    double scale;
};

// mm/s in the controller, mm/min in GRBL.
constexpr double PerMinute = 60.0;

constexpr Row Table[] = {
    {0x0102, Shape::FloatAxes, 110, PerMinute},  // rapid speed: $110-$112
    {0x0105, Shape::Float, 25, PerMinute},       // reference speed: homing seek
    {0x0106, Shape::Float, 24, PerMinute},       // reference speed, clearing: homing feed
    {0x0107, Shape::LongAxes, 120, 1.0},         // acceleration: $120-$122
    {0x0304, Shape::Homing, 22, 1.0},
    {0x0305, Shape::AnyOn, 21, 1.0},             // limit switches: hard limits
    {0x0400, Shape::Float, 100, 1.0},            // resolutions: $100-$103
    {0x0401, Shape::Float, 101, 1.0},
    {0x0402, Shape::Float, 102, 1.0},
    {0x0403, Shape::FourthAxis, 103, 1.0},
    {0x0408, Shape::Mask, 3, 1.0},               // direction reversal: $3
    {0x040A, Shape::PerAxis, 130, 1.0},          // travel: $130-$132
};

const Row* findRow(uint16_t key)
{
    for (const Row& r : Table) {
        if (r.key == key)
            return &r;
    }
    return nullptr;
}

constexpr int NotReferenced = 2;
constexpr int AxisX = 0, AxisY = 1, AxisZ = 2, AxisC = 3;

// GRBL homes Z first, then X and Y together; C is never homed by it. Empty when the value
// fits, else why not.
std::string homingRefusal(const ParamValue& v)
{
    const int32_t* dir = v.longs;
    const int32_t* order = v.longs + 4;
    int off = 0;
    for (int step = 0; step < 4; ++step) {
        if (order[step] != AxisC && dir[step] == NotReferenced)
            ++off;
    }
    if (off == 0 || off == 3) {
        if (order[0] != AxisZ || order[3] != AxisC
            || !((order[1] == AxisX && order[2] == AxisY)
                 || (order[1] == AxisY && order[2] == AxisX)))
            return "GRBL references Z first, then X and Y together; the order must be Z, X, Y "
                   "(or Z, Y, X), C last";
        return {};
    }
    return "GRBL references X, Y and Z together or not at all";
}

}  // namespace

double settingValue(const Settings& settings, int number, double fallback)
{
    const auto it = settings.find(number);
    if (it == settings.end())
        return fallback;
    bool ok = false;
    const double v = QString::fromStdString(it->second).toDouble(&ok);
    return ok && std::isfinite(v) ? v : fallback;
}

bool SettingsMap::maps(uint16_t key)
{
    return findRow(key) != nullptr;
}

void SettingsMap::read(uint16_t key, const Settings& s, ParamValue& v)
{
    const Row* row = findRow(key);
    if (!row)
        return;
    const auto get = [&](int n, double fallback) { return settingValue(s, n, fallback); };
    switch (row->shape) {
    case Shape::Float:
    case Shape::FloatAxes:
    case Shape::FourthAxis:
        v.f = static_cast<float>(get(row->setting, double(v.f) * row->scale) / row->scale);
        break;
    case Shape::LongAxes:
        v.longs[0] = toLong(get(row->setting, v.longs[0] * row->scale) / row->scale);
        break;
    case Shape::PerAxis:
        for (int i = 0; i < 3; ++i)
            v.longs[i] = toLong(get(row->setting + i, v.longs[i]));
        break;
    case Shape::Mask: {
        const int mask = toLong(get(row->setting, 0));
        for (int i = 0; i < 3; ++i)
            v.longs[i] = (mask >> i) & 1;
        break;
    }
    case Shape::AnyOn: {
        const int on = toLong(get(row->setting, 1)) ? 1 : 0;
        for (int i = 0; i < 4; ++i)
            v.longs[i] = on;
        break;
    }
    case Shape::Homing: {
        // The order is the library's (GRBL's is fixed); the directions are the firmware's.
        const bool homing = toLong(get(22, 1)) != 0;
        const int mask = toLong(get(23, 0));
        for (int step = 0; step < 4; ++step) {
            const int axis = v.longs[4 + step];
            if (axis < 0 || axis >= 3)
                continue;  // C: GRBL does not home it; the library's value stands
            v.longs[step] = homing ? (mask >> axis) & 1 : NotReferenced;
        }
        break;
    }
    }
}

bool SettingsMap::writes(uint16_t key, const ParamValue& v, const Settings& s, int axes,
                         std::vector<SettingWrite>& out, std::string& refusal)
{
    out.clear();
    const Row* row = findRow(key);
    if (!row)
        return true;
    switch (row->shape) {
    case Shape::Float:
        out.push_back({row->setting, double(v.f) * row->scale});
        break;
    case Shape::FloatAxes:
        for (int i = 0; i < 3; ++i)
            out.push_back({row->setting + i, double(v.f) * row->scale});
        break;
    case Shape::LongAxes:
        for (int i = 0; i < 3; ++i)
            out.push_back({row->setting + i, v.longs[0] * row->scale});
        break;
    case Shape::FourthAxis:
        if (axes >= 4)
            out.push_back({row->setting, double(v.f) * row->scale});
        break;
    case Shape::PerAxis:
        // GRBL's travel is a length: a negative one does not exist.
        for (int i = 0; i < 3; ++i) {
            if (v.longs[i] < 0) {
                refusal = "GRBL's travel ($130-$132) cannot be negative";
                return false;
            }
        }
        for (int i = 0; i < 3; ++i)
            out.push_back({row->setting + i, double(v.longs[i])});
        break;
    case Shape::Mask:
        out.push_back({row->setting, double((v.longs[0] & 1) | (v.longs[1] & 1) << 1
                                            | (v.longs[2] & 1) << 2)});
        break;
    case Shape::AnyOn:
        out.push_back({row->setting, v.longs[0] || v.longs[1] || v.longs[2] ? 1.0 : 0.0});
        break;
    case Shape::Homing: {
        refusal = homingRefusal(v);
        if (!refusal.empty())
            return false;
        bool on = false;
        int mask = toLong(settingValue(s, 23, 0)) & ~7;
        for (int step = 0; step < 4; ++step) {
            const int axis = v.longs[4 + step];
            if (axis == AxisC)
                continue;
            on = on || v.longs[step] != NotReferenced;
            if (v.longs[step] == 1)
                mask |= 1 << axis;
        }
        out.push_back({22, on ? 1.0 : 0.0});
        if (on)
            out.push_back({23, double(mask)});
        break;
    }
    }
    return true;
}

std::string storedBuildInfo(const std::string& text)
{
    std::string stored;
    for (const char c : text) {
        if (c == ' ' || c == '\t')
            continue;
        stored.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    return stored;
}

}  // namespace grbl
}  // namespace quenta
