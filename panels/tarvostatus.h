#pragma once
// The last status report of one controller, and the German text of its error code.

#include <QString>

#include <cstdint>

struct TarvoPortSettings;

class TarvoStatus {
public:
    TarvoStatus() = default;
    virtual ~TarvoStatus() = default;

    // One GetStatus_Schritte call for the record; nothing happens without a record.
    void FetchStatus(TarvoPortSettings* portSettings);
    // "0x13 : X Endschalter ist ausgelöst"
    QString GetErrorText() const;
    // The German text of an error code alone ("Unbekannter Fehler" when it has none).
    static QString ErrorTextOf(uint8_t code);

    uint8_t firstValue = 0;
    uint8_t inputs = 0;
    uint8_t flags = 0;
    int32_t posX = 0;
    int32_t posY = 0;
    int32_t posZ = 0;
    int32_t posC = 0;
    uint8_t bufferFill = 0;
    uint8_t generalInputs = 0;
    uint8_t generalOutputs = 0;
    uint8_t errorCode = 0;
};
