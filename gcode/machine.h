#pragma once
// The settings of the controller a job runs on, as far as they shape the path and its time.
// Defaults are GRBL 1.1's factory settings.

namespace gcode {

struct MachineSettings {
    double stepsPerMm[3] = {250, 250, 250};    // $100-$102
    double maxRate[3] = {500, 500, 500};       // $110-$112, mm/min
    double acceleration[3] = {10, 10, 10};     // $120-$122, mm/s^2
    double maxTravel[3] = {200, 200, 200};     // $130-$132, mm (positive)
    double junctionDeviation = 0.010;          // $11, mm
    double arcTolerance = 0.002;               // $12, mm
    bool reportInches = false;                 // $13
    bool softLimits = false;                   // $20
    bool homingEnabled = false;                // $22
    int plannerBlocks = 15;                    // from $I: [OPT:...,<blocks>,<rx bytes>]
    int rxBufferBytes = 128;
    int baudRate = 115200;
};

} // namespace gcode
