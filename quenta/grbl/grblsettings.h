#pragma once
// The controller's parameters that GRBL keeps as `$` settings, in one table: which settings a
// parameter reads from and writes to, with the unit conversion (the controller's mm/s against
// GRBL's mm/min) and the values GRBL cannot represent. Parameters outside the table are kept by
// the library (see grblhoststore.h).

#include "device.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace quenta {
namespace grbl {

// The firmware's settings as `$$` lists them: number -> value text.
using Settings = std::map<int, std::string>;

// A setting's value, or fallback when it is missing or no number.
double settingValue(const Settings& settings, int number, double fallback);

struct SettingWrite {
    int number;
    double value;
};

class SettingsMap {
public:
    // True when the parameter lives (at least partly) in GRBL's settings.
    static bool maps(uint16_t key);
    // Fills the parts of v the firmware holds from its settings; v holds the library's own
    // value on entry (for what GRBL has no setting for, such as the reference order).
    static void read(uint16_t key, const Settings& settings, Device::ParamValue& v);
    // The settings a new value takes, in order, or false with the reason when GRBL cannot
    // hold the value. axes: the firmware's axis count.
    static bool writes(uint16_t key, const Device::ParamValue& v, const Settings& settings,
                       int axes, std::vector<SettingWrite>& out, std::string& refusal);
};

// The build-info text as GRBL stores it: its line reader drops blanks and upper-cases letters.
std::string storedBuildInfo(const std::string& text);

}  // namespace grbl
}  // namespace quenta
