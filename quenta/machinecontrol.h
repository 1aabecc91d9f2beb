#pragma once
// Work coordinates and manual motion on an open port, beside the C functions: where the machine
// stands in its own frame and relative to the work, the work offsets, zeroing axes, a move to
// the work zero, and jogs (steps, or a continuous jog that runs until it is cancelled).
//
// GRBL: positions from the status reports (MPos or WPos with the last WCO), the offsets G54 ...
// G59 from "$#", zeroing with "G10 L20 P<n>" of the active system, jogs as "$J=" lines, the
// continuous one as far as the soft limits allow and cancelled with the jog-cancel byte.
// Our own controllers: the zero point of NullPunktSetzen is the one offset; zeroing sets it
// on the chosen axes only; a continuous jog is a long relative move that the controller's hold
// (NotHalt) ends, after which the hold's own error is acknowledged again.

#include "quenta.h"

namespace quenta {

struct WorkCoordinates {
    int axes = 3;
    // GRBL reports millimetres; our controllers report steps (the program knows their
    // resolutions from the parameter set).
    bool millimetres = false;
    double work[4] = {0, 0, 0, 0};      // relative to the zero point / the active work system
    bool haveMachine = false;           // the machine frame's position is known
    double machine[4] = {0, 0, 0, 0};
    // GRBL: 0 ... 5 = G54 ... G59 in force; -1 when not (yet) known or for our controllers.
    int activeSystem = -1;
    // GRBL: the offsets of G54 ... G59 (X, Y, Z) once "$#" was read. Ours: offsets[0] is the
    // zero point in the machine frame, when the controller knows that frame.
    bool haveOffsets = false;
    double offsets[6][4] = {};
};

// false when the port is not open, the controller has not reported yet, or it knows nothing
// beyond its status report (our controllers on a line: the reported position is the work
// position). Reads only what the device keeps; never waits for the firmware.
bool workCoordinates(TarvoPortSettings* record, WorkCoordinates& out);
// Asks the controller for its work offsets afresh (GRBL "$#" and "$G", at rest only). 1 = done.
int readWorkOffsets(TarvoPortSettings* record);

// The axes are bits: 1 X, 2 Y, 4 Z, 8 C. The current position of each chosen axis becomes its
// zero in the active work system; the other axes keep theirs. At rest only.
int zeroAxes(TarvoPortSettings* record, unsigned axes);
// Rapid to the work zero of X, Y and Z: X and Y first, then Z; Z first when it stands below
// its zero (in the work), so the tool never drags through it. At rest only.
int goToZero(TarvoPortSettings* record);

constexpr double ContinuousJog = 0;
// One jog of axis (0 ... 3 = X, Y, Z, C) in direction (+1 / -1) over distanceMm at feed
// mm/min. distanceMm ContinuousJog: the jog runs until cancelJog (GRBL: as far as the soft
// limits or the travel allow). Refused while a job or program runs. 1 = started.
int jog(TarvoPortSettings* record, int axis, int direction, double distanceMm,
        double feedMmPerMin);
// Ends a running continuous jog with a controlled stop; the controller stays free of errors
// (an error that stopped the jog before stays shown). 1 = sent.
int cancelJog(TarvoPortSettings* record);

}  // namespace quenta
