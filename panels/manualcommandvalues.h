#pragma once
// The numbers the manual control panel's last command of each kind sent; the link library
// receives addresses into the distance arrays for the relative moves.

#include <cstdint>

struct ManualCommandValues {
    static constexpr int AxisCount = 4;       // X, Y, Z, C
    static constexpr int DistanceSlots = 6;   // only entry 0 is ever written
    static constexpr int JogDistances = 5;    // "1", "10", "100", "1000", "endlos"

    uint8_t moveArgA = 1;  // passed after the velocity to every relative move
    uint8_t moveArgB = 3;  // passed last to every relative move
    int32_t velocitySteps = 0;
    int32_t distSteps[AxisCount][DistanceSlots] = {};
    float velocityMm = 0.0f;
    float distMm[AxisCount][DistanceSlots] = {};
    int32_t jogStepsTable[JogDistances] = {1, 10, 100, 1000, 999999};
    float jogMmTable[JogDistances] = {1.0f, 10.0f, 100.0f, 1000.0f, 999999.0f};
    int32_t holdTimeMs = 0;
    int32_t zeroSteps[AxisCount] = {};
    float zeroMm[AxisCount] = {};
    uint8_t spindleOn = 0;
    uint8_t coolingOn = 0;
    uint8_t generalOutputs = 0;
};
