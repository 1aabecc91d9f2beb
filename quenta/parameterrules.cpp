#include "parameterrules.h"

#include <algorithm>
#include <cstring>

namespace quenta {

namespace {

using Kind = Device::ParamKind;

const std::array<ParameterRule, 42> rules = {{
    {0x0000, Kind::Long, 0, 65535, {400}},   {0x0001, Kind::Float, 0.01, 999, {0.5}},
    {0x0002, Kind::Float, 0.01, 999, {10}},  {0x0003, Kind::Long, 1, 999, {10}},
    {0x0100, Kind::Float, 0.01, 999, {0.5}}, {0x0101, Kind::Float, 0.01, 999, {4}},
    {0x0102, Kind::Float, 0.01, 999, {10}},  {0x0103, Kind::Float, 0.01, 999, {0.5}},
    {0x0104, Kind::Float, 0.01, 999, {2.5}}, {0x0105, Kind::Float, 0.01, 999, {2.5}},
    {0x0106, Kind::Float, 0.01, 999, {0.5}}, {0x0107, Kind::Long, 1, 999, {4}},
    {0x0108, Kind::Long, 0, 45, {0}},        {0x0109, Kind::Long, 0, 1000, {0}},
    {0x0200, Kind::Long, 1, 3, {3}},         {0x0201, Kind::Long, 1, 3, {3}},
    {0x0202, Kind::Long, 1, 3, {3}},         {0x0203, Kind::Long, 1, 3, {3}},
    {0x0304, Kind::RefSequence, 0, 2, {1, 1, 0, 0, 2, 1, 0, 3}},
    {0x0305, Kind::FourUchar, 0, 1, {1, 1, 1, 1}},
    {0x0400, Kind::Float, 0.1, 999, {100}},  {0x0401, Kind::Float, 0.1, 999, {100}},
    {0x0402, Kind::Float, 0.1, 999, {100}},  {0x0403, Kind::Float, 0.1, 999, {100}},
    {0x0404, Kind::Long, 0, 500, {0}},       {0x0405, Kind::Long, 0, 500, {0}},
    {0x0406, Kind::Long, 0, 500, {0}},       {0x0407, Kind::Long, 0, 500, {0}},
    {0x0408, Kind::FourLongs, 0, 1, {0, 0, 0, 0}},
    {0x0409, Kind::FourLongs, -32767, 32767, {0, 0, 0, 0}},
    {0x040A, Kind::FourLongs, -32767, 32767, {100, 100, 50, 50}},
    {0x040B, Kind::FourLongs, -32767, 32767, {0, 0, 0, 0}},
    {0x040C, Kind::FourLongs, -32767, 32767, {0, 0, 0, 0}},
    {0x040D, Kind::FourUchar, 0, 2, {0, 0, 0, 0}},
    {0x0500, Kind::Long, 1, 4, {4}},         {0x0501, Kind::Long, 1, 3, {1}},
    {0x0502, Kind::Long, 0, 5000, {0}},      {0x0503, Kind::Long, 0, 5000, {0}},
    {0x0504, Kind::Long, 1, 3, {1}},         {0x0505, Kind::Name, 0, 16, {0}},
    {0x0506, Kind::Long, 0, 255, {0}},       {0x0507, Kind::Long, 0, 0, {0}},
}};

void putLong(uint8_t* out, int32_t v)
{
    const auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(u >> (8 * i));
}

}  // namespace

const std::array<ParameterRule, 42>& ParameterRules()
{
    return rules;
}

const ParameterRule* FindParameterRule(uint16_t key)
{
    const auto it = std::find_if(rules.begin(), rules.end(),
                                 [key](const ParameterRule& r) { return r.key == key; });
    return it == rules.end() ? nullptr : &*it;
}

bool IsValidParameterValue(const ParameterRule& rule, const Device::ParamValue& v)
{
    if (v.kind != rule.kind)
        return false;
    const auto in = [&rule](int32_t x) { return x >= rule.lo && x <= rule.hi; };
    switch (rule.kind) {
    case Kind::Long:
        return in(v.longs[0]);
    case Kind::Float:
        // Bounds compared as floats, so the float nearest to 0.01 counts as 0.01.
        return v.f >= static_cast<float>(rule.lo) && v.f <= static_cast<float>(rule.hi);
    case Kind::FourLongs:
    case Kind::FourUchar:
        return std::all_of(v.longs, v.longs + 4, in);
    case Kind::RefSequence: {
        bool seen[4] = {false, false, false, false};
        for (int i = 0; i < 4; ++i) {
            const int32_t axis = v.longs[4 + i];
            if (!in(v.longs[i]) || axis < 0 || axis > 3 || seen[axis])
                return false;
            seen[axis] = true;
        }
        return true;
    }
    case Kind::Name:
        return strnlen(v.name, sizeof v.name) <= static_cast<size_t>(rule.hi);
    }
    return false;
}

Device::ParamValue DefaultParameterValue(const ParameterRule& rule)
{
    Device::ParamValue v;
    v.kind = rule.kind;
    for (int i = 0; i < 8; ++i)
        v.longs[i] = static_cast<int32_t>(rule.def[i]);
    v.f = static_cast<float>(rule.def[0]);
    return v;
}

void EncodeParameterReply(Device::ParamKind kind, const int32_t longs[8], float f,
                          const char* name, size_t nameLength, uint8_t out[16])
{
    std::memset(out, 0, 16);
    switch (kind) {
    case Kind::Long:
        putLong(out, longs[0]);
        break;
    case Kind::Float: {
        uint32_t u = 0;
        std::memcpy(&u, &f, sizeof u);
        putLong(out, static_cast<int32_t>(u));
        break;
    }
    case Kind::RefSequence:
        for (int i = 0; i < 8; ++i)
            out[i] = static_cast<uint8_t>(longs[i]);
        break;
    case Kind::FourUchar:
        for (int i = 0; i < 4; ++i)
            out[i] = static_cast<uint8_t>(longs[i]);
        break;
    case Kind::FourLongs:
        for (int i = 0; i < 4; ++i)
            putLong(out + 4 * i, longs[i]);
        break;
    case Kind::Name:
        std::memcpy(out, name, std::min<size_t>(16, nameLength));
        break;
    }
}

}  // namespace quenta
