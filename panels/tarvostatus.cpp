#include "tarvostatus.h"

#include "quenta.h"

void TarvoStatus::FetchStatus(TarvoPortSettings* portSettings)
{
    if (!portSettings)
        return;
    GetStatus_Schritte(portSettings, &firstValue, &inputs, &flags, &posX, &posY, &posZ, &posC,
                       &bufferFill, &generalInputs, &generalOutputs, &errorCode);
}

QString TarvoStatus::ErrorTextOf(uint8_t code)
{
    switch (code) {
    case 0x01: return QStringLiteral("Befehlspuffer ist nicht leer");
    case 0x02: return QStringLiteral("Achse(n) fahren noch");
    case 0x03: return QStringLiteral("Menüpunkt/Befehl ist unzulässig");
    case 0x04: return QStringLiteral("Zwischenzustand");
    case 0x0a: return QStringLiteral("Anzahl der Achsen für Referenzfahrt ist falsch");
    case 0x0b: return QStringLiteral("RAM-Programm Nummer ist ungültig");
    case 0x0c: return QStringLiteral("In dem RAM ist kein Programm vorhanden");
    case 0x0d: return QStringLiteral("RAM-Programm ist zu groß");
    case 0x53: return QStringLiteral("Notaus ist ausgelöst");
    case 0x71: return QStringLiteral("Parameter ist unzulässig");
    case 0x91: return QStringLiteral("Parameternummer ist ungültig");
    case 0x99: return QStringLiteral("Notstop der Achsen");
    default: break;
    }
    // Axis codes: high nibble 1..4 = X, Y, Z, C; low nibble 1 lower limit, 2 upper limit,
    // 3 end switch.
    const int axis = code >> 4;
    const int kind = code & 0x0f;
    if (axis >= 1 && axis <= 4 && kind >= 1 && kind <= 3) {
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
