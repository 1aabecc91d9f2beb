#pragma once
// Brings a connected controller (simulated in process or behind kavro-sim) into a state that
// a restart would visibly destroy, through the link library's C API.

#include "quenta.h"
#include "testtimeouts.h"

#include <QString>
#include <QTest>

// X referenced, positions reading 10, 20, 30, 40 off a moved zero point, spindle and coolant
// on, outputs 0x21, one command in RAM slot 2, mode 2 and the buffer empty. Returns an empty
// text on success, else the step that failed.
inline QString setUpWorkingMachine(TarvoPortSettings* s)
{
    int32_t none[6] = {0, 0, 0, 0, 0, 0};
    int32_t ramMove[6] = {100, 0, 0, 0, 0, 0};
    int32_t move[6] = {250, 0, 0, 0, 0, 0};
    // A fast reference run of X alone, towards its lower switch.
    if (!BetriebsArtenWechsel(s, 1) || !ParameterAendern_float(s, 0x01, 0x05, 999.0f)
        || !ParameterAendern_float(s, 0x01, 0x06, 999.0f)
        || !ParameterAendern_Richtung_Sequenz_ReferenzFahrt(s, 0x03, 0x04, 1, 2, 2, 2, 0, 1, 2,
                                                            3))
        return QStringLiteral("reference parameters");
    if (!BetriebsArtenWechsel(s, 3) || !LoadRAMprogramm(s, 2)
        || !FahreRelativ_XY_Schritte(s, 5000, 1, ramMove, none, 3) || !BetriebsArtenWechsel(s, 2))
        return QStringLiteral("RAM slot 2");
    if (!Referenzfahrt(s, 0, 0) || !FahreRelativ_XY_Schritte(s, 20000, 1, move, none, 3)
        || !NullPunktSetzen_Schritte(s, 10, 20, 30, 40) || !SpindelKuhlungSetzen(s, 1, 1)
        || !AllgemeineAusgaeneSetzen(s, 0x21))
        return QStringLiteral("buffered commands");
    uint8_t flags = 0, fill = 0, outputs = 0, error = 0;
    int32_t pos[4] = {0, 0, 0, 0};
    const auto reached = [&] {
        GetStatus_Schritte(s, nullptr, nullptr, &flags, &pos[0], &pos[1], &pos[2], &pos[3], &fill,
                           nullptr, &outputs, &error);
        return flags == 0x31 && fill == 0 && outputs == 0x21 && pos[0] == 10 && pos[3] == 40;
    };
    // An error ends the wait early: the machine will not get there any more.
    if (QTest::qWaitFor([&] { return reached() || error != 0; }, kMachineTimeoutMs) && error == 0)
        return QString();
    return QStringLiteral("machine state: flags %1 fill %2 outputs %3 error %4 x %5")
        .arg(int(flags)).arg(int(fill)).arg(int(outputs)).arg(int(error)).arg(pos[0]);
}
