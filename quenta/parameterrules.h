#pragma once
// The controller's transferable parameters as the devices that keep them see them: value kind,
// valid range and factory value, their validation and their 16-byte reply layout. Shared by the
// simulated controller and the GRBL device, which keeps the parameters GRBL has no setting for.

#include "device.h"

#include <array>
#include <cstdint>

namespace quenta {

struct ParameterRule {
    uint16_t key;
    Device::ParamKind kind;
    double lo;      // valid range, inclusive (Name: the longest name)
    double hi;
    double def[8];  // factory value; the array kinds list every entry
};

// All 42 transferable parameters, in key order.
const std::array<ParameterRule, 42>& ParameterRules();
// The rule of key, or none for a parameter number the controller does not know.
const ParameterRule* FindParameterRule(uint16_t key);

// True when value has the rule's kind and every entry lies in its range (a reference sequence
// also names each axis once).
bool IsValidParameterValue(const ParameterRule& rule, const Device::ParamValue& value);

// The rule's factory value (the name stays empty).
Device::ParamValue DefaultParameterValue(const ParameterRule& rule);

// The 16 reply bytes of a parameter read: longs little-endian, a float by its bits, the
// array kinds entry by entry, a name as its bytes; zero-filled.
void EncodeParameterReply(Device::ParamKind kind, const int32_t longs[8], float f,
                          const char* name, size_t nameLength, uint8_t out[16]);

}  // namespace quenta
