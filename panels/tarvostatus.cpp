#include "tarvostatus.h"

#include "controllercodes.h"
#include "device.h"
#include "quenta.h"

void TarvoStatus::FetchStatus(TarvoPortSettings* portSettings)
{
    if (!portSettings)
        return;
    GetStatus_Schritte(portSettings, &firstValue, &inputs, &flags, &posX, &posY, &posZ, &posC,
                       &bufferFill, &generalInputs, &generalOutputs, &errorCode);
    quenta::RunState runs;
    runsKnown = quenta::runState(portSettings, runs);
    referencing = runs.referencing;
    ramSlot = runs.ram.slot;
    ramPass = runs.ram.pass;
    ramPasses = runs.ram.passes;
    for (const quenta::RamRunEnd& end : quenta::takeRamRunEnds(portSettings)) {
        // Bounded: a window that never takes them keeps only the latest few.
        if (ramEnds.size() >= 8)
            ramEnds.erase(ramEnds.begin());
        ramEnds.push_back({end.run.slot, end.run.pass, end.run.passes, end.completed,
                           end.errorCode, QString::fromStdString(end.reason)});
    }
}

std::vector<TarvoStatus::RamEnd> TarvoStatus::TakeRamEnds()
{
    std::vector<RamEnd> ends;
    ends.swap(ramEnds);
    return ends;
}

QString TarvoStatus::ErrorTextOf(uint8_t code)
{
    using namespace quenta::codes;
    // The controller's German texts, fixed by its documentation: not translated.
    switch (code) {
    case BufferNotEmpty: return QStringLiteral("Befehlspuffer ist nicht leer");
    case AxesMoving: return QStringLiteral("Achse(n) fahren noch");
    case NotAllowed: return QStringLiteral("Menüpunkt/Befehl ist unzulässig");
    case Intermediate: return QStringLiteral("Zwischenzustand");
    case ReferenceAxes: return QStringLiteral("Anzahl der Achsen für Referenzfahrt ist falsch");
    case RamNumber: return QStringLiteral("RAM-Programm Nummer ist ungültig");
    case RamEmpty: return QStringLiteral("In dem RAM ist kein Programm vorhanden");
    case RamTooBig: return QStringLiteral("RAM-Programm ist zu groß");
    case EmergencyInput: return QStringLiteral("Notaus ist ausgelöst");
    case ParameterValue: return QStringLiteral("Parameter ist unzulässig");
    case ParameterNumber: return QStringLiteral("Parameternummer ist ungültig");
    case EmergencyStopped: return QStringLiteral("Notstop der Achsen");
    default: break;
    }
    if (isAxisCode(code)) {
        const int axis = code >> 4;
        const int kind = code & 0x0f;
        static const char* const names[] = {"X", "Y", "Z", "C"};
        static const char* const texts[] = {" Achse hat untere Grenze erreicht",
                                            " Achse hat obere Grenze erreicht",
                                            " Endschalter ist ausgelöst"};
        return QString::fromLatin1(names[axis - 1]) + QString::fromUtf8(texts[kind - 1]);
    }
    return QStringLiteral("Unbekannter Fehler");
}

QString TarvoStatus::GetErrorText() const
{
    return QStringLiteral("0x%1 : ").arg(errorCode, 2, 16, QLatin1Char('0'))
        + ErrorTextOf(errorCode);
}
