#pragma once
// The last status report of one controller, and the German text of its error code.

#include <QString>

#include <cstdint>
#include <vector>

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

    // What runs on the controller by itself, read with each report when the link can tell
    // (runsKnown): a reference run, and the RAM program in ramSlot (0: none) in pass ramPass
    // of ramPasses (0: without end).
    bool runsKnown = false;
    bool referencing = false;
    int ramSlot = 0;
    int ramPass = 0;
    int ramPasses = 0;

    // A RAM program that ended: after its last pass (completed), or early with the error
    // code it raised and the link's reason.
    struct RamEnd {
        int slot = 0;
        int pass = 0;
        int passes = 0;
        bool completed = false;
        uint8_t errorCode = 0;
        QString reason;
    };
    // The ends collected by the reports since the last call.
    std::vector<RamEnd> TakeRamEnds();

private:
    std::vector<RamEnd> ramEnds;
};
