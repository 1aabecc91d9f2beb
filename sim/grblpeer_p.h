#pragma once
// Shared by the GRBL peer's source files: constants and the firmware's number formats.

#include <cstdio>
#include <limits>
#include <string>

namespace grblpeer {

constexpr int FlagParen = 1;
constexpr int FlagSemicolon = 2;
constexpr int FlagOverflow = 4;
constexpr double EepromUsPerByte = 3400;  // an ATmega328P programs a byte in about 3.4 ms
constexpr double Never = std::numeric_limits<double>::infinity();
// The firmware steps from a buffer of segments of 10 ms prepared ahead; a feed hold or jog
// cancel changes only the segments not yet prepared, so the machine brakes about 40 ms later.
constexpr double SegmentLeadUs = 40000;
constexpr double MinimumFeed = 1;  // mm/min: the slowest block the firmware plans, so every block ends

inline std::string fixed(double v, int decimals)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    // No "-0.000": the firmware rounds before it prints the sign.
    std::string s = text;
    if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos)
        s.erase(0, 1);
    return s;
}

// The firmware's number reader: optional sign, digits with at most one point, no exponent.
inline bool readFloat(const std::string& s, size_t& i, float& value)
{
    size_t j = i;
    bool negative = false;
    if (j < s.size() && (s[j] == '-' || s[j] == '+'))
        negative = s[j++] == '-';
    double v = 0;
    double scale = 0;
    int digits = 0;
    for (; j < s.size(); ++j) {
        if (s[j] >= '0' && s[j] <= '9') {
            ++digits;
            if (scale == 0) {
                v = v * 10 + (s[j] - '0');
            } else {
                v += (s[j] - '0') * scale;
                scale /= 10;
            }
        } else if (s[j] == '.' && scale == 0) {
            scale = 0.1;
        } else {
            break;
        }
    }
    if (digits == 0)
        return false;
    value = static_cast<float>(negative ? -v : v);
    i = j;
    return true;
}

}  // namespace grblpeer
