#pragma once
// The controller's vocabulary as GetStatus_Schritte reports it: error codes, status flags and
// input bits. The simulated controller, the GRBL device, the status record and the status panel
// all name them from here.

#include <cstdint>

namespace quenta {
namespace codes {

// Error codes (the last byte of a status report; 0 = none).
constexpr uint8_t BufferNotEmpty = 0x01;
constexpr uint8_t AxesMoving = 0x02;
constexpr uint8_t NotAllowed = 0x03;
constexpr uint8_t Intermediate = 0x04;
constexpr uint8_t ReferenceAxes = 0x0a;
constexpr uint8_t RamNumber = 0x0b;
constexpr uint8_t RamEmpty = 0x0c;
constexpr uint8_t RamTooBig = 0x0d;
constexpr uint8_t EmergencyInput = 0x53;
constexpr uint8_t ParameterValue = 0x71;
constexpr uint8_t ParameterNumber = 0x91;
constexpr uint8_t EmergencyStopped = 0x99;

// Axis codes: high nibble 1 ... 4 for X, Y, Z, C; low nibble the kind.
constexpr uint8_t LowerLimit = 0x01;
constexpr uint8_t UpperLimit = 0x02;
constexpr uint8_t EndSwitch = 0x03;
constexpr uint8_t axisCode(int axis, uint8_t kind)
{
    return static_cast<uint8_t>(((axis + 1) << 4) | kind);
}
constexpr bool isAxisCode(uint8_t code)
{
    return (code >> 4) >= 1 && (code >> 4) <= 4 && (code & 0x0f) >= LowerLimit
           && (code & 0x0f) <= EndSwitch;
}

// Status flags: bit i (0 ... 3) = axis i referenced; spindle and cooling on.
constexpr uint8_t referencedFlag(int axis) { return static_cast<uint8_t>(1u << axis); }
constexpr uint8_t ReferencedXYZ = 0x07;
constexpr uint8_t ReferencedAll = 0x0f;
constexpr uint8_t SpindleOn = 0x10;
constexpr uint8_t CoolingOn = 0x20;

// Switch inputs: bit i (0 ... 3) = end switch of axis i; the emergency input; J1 ... J3.
constexpr uint8_t endSwitchInput(int axis) { return static_cast<uint8_t>(1u << axis); }
constexpr uint8_t EmergencyIn = 0x10;
constexpr uint8_t InputJ1 = 0x20;
constexpr uint8_t InputJ2 = 0x40;
constexpr uint8_t InputJ3 = 0x80;

}  // namespace codes
}  // namespace quenta
